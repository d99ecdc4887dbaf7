#pragma once
// What the listing and synchronisation commands share: the parameter fields as texts, grid
// widths, the selected rows in result order and running one step of a plan.

#include "app/Form43.h"
#include "app/ResultGrid.h"
#include "db/ServerAccess.h"
#include "schema/SyncStep.h"

#include <QList>

#include <functional>

namespace dbsync::form43 {

ServerFields serverFields(const TForm43 &form);

// The two checks every listing and synchronisation starts with (sample address and login);
// false when one failed and the command ends.
bool checkSampleFields(TForm43 &form);

// What a synchronisation does before its first statement: the checks, the selection notice,
// the automatic first backup. False when the command ends here.
bool prepareSync(TForm43 &form);

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
// Echoes the step to Memo1 by its echo rule, then runs it on its object. Errors pass through.
void runStep(TForm43 &form, const schema::SyncStep &step);

// Runs the lines on ADOQuery4 (the target server) and returns its whole result.
const ResultSet &queryOnTargetServer(TForm43 &form, const QStringList &lines);

}  // namespace dbsync::form43
