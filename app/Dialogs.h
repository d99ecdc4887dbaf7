#pragma once
// The three kinds of message box every command shows. Tests swap in a recorder, since a real
// box would block in its own event loop.

#include <QString>

class QWidget;

namespace dbsync {

// The application's title: the program file's name without its extension.
QString applicationTitle();

// The default error display appends a full stop when the text's last character has a code above
// that of "." (so not after ".", ")", "!", a blank or a line break).
QString withFullStop(const QString &text);

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Input checks and the settings confirmation: caption "提示", information icon, OK.
    virtual void inputCheck(const QString &text) = 0;
    // Completion and selection notices: plain dialog captioned with the application's title, OK.
    virtual void notice(const QString &text) = 0;
    // The default error display: error icon, the application's title as caption. The text
    // arrives with the full-stop rule already applied.
    virtual void error(const QString &text) = 0;
    // A yes/no question: question icon, the application's title as caption; true for yes.
    virtual bool question(const QString &text) = 0;
    // The whole plan of a synchronisation as its script, with 执行同步 and 取消 (the default);
    // true when the user chose to run it.
    virtual bool confirmPlan(const QString &script) = 0;
    // Before a synchronisation that would lose stored values: the losses, one per line, with
    // 继续同步 and 取消 (the default); true when the user chose to go on.
    virtual bool confirmDataLoss(const QStringList &losses) = 0;
};

// The data loss question's text, and the dialog that asks it.
QString dataLossQuestion(const QStringList &losses);

class MessageBoxDialogs : public Dialogs {
public:
    explicit MessageBoxDialogs(QWidget *parent) : m_parent(parent) {}
    void inputCheck(const QString &text) override;
    void notice(const QString &text) override;
    void error(const QString &text) override;
    bool question(const QString &text) override;
    bool confirmPlan(const QString &script) override;
    bool confirmDataLoss(const QStringList &losses) override;

private:
    QWidget *m_parent;
};

}  // namespace dbsync
