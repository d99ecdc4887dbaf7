// Table columns: the difference listing and the structure synchronisation.
#include "app/Form43.h"

#include "app/CommandProgress.h"
#include "app/Form43Sync.h"
#include "db/CrossServer.h"
#include "schema/ColumnDiffQuery.h"
#include "schema/TableSync.h"

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
    runEnablingStep(ADOCommand1);
    const ServerFields fields = form43::serverFields(*this);
    ADOQuery2.close();
    ADOQuery2.setSql(schema::columnDiffQueryLines(remoteSchemaPrefix(fields), remoteDatabasePrefix(fields),
                                                  ComboBox2->currentText()));
    ADOQuery2.open();
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
    const QString schemaPrefix = remoteSchemaPrefix(fields);
    const QString databasePrefix = remoteDatabasePrefix(fields);
    const QString target = ComboBox2->currentText();

    // ADOQuery2 keeps the listing and its selection until the refresh, so a failing statement
    // leaves both for the next try.
    const auto rows = form43::readSelectedRows<schema::ColumnDiffRow>(*this, schema::readColumnDiffRow);
    QList<schema::DefaultConstraint> defaults;
    const QStringList tables = schema::defaultLookupTables(rows);
    if (!tables.isEmpty())
        defaults = schema::readDefaultConstraints(
            form43::queryOnTargetServer(*this, schema::defaultConstraintQueryLines(target, tables)));
    const schema::TableSyncPlan plan = schema::planTableSync(rows, {target, schemaPrefix}, defaults);
    const WorkLabel statements(QStringLiteral("正在同步表结构"), plan.steps.size());
    for (const schema::SyncStep &step : plan.steps)
        form43::runStep(*this, step);
    // A table created or dropped ends the command: the old listing stays, on the row that
    // ended it, and is stale until listed again.
    if (plan.endsEarly) {
        for (qsizetype i = 0; i < rows.size(); ++i) {
            if (rows[i].code == QLatin1String("1") || rows[i].code == QLatin1String("2")) {
                ADOQuery2.moveToBookmark(DBGrid1->selectionItem(int(i)));
                break;
            }
        }
        return;
    }

    ADOQuery2.close();
    ADOQuery2.setSql(schema::columnRefreshQueryLines(schemaPrefix, databasePrefix, target));
    ADOQuery2.open();
    form43::setGridWidths(*this, schema::columnListingWidths());
    dialogs().notice(schema::tableSyncNotice(plan));
}
