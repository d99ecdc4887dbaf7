#pragma once
// What a module's body names, read from its tokens: a scan, not a parse.

#include "sim/engine/core/Internal.h"

namespace sqlsim {

// The token after the header's AS (the first one outside parentheses), 0 when there is none.
std::size_t bodyStart(const std::vector<Token> &tokens, std::size_t from);
// WITH ... SCHEMABINDING in the header [from, body).
bool schemaBound(const std::vector<Token> &tokens, std::size_t from, std::size_t body);

struct BodyRef {
    std::string database;  // written parts; empty when not written
    std::string schema;
    std::string name;
    std::string written;
    bool source = false;  // read in FROM / JOIN: a view or inline function binds it at creation
    bool exec = false;    // EXEC'd procedure
    bool call = false;    // schema.function(...)
};

// Distinct references in the body, in order of first appearance: FROM/JOIN sources, the targets
// of INSERT/UPDATE/DELETE/MERGE, EXEC'd procedures, schema-qualified function calls. Table
// variables, temporary tables, common table expressions, inserted/deleted and aliases are left out.
std::vector<BodyRef> scanBody(const Statement &st, std::size_t body);

}  // namespace sqlsim
