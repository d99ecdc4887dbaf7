#include "workflow/ObjectSync.h"

#include "schema/model/CatalogRead.h"
#include "schema/model/Rebuild.h"
#include "workflow/Workflow.h"

#include <QHash>

#include <exception>
#include <functional>
#include <memory>
#include <thread>

namespace dbsync::workflow {

namespace {

const QString kKind = QStringLiteral("类型");
const QString kMatch = QStringLiteral("匹配情况");
const QString kTable = QStringLiteral("表名");
const QString kName = QStringLiteral("对象名称");
const QString kNotSynchronised = QStringLiteral("不同步");

QString qualifiedName(const QString &schema, const QString &name)
{
    return schema.compare(QLatin1String("dbo"), Qt::CaseInsensitive) == 0 ? name : schema + QLatin1Char('.') + name;
}

// Runs both at once, the second on a thread of its own; the first one's error is raised.
void bothAtOnce(const std::function<void()> &first, const std::function<void()> &second)
{
    std::exception_ptr error;
    std::thread other([&] {
        try {
            second();
        } catch (...) {
            error = std::current_exception();
        }
    });
    try {
        first();
    } catch (...) {
        other.join();
        throw;
    }
    other.join();
    if (error)
        std::rethrow_exception(error);
}

SchemaComparison compareItems(model::ItemSet sample, model::ItemSet target)
{
    SchemaComparison c;
    c.sample = std::move(sample);
    c.target = std::move(target);
    c.differences = model::differences(c.sample, c.target);
    c.unsupported = c.sample.database.unsupported;
    for (const model::Unsupported &u : c.target.database.unsupported)
        if (!c.unsupported.contains(u))
            c.unsupported << u;
    return c;
}

}  // namespace

SchemaComparison compareModels(const model::Database &sample, const model::Database &target)
{
    // Two schemas the same object for object (a synchronised pair) differ in no item.
    if (model::sameObjects(sample, target))
        return compareItems(model::withoutItems(sample), model::withoutItems(target));
    // A large schema takes a while a side: both at once.
    model::ItemSet s, t;
    bothAtOnce([&] { s = model::itemsOf(sample); }, [&] { t = model::itemsOf(target); });
    return compareItems(std::move(s), std::move(t));
}

SchemaComparison compareSchemas(DatabaseObjects &objects, const ServerFields &fields, bool modulesOnly)
{
    AdoQuery s(&objects.ADOConnection1, 0), t(&objects.ADOConnection2, 0);
    if (!modulesOnly) {
        // Each side's catalogue in one round trip; the two servers answer at once, and each
        // side's model is built from its rows as they come, on the thread fetching them.
        s.setSql({model::catalogBatch(fields.ComboBox1)});
        t.setSql({model::catalogBatch(fields.ComboBox2)});
        const auto sampleBuilder = std::make_shared<model::CatalogBuilder>();
        const auto targetBuilder = std::make_shared<model::CatalogBuilder>();
        AdoQuery::visitAllTogether({{&s, sampleBuilder}, {&t, targetBuilder}});
        const model::Database sampleDb = sampleBuilder->take(), targetDb = targetBuilder->take();
        SchemaComparison comparison = compareModels(sampleDb, targetDb);
        comparison.targetDatabase = fields.ComboBox2;
        return comparison;
    }
    // The routine listing's few small reads, one query at a time.
    const QStringList sampleQueries = model::catalogQueries(fields.ComboBox1, true);
    const QStringList targetQueries = model::catalogQueries(fields.ComboBox2, true);
    QList<ResultSet> sample, target;
    for (qsizetype i = 0; i < sampleQueries.size(); ++i) {
        if (sampleQueries[i].isEmpty()) {
            sample << ResultSet();
            target << ResultSet();
            continue;
        }
        s.close();
        t.close();
        s.setSql({sampleQueries[i]});
        t.setSql({targetQueries[i]});
        AdoQuery::openTogether({&s, &t});
        sample << s.result();
        target << t.result();
    }
    SchemaComparison comparison = compareModels(model::readDatabase(sample), model::readDatabase(target));
    comparison.targetDatabase = fields.ComboBox2;
    return comparison;
}

bool inScope(model::ItemKind kind, ObjectScope scope)
{
    using model::ItemKind;
    switch (scope) {
    case ObjectScope::All:
        return true;
    case ObjectScope::Routines:
        return kind == ItemKind::Function || kind == ItemKind::Trigger;
    case ObjectScope::Objects:
        return kind == ItemKind::Type || kind == ItemKind::UniqueConstraint || kind == ItemKind::Index
               || kind == ItemKind::Check || kind == ItemKind::ForeignKey;
    }
    return false;
}

ResultSet objectListing(const SchemaComparison &comparison, ObjectScope scope)
{
    ResultSet out({kKind, kMatch, kTable, kName, QStringLiteral("atext"), QStringLiteral("btext")});
    for (const model::Difference &d : comparison.differences) {
        if (!inScope(d.kind, scope))
            continue;
        const QVariant none;
        const QString sampleText = model::definitionText(comparison.sample, d.key);
        const QString targetText = model::definitionText(comparison.target, d.key);
        out.appendRow({model::kindCaption(d.kind), model::changeCaption(d.change),
                       d.table.isEmpty() ? none : QVariant(qualifiedName(d.schema, d.table)),
                       d.table.isEmpty() ? qualifiedName(d.schema, d.name) : d.name,
                       sampleText.isEmpty() ? none : QVariant(sampleText),
                       targetText.isEmpty() ? none : QVariant(targetText)});
    }
    const QStringList routineKinds{QStringLiteral("函数"), QStringLiteral("触发器")};
    const QStringList objectKinds{QStringLiteral("类型")};
    for (const model::Unsupported &u : comparison.unsupported) {
        const bool shown = scope == ObjectScope::All || (scope == ObjectScope::Routines && routineKinds.contains(u.kind))
                           || (scope == ObjectScope::Objects && objectKinds.contains(u.kind));
        if (shown)
            out.appendRow({u.kind, kNotSynchronised, QVariant(), qualifiedName(u.schema, u.name), u.reason, QVariant()});
    }
    return out;
}

bool isObjectListing(const ResultSet &result)
{
    return result.fieldIndex(kMatch) >= 0 && result.fieldIndex(kTable) >= 0 && result.fieldIndex(kName) >= 0;
}

QSet<QString> chosenKeys(const SchemaComparison &comparison, const ResultSet &listing, const QList<int> &rows)
{
    // The listing's identity of a difference: kind, match, table and name.
    const auto identity = [](const QString &kind, const QString &match, const QString &table, const QString &name) {
        return QStringList{kind, match, table, name}.join(QChar(0x1f));
    };
    QHash<QString, QStringList> keysOf;
    for (const model::Difference &d : comparison.differences) {
        const QString table = d.table.isEmpty() ? QString() : qualifiedName(d.schema, d.table);
        const QString name = d.table.isEmpty() ? qualifiedName(d.schema, d.name) : d.name;
        keysOf[identity(model::kindCaption(d.kind), model::changeCaption(d.change), table, name)] << d.key;
    }
    QSet<QString> keys;
    for (int row : rows)
        for (const QString &key : keysOf.value(identity(listing.text(row, kKind), listing.text(row, kMatch),
                                                        listing.text(row, kTable), listing.text(row, kName))))
            keys.insert(key);
    return keys;
}

namespace {

schema::ColumnType columnType(const model::TypeRef &type)
{
    const bool unicode = type.name.compare(QLatin1String("nchar"), Qt::CaseInsensitive) == 0
                         || type.name.compare(QLatin1String("nvarchar"), Qt::CaseInsensitive) == 0;
    const bool sized = type.name.compare(QLatin1String("decimal"), Qt::CaseInsensitive) == 0
                       || type.name.compare(QLatin1String("numeric"), Qt::CaseInsensitive) == 0;
    const int length = sized ? type.precision : unicode && type.maxLength > 0 ? type.maxLength / 2 : type.maxLength;
    return {type.name, length, type.scale};
}

schema::DataLossCheck toCheck(const model::ValueLoss &loss, const QString &database)
{
    const QString table = qualifiedName(loss.schema, loss.table);
    const QString name = (database.isEmpty() ? QString() : model::bracket(database) + QLatin1Char('.'))
                         + model::qualified(loss.schema, loss.table);
    switch (loss.what) {
    case model::ValueLoss::What::DropTable:
        return schema::tableDropCheck(name, table);
    case model::ValueLoss::What::DropColumn:
        return schema::columnDropCheck(name, table, loss.column);
    case model::ValueLoss::What::ChangeType:
        break;
    }
    return schema::typeChangeCheck(name, table, loss.column, columnType(loss.from), columnType(loss.to))
        .value_or(schema::DataLossCheck{});
}

}  // namespace

ObjectSyncPlan objectSyncPlan(const SchemaComparison &comparison, const QSet<QString> &chosen)
{
    ObjectSyncPlan out;
    if (chosen.isEmpty())
        return out;
    const model::SyncPlan plan = model::planSync(comparison.sample, comparison.target, chosen);
    for (const model::PlanStep &s : plan.steps) {
        // A new table's parts go in its batch: one round trip for the table.
        if (s.withTable && !out.steps.isEmpty())
            out.steps.last().lines.append(s.statement);
        else
            out.steps.append({schema::StepRunner::ADOQuery3, {s.statement}, schema::StepEcho::WhenChecked, s.subject});
    }
    for (const model::ValueLoss &loss : plan.valueLosses) {
        const schema::DataLossCheck check = toCheck(loss, comparison.targetDatabase);
        if (!check.query.isEmpty() && !out.lossChecks.contains(check))
            out.lossChecks.append(check);
    }
    return out;
}

QList<schema::SyncStep> identityRebuildSteps(DatabaseObjects &objects, const QString &targetDatabase,
                                             const QString &table,
                                             const QList<std::pair<QString, bool>> &identityColumns)
{
    AdoQuery query(&objects.ADOConnection2, 0);
    query.setSql({model::catalogBatch(targetDatabase)});
    query.openAll();
    const model::Database database = model::readCatalogBatch(query.results());
    const model::Table *current = database.table(QStringLiteral("dbo"), table);
    if (!current)
        throw std::runtime_error(QStringLiteral("目的数据库中找不到表 %1").arg(table).toStdString());
    model::Table wanted = *current;
    for (const auto &[column, identity] : identityColumns)
        wanted = model::withIdentity(wanted, column, identity);
    QList<schema::SyncStep> steps;
    for (const QString &statement : model::rebuildWithDependents(database, *current, wanted))
        steps.append({schema::StepRunner::ADOQuery3, {statement}, schema::StepEcho::WhenChecked,
                      model::kindCaption(model::ItemKind::Table) + QLatin1Char(' ') + table});
    return steps;
}

SyncAllOutcome synchroniseAll(DatabaseObjects &objects, const ServerFields &fields, int maxRounds,
                              const std::function<bool(int, const ObjectSyncPlan &)> &beforeRound,
                              const std::function<void(const schema::SyncStep &, qsizetype)> &beforeStep,
                              std::optional<SchemaComparison> first)
{
    SyncAllOutcome outcome;
    outcome.last = first ? std::move(*first) : compareSchemas(objects, fields);
    while (!outcome.last.differences.isEmpty() && outcome.rounds < maxRounds) {
        QSet<QString> all;
        for (const model::Difference &d : outcome.last.differences)
            all.insert(d.key);
        const ObjectSyncPlan plan = objectSyncPlan(outcome.last, all);
        if (plan.steps.isEmpty())
            break;
        if (beforeRound && !beforeRound(outcome.rounds + 1, plan)) {
            outcome.stopped = true;
            break;
        }
        ++outcome.rounds;
        runSteps(objects, plan.steps, beforeStep);
        for (const schema::SyncStep &step : plan.steps)
            outcome.statements += step.lines.size();  // a new table's batch holds its parts' too
        outcome.last = compareSchemas(objects, fields);
    }
    outcome.converged = outcome.last.differences.isEmpty();
    return outcome;
}

}  // namespace dbsync::workflow
