#include "app/CommandProgress.h"

#include "app/Dialogs.h"
#include "db/WorkerThreadRunner.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace dbsync {

namespace {

WorkLabel *g_innermost = nullptr;  // labels live on the window's thread only

bool isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

}  // namespace

WorkLabel::WorkLabel(const QString &text) : m_work(text), m_outer(g_innermost) { g_innermost = this; }

WorkLabel::WorkLabel(const QString &work, qsizetype statements)
    : m_work(work), m_statements(statements), m_outer(g_innermost)
{
    g_innermost = this;
}

WorkLabel::~WorkLabel() { g_innermost = m_outer; }

void WorkLabel::started(OperationKind kind)
{
    if (g_innermost && g_innermost->m_statements >= 0 && kind == OperationKind::Execute)
        ++g_innermost->m_started;
}

QString WorkLabel::textFor(OperationKind kind)
{
    WorkLabel *label = g_innermost;
    if (!label)
        return QStringLiteral("正在访问数据库…");
    if (label->m_statements < 0)
        return label->m_work;
    if (kind != OperationKind::Execute)
        return label->m_work + QStringLiteral("…");
    return QStringLiteral("%1：第 %2/%3 条语句").arg(label->m_work).arg(label->m_started).arg(label->m_statements);
}

ProgressDialog::ProgressDialog(QWidget *parent)
    : QDialog(parent), m_work(new QLabel(this)), m_seconds(new QLabel(this)),
      m_cancel(new QPushButton(QStringLiteral("取消"), this))
{
    setObjectName(QStringLiteral("ProgressDialog"));
    setWindowTitle(applicationTitle());
    setWindowModality(Qt::ApplicationModal);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    if (parent)
        setFont(parent->font());
    m_work->setObjectName(QStringLiteral("ProgressWork"));
    m_seconds->setObjectName(QStringLiteral("ProgressSeconds"));
    m_cancel->setObjectName(QStringLiteral("ProgressCancel"));
    m_cancel->setAutoDefault(false);
    m_work->setMinimumWidth(300);
    m_work->setWordWrap(true);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_work);
    layout->addWidget(m_seconds);
    layout->addLayout(buttons);
    setSeconds(0);
    // Esc and the title bar's close reject the dialog; the button does the same.
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void ProgressDialog::setWork(const QString &text) { m_work->setText(text); }

void ProgressDialog::setSeconds(qint64 seconds)
{
    m_seconds->setText(QStringLiteral("已用时间：%1 秒").arg(seconds));
}

CommandProgress::CommandProgress(QWidget *window)
    : QObject(window), m_window(window), m_runner(new WorkerThreadRunner(this)), m_ticker(new QTimer(this))
{
    m_ticker->setInterval(100);
    connect(m_ticker, &QTimer::timeout, this, &CommandProgress::tick);
    connect(m_runner, &WorkerThreadRunner::operationStarted, this, &CommandProgress::operationStarted);
    connect(m_runner, &WorkerThreadRunner::operationEnded, this, &CommandProgress::operationEnded);
}

CommandProgress::~CommandProgress()
{
    if (m_depth > 0) {
        setOperationRunner(nullptr);
        qApp->removeEventFilter(this);
    }
}

void CommandProgress::begin()
{
    if (m_depth++ > 0)
        return;
    m_runner->resetCancel();
    setOperationRunner(m_runner);
    qApp->installEventFilter(this);
    m_commandClock.start();
    m_quietClock.start();
    m_ticker->start();
}

void CommandProgress::end()
{
    if (--m_depth > 0)
        return;
    m_ticker->stop();
    qApp->removeEventFilter(this);
    setOperationRunner(nullptr);
    if (m_dialog)
        m_dialog->hide();
}

void CommandProgress::cancel()
{
    if (running())
        m_runner->cancel();
}

bool CommandProgress::cancelled() const { return m_runner->cancelRequested(); }

void CommandProgress::pause()
{
    if (m_dialog)
        m_dialog->hide();
    m_quietClock.start();
}

// Runs for every statement: the dialog's texts wait for the next tick.
void CommandProgress::operationStarted(OperationKind kind)
{
    m_inOperation = true;
    m_kind = kind;
    WorkLabel::started(kind);
}

void CommandProgress::operationEnded() { m_inOperation = false; }

void CommandProgress::tick()
{
    const bool shown = m_dialog && m_dialog->isVisible();
    if (!shown
        && !(m_inOperation && !m_runner->cancelRequested() && m_quietClock.elapsed() >= kShowAfterMs))
        return;
    if (!m_dialog) {
        m_dialog = new ProgressDialog(m_window);
        connect(m_dialog, &QDialog::rejected, this, &CommandProgress::cancel);
    }
    if (m_inOperation)  // its label is still there
        m_dialog->setWork(WorkLabel::textFor(m_kind));
    m_dialog->setSeconds(m_commandClock.elapsed() / 1000);
    if (!shown) {
        m_dialog->show();
        m_dialog->raise();
        m_dialog->activateWindow();
    }
}

bool CommandProgress::eventFilter(QObject *watched, QEvent *event)
{
    // Input for the window goes nowhere while a command runs: nothing queues up to run after it.
    if (isUserInput(event->type()) && watched->isWidgetType()
        && static_cast<QWidget *>(watched)->window() == m_window)
        return true;
    return QObject::eventFilter(watched, event);
}

}  // namespace dbsync
