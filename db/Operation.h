#pragma once
// Where the data layer's blocking calls run. Every open, query and execute hands its ODBC call
// sequence to the installed runner as one Operation. The default runner calls it in place; the
// window installs one that runs it on a worker thread and waits in a local event loop, so the
// window keeps painting and the user can cancel.
//
// An Operation's work owns everything it touches (copies and shared state, never the caller's
// stack), so that a runner may leave it to finish alone once it has been cancelled.

#include "db/DbError.h"

#include <QString>
#include <chrono>
#include <functional>

namespace dbsync {

// The error a cancelled operation ends with.
class CancelledError : public DbError {
public:
    CancelledError() : DbError(QStringLiteral("操作已取消")) {}
    // The cancel's message with what it left behind.
    explicit CancelledError(const QString &message) : DbError(message) {}
};

enum class OperationKind {
    Connect,  // a login: cannot be interrupted, only abandoned
    Query,    // a statement whose rows are read
    Execute,  // a statement run without rows
};

struct Operation {
    OperationKind kind = OperationKind::Execute;
    // Runs the ODBC calls; may run on another thread. Throws DbError.
    std::function<void()> work;
    // Asks the running work to end early; called from the caller's thread, while work runs.
    std::function<void()> cancel;
    // Called from the caller's thread when the runner stops waiting for work that has not ended:
    // hands over what work shares with the caller (the connection), so that the caller no
    // longer uses it and work releases it when it ends.
    std::function<void()> abandon;
};

class OperationRunner {
public:
    virtual ~OperationRunner() = default;
    // Runs the operation to its end and rethrows what its work threw; or throws CancelledError.
    virtual void run(Operation &operation) = 0;
};

// nullptr restores running in place. The runner is not owned.
void setOperationRunner(OperationRunner *runner);
// Runs through the installed runner; in place on a thread that is itself running operations.
void runOperation(Operation &operation);

// Abandoned work that has not ended yet; bounded waiting for it, e.g. before the process exits.
int abandonedOperations();
bool waitForAbandonedOperations(std::chrono::milliseconds limit);
// For runners: count work from abandoning until it ends.
void abandonedOperationStarted();
void abandonedOperationEnded();

// For runners: marks the calling thread as one that runs operations' work.
class WorkerThreadScope {
public:
    WorkerThreadScope();
    ~WorkerThreadScope();
    WorkerThreadScope(const WorkerThreadScope &) = delete;
    WorkerThreadScope &operator=(const WorkerThreadScope &) = delete;
};

}  // namespace dbsync
