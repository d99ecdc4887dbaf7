#include "app/Form43Sync.h"

#include "db/AdoCommand.h"
#include "db/CrossServer.h"
#include "db/DbError.h"
#include "workflow/Workflow.h"

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
    return true;
}

bool consentAndBackUp(TForm43 &form, const workflow::Plan &plan)
{
    if (!consentToLoss(form, plan.lossChecks))
        return false;
    if (!form.b) {
        // An error in the backup ends the synchronisation with b still false.
        form.Button7Click();
        form.b = true;
    }
    return true;
}

bool consentToLoss(TForm43 &form, const QList<schema::DataLossCheck> &checks)
{
    if (checks.isEmpty())
        return true;
    workflow::Plan counted;
    counted.lossChecks = checks;
    const QList<schema::DataLoss> losses = workflow::findDataLoss(form, counted);
    return losses.isEmpty() || form.dialogs().confirmDataLoss(schema::dataLossLines(losses));
}

void runPlan(TForm43 &form, const QList<schema::SyncStep> &steps)
{
    workflow::runSteps(form, steps, [&form](const schema::SyncStep &step, qsizetype) { echoStep(form, step); });
}

QString localComparisonOffer(const QString &serverMessage)
{
    return QStringLiteral("目的服务器不能通过分布式查询读取样本数据库：\n") + serverMessage
        + QStringLiteral("\n\n是否改为在本机比较（分别读取两个数据库，由本程序比较）？");
}

bool compareInMode(TForm43 &form, const std::function<void(workflow::CompareMode)> &work)
{
    using workflow::CompareMode;
    if (form.compareMode() == CompareMode::Local) {
        work(CompareMode::Local);
        return true;
    }
    bool enabling = true;
    try {
        workflow::prepareComparison(form, CompareMode::Server);
        enabling = false;
        work(CompareMode::Server);
        return true;
    } catch (const DbError &e) {
        if (!workflow::refusesServerSideComparison(e.nativeError(), enabling))
            throw;
        if (!form.dialogs().question(localComparisonOffer(e.message())))
            return false;
    }
    form.setCompareMode(CompareMode::Local);
    work(CompareMode::Local);
    return true;
}

void setGridWidths(TForm43 &form, const QList<int> &widths)
{
    for (int i = 0; i < widths.size(); ++i)
        form.DBGrid1->setColumnWidthAt(i, widths[i]);
}

void echoStep(TForm43 &form, const schema::SyncStep &step)
{
    if (schema::echoes(step, form.CheckBox1->isChecked())) {
        QString text = step.lines.join(QLatin1Char('\n'));
        text.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
        form.Memo1->appendPlainText(text);
    }
}

const ResultSet &queryOnTargetServer(TForm43 &form, const QStringList &lines)
{
    return workflow::queryOnTargetServer(form, lines);
}

}  // namespace dbsync::form43
