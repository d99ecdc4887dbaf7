#include "db/WorkerThreadRunner.h"

#include <QEventLoop>
#include <QTimer>
#include <exception>
#include <mutex>
#include <thread>

namespace dbsync {

struct WorkerThreadRunner::Flight {
    std::mutex mutex;
    bool done = false;
    bool abandoned = false;
    std::exception_ptr error;
    QEventLoop *loop = nullptr;  // while the caller waits
};

WorkerThreadRunner::WorkerThreadRunner(QObject *parent) : QObject(parent), m_graceTimer(new QTimer(this))
{
    m_graceTimer->setSingleShot(true);
    connect(m_graceTimer, &QTimer::timeout, this, &WorkerThreadRunner::abandon);
}

WorkerThreadRunner::~WorkerThreadRunner() = default;

void WorkerThreadRunner::run(Operation &operation)
{
    if (m_flight) {  // started from inside a wait, e.g. by a timer: nothing to wait in
        operation.work();
        return;
    }
    if (m_cancelRequested)
        throw CancelledError();

    auto flight = std::make_shared<Flight>();
    QEventLoop loop;
    flight->loop = &loop;
    std::thread worker([flight, work = operation.work]() mutable {
        std::exception_ptr error;
        {
            const WorkerThreadScope scope;
            try {
                work();
            } catch (...) {
                error = std::current_exception();
            }
            work = nullptr;  // what the work owned goes before anyone hears it ended
        }
        const std::lock_guard lock(flight->mutex);
        flight->error = error;
        flight->done = true;
        if (flight->loop)
            QMetaObject::invokeMethod(flight->loop, &QEventLoop::quit, Qt::QueuedConnection);
        if (flight->abandoned)
            abandonedOperationEnded();
    });

    m_flight = flight;
    m_operation = &operation;
    emit operationStarted(operation.kind);
    loop.exec();
    m_graceTimer->stop();
    bool abandoned = false;
    {
        const std::lock_guard lock(flight->mutex);
        flight->loop = nullptr;
        abandoned = flight->abandoned;
    }
    m_flight.reset();
    m_operation = nullptr;
    if (abandoned)
        worker.detach();
    else
        worker.join();
    emit operationEnded();

    if (m_cancelRequested)
        throw CancelledError();
    if (flight->error)
        std::rethrow_exception(flight->error);
}

void WorkerThreadRunner::cancel()
{
    if (m_cancelRequested)
        return;
    m_cancelRequested = true;
    if (!m_flight)
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
    if (!m_flight)
        return;
    const std::lock_guard lock(m_flight->mutex);
    if (m_flight->done)
        return;  // its quit is on the way
    m_flight->abandoned = true;
    abandonedOperationStarted();
    if (m_operation->abandon)
        m_operation->abandon();
    m_flight->loop->quit();
}

}  // namespace dbsync
