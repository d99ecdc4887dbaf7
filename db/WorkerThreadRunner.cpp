#include "db/WorkerThreadRunner.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSemaphore>
#include <QTimer>
#include <algorithm>
#include <exception>
#include <functional>
#include <mutex>
#include <utility>

namespace dbsync {

// What the runner and its thread share. The thread is kept across operations: starting one per
// statement cost more than many statements take. The handovers go through semaphores, which
// make no system call for a side that is not waiting (a condition variable's wait leaves its
// mutex marked contended, so each handover paid for wake-ups that woke nobody).
struct WorkerThreadRunner::Worker {
    QSemaphore jobs;  // a job handed over, or stop
    QSemaphore ends;  // a job ended, unless abandoned
    std::mutex mutex;
    std::function<void()> job;
    bool done = false;
    std::exception_ptr error;
    QEventLoop *loop = nullptr;  // while the caller waits in one
    bool abandoned = false;      // the thread ends with this job
    bool stop = false;

    void serve();
};

void WorkerThreadRunner::Worker::serve()
{
    const WorkerThreadScope scope;
    for (;;) {
        // A command usually hands over its next statement within this time: staying awake
        // until then spares the handover the thread's wake-up, which costs more than the spin.
        const auto awake = std::chrono::steady_clock::now() + std::chrono::microseconds(100);
        while (jobs.available() == 0 && std::chrono::steady_clock::now() < awake)
            std::this_thread::yield();
        jobs.acquire();
        std::function<void()> work;
        {
            const std::lock_guard lock(mutex);
            if (stop)
                return;
            work = std::exchange(job, nullptr);
        }
        std::exception_ptr caught;
        try {
            work();
        } catch (...) {
            caught = std::current_exception();
        }
        work = nullptr;  // what the work owned goes before anyone hears it ended
        {
            const std::lock_guard lock(mutex);
            // Handed over whole: the caller holds the only reference from here, so the
            // exception is freed on its thread, after its handler has read it.
            error = std::move(caught);
            done = true;
            if (loop)
                QMetaObject::invokeMethod(loop, &QEventLoop::quit, Qt::QueuedConnection);
            if (abandoned) {
                abandonedOperationEnded();
                return;
            }
        }
        ends.release();
    }
}

WorkerThreadRunner::WorkerThreadRunner(QObject *parent) : QObject(parent), m_graceTimer(new QTimer(this))
{
    m_graceTimer->setSingleShot(true);
    connect(m_graceTimer, &QTimer::timeout, this, &WorkerThreadRunner::abandon);
}

WorkerThreadRunner::~WorkerThreadRunner()
{
    if (!m_worker)
        return;
    {
        const std::lock_guard lock(m_worker->mutex);
        m_worker->stop = true;
    }
    m_worker->jobs.release();
    m_thread.join();  // idle: run() has returned
}

void WorkerThreadRunner::run(Operation &operation)
{
    if (m_operation) {  // started from inside a wait, e.g. by a timer: nothing to wait in
        operation.work();
        return;
    }
    if (m_cancelRequested)
        throw CancelledError();

    if (!m_worker) {
        m_worker = std::make_shared<Worker>();
        m_thread = std::thread([worker = m_worker] { worker->serve(); });
    }
    const std::shared_ptr<Worker> worker = m_worker;
    {
        const std::lock_guard lock(worker->mutex);
        worker->job = operation.work;
        worker->done = false;
        worker->error = nullptr;
    }
    worker->jobs.release();
    m_operation = &operation;
    emit operationStarted(operation.kind);

    // Events wait while they are not due yet: quick work ends without an event loop.
    using std::chrono::steady_clock;
    const steady_clock::time_point eventsDue = m_eventsHandled + kEventsEvery;
    const auto untilDue = std::chrono::ceil<std::chrono::milliseconds>(eventsDue - steady_clock::now());
    const bool ended = worker->ends.tryAcquire(1, int(std::max<qint64>(0, untilDue.count())));
    if (!ended || steady_clock::now() >= eventsDue) {
        QEventLoop loop;
        {
            const std::lock_guard lock(worker->mutex);
            worker->loop = &loop;
            if (worker->done)  // the events only
                QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        }
        loop.exec();
        m_eventsHandled = steady_clock::now();
    }
    bool abandoned = false;
    std::exception_ptr error;
    {
        const std::lock_guard lock(worker->mutex);
        worker->loop = nullptr;
        abandoned = worker->abandoned;
        error = std::exchange(worker->error, nullptr);
    }
    if (!ended && !abandoned)
        worker->ends.acquire();  // released as the work ended

    m_graceTimer->stop();
    m_operation = nullptr;
    if (abandoned) {  // its thread ends with the work; the next operation starts a new one
        m_thread.detach();
        m_worker.reset();
    }
    emit operationEnded();

    if (m_cancelRequested)
        throw CancelledError();
    if (error)
        std::rethrow_exception(error);
}

void WorkerThreadRunner::cancel()
{
    if (m_cancelRequested)
        return;
    m_cancelRequested = true;
    if (!m_operation)
        return;  // between operations: the next one ends at once
    if (m_operation->cancel)
        m_operation->cancel();
    if (m_operation->kind == OperationKind::Connect)
        abandon();  // a login cannot be interrupted
    else
        m_graceTimer->start(m_grace);
}

void WorkerThreadRunner::abandon()
{
    if (!m_operation)
        return;
    const std::lock_guard lock(m_worker->mutex);
    if (m_worker->done)
        return;  // its quit is on the way, or the wait is over already
    m_worker->abandoned = true;
    abandonedOperationStarted();
    if (m_operation->abandon)
        m_operation->abandon();
    if (m_worker->loop)
        m_worker->loop->quit();
}

}  // namespace dbsync
