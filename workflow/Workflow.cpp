#include "workflow/Workflow.h"

#include "db/CrossServer.h"
#include "db/DbError.h"
#include "db/Operation.h"
#include "db/ResultSet.h"
#include "schema/LocalComparison.h"
#include "schema/RoutineSync.h"
#include "schema/TableSync.h"
#include "workflow/ObjectSync.h"

#include <algorithm>
#include <utility>

namespace dbsync::workflow {

namespace {

// One side's answer, on a query object of its own so that ADOQuery2 keeps the listing (and the
// grid its rows) until the joined result replaces it. No time limit, like the listing.
ResultSet readSide(AdoConnection &connection, const QStringList &lines)
{
    AdoQuery query(&connection, 0);
    query.setSql(lines);
    query.open();
    return query.result();
}

// The sample's lines on the sample server and the target's on the target server, at once.
std::pair<ResultSet, ResultSet> readSides(DatabaseObjects &objects, const QStringList &sampleLines,
                                          const QStringList &targetLines)
{
    AdoQuery sample(&objects.ADOConnection1, 0), target(&objects.ADOConnection2, 0);
    sample.setSql(sampleLines);
    target.setSql(targetLines);
    AdoQuery::openTogether({&sample, &target});
    return {sample.result(), target.result()};
}

QStringList names(const ResultSet &result)
{
    QStringList list;
    for (int row = 0; row < result.rowCount(); ++row)
        list.append(result.text(row, QStringLiteral("name")));
    return list;
}

}  // namespace

QString compareModeName(CompareMode mode)
{
    return mode == CompareMode::Local ? QStringLiteral("local") : QStringLiteral("server");
}

std::optional<CompareMode> compareModeFromName(const QString &name)
{
    const QString n = name.trimmed().toLower();
    if (n == QLatin1String("local"))
        return CompareMode::Local;
    if (n == QLatin1String("server"))
        return CompareMode::Server;
    return std::nullopt;
}

QString toolVersion()
{
    return QStringLiteral(DBSYNC_VERSION);
}

void prepareComparison(DatabaseObjects &objects, CompareMode mode)
{
    if (mode == CompareMode::Server)
        runEnablingStep(objects.ADOCommand1);
}

bool refusesServerSideComparison(int nativeError, bool duringEnablingStep)
{
    switch (nativeError) {
    case 7403:   // the OLE DB provider "SQLOLEDB" has not been registered
    case 40515:  // references to other databases or servers are not supported
        return true;
    case 15281:  // the component 'Ad Hoc Distributed Queries' is turned off by security
    case 15247:  // no permission for sp_configure
    case 15123:  // the configuration option does not exist
    case 2812:   // no sp_configure at all
        return duringEnablingStep;
    default:
        return false;
    }
}

ResultSet localListing(DatabaseObjects &objects, const ServerFields &fields, ListingKind kind, bool refreshForm)
{
    // The two servers answer at the same time; their answers are joined here.
    if (kind == ListingKind::Routines) {
        const auto [sample, target] = readSides(objects, schema::routineSideQueryLines(fields.ComboBox1),
                                                schema::routineSideQueryLines(fields.ComboBox2));
        return schema::compareRoutineSides(sample, target);
    }
    using schema::ColumnSide;
    const auto [sample, target] =
        readSides(objects, schema::columnSideQueryLines(ColumnSide::Sample, fields.ComboBox1, refreshForm),
                  schema::columnSideQueryLines(ColumnSide::Target, fields.ComboBox2, refreshForm));
    const auto [sampleTables, targetTables] = readSides(objects, schema::userTableQueryLines(fields.ComboBox1),
                                                        schema::userTableQueryLines(fields.ComboBox2));
    return schema::compareColumnSides(sample, target, names(sampleTables), names(targetTables));
}

namespace {

ObjectScope scopeOf(ListingKind kind)
{
    return kind == ListingKind::Objects ? ObjectScope::Objects
           : kind == ListingKind::All   ? ObjectScope::All
                                        : ObjectScope::Routines;
}

// The view and procedure listing with the function and trigger rows after its own.
ResultSet withModuleRows(const ResultSet &routines, const ResultSet &modules)
{
    ResultSet out = routines;
    const QStringList fields{QStringLiteral("类型"), QStringLiteral("匹配情况"), QStringLiteral("对象名称"),
                             QStringLiteral("atext"), QStringLiteral("btext")};
    for (int row = 0; row < modules.rowCount(); ++row) {
        QVector<QVariant> values(routines.fieldCount());
        for (const QString &field : fields)
            if (const int at = routines.fieldIndex(field); at >= 0)
                values[at] = modules.value(row, field);
        out.appendRow(std::move(values));
    }
    return out;
}

// The listing query of the column or the view and procedure listing on ADOQuery2.
void openComparisonQuery(DatabaseObjects &objects, const ServerFields &fields, ListingKind kind, CompareMode mode)
{
    if (mode == CompareMode::Local) {
        objects.ADOQuery2.close();
        objects.ADOQuery2.clearSql();
        objects.ADOQuery2.openOn(localListing(objects, fields, kind, false));
        return;
    }
    const QString schemaPrefix = remoteSchemaPrefix(fields);
    objects.ADOQuery2.close();
    if (kind == ListingKind::Tables)
        objects.ADOQuery2.setSql(
            schema::columnDiffQueryLines(schemaPrefix, remoteDatabasePrefix(fields), fields.ComboBox2));
    else
        objects.ADOQuery2.setSql(schema::routineDiffQueryLines(schemaPrefix, fields.ComboBox2));
    objects.ADOQuery2.open();
}

}  // namespace

SchemaComparison openObjectListing(DatabaseObjects &objects, const ServerFields &fields, ListingKind kind)
{
    SchemaComparison comparison = compareSchemas(objects, fields);
    const ResultSet listing = objectListing(comparison, scopeOf(kind));
    objects.ADOQuery2.close();
    objects.ADOQuery2.clearSql();
    objects.ADOQuery2.openOn(listing);
    return comparison;
}

void openListing(DatabaseObjects &objects, const ServerFields &fields, ListingKind kind, CompareMode mode)
{
    if (kind == ListingKind::Objects || kind == ListingKind::All) {
        openObjectListing(objects, fields, kind);
        return;
    }
    if (kind == ListingKind::Routines) {
        openComparisonQuery(objects, fields, kind, mode);
        const ResultSet modules = objectListing(compareSchemas(objects, fields, true), ObjectScope::Routines);
        if (modules.rowCount() > 0) {
            const ResultSet combined = withModuleRows(objects.ADOQuery2.result(), modules);
            objects.ADOQuery2.openOn(combined);
        }
        return;
    }
    openComparisonQuery(objects, fields, kind, mode);
}

void openTableRefresh(DatabaseObjects &objects, const ServerFields &fields, CompareMode mode)
{
    if (mode == CompareMode::Local) {
        objects.ADOQuery2.close();
        objects.ADOQuery2.clearSql();
        objects.ADOQuery2.openOn(localListing(objects, fields, ListingKind::Tables, true));
        return;
    }
    objects.ADOQuery2.close();
    objects.ADOQuery2.setSql(
        schema::columnRefreshQueryLines(remoteSchemaPrefix(fields), remoteDatabasePrefix(fields), fields.ComboBox2));
    objects.ADOQuery2.open();
}

std::optional<ListingKind> listingKind(const ResultSet &result)
{
    if (isObjectListing(result))
        return ListingKind::All;
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

Plan planTables(DatabaseObjects &objects, const ServerFields &fields, const QList<schema::ColumnDiffRow> &rows,
                CompareMode mode)
{
    const QString target = fields.ComboBox2;
    QList<schema::DefaultConstraint> defaults;
    const QStringList tables = schema::defaultLookupTables(rows);
    if (!tables.isEmpty())
        defaults = schema::readDefaultConstraints(
            queryOnTargetServer(objects, schema::defaultConstraintQueryLines(target, tables)));
    schema::TableSyncContext context{target, {}, std::nullopt, {}};
    if (mode == CompareMode::Server) {
        context.schemaPrefix = remoteSchemaPrefix(fields);
    } else {
        // The command ends at its first create or drop: only that table's columns can be needed.
        const auto ending = std::find_if(rows.begin(), rows.end(), [](const schema::ColumnDiffRow &r) {
            return r.code == QLatin1String("1") || r.code == QLatin1String("2");
        });
        if (ending != rows.end() && ending->code == QLatin1String("2"))
            context.sampleColumns = schema::readSampleColumns(readSide(
                objects.ADOConnection1, schema::sampleColumnsQueryLines(fields.ComboBox1, ending->sampleTable)));
    }
    context.rebuildTable = [&](const QString &table, const QList<std::pair<QString, bool>> &identityColumns) {
        return identityRebuildSteps(objects, target, table, identityColumns);
    };
    const schema::TableSyncPlan tablePlan = schema::planTableSync(rows, context, defaults);

    Plan plan;
    plan.kind = ListingKind::Tables;
    plan.steps = tablePlan.steps;
    plan.endsEarly = tablePlan.endsEarly;
    plan.lossChecks = tablePlan.lossChecks;
    plan.mode = mode;
    plan.endingRow = tablePlan.endingRow;
    return plan;
}

namespace {

bool isModuleRow(const schema::RoutineDiffRow &row)
{
    return row.kind == model::kindCaption(model::ItemKind::Function) || row.kind == model::kindCaption(model::ItemKind::Trigger);
}

// Function and trigger rows, planned through the schema model: functions before the views
// and procedures that may call them, triggers after.
std::pair<QList<schema::SyncStep>, QList<schema::SyncStep>> moduleSteps(DatabaseObjects &objects, const ServerFields &fields,
                                                                        const QList<schema::RoutineDiffRow> &rows)
{
    const SchemaComparison comparison = compareSchemas(objects, fields);
    QSet<QString> chosen;
    for (const model::Difference &d : comparison.differences)
        for (const schema::RoutineDiffRow &row : rows)
            if (model::kindCaption(d.kind) == row.kind && model::changeCaption(d.change) == row.match
                && (d.schema.compare(QLatin1String("dbo"), Qt::CaseInsensitive) == 0 ? d.name : d.schema + QLatin1Char('.') + d.name) == row.name)
                chosen.insert(d.key);
    std::pair<QList<schema::SyncStep>, QList<schema::SyncStep>> out;
    // Rows the fresh comparison no longer shows choose nothing (an empty choice means all).
    if (chosen.isEmpty())
        return out;
    const model::SyncPlan plan = model::planSync(comparison.sample, comparison.target, chosen);
    for (const model::PlanStep &s : plan.steps)
        (s.kind == model::ItemKind::Trigger ? out.second : out.first)
            .append({schema::StepRunner::ADOQuery3, {s.statement}, schema::StepEcho::WhenChecked, s.subject});
    return out;
}

}  // namespace

Plan planRoutines(DatabaseObjects &objects, const ServerFields &fields, const QList<schema::RoutineDiffRow> &allRows,
                  CompareMode mode)
{
    QList<schema::RoutineDiffRow> rows, moduleRows;
    for (const schema::RoutineDiffRow &row : allRows)
        (isModuleRow(row) ? moduleRows : rows).append(row);
    std::pair<QList<schema::SyncStep>, QList<schema::SyncStep>> modules;
    if (!moduleRows.isEmpty())
        modules = moduleSteps(objects, fields, moduleRows);
    const bool local = mode == CompareMode::Local;
    // Locally the sample's catalogue is read on the sample server under its own name.
    const QString schemaPrefix = local ? schema::localSchemaPrefix(fields.ComboBox1) : remoteSchemaPrefix(fields);
    const QStringList names = schema::routineObjectNames(rows);
    schema::RoutineCatalogue catalogue;
    if (!names.isEmpty() && local) {
        catalogue = schema::readRoutineSides(readSide(
            objects.ADOConnection1, {schema::routineTypesQueryLine(QStringLiteral("S"), schemaPrefix, names)}));
        catalogue = schema::readRoutineSides(
            queryOnTargetServer(objects, {schema::routineTypesQueryLine(
                                             QStringLiteral("T"), schema::localSchemaPrefix(fields.ComboBox2), names)}),
            catalogue);
    } else if (!names.isEmpty()) {
        catalogue = schema::readRoutineSides(
            queryOnTargetServer(objects, schema::routineSidesQueryLines(schemaPrefix, fields.ComboBox2, names)));
    }
    const auto plans = schema::planRoutines(rows, catalogue);
    Plan plan;
    plan.kind = ListingKind::Routines;
    plan.mode = mode;
    plan.steps = schema::routineSyncSteps(plans, [&](const QString &name) {
        const QStringList lines = schema::routineDefinitionQueryLines(schemaPrefix, name);
        return schema::joinDefinition(local ? readSide(objects.ADOConnection1, lines)
                                            : queryOnTargetServer(objects, lines));
    });
    plan.steps = modules.first + plan.steps + modules.second;
    return plan;
}

Plan planObjects(DatabaseObjects &objects, const ServerFields &fields, ListingKind kind, const ResultSet &listing,
                 const QList<int> &positions)
{
    return planObjects(compareSchemas(objects, fields), kind, listing, positions);
}

Plan planObjects(const SchemaComparison &comparison, ListingKind kind, const ResultSet &listing,
                 const QList<int> &positions)
{
    Plan plan;
    plan.kind = kind;
    plan.mode = CompareMode::Local;
    ObjectSyncPlan objectPlan = objectSyncPlan(comparison, chosenKeys(comparison, listing, positions));
    plan.steps = std::move(objectPlan.steps);
    plan.lossChecks = std::move(objectPlan.lossChecks);
    return plan;
}

Plan planRows(DatabaseObjects &objects, const ServerFields &fields, ListingKind kind, const ResultSet &listing,
              const QList<int> &positions, CompareMode mode)
{
    if (kind == ListingKind::Objects || kind == ListingKind::All)
        return planObjects(objects, fields, kind, listing, positions);
    if (kind == ListingKind::Tables) {
        QList<schema::ColumnDiffRow> rows;
        for (int position : positions)
            rows.append(schema::readColumnDiffRow(listing, position));
        return planTables(objects, fields, rows, mode);
    }
    QList<schema::RoutineDiffRow> rows;
    for (int position : positions)
        rows.append(schema::readRoutineDiffRow(listing, position));
    return planRoutines(objects, fields, rows, mode);
}

QString statementText(const schema::SyncStep &step)
{
    if (step.runner == schema::StepRunner::ADOCommand1)
        return step.lines.value(0);
    return step.lines.join(QStringLiteral("\r\n"));
}

void runStep(DatabaseObjects &objects, const schema::SyncStep &step)
{
    if (step.subject.isEmpty())
        return runStatement(objects, step);
    try {
        runStatement(objects, step);
    } catch (const CancelledError &) {
        throw;
    } catch (const DbError &e) {
        // The server names what it lacks; the user needs to know which object could not be made.
        throw DbError(step.subject + QStringLiteral("：") + e.message(), e.sqlState(), e.nativeError());
    }
}

void runStatement(DatabaseObjects &objects, const schema::SyncStep &step)
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

namespace {

void runText(AdoQuery &query, const QString &text)
{
    query.close();
    query.setSql({text});
    query.execSQL();
}

// Begins or commits; the answer must be the transactions that should then be open.
void runFrame(AdoQuery &query, const QString &text, int open)
{
    query.close();
    query.setSql({text});
    query.open();
    const int count = query.result().rowCount() > 0 ? query.result().value(0, 0).toInt() : -1;
    query.close();
    if (count != open)
        throw DbError(QStringLiteral("目的数据库的连接上还有未结束的事务（@@TRANCOUNT = %1）").arg(count));
}

// Inside the transaction every statement goes over ADOConnection3: the table statements name
// their database, so they run there as well as on the server's connection.
void runInTransaction(DatabaseObjects &objects, const schema::SyncStep &step)
{
    if (step.runner != schema::StepRunner::ADOQuery4)
        return runStep(objects, step);
    schema::SyncStep moved = step;
    moved.runner = schema::StepRunner::ADOQuery3;
    runStep(objects, moved);
}

// After a failure: the server has rolled back already under XACT_ABORT, unless the failure was
// the client's own (a time-out); a connection that is gone was rolled back as it dropped.
void rollBack(DatabaseObjects &objects)
{
    try {
        runText(objects.ADOQuery3, kRollbackTransaction);
    } catch (const DbError &) {
        // The error that ended the synchronisation is the one to report.
    }
}

[[noreturn]] void rethrowWith(const DbError &e, const QString &line)
{
    const QString message = e.message() + QLatin1Char('\n') + line;
    if (dynamic_cast<const CancelledError *>(&e))
        throw CancelledError(message);
    throw DbError(message, e.sqlState(), e.nativeError());
}

}  // namespace

void runSteps(DatabaseObjects &objects, const QList<schema::SyncStep> &steps,
              const std::function<void(const schema::SyncStep &, qsizetype)> &beforeRun)
{
    bool open = false;       // the transaction has begun
    bool committed = false;  // some statements were committed before one that runs alone
    try {
        for (qsizetype i = 0; i < steps.size(); ++i) {
            const schema::SyncStep &step = steps[i];
            if (step.alone) {
                if (open) {
                    runFrame(objects.ADOQuery3, kCommitTransaction, 0);
                    open = false;
                    committed = true;
                }
                if (beforeRun)
                    beforeRun(step, i);
                runStep(objects, step);
                continue;
            }
            if (!open) {
                open = true;
                runFrame(objects.ADOQuery3, kBeginTransaction, 1);
            }
            if (beforeRun)
                beforeRun(step, i);
            runInTransaction(objects, step);
        }
        if (open)
            runFrame(objects.ADOQuery3, kCommitTransaction, 0);
        open = false;
    } catch (const DbError &e) {
        if (open)
            rollBack(objects);
        rethrowWith(e, committed ? kCommittedBefore : kTargetUnchanged);
    }
}

QList<schema::DataLoss> findDataLoss(DatabaseObjects &objects, const Plan &plan)
{
    QList<schema::DataLoss> losses;
    for (const schema::DataLossCheck &check : plan.lossChecks) {
        const ResultSet &result = queryOnTargetServer(objects, {check.query});
        const qint64 rows = result.rowCount() > 0 ? result.value(0, 0).toLongLong() : 0;
        if (rows > 0)
            losses.append({check, rows});
    }
    return losses;
}

}  // namespace dbsync::workflow
