// Connecting, listing the databases and the backup.
#include "app/ComboEntries.h"
#include "app/CommandProgress.h"
#include "app/Form43.h"

#include "db/ServerAccess.h"
#include "maintenance/Backup.h"

#include <QComboBox>
#include <QDateTime>
#include <QLineEdit>

namespace {

dbsync::ServerFields serverFields(const TForm43 &form)
{
    return {form.EIP->text(),   form.EUser->text(), form.EPassword->text(), form.ComboBox1->currentText(),
            form.Edit2->text(), form.Edit3->text(), form.MaskEdit1->text(), form.ComboBox2->currentText()};
}

QWidget *fieldWidget(TForm43 &form, dbsync::ParameterField field)
{
    using F = dbsync::ParameterField;
    switch (field) {
    case F::EIP: return form.EIP;
    case F::EUser: return form.EUser;
    case F::EPassword: return form.EPassword;
    case F::ComboBox1: return form.ComboBox1;
    case F::Edit2: return form.Edit2;
    case F::Edit3: return form.Edit3;
    case F::MaskEdit1: return form.MaskEdit1;
    case F::ComboBox2: return form.ComboBox2;
    }
    return nullptr;
}

// The six checks the connect and list commands start with; false after showing the first failure.
bool passServerChecks(TForm43 &form, const dbsync::ServerFields &fields)
{
    const auto failure = dbsync::checkServerFields(fields);
    if (!failure)
        return true;
    form.dialogs().inputCheck(failure->message);
    if (failure->focus)
        fieldWidget(form, *failure->focus)->setFocus(Qt::OtherFocusReason);
    return false;
}

// The two database lists as the list command fills them; the boxes keep showing their text.
class ComboDatabaseLists : public dbsync::DatabaseLists {
public:
    ComboDatabaseLists(QComboBox *sample, QComboBox *target) : m_sample(sample), m_target(target) {}
    void clearSample() override { dbsync::clearEntries(m_sample); }
    void clearTarget() override { dbsync::clearEntries(m_target); }
    void appendSample(const QString &name) override { dbsync::appendEntry(m_sample, name); }
    void appendTarget(const QString &name) override { dbsync::appendEntry(m_target, name); }

private:
    QComboBox *m_sample;
    QComboBox *m_target;
};

}  // namespace

void TForm43::Button1Click()
{
    const dbsync::WorkLabel label(QStringLiteral("正在查询数据库列表…"));
    const dbsync::ServerFields fields = serverFields(*this);
    if (!passServerChecks(*this, fields))
        return;
    ComboDatabaseLists lists(ComboBox1, ComboBox2);
    dbsync::listDatabases(fields, ADOConnection1, ADOConnection2, ADOQuery1, ADOQuery4, lists);
}

void TForm43::Button12Click()
{
    const dbsync::WorkLabel label(QStringLiteral("正在连接数据库…"));
    const dbsync::ServerFields fields = serverFields(*this);
    if (!passServerChecks(*this, fields))
        return;
    dbsync::connectServers(fields, ADOConnection1, ADOConnection2, ADOConnection3);
}

void TForm43::Button7Click()
{
    const dbsync::WorkLabel label(QStringLiteral("正在备份数据库…"));
    // One clock reading names the file in both the statement and the notice.
    const auto notice = dbsync::runBackup(ComboBox2->currentText(), QDateTime::currentDateTime(), ADOQuery3);
    if (!notice)
        return;  // no target database name: nothing to back up, nothing shown
    dialogs().notice(*notice);
    b = true;
}
