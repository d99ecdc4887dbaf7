#include "db/StatementOperation.h"

#include "db/AdoConnection.h"

#include <memory>
#include <mutex>
#include <sqlext.h>

namespace dbsync {

namespace {

// What the work and the waiting thread share.
struct StatementJob {
    std::mutex mutex;
    SQLHSTMT running = SQL_NULL_HSTMT;  // while the statement lives
    bool cancelled = false;
    SQLHDBC orphan = SQL_NULL_HDBC;  // the connection, once handed over

    ~StatementJob()
    {
        // The last one holding the job releases the connection, after the statement is gone.
        if (orphan != SQL_NULL_HDBC) {
            SQLDisconnect(orphan);
            SQLFreeHandle(SQL_HANDLE_DBC, orphan);
        }
    }
};

}  // namespace

void runStatement(AdoConnection &connection, int timeoutSeconds, OperationKind kind,
                  std::function<void(odbc::Statement &)> body)
{
    const SQLHDBC dbc = connection.handle();
    auto job = std::make_shared<StatementJob>();
    Operation operation;
    operation.kind = kind;
    operation.work = [job, dbc, timeoutSeconds, body = std::move(body)] {
        odbc::Statement statement(dbc, timeoutSeconds);
        struct Running {
            StatementJob &job;
            Running(StatementJob &j, SQLHSTMT stmt) : job(j)
            {
                const std::lock_guard lock(job.mutex);
                if (job.cancelled)
                    throw CancelledError();
                job.running = stmt;
            }
            ~Running()
            {
                const std::lock_guard lock(job.mutex);
                job.running = SQL_NULL_HSTMT;
            }
        } running(*job, statement.handle());
        body(statement);
    };
    operation.cancel = [job] {
        const std::lock_guard lock(job->mutex);
        job->cancelled = true;
        if (job->running != SQL_NULL_HSTMT)
            SQLCancel(job->running);
    };
    operation.abandon = [job, &connection] {
        const std::lock_guard lock(job->mutex);
        job->orphan = connection.release();
    };
    runOperation(operation);
}

}  // namespace dbsync
