#pragma once
// What the listing and synchronisation commands share: the parameter fields as texts, grid
// widths, the selected rows in result order and running one step of a plan.

#include "app/Form43.h"
#include "app/ResultGrid.h"
#include "db/ServerAccess.h"
#include "schema/DataLoss.h"
#include "schema/SyncStep.h"
#include "workflow/Workflow.h"

#include <QList>

#include <functional>

namespace dbsync::form43 {

ServerFields serverFields(const TForm43 &form);

// The two checks every listing and synchronisation starts with (sample address and login);
// false when one failed and the command ends.
bool checkSampleFields(TForm43 &form);

// What a synchronisation does before it plans: the checks and the selection notice. False
// when the command ends here.
bool prepareSync(TForm43 &form);

// What a synchronisation does between its plan and its first statement: the user's consent
// when stored values would be lost, then the automatic first backup. False when the user
// declined and the command ends, with nothing run.
bool consentAndBackUp(TForm43 &form, const workflow::Plan &plan);
// Counts the checks on the target; when any would lose values, asks. True to go on.
bool consentToLoss(TForm43 &form, const QList<schema::DataLossCheck> &checks);

// Runs the plan's steps in one transaction, each echoed to Memo1 by its echo rule.
void runPlan(TForm43 &form, const QList<schema::SyncStep> &steps);

// Runs the comparison's preparation (the enabling step, server-side only) and then work, in the
// window's compare mode. When the server-side way fails because the target server cannot do it,
// the user is told with the server's message and offered the local way: on yes the window
// compares locally from then on and work runs that way; on no the command ends (false).
// Work must not have changed anything when it fails so: it may run twice.
bool compareInMode(TForm43 &form, const std::function<void(workflow::CompareMode)> &work);

// The question that offers the local way after the server's message.
QString localComparisonOffer(const QString &serverMessage);

// Widths by column position, from column 0 on.
void setGridWidths(TForm43 &form, const QList<int> &widths);

// Walks the grid's selection in result order: moves ADOQuery2 to each selected row and
// reads it with readRow(result, row).
template <typename Row, typename ReadRow>
QList<Row> readSelectedRows(TForm43 &form, ReadRow readRow)
{
    QList<Row> rows;
    const int count = form.DBGrid1->selectionCount();
    for (int i = 0; i < count; ++i) {
        form.ADOQuery2.moveToBookmark(form.DBGrid1->selectionItem(i));
        rows.append(readRow(form.ADOQuery2.result(), form.ADOQuery2.currentRow()));
    }
    return rows;
}

// Appends the step to Memo1 when its echo rule says so.
void echoStep(TForm43 &form, const schema::SyncStep &step);

// Runs the lines on ADOQuery4 (the target server) and returns its whole result.
const ResultSet &queryOnTargetServer(TForm43 &form, const QStringList &lines);

}  // namespace dbsync::form43
