#include "schema/RoutineSync.h"

#include "db/ResultSet.h"
#include "db/SqlQuote.h"
#include "schema/SqlText.h"

#include <QSet>

namespace dbsync::schema {

namespace {

const QString kView = QStringLiteral("视图");
const QString kProcedure = QStringLiteral("存储过程");

QString nameLiterals(const QStringList &names)
{
    QStringList literals;
    for (const QString &name : names)
        literals.append(QStringLiteral("N'") + quoteStringLiteralContent(name) + QLatin1Char('\''));
    return literals.join(QLatin1Char(','));
}

SyncStep queryStep(const QString &statement)
{
    return {StepRunner::ADOQuery3, {statement}, StepEcho::WhenChecked};
}

}  // namespace

QStringList routineObjectNames(const QList<RoutineDiffRow> &selected)
{
    QStringList names;
    QSet<QString> seen;
    for (const RoutineDiffRow &row : selected) {
        if (row.kind != kView && row.kind != kProcedure)
            continue;
        if (row.match != kTargetMissing && row.match != kSampleMissing && row.match != kTextDiffers)
            continue;
        if (row.name.isEmpty() || seen.contains(row.name.toLower()))
            continue;
        seen.insert(row.name.toLower());
        names.append(row.name);
    }
    return names;
}

QString routineTypesQueryLine(const QString &side, const QString &schemaPrefix, const QStringList &names)
{
    return QStringLiteral("select side='") + side + QStringLiteral("',name,xtype from ") + schemaPrefix
        + QStringLiteral("sysobjects where xtype in('V','P') and status>=0 and name in(") + nameLiterals(names)
        + QLatin1Char(')');
}

QStringList routineSidesQueryLines(const QString &schemaPrefix, const QString &targetDatabase,
                                   const QStringList &names)
{
    if (names.isEmpty())
        return {};
    return {
        routineTypesQueryLine(QStringLiteral("S"), schemaPrefix, names),
        QStringLiteral("union all"),
        routineTypesQueryLine(QStringLiteral("T"), localSchemaPrefix(targetDatabase), names),
    };
}

RoutineCatalogue readRoutineSides(const ResultSet &result, RoutineCatalogue catalogue)
{
    for (int row = 0; row < result.rowCount(); ++row) {
        const QString side = result.text(row, QStringLiteral("side")).trimmed();
        const QString type = result.text(row, QStringLiteral("xtype")).trimmed().toUpper();  // char(2): "P "
        RoutineSides &sides = catalogue[result.text(row, QStringLiteral("name")).toLower()];
        if (side == QLatin1String("S"))
            sides.sampleType = type;
        else if (side == QLatin1String("T"))
            sides.targetType = type;
    }
    return catalogue;
}

RoutineAction decideRoutine(const RoutineSides &sides)
{
    if (sides.sampleType.isEmpty())
        return sides.targetType.isEmpty() ? RoutineAction::None : RoutineAction::Drop;
    if (sides.targetType.isEmpty())
        return RoutineAction::Create;
    return sides.sampleType == sides.targetType ? RoutineAction::Alter : RoutineAction::DropThenCreate;
}

QList<RoutinePlan> planRoutines(const QList<RoutineDiffRow> &selected, const RoutineCatalogue &catalogue)
{
    QList<RoutinePlan> plans;
    for (const QString &name : routineObjectNames(selected)) {
        RoutinePlan plan;
        plan.name = name;
        plan.sides = catalogue.value(name.toLower());
        plan.action = decideRoutine(plan.sides);
        plans.append(plan);
    }
    return plans;
}

bool needsDefinition(RoutineAction action)
{
    return action == RoutineAction::Alter || action == RoutineAction::Create || action == RoutineAction::DropThenCreate;
}

QStringList routineDefinitionQueryLines(const QString &schemaPrefix, const QString &name)
{
    return {
        QStringLiteral("select b.text from ") + schemaPrefix + QStringLiteral("sysobjects a,") + schemaPrefix
            + QStringLiteral("syscomments b"),
        QStringLiteral("where a.id=b.id and a.xtype in('V','P') and a.status>=0 and a.name=N'")
            + quoteStringLiteralContent(name) + QLatin1Char('\''),
        QStringLiteral("order by b.colid"),
    };
}

QString joinDefinition(const ResultSet &result)
{
    QString definition;
    for (int row = 0; row < result.rowCount(); ++row)
        definition += result.text(row, QStringLiteral("text"));
    return definition;
}

QString dropRoutineStatement(const QString &type, const QString &name)
{
    const QString keyword = type == QLatin1String("V") ? QStringLiteral("DROP view ") : QStringLiteral("DROP PROCEDURE ");
    return keyword + quoteIdentifier(name) + QLatin1Char(' ');
}

QString createRoutineStatement(const QString &definition)
{
    return withoutBatchSeparators(definition);
}

QString alterRoutineStatement(const QString &definition)
{
    return createToAlter(withoutBatchSeparators(definition));
}

QList<SyncStep> routineSteps(const RoutinePlan &plan, const QString &sampleDefinition)
{
    QList<SyncStep> steps;
    const auto add = [&](const QString &statement) {
        if (!statement.trimmed().isEmpty())
            steps.append(queryStep(statement));
    };
    switch (plan.action) {
    case RoutineAction::None:
        break;
    case RoutineAction::Alter:
        add(alterRoutineStatement(sampleDefinition));
        break;
    case RoutineAction::Create:
        add(createRoutineStatement(sampleDefinition));
        break;
    case RoutineAction::Drop:
        add(dropRoutineStatement(plan.sides.targetType, plan.name));
        break;
    case RoutineAction::DropThenCreate:
        // The create needs the name free, so the drop comes first whatever the listing's order.
        if (!createRoutineStatement(sampleDefinition).trimmed().isEmpty())
            add(dropRoutineStatement(plan.sides.targetType, plan.name));
        add(createRoutineStatement(sampleDefinition));
        break;
    }
    return steps;
}

QList<SyncStep> routineSyncSteps(const QList<RoutinePlan> &plans, const DefinitionReader &readDefinition)
{
    QList<SyncStep> steps;
    for (const RoutinePlan &plan : plans)
        steps += routineSteps(plan, needsDefinition(plan.action) ? readDefinition(plan.name) : QString());
    return steps;
}

}  // namespace dbsync::schema
