#include "db/Operation.h"

#include <atomic>
#include <thread>

namespace dbsync {

namespace {

OperationRunner *g_runner = nullptr;
thread_local bool t_onWorker = false;

std::atomic<int> g_abandoned = 0;

}  // namespace

void setOperationRunner(OperationRunner *runner) { g_runner = runner; }

void runOperation(Operation &operation)
{
    if (!g_runner || t_onWorker)
        operation.work();
    else
        g_runner->run(operation);
}

int abandonedOperations() { return g_abandoned.load(); }

bool waitForAbandonedOperations(std::chrono::milliseconds limit)
{
    // Polled: it is rare and short.
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (abandonedOperations() == 0)
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void abandonedOperationStarted() { ++g_abandoned; }
void abandonedOperationEnded() { --g_abandoned; }

WorkerThreadScope::WorkerThreadScope() { t_onWorker = true; }
WorkerThreadScope::~WorkerThreadScope() { t_onWorker = false; }

}  // namespace dbsync
