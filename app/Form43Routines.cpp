// Views and stored procedures: the difference listing and the synchronisation.
#include "app/Form43.h"

#include "app/CommandProgress.h"
#include "app/Form43Sync.h"
#include "schema/RoutineDiffQuery.h"
#include "schema/RoutineSync.h"
#include "workflow/Workflow.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

using namespace dbsync;

namespace {

// The listing query on ADOQuery2, then the widths; shared by the listing and the refresh.
void openRoutineListing(TForm43 &form, workflow::CompareMode mode)
{
    workflow::openListing(form, form43::serverFields(form), workflow::ListingKind::Routines, mode);
    form43::setGridWidths(form, schema::routineListingWidths());
}

}  // namespace

void TForm43::Button9Click()
{
    const WorkLabel label(QStringLiteral("正在列出存储过程区别…"));
    if (!form43::checkSampleFields(*this))
        return;
    // The connect command's own input checks may stop it; the listing goes on regardless.
    Button12Click();
    if (!form43::compareInMode(*this, [this](workflow::CompareMode mode) { openRoutineListing(*this, mode); }))
        return;
    Button10->setEnabled(true);
    button22->setEnabled(false);
}

void TForm43::Button10Click()
{
    const WorkLabel label(QStringLiteral("正在同步存储过程…"));
    if (!form43::prepareSync(*this))
        return;
    // ADOQuery2 keeps the listing and its selection until the refresh, so a failing statement
    // leaves both for the next try; the look-ups run on ADOQuery4 on the same server.
    const auto rows = form43::readSelectedRows<schema::RoutineDiffRow>(*this, schema::readRoutineDiffRow);
    workflow::Plan plan;
    // The look-ups change nothing, so the local way may take over from a failed first try.
    if (!form43::compareInMode(*this, [&](workflow::CompareMode mode) {
            plan = workflow::planRoutines(*this, form43::serverFields(*this), rows, mode);
        }))
        return;
    if (!form43::consentAndBackUp(*this, plan))
        return;
    const WorkLabel statements(QStringLiteral("正在同步存储过程"), plan.steps.size());
    form43::runPlan(*this, plan.steps);

    openRoutineListing(*this, compareMode());
    dialogs().notice(QStringLiteral("同步视图，存储过程完成！"));
}
