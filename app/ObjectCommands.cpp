#include "app/ObjectCommands.h"

#include "app/CommandProgress.h"
#include "app/Form43.h"
#include "app/Form43Sync.h"
#include "app/ResultGrid.h"
#include "workflow/ObjectSync.h"
#include "workflow/ListingText.h"
#include "workflow/Script.h"
#include "workflow/Workflow.h"

#include <QDateTime>
#include <QPushButton>

namespace dbsync::objectcommands {

namespace {

const QList<int> kWidths{60, 60, 120, 160, 250, 250};

// The listing on ADOQuery2, and the comparison it came from; the two buttons of the other
// listings have nothing to work on.
workflow::SchemaComparison openObjectListing(TForm43 &form, workflow::ListingKind kind)
{
    workflow::SchemaComparison comparison = workflow::openObjectListing(form, form43::serverFields(form), kind);
    form43::setGridWidths(form, kWidths);
    form.Button10->setEnabled(false);
    form.button22->setEnabled(false);
    return comparison;
}

}  // namespace

void listObjects(TForm43 &form)
{
    const WorkLabel label(QStringLiteral("正在列出索引和约束区别…"));
    if (!form43::checkSampleFields(form))
        return;
    form.Button12Click();
    openObjectListing(form, workflow::ListingKind::Objects);
}

void syncSelectedObjects(TForm43 &form)
{
    const WorkLabel label(QStringLiteral("正在同步索引和约束…"));
    if (!workflow::isObjectListing(form.ADOQuery2.result())) {
        form.dialogs().notice(QStringLiteral("请先列出索引和约束区别"));
        return;
    }
    if (!form43::prepareSync(form))
        return;
    const QVector<int> selected = form.DBGrid1->selectedRowPositions();
    const workflow::Plan plan = workflow::planObjects(form, form43::serverFields(form), workflow::ListingKind::Objects,
                                                      form.ADOQuery2.result(), QList<int>(selected.begin(), selected.end()));
    if (!form43::consentAndBackUp(form, plan))
        return;
    const WorkLabel statements(QStringLiteral("正在同步索引和约束"), plan.steps.size());
    form43::runPlan(form, plan.steps);
    openObjectListing(form, workflow::ListingKind::Objects);
    form.dialogs().notice(kObjectsDone);
}

void syncAll(TForm43 &form)
{
    const WorkLabel label(QStringLiteral("正在比较全部对象…"));
    if (!form43::checkSampleFields(form))
        return;
    form.Button12Click();
    const ServerFields fields = form43::serverFields(form);
    // One reading of both catalogues gives the listing, the plan shown and the first round.
    workflow::SchemaComparison comparison = openObjectListing(form, workflow::ListingKind::All);
    const workflow::Plan plan = workflow::planObjects(comparison, workflow::ListingKind::All, form.ADOQuery2.result(),
                                                      workflow::allRows(form.ADOQuery2.result()));
    if (plan.steps.isEmpty()) {
        form.dialogs().notice(kNothingToSync);
        return;
    }
    const QString script =
        workflow::renderScript({workflow::toolVersion(), fields, QDateTime::currentDateTime(), false}, plan);
    if (!form.dialogs().confirmPlan(script) || !form43::consentAndBackUp(form, plan))
        return;
    const WorkLabel statements(QStringLiteral("正在同步全部对象"), plan.steps.size());
    // The first round is the plan just shown and agreed to; a later one asks again when it
    // would lose values.
    const workflow::SyncAllOutcome outcome = workflow::synchroniseAll(
        form, fields, 10,
        [&form](int round, const workflow::ObjectSyncPlan &next) {
            return round == 1 || form43::consentToLoss(form, next.lossChecks);
        },
        [&form](const schema::SyncStep &step, qsizetype) { form43::echoStep(form, step); }, std::move(comparison));
    openObjectListing(form, workflow::ListingKind::All);
    form.dialogs().notice(syncAllNotice(outcome.rounds, outcome.statements, outcome.converged));
}

QString syncAllNotice(int rounds, qsizetype statements, bool converged)
{
    const QString done = QStringLiteral("全部同步完成：%1 轮，%2 条语句").arg(rounds).arg(statements);
    return converged ? done : done + QStringLiteral("\n仍有区别未能同步，请查看列表");
}

}  // namespace dbsync::objectcommands
