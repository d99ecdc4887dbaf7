#pragma once
// Runs a statement's call sequence as one Operation on a connection: the statement is made,
// used and freed by the work; a cancel sends SQLCancel to it from the waiting thread (FreeTDS
// sends the server an attention); when the work is abandoned the connection's handle goes
// with it and the connection counts as closed.

#include "db/Operation.h"
#include "db/OdbcStatement.h"

#include <functional>
#include <vector>

namespace dbsync {

class AdoConnection;

// body runs on the worker and must own what it writes to (e.g. through a shared_ptr).
void runStatement(AdoConnection &connection, int timeoutSeconds, OperationKind kind,
                  std::function<void(odbc::Statement &)> body);

// Several statements at the same time, each on its own connection, as one Operation: a cancel
// reaches all of them, abandoning hands over every connection, and the first run's error (in
// the given order) is raised once all have ended.
struct StatementRun {
    AdoConnection *connection;
    int timeoutSeconds;
    std::function<void(odbc::Statement &)> body;
};
void runStatementsTogether(std::vector<StatementRun> runs, OperationKind kind);

}  // namespace dbsync
