#include "workflow/Workflow.h"

#include "db/CrossServer.h"
#include "db/ResultSet.h"
#include "schema/RoutineSync.h"
#include "schema/TableSync.h"

namespace dbsync::workflow {

QString toolVersion()
{
    return QStringLiteral(DBSYNC_VERSION);
}

void openListing(DatabaseObjects &objects, const ServerFields &fields, ListingKind kind)
{
    const QString schemaPrefix = remoteSchemaPrefix(fields);
    objects.ADOQuery2.close();
    if (kind == ListingKind::Tables)
        objects.ADOQuery2.setSql(
            schema::columnDiffQueryLines(schemaPrefix, remoteDatabasePrefix(fields), fields.ComboBox2));
    else
        objects.ADOQuery2.setSql(schema::routineDiffQueryLines(schemaPrefix, fields.ComboBox2));
    objects.ADOQuery2.open();
}

void openTableRefresh(DatabaseObjects &objects, const ServerFields &fields)
{
    objects.ADOQuery2.close();
    objects.ADOQuery2.setSql(
        schema::columnRefreshQueryLines(remoteSchemaPrefix(fields), remoteDatabasePrefix(fields), fields.ComboBox2));
    objects.ADOQuery2.open();
}

std::optional<ListingKind> listingKind(const ResultSet &result)
{
    if (result.fieldIndex(QStringLiteral("比较结果")) >= 0 && result.fieldIndex(QStringLiteral("字段名_1")) >= 0)
        return ListingKind::Tables;
    if (result.fieldIndex(QStringLiteral("匹配情况")) >= 0 && result.fieldIndex(QStringLiteral("atext")) >= 0)
        return ListingKind::Routines;
    return std::nullopt;
}

const ResultSet &queryOnTargetServer(DatabaseObjects &objects, const QStringList &lines)
{
    objects.ADOQuery4.close();
    objects.ADOQuery4.setSql(lines);
    objects.ADOQuery4.open();
    return objects.ADOQuery4.result();
}

Plan planTables(DatabaseObjects &objects, const ServerFields &fields, const QList<schema::ColumnDiffRow> &rows)
{
    const QString target = fields.ComboBox2;
    QList<schema::DefaultConstraint> defaults;
    const QStringList tables = schema::defaultLookupTables(rows);
    if (!tables.isEmpty())
        defaults = schema::readDefaultConstraints(
            queryOnTargetServer(objects, schema::defaultConstraintQueryLines(target, tables)));
    const schema::TableSyncPlan tablePlan =
        schema::planTableSync(rows, {target, remoteSchemaPrefix(fields)}, defaults);

    Plan plan{ListingKind::Tables, tablePlan.steps, tablePlan.endsEarly, -1, tablePlan.identityNotes,
              tablePlan.replacedColumns, {}};
    for (const QString &table : schema::rowLookupTables(tablePlan))
        if (queryOnTargetServer(objects, schema::rowLookupQueryLines(target, table)).rowCount() > 0)
            plan.populatedTables.append(table);
    if (plan.endsEarly) {
        for (qsizetype i = 0; i < rows.size(); ++i) {
            if (rows[i].code == QLatin1String("1") || rows[i].code == QLatin1String("2")) {
                plan.endingRow = i;
                break;
            }
        }
    }
    return plan;
}

Plan planRoutines(DatabaseObjects &objects, const ServerFields &fields, const QList<schema::RoutineDiffRow> &rows)
{
    const QString schemaPrefix = remoteSchemaPrefix(fields);
    const QStringList names = schema::routineObjectNames(rows);
    schema::RoutineCatalogue catalogue;
    if (!names.isEmpty())
        catalogue = schema::readRoutineSides(
            queryOnTargetServer(objects, schema::routineSidesQueryLines(schemaPrefix, fields.ComboBox2, names)));
    const auto plans = schema::planRoutines(rows, catalogue);
    Plan plan;
    plan.kind = ListingKind::Routines;
    plan.steps = schema::routineSyncSteps(plans, [&objects, &schemaPrefix](const QString &name) {
        return schema::joinDefinition(
            queryOnTargetServer(objects, schema::routineDefinitionQueryLines(schemaPrefix, name)));
    });
    return plan;
}

Plan planRows(DatabaseObjects &objects, const ServerFields &fields, ListingKind kind, const ResultSet &listing,
              const QList<int> &positions)
{
    if (kind == ListingKind::Tables) {
        QList<schema::ColumnDiffRow> rows;
        for (int position : positions)
            rows.append(schema::readColumnDiffRow(listing, position));
        return planTables(objects, fields, rows);
    }
    QList<schema::RoutineDiffRow> rows;
    for (int position : positions)
        rows.append(schema::readRoutineDiffRow(listing, position));
    return planRoutines(objects, fields, rows);
}

QString statementText(const schema::SyncStep &step)
{
    if (step.runner == schema::StepRunner::ADOCommand1)
        return step.lines.value(0);
    return step.lines.join(QStringLiteral("\r\n"));
}

void runStep(DatabaseObjects &objects, const schema::SyncStep &step)
{
    using schema::StepRunner;
    switch (step.runner) {
    case StepRunner::ADOQuery3:
    case StepRunner::ADOQuery4: {
        AdoQuery &query = step.runner == StepRunner::ADOQuery3 ? objects.ADOQuery3 : objects.ADOQuery4;
        query.close();
        query.setSql(step.lines);
        query.execSQL();
        break;
    }
    case StepRunner::ADOCommand1:
        objects.ADOCommand1.setCommandText(step.lines.value(0));
        objects.ADOCommand1.execute();
        break;
    }
}

void runSteps(DatabaseObjects &objects, const QList<schema::SyncStep> &steps,
              const std::function<void(const schema::SyncStep &, qsizetype)> &beforeRun)
{
    for (qsizetype i = 0; i < steps.size(); ++i) {
        if (beforeRun)
            beforeRun(steps[i], i);
        runStep(objects, steps[i]);
    }
}

}  // namespace dbsync::workflow
