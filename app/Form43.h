#pragma once
// The one main window: every parameter field, command button, the memo, the result grid and
// the state the commands share. Commands are public members named after their control and
// event; they throw std::exception on errors and may call each other directly. The slot wired
// to each control runs its command inside runCommand(), which shows any error.
// The window owns the database objects (ADOConnection1, ADOQuery2, DataSource1, ...) as
// members of its own, none connected; DBGrid1 shows ADOQuery2 through DataSource1.

#include "app/Dialogs.h"
#include "db/DatabaseObjects.h"
#include "workflow/CompareMode.h"

#include <QMainWindow>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;

namespace dbsync {
class CommandProgress;
class ResultGrid;
}

class TForm43 : public QMainWindow, public dbsync::DatabaseObjects {
    Q_OBJECT

public:
    explicit TForm43(QWidget *parent = nullptr);
    ~TForm43() override;

    // Handlers of the window itself.
    void FormShow();
    void CheckBox1Click();
    void ComboBox1Select();
    void ComboBox2Select();

    // Commands. Virtual so that tests can watch one command run another.
    virtual void Button1Click();   // list the databases of both servers
    virtual void Button12Click();  // connect
    virtual void Button4Click();   // read the settings file
    virtual void Button5Click();   // write the settings file
    virtual void Button7Click();   // back the target database up
    virtual void Button9Click();   // list view and procedure differences
    virtual void Button10Click();  // synchronise views and procedures
    virtual void Button14Click();  // list table column differences
    virtual void Button22Click();  // synchronise table structure

    // Runs a command as a click does: an error ends it and goes to the default error display.
    // Its database calls run on a worker thread; meanwhile the window takes no input and, after
    // half a second, shows the progress dialog with its cancel.
    void runCommand(void (TForm43::*command)());
    // The same for a command of the menus, which are not buttons of the window.
    void runCommand(const std::function<void()> &command);
    dbsync::CommandProgress &progress() { return *m_progress; }
    void showError(const QString &text);

    // Input check shared by every command: when the field's text (edit box or combo box) is
    // empty, show the message, move the focus to focusTarget (nullptr: it stays) and give false.
    bool requireText(QWidget *field, const QString &message, QWidget *focusTarget);

    // nullptr restores the message boxes. The window does not own what it is given.
    void setDialogs(dbsync::Dialogs *dialogs);
    dbsync::Dialogs &dialogs();

    // Backup flag: a backup has run since the window was shown.
    bool b = false;

    // How the listings and synchronisations compare the databases; saved with the settings.
    dbsync::workflow::CompareMode compareMode() const { return m_compareMode; }
    void setCompareMode(dbsync::workflow::CompareMode mode) { m_compareMode = mode; }

    QLabel *Label5 = nullptr;
    QLabel *Label10 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *Label6 = nullptr;
    QLabel *Label7 = nullptr;
    QLabel *Image1 = nullptr;
    QLineEdit *EIP = nullptr;
    QLineEdit *EUser = nullptr;
    QLineEdit *EPassword = nullptr;
    QComboBox *ComboBox1 = nullptr;
    QLineEdit *Edit2 = nullptr;
    QLineEdit *Edit3 = nullptr;
    QLineEdit *MaskEdit1 = nullptr;
    QComboBox *ComboBox2 = nullptr;
    QPushButton *Button4 = nullptr;
    QPushButton *Button5 = nullptr;
    QPushButton *Button1 = nullptr;
    QPushButton *Button7 = nullptr;
    QPushButton *Button12 = nullptr;
    QPushButton *Button9 = nullptr;
    QPushButton *Button10 = nullptr;
    QPushButton *Button14 = nullptr;
    QPushButton *button22 = nullptr;
    QCheckBox *CheckBox1 = nullptr;
    QPlainTextEdit *Memo1 = nullptr;
    QLabel *StaticText1 = nullptr;
    dbsync::ResultGrid *DBGrid1 = nullptr;
    QStatusBar *StatusBar1 = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    // While a command runs, closing cancels it and the window closes once it has ended.
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls();
    void createStatusBar();
    void setTabOrderChain();
    void wireEvents();

    dbsync::MessageBoxDialogs m_messageBoxes{this};
    dbsync::Dialogs *m_dialogs = &m_messageBoxes;
    dbsync::CommandProgress *m_progress = nullptr;
    bool m_closeWhenDone = false;
    dbsync::workflow::CompareMode m_compareMode = dbsync::workflow::CompareMode::Server;
};
