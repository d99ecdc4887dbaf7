#pragma once
// Runs each operation's work on a worker thread, kept from one operation to the next, while the
// calling thread waits. Most statements end within a millisecond: the caller waits for them
// without handling events, and enters a local event loop only when the work goes on or its
// events have waited kEventsEvery, so that its windows keep painting and a cancel can arrive.
// Cancelling sends the work its cancel; work that has not ended within the grace (a login at
// once) is abandoned: it finishes alone and releases what it holds, the wait ends with
// CancelledError, and its thread ends with it, the next operation starting a new one.
// One operation at a time: one that starts while another is awaited runs in place.

#include "db/Operation.h"

#include <QObject>
#include <chrono>
#include <memory>
#include <thread>

class QTimer;

namespace dbsync {

class WorkerThreadRunner : public QObject, public OperationRunner {
    Q_OBJECT
public:
    // The longest the calling thread goes without handling its events while it waits.
    static constexpr std::chrono::milliseconds kEventsEvery{50};

    explicit WorkerThreadRunner(QObject *parent = nullptr);
    ~WorkerThreadRunner() override;

    void run(Operation &operation) override;

    // From the waiting thread (a slot run by the local event loop). Every operation from now
    // on ends with CancelledError until resetCancel().
    void cancel();
    bool cancelRequested() const { return m_cancelRequested; }
    void resetCancel() { m_cancelRequested = false; }

    // How long a cancelled statement may take to end before it is abandoned.
    void setCancelGrace(std::chrono::milliseconds grace) { m_grace = grace; }

signals:
    // On the waiting thread, around each wait.
    void operationStarted(dbsync::OperationKind kind);
    void operationEnded();

private:
    struct Worker;
    void abandon();

    bool m_cancelRequested = false;
    std::chrono::milliseconds m_grace{2000};
    std::shared_ptr<Worker> m_worker;  // with m_thread; none before the first operation
    std::thread m_thread;
    Operation *m_operation = nullptr;  // while its work is awaited
    std::chrono::steady_clock::time_point m_eventsHandled;
    QTimer *m_graceTimer;
};

}  // namespace dbsync
