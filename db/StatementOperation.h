#pragma once
// Runs a statement's call sequence as one Operation on a connection: the statement is made,
// used and freed by the work; a cancel sends SQLCancel to it from the waiting thread (FreeTDS
// sends the server an attention); when the work is abandoned the connection's handle goes
// with it and the connection counts as closed.

#include "db/Operation.h"
#include "db/OdbcStatement.h"

#include <functional>

namespace dbsync {

class AdoConnection;

// body runs on the worker and must own what it writes to (e.g. through a shared_ptr).
void runStatement(AdoConnection &connection, int timeoutSeconds, OperationKind kind,
                  std::function<void(odbc::Statement &)> body);

}  // namespace dbsync
