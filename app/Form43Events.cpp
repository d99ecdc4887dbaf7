// Wiring of the window's events and the handlers that belong to the window itself.
#include "app/Form43.h"

#include "app/CommandProgress.h"
#include "app/ResultGrid.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>

#include <exception>
#include <optional>
#include <stdexcept>

void TForm43::wireEvents()
{
    const auto onClick = [this](QPushButton *button, void (TForm43::*command)()) {
        connect(button, &QPushButton::clicked, this, [this, command] { runCommand(command); });
    };
    onClick(Button1, &TForm43::Button1Click);
    onClick(Button4, &TForm43::Button4Click);
    onClick(Button5, &TForm43::Button5Click);
    onClick(Button7, &TForm43::Button7Click);
    onClick(Button9, &TForm43::Button9Click);
    onClick(Button10, &TForm43::Button10Click);
    onClick(Button12, &TForm43::Button12Click);
    onClick(Button14, &TForm43::Button14Click);
    onClick(button22, &TForm43::Button22Click);
    // Any change of the checked state, by the user or by code.
    connect(CheckBox1, &QCheckBox::toggled, this, [this] { runCommand(&TForm43::CheckBox1Click); });
    // activated: an entry chosen with the mouse or the keys; typing and setEditText don't emit it.
    connect(ComboBox1, &QComboBox::activated, this, [this] { runCommand(&TForm43::ComboBox1Select); });
    connect(ComboBox2, &QComboBox::activated, this, [this] { runCommand(&TForm43::ComboBox2Select); });
}

void TForm43::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // Spontaneous show events come from the window system, e.g. restoring a minimised window.
    if (!event->spontaneous())
        runCommand(&TForm43::FormShow);
}

void TForm43::FormShow()
{
    b = false;
    Button10->setEnabled(false);
    button22->setEnabled(false);
}

void TForm43::CheckBox1Click()
{
    // The script echo starts on an empty memo.
    if (CheckBox1->isChecked())
        Memo1->clear();
}

void TForm43::ComboBox1Select()
{
    Button12Click();
}

void TForm43::ComboBox2Select()
{
    Button12Click();
}

void TForm43::runCommand(void (TForm43::*command)())
{
    runCommand([this, command] { (this->*command)(); });
}

void TForm43::runCommand(const std::function<void()> &command)
{
    // Qt cannot carry an exception through its event loop, so each event ends here.
    std::optional<QString> error;
    m_progress->begin();
    try {
        command();
    } catch (const dbsync::CancelledError &e) {
        if (!m_closeWhenDone)  // closing: the user has seen enough
            error = QString::fromUtf8(e.what());
    } catch (const std::exception &e) {
        error = QString::fromUtf8(e.what());
    } catch (...) {
        error = QStringLiteral("Unknown error");
    }
    m_progress->end();
    if (error)
        showError(*error);
    if (m_closeWhenDone && !m_progress->running()) {
        m_closeWhenDone = false;
        close();
    }
}

void TForm43::closeEvent(QCloseEvent *event)
{
    if (m_progress->running()) {
        event->ignore();
        m_closeWhenDone = true;
        m_progress->cancel();
        return;
    }
    QMainWindow::closeEvent(event);
}

void TForm43::showError(const QString &text)
{
    dialogs().error(dbsync::withFullStop(text));
}

bool TForm43::requireText(QWidget *field, const QString &message, QWidget *focusTarget)
{
    QString text;
    if (const auto *edit = qobject_cast<QLineEdit *>(field))
        text = edit->text();
    else if (const auto *combo = qobject_cast<QComboBox *>(field))
        text = combo->currentText();
    else
        throw std::logic_error("requireText: not an edit or combo box");
    if (!text.isEmpty())
        return true;
    dialogs().inputCheck(message);
    if (focusTarget)
        focusTarget->setFocus(Qt::OtherFocusReason);
    return false;
}

void TForm43::setDialogs(dbsync::Dialogs *dialogs)
{
    m_dialogs = dialogs ? dialogs : &m_messageBoxes;
}

dbsync::Dialogs &TForm43::dialogs()
{
    m_progress->pause();  // a message box does not sit under the progress dialog
    return *m_dialogs;
}
