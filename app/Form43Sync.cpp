#include "app/Form43Sync.h"

#include "db/AdoCommand.h"
#include "db/CrossServer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace dbsync::form43 {

ServerFields serverFields(const TForm43 &form)
{
    return {form.EIP->text(),   form.EUser->text(), form.EPassword->text(), form.ComboBox1->currentText(),
            form.Edit2->text(), form.Edit3->text(), form.MaskEdit1->text(), form.ComboBox2->currentText()};
}

bool checkSampleFields(TForm43 &form)
{
    return form.requireText(form.EIP, QStringLiteral("请添写上级IP地址！"), form.EIP)
        && form.requireText(form.EUser, QStringLiteral("请添写用户名！"), form.EUser);
}

bool prepareSync(TForm43 &form)
{
    if (!checkSampleFields(form))
        return false;
    if (form.DBGrid1->selectionCount() < 1) {
        form.dialogs().notice(QStringLiteral("请在表中选择需要同步的项"));
        return false;
    }
    if (!form.b) {
        // An error in the backup ends the synchronisation with b still false.
        form.Button7Click();
        form.b = true;
    }
    runEnablingStep(form.ADOCommand1);
    return true;
}

void setGridWidths(TForm43 &form, const QList<int> &widths)
{
    for (int i = 0; i < widths.size(); ++i)
        form.DBGrid1->setColumnWidthAt(i, widths[i]);
}

void runStep(TForm43 &form, const schema::SyncStep &step)
{
    using schema::StepRunner;
    if (schema::echoes(step, form.CheckBox1->isChecked())) {
        QString text = step.lines.join(QLatin1Char('\n'));
        text.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
        form.Memo1->appendPlainText(text);
    }
    switch (step.runner) {
    case StepRunner::ADOQuery3:
    case StepRunner::ADOQuery4: {
        AdoQuery &query = step.runner == StepRunner::ADOQuery3 ? form.ADOQuery3 : form.ADOQuery4;
        query.close();
        query.setSql(step.lines);
        query.execSQL();
        break;
    }
    case StepRunner::ADOCommand1:
        form.ADOCommand1.setCommandText(step.lines.value(0));
        form.ADOCommand1.execute();
        break;
    }
}

const ResultSet &queryOnTargetServer(TForm43 &form, const QStringList &lines)
{
    form.ADOQuery4.close();
    form.ADOQuery4.setSql(lines);
    form.ADOQuery4.open();
    return form.ADOQuery4.result();
}

}  // namespace dbsync::form43
