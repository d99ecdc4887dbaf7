#include "db/Operation.h"

#include <condition_variable>
#include <mutex>

namespace dbsync {

namespace {

OperationRunner *g_runner = nullptr;
thread_local bool t_onWorker = false;

std::mutex g_abandonedMutex;
std::condition_variable g_abandonedEnded;
int g_abandoned = 0;

}  // namespace

void setOperationRunner(OperationRunner *runner) { g_runner = runner; }

void runOperation(Operation &operation)
{
    if (!g_runner || t_onWorker)
        operation.work();
    else
        g_runner->run(operation);
}

int abandonedOperations()
{
    const std::lock_guard lock(g_abandonedMutex);
    return g_abandoned;
}

bool waitForAbandonedOperations(std::chrono::milliseconds limit)
{
    std::unique_lock lock(g_abandonedMutex);
    return g_abandonedEnded.wait_for(lock, limit, [] { return g_abandoned == 0; });
}

void abandonedOperationStarted()
{
    const std::lock_guard lock(g_abandonedMutex);
    ++g_abandoned;
}

void abandonedOperationEnded()
{
    {
        const std::lock_guard lock(g_abandonedMutex);
        --g_abandoned;
    }
    g_abandonedEnded.notify_all();
}

WorkerThreadScope::WorkerThreadScope() { t_onWorker = true; }
WorkerThreadScope::~WorkerThreadScope() { t_onWorker = false; }

}  // namespace dbsync
