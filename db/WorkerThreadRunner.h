#pragma once
// Runs each operation's work on a thread of its own while the calling thread waits in a local
// event loop, so that its windows keep painting and a cancel can arrive. Cancelling sends the
// work its cancel; work that has not ended within the grace (a login at once) is abandoned:
// it finishes alone and releases what it holds, and the wait ends with CancelledError.
// One operation at a time: one that starts while another is awaited runs in place.

#include "db/Operation.h"

#include <QObject>
#include <chrono>
#include <memory>

class QTimer;

namespace dbsync {

class WorkerThreadRunner : public QObject, public OperationRunner {
    Q_OBJECT
public:
    explicit WorkerThreadRunner(QObject *parent = nullptr);
    ~WorkerThreadRunner() override;

    void run(Operation &operation) override;

    // From the waiting thread (a slot run by the local event loop). Every operation from now
    // on ends with CancelledError until resetCancel().
    void cancel();
    bool cancelRequested() const { return m_cancelRequested; }
    void resetCancel() { m_cancelRequested = false; }
    bool waiting() const { return m_flight != nullptr; }

    // How long a cancelled statement may take to end before it is abandoned.
    void setCancelGrace(std::chrono::milliseconds grace) { m_grace = grace; }

signals:
    // On the waiting thread, around each wait.
    void operationStarted(dbsync::OperationKind kind);
    void operationEnded();

private:
    struct Flight;
    void abandon();

    bool m_cancelRequested = false;
    std::chrono::milliseconds m_grace{2000};
    std::shared_ptr<Flight> m_flight;
    Operation *m_operation = nullptr;
    QTimer *m_graceTimer;
};

}  // namespace dbsync
