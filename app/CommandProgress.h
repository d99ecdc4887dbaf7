#pragma once
// A command's database work on a worker thread, with its progress and its cancel: while a
// command runs, the window takes no input; once it has run for half a second a modal dialog
// names the work, counts the seconds and offers "取消" (Esc does the same). Cancel ends the
// command with "操作已取消" like any error.

#include "db/Operation.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QString>

class QLabel;
class QPushButton;
class QTimer;

namespace dbsync {

class WorkerThreadRunner;

// The work a command names, for as long as the label lives; the innermost label is shown.
// A label with a count names the statements run while it is innermost, "<work>：第 k/N 条语句",
// and shows "<work>…" for its other database calls.
class WorkLabel {
public:
    explicit WorkLabel(const QString &text);
    WorkLabel(const QString &work, qsizetype statements);
    ~WorkLabel();
    WorkLabel(const WorkLabel &) = delete;
    WorkLabel &operator=(const WorkLabel &) = delete;

    // A call of that kind starts now: a statement counts for the innermost label.
    static void started(OperationKind kind);
    // The text for the call of that kind that started last.
    static QString textFor(OperationKind kind);

private:
    QString m_work;
    qsizetype m_statements = -1;  // -1: no count
    qsizetype m_started = 0;
    WorkLabel *m_outer;
};

class ProgressDialog : public QDialog {
    Q_OBJECT
public:
    explicit ProgressDialog(QWidget *parent);
    void setWork(const QString &text);
    void setSeconds(qint64 seconds);

    QLabel *workLabel() const { return m_work; }
    QLabel *secondsLabel() const { return m_seconds; }
    QPushButton *cancelButton() const { return m_cancel; }

private:
    QLabel *m_work;
    QLabel *m_seconds;
    QPushButton *m_cancel;
};

class CommandProgress : public QObject {
    Q_OBJECT
public:
    // window: the one whose input is held back while a command runs.
    explicit CommandProgress(QWidget *window);
    ~CommandProgress() override;

    // Around the outermost command; nested begins only count.
    void begin();
    void end();
    bool running() const { return m_depth > 0; }

    // Cancels the running command (the dialog's button and Esc do this).
    void cancel();
    bool cancelled() const;
    // A message box is about to show: the dialog makes way and waits half a second again.
    void pause();

    // The dialog once made (nullptr before), for tests.
    ProgressDialog *dialog() const { return m_dialog; }
    static constexpr int kShowAfterMs = 500;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void operationStarted(OperationKind kind);
    void operationEnded();
    void tick();

    QWidget *m_window;
    WorkerThreadRunner *m_runner;
    QPointer<ProgressDialog> m_dialog;
    QTimer *m_ticker;
    QElapsedTimer m_commandClock;  // seconds shown
    QElapsedTimer m_quietClock;    // since the command began or a message box showed
    int m_depth = 0;
    bool m_inOperation = false;
    OperationKind m_kind = OperationKind::Execute;  // of the last operation started
};

}  // namespace dbsync
