#include "db/StatementOperation.h"

#include "db/AdoConnection.h"

#include <memory>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>
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
    std::vector<StatementRun> runs;
    runs.push_back({&connection, timeoutSeconds, std::move(body)});
    runStatementsTogether(std::move(runs), kind);
}

void runStatementsTogether(std::vector<StatementRun> runs, OperationKind kind)
{
    struct Part {
        std::shared_ptr<StatementJob> job = std::make_shared<StatementJob>();
        SQLHDBC dbc;
        int timeoutSeconds;
        std::function<void(odbc::Statement &)> body;
    };
    auto parts = std::make_shared<std::vector<Part>>();
    for (StatementRun &run : runs)
        parts->push_back({std::make_shared<StatementJob>(), run.connection->handle(), run.timeoutSeconds,
                          std::move(run.body)});

    Operation operation;
    operation.kind = kind;
    operation.work = [parts] {
        const auto runPart = [](Part &part) {
            odbc::Statement statement(part.dbc, part.timeoutSeconds);
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
            } running(*part.job, statement.handle());
            part.body(statement);
        };
        // The others on threads of their own, the first right here; all are waited for, and
        // the first one's error (in the given order) is the one that is raised.
        std::vector<std::exception_ptr> errors(parts->size());
        std::vector<std::thread> others;
        for (std::size_t i = 1; i < parts->size(); ++i)
            others.emplace_back([&, i] {
                try {
                    runPart((*parts)[i]);
                } catch (...) {
                    errors[i] = std::current_exception();
                }
            });
        try {
            runPart(parts->front());
        } catch (...) {
            errors[0] = std::current_exception();
        }
        for (std::thread &t : others)
            t.join();
        for (const std::exception_ptr &error : errors)
            if (error)
                std::rethrow_exception(error);
    };
    operation.cancel = [parts] {
        for (Part &part : *parts) {
            const std::lock_guard lock(part.job->mutex);
            part.job->cancelled = true;
            if (part.job->running != SQL_NULL_HSTMT)
                SQLCancel(part.job->running);
        }
    };
    std::vector<AdoConnection *> connections;
    for (const StatementRun &run : runs)
        connections.push_back(run.connection);
    operation.abandon = [parts, connections] {
        for (std::size_t i = 0; i < parts->size(); ++i) {
            const std::lock_guard lock((*parts)[i].job->mutex);
            (*parts)[i].job->orphan = connections[i]->release();
        }
    };
    runOperation(operation);
}

}  // namespace dbsync
