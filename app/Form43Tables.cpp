// Table columns: the difference listing and the structure synchronisation.
#include "app/Form43.h"

#include "app/CommandProgress.h"
#include "app/Form43Sync.h"
#include "schema/ColumnDiffQuery.h"
#include "schema/TableSync.h"
#include "workflow/Workflow.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

using namespace dbsync;

void TForm43::Button14Click()
{
    const WorkLabel label(QStringLiteral("正在列出表详细区别…"));
    if (!form43::checkSampleFields(*this))
        return;
    // The connect command's own input checks may stop it; the listing goes on regardless.
    Button12Click();
    const bool listed = form43::compareInMode(*this, [this](workflow::CompareMode mode) {
        workflow::openListing(*this, form43::serverFields(*this), workflow::ListingKind::Tables, mode);
    });
    if (!listed)
        return;
    form43::setGridWidths(*this, schema::columnListingWidths());
    Button10->setEnabled(false);
    button22->setEnabled(true);
}

void TForm43::Button22Click()
{
    const WorkLabel label(QStringLiteral("正在同步表结构…"));
    if (!form43::prepareSync(*this))
        return;
    const ServerFields fields = form43::serverFields(*this);

    // ADOQuery2 keeps the listing and its selection until the refresh, so a failing statement
    // leaves both for the next try.
    const auto rows = form43::readSelectedRows<schema::ColumnDiffRow>(*this, schema::readColumnDiffRow);
    workflow::Plan plan;
    // The look-ups change nothing, so the local way may take over from a failed first try.
    if (!form43::compareInMode(*this, [&](workflow::CompareMode mode) {
            plan = workflow::planTables(*this, fields, rows, mode);
        }))
        return;
    if (!form43::consentAndBackUp(*this, plan))
        return;
    const WorkLabel statements(QStringLiteral("正在同步表结构"), plan.steps.size());
    form43::runPlan(*this, plan.steps);
    // A table created or dropped ends the command: the old listing stays, on the row that
    // ended it, and is stale until listed again.
    if (plan.endsEarly) {
        if (plan.endingRow >= 0)
            ADOQuery2.moveToBookmark(DBGrid1->selectionItem(int(plan.endingRow)));
        return;
    }

    workflow::openTableRefresh(*this, fields, compareMode());
    form43::setGridWidths(*this, schema::columnListingWidths());
    dialogs().notice(schema::kTableSyncDone);
}
