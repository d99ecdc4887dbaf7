#pragma once
// A stand-in engine for the wire tests: fixed logins and a handful of canned batches that
// exercise every token and wire type, independent of the real SQL engine.
//   login sa / sqlsim; databases master and fakedb
//   "types"   one row of every wire type, then a row of NULLs
//   "multi"   two result sets, an informational message and a counted update
//   "twodone" two statements without rows
//   "error"   error 208 on a statement
//   "use fakedb" / "use master"
//   "slow"    runs until the client cancels (at most 20 s)
//   "echo:<text>"  the text back as nvarchar(max) and varchar(max)
//   "rows N"  N rows of (int, nvarchar(100))
//   anything else: error 102

#include "sim/engine/Engine.h"

#include <memory>

namespace sqlsim::testing {

std::unique_ptr<Engine> makeFakeEngine();

}  // namespace sqlsim::testing
