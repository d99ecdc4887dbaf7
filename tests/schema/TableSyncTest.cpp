// Table structure: the statements of every comparison code, the type suffix rules, the
// constraint drops with their echo, and the plan over several rows.

#include "db/ResultSet.h"
#include "schema/TableSync.h"

#include <gtest/gtest.h>

using namespace dbsync::schema;

namespace {

const QString kPrefix = "OPENDATASOURCE('SQLOLEDB','Data Source=h;User ID=u;Password=p').s.dbo.";

// A row of a table "orders" present on both sides, column "state".
ColumnDiffRow both(const char *code)
{
    ColumnDiffRow r;
    r.code = QString::fromUtf8(code);
    r.sampleTable = "orders";
    r.sampleColumn = "state";
    r.samplePosition = 2;
    r.sampleType = "varchar";
    r.sampleLength = "50";
    r.sampleScale = "0";
    r.sampleNullable = "1";
    r.samplePrimaryKey = "0";
    r.sampleIdentity = "0";
    r.targetTable = "orders";
    r.targetColumn = "state";
    return r;
}

TableSyncPlan plan(const QList<ColumnDiffRow> &rows, const QList<DefaultConstraint> &defaults = {},
                   const QString &database = "tgt")
{
    TableSyncContext context{database, kPrefix, std::nullopt, {}};
    // Stands for the catalogue read: names the table and its changed columns.
    context.rebuildTable = [](const QString &table, const QList<std::pair<QString, bool>> &columns) {
        QStringList named;
        for (const auto &[column, identity] : columns)
            named << column + (identity ? "+" : "-");
        return QList<SyncStep>{{StepRunner::ADOQuery3, {"rebuild " + table + " " + named.join(',')}}};
    };
    return planTableSync(rows, context, defaults);
}

SyncStep query(const QStringList &lines)
{
    return {StepRunner::ADOQuery4, lines, StepEcho::WhenChecked};
}

SyncStep command(const QString &text, StepEcho echo)
{
    return {StepRunner::ADOCommand1, {text}, echo};
}

void expectSteps(const TableSyncPlan &actual, const QList<SyncStep> &wanted)
{
    ASSERT_EQ(actual.steps.size(), wanted.size());
    for (qsizetype i = 0; i < wanted.size(); ++i) {
        EXPECT_EQ(actual.steps[i].runner, wanted[i].runner) << "step " << i;
        EXPECT_EQ(actual.steps[i].echo, wanted[i].echo) << "step " << i;
        EXPECT_EQ(actual.steps[i].lines.join("|").toStdString(), wanted[i].lines.join("|").toStdString()) << "step " << i;
    }
}

}  // namespace

TEST(TypeSuffix, EachRuleKeepsTheFullDeclaration)
{
    const TypeRule rules[] = {TypeRule::Add, TypeRule::Alter, TypeRule::AlterWithScale};
    for (TypeRule rule : rules) {
        EXPECT_EQ(typeSuffix(rule, "varchar", "50", "0"), "(50)");
        EXPECT_EQ(typeSuffix(rule, "nvarchar", "-1", "0"), "(MAX)");
        EXPECT_EQ(typeSuffix(rule, "varbinary", "-1", "0"), "(MAX)");
        EXPECT_EQ(typeSuffix(rule, "char", "10", "0"), "(10)");
        EXPECT_EQ(typeSuffix(rule, "decimal", "18", "4"), "(18,4)");
        EXPECT_EQ(typeSuffix(rule, "numeric", "9", "0"), "(9,0)");
        EXPECT_EQ(typeSuffix(rule, "datetime2", "27", "7"), "(7)");
        for (const char *fixed : {"bit", "tinyint", "smallint", "int", "bigint", "money", "smallmoney", "float", "real",
                                  "date", "datetime", "smalldatetime", "uniqueidentifier", "text", "ntext", "image",
                                  "xml"})
            EXPECT_EQ(typeSuffix(rule, fixed, "10", "0"), "") << fixed;
    }
    // Names the server does not build in keep the plain form of each rule.
    EXPECT_EQ(typeSuffix(TypeRule::Add, "mytype", "-1", "2"), "(MAX)");
    EXPECT_EQ(typeSuffix(TypeRule::Alter, "mytype", "12", "2"), "(12)");
    EXPECT_EQ(typeSuffix(TypeRule::AlterWithScale, "mytype", "12", "2"), "(12,2)");
    EXPECT_EQ(nullabilityLine("1"), "null");
    EXPECT_EQ(nullabilityLine("0"), "not null");
    EXPECT_EQ(nullabilityLine(""), "not null");
}

TEST(TableSyncCodes, TableOnOneSideEndsTheCommand)
{
    ColumnDiffRow create = both("2");
    create.targetTable.clear();
    create.targetColumn.clear();
    ColumnDiffRow later = both("4");
    const TableSyncPlan created = plan({create, create, later});
    SyncStep copy = query({"select * into tgt.dbo.orders from " + kPrefix + "orders where 1=2"});
    copy.alone = true;  // it reads the sample server: outside the transaction
    expectSteps(created, {copy});
    EXPECT_TRUE(created.endsEarly);

    ColumnDiffRow drop = both("1");
    drop.sampleTable.clear();
    drop.targetTable = "old";
    const TableSyncPlan dropped = plan({later, drop, later});
    expectSteps(dropped, {query({"alter table tgt.dbo.orders add state  varchar", "(50)", "null"}),
                          query({"DROP TABLE tgt.dbo.old"})});
    EXPECT_TRUE(dropped.endsEarly);
    EXPECT_FALSE(plan({later}).endsEarly);
}

TEST(TableSyncCodes, AddColumn)
{
    ColumnDiffRow r = both("4");
    expectSteps(plan({r}), {query({"alter table tgt.dbo.orders add state  varchar", "(50)", "null"})});
    r.sampleLength = "-1";
    expectSteps(plan({r}), {query({"alter table tgt.dbo.orders add state  varchar", "(MAX)", "null"})});
    r.sampleType = "int";
    r.sampleNullable = "0";
    expectSteps(plan({r}), {query({"alter table tgt.dbo.orders add state  int", "not null"})});
    r.sampleType = "decimal";
    r.sampleLength = "18";
    r.sampleScale = "4";
    expectSteps(plan({r}), {query({"alter table tgt.dbo.orders add state  decimal", "(18,4)", "not null"})});
}

TEST(TableSyncCodes, AddColumnWithTheSamplesDefaultFillsTheRows)
{
    // Named as code "8" names it; a nullable column needs "with values" to fill the rows.
    ColumnDiffRow r = both("4");
    r.targetTable.clear();
    r.targetColumn.clear();
    r.sampleType = "int";
    r.sampleNullable = "0";
    r.sampleDefault = "((0))";
    expectSteps(plan({r}), {query({"alter table tgt.dbo.orders add state  int", "not null",
                                   " constraint DF_orders_state default ((0))"})});
    r.sampleType = "varchar";
    r.sampleNullable = "1";
    r.sampleDefault = "('new')";
    expectSteps(plan({r}), {query({"alter table tgt.dbo.orders add state  varchar", "(50)", "null",
                                   " constraint DF_orders_state default ('new') with values"})});
    r.sampleTable = "order lines";
    r.sampleColumn = "a]b";
    expectSteps(plan({r}, {}, "my db"),
                {query({"alter table [my db].dbo.[order lines] add [a]]b]  varchar", "(50)", "null",
                        " constraint [DF_order lines_a]]b] default ('new') with values"})});
}

TEST(TableSyncCodes, ForeignKeyAndColumnDrops)
{
    ColumnDiffRow fk = both("7");
    fk.targetForeignKey = "FK_orders_cust";
    expectSteps(plan({fk}), {query({"Alter table tgt.dbo.orders Drop constraint FK_orders_cust  "})});

    ColumnDiffRow col = both("3");
    col.sampleTable.clear();
    col.sampleColumn.clear();
    col.targetColumn = "extra";
    expectSteps(plan({col}), {query({"alter table tgt.dbo.orders drop column extra"})});
    col.targetForeignKey = "FK_orders_cust";
    expectSteps(plan({col}), {command("alter table orders drop constraint  FK_orders_cust", StepEcho::Never),
                              query({"alter table tgt.dbo.orders drop column extra"})});
    // The column's default goes before the column, named as the target's catalogue has it.
    expectSteps(plan({col}, {{"ORDERS", "Extra", "DF__orders__extra__1A2B"}}),
                {command("alter table orders drop constraint  FK_orders_cust", StepEcho::Never),
                 command("alter table orders drop constraint  DF__orders__extra__1A2B", StepEcho::WhenChecked),
                 query({"alter table tgt.dbo.orders drop column extra"})});
}

TEST(TableSyncCodes, IdentityChangeRebuildsEachTableOnceKeepingItsRows)
{
    ColumnDiffRow id = both("10");
    id.sampleIdentity = "1";
    id.targetColumn = "id";
    id.targetPrimaryKeyName = "PK_orders";
    ColumnDiffRow targetOnly = both("10");
    targetOnly.targetColumn = "no";
    ColumnDiffRow items = id;
    items.targetTable = "Items";
    // Either direction, all of the table's columns in one rebuild, before any other row; the
    // command ends after it, as the other tables' catalogue has changed under their rows.
    ColumnDiffRow add = both("4");
    const TableSyncPlan p = plan({add, items, targetOnly, id, add});
    expectSteps(p, {SyncStep{StepRunner::ADOQuery3, {"rebuild Items id+"}}});
    EXPECT_TRUE(p.endsEarly);
    EXPECT_EQ(p.endingRow, 1);
    expectSteps(plan({targetOnly, id}), {SyncStep{StepRunner::ADOQuery3, {"rebuild orders no-,id+"}}});
    EXPECT_TRUE(p.lossChecks.isEmpty());
}

TEST(TableSyncCodes, StepsThatMayLoseValuesAreCountedFirst)
{
    ColumnDiffRow dropColumn = both("3");
    dropColumn.targetColumn = "note";
    ColumnDiffRow narrower = both("5");
    narrower.targetType = "varchar";
    narrower.targetLength = "80";
    ColumnDiffRow wider = narrower;
    wider.targetLength = "20";
    ColumnDiffRow dropTable = both("1");
    dropTable.targetTable = "old";
    const TableSyncPlan p = plan({dropColumn, narrower, wider, dropColumn, dropTable});
    ASSERT_EQ(p.lossChecks.size(), 3);
    EXPECT_EQ(p.lossChecks[0], (DataLossCheck{"orders", "note", "删除列", "select count(*) from tgt.dbo.orders where note is not null"}));
    EXPECT_EQ(p.lossChecks[1], (DataLossCheck{"orders", "state", "改为 varchar(50)", "select count(*) from tgt.dbo.orders where len(state) > 50"}));
    EXPECT_EQ(p.lossChecks[2], (DataLossCheck{"old", "", "删除表", "select count(*) from tgt.dbo.old"}));
}

TEST(TableSyncCodes, AlterColumnTypeLengthNullability)
{
    ColumnDiffRow r = both("5");
    expectSteps(plan({r}), {query({"alter table tgt.dbo.orders alter column state  varchar", "(50)", "null"})});
    r.sampleLength = "-1";  // "(-1)" is no declaration the server takes
    expectSteps(plan({r}), {query({"alter table tgt.dbo.orders alter column state  varchar", "(MAX)", "null"})});
    r.sampleType = "bigint";
    r.sampleNullable = "0";
    r.targetPrimaryKeyName = "PK_orders";
    expectSteps(plan({r}, {{"orders", "state", "DF_orders_state"}}),
                {command("alter table orders drop constraint  PK_orders", StepEcho::WhenChecked),
                 command("alter table orders drop constraint  DF_orders_state", StepEcho::WhenChecked),
                 query({"alter table tgt.dbo.orders alter column state  bigint", "not null"})});
    r.sampleType = "numeric";
    r.sampleLength = "10";
    r.sampleScale = "2";
    r.targetPrimaryKeyName.clear();
    expectSteps(plan({r}), {query({"alter table tgt.dbo.orders alter column state  numeric", "(10,2)", "not null"})});
}

TEST(TableSyncCodes, AlterScaleKeepsTheKey)
{
    ColumnDiffRow r = both("9");
    r.sampleType = "decimal";
    r.sampleLength = "18";
    r.sampleScale = "4";
    r.targetPrimaryKeyName = "PK_orders";  // code "9" drops no key
    expectSteps(plan({r}), {query({"alter table tgt.dbo.orders alter column state  decimal", "(18,4)", "null"})});
    expectSteps(plan({r}, {{"orders", "state", "DF_x"}}),
                {command("alter table orders drop constraint  DF_x", StepEcho::WhenChecked),
                 query({"alter table tgt.dbo.orders alter column state  decimal", "(18,4)", "null"})});
    r.sampleType = "int";
    expectSteps(plan({r}), {query({"alter table tgt.dbo.orders alter column state  int", "null"})});
}

TEST(TableSyncCodes, PrimaryKeyAddedOverAllItsColumnsOnce)
{
    ColumnDiffRow id = both("6");
    id.sampleColumn = "id";
    id.samplePrimaryKey = "1";
    id.samplePosition = 1;
    expectSteps(plan({id}), {query({"alter table tgt.dbo.orders Add constraint pk_orders primary key (id)"})});

    ColumnDiffRow line = id;
    line.sampleColumn = "line";
    line.samplePosition = 3;
    ColumnDiffRow other = id;
    other.sampleTable = "items";
    // Selected in any order, listed twice: one constraint per table, columns by position.
    expectSteps(plan({line, other, id, line}),
                {query({"alter table tgt.dbo.orders Add constraint pk_orders primary key (id,line)"}),
                 query({"alter table tgt.dbo.items Add constraint pk_items primary key (id)"})});
    // Rows after an early end do not join the key.
    ColumnDiffRow create = both("2");
    create.sampleTable = "neu";
    expectSteps(plan({id, create, line}),
                {query({"alter table tgt.dbo.orders Add constraint pk_orders primary key (id)"}),
                 query({"select * into tgt.dbo.neu from " + kPrefix + "neu where 1=2"})});
}

TEST(TableSyncCodes, PrimaryKeyDropNamesTheTargetsKey)
{
    ColumnDiffRow r = both("6");
    r.samplePrimaryKey = "0";
    r.targetPrimaryKeyName = "PK__orders__3213E83F";
    ColumnDiffRow second = r;
    second.sampleColumn = second.targetColumn = "line";
    // Two key columns of one table: the key goes once.
    expectSteps(plan({r, second}), {query({"Alter table tgt.dbo.orders Drop Constraint PK__orders__3213E83F  "})});
    // A key already dropped before an alter is not dropped again.
    ColumnDiffRow alter = both("5");
    alter.targetPrimaryKeyName = r.targetPrimaryKeyName;
    expectSteps(plan({alter, r}),
                {command("alter table orders drop constraint  PK__orders__3213E83F", StepEcho::WhenChecked),
                 query({"alter table tgt.dbo.orders alter column state  varchar", "(50)", "null"})});
    r.targetPrimaryKeyName.clear();
    expectSteps(plan({r}), {});
}

TEST(TableSyncCodes, KeyOnOtherColumnsGoesBeforeTheSamplesIsAdded)
{
    // Sample key (id, line), target key on id alone: only line is listed. Adding would fail
    // (one key per table), so the target's key goes; the next listing shows both columns.
    ColumnDiffRow line = both("6");
    line.sampleColumn = line.targetColumn = "line";
    line.samplePrimaryKey = "1";
    line.targetPrimaryKeyName = "PK_t";
    expectSteps(plan({line}), {query({"Alter table tgt.dbo.orders Drop Constraint PK_t  "})});
}

TEST(TableSyncCodes, DefaultAddedAfterTheOldOneGoes)
{
    ColumnDiffRow r = both("8");
    r.sampleDefault = "((0))";
    expectSteps(plan({r}), {query({"Alter table tgt.dbo.orders add constraint DF_orders_state default ((0)) for state "})});
    expectSteps(plan({r}, {{"orders", "state", "DF__orders__state__7C8"}}),
                {command("alter table orders drop constraint  DF__orders__state__7C8", StepEcho::WhenChecked),
                 query({"Alter table tgt.dbo.orders add constraint DF_orders_state default ((0)) for state "})});
    // The sample has no default: the target's goes and nothing is added.
    r.sampleDefault.clear();
    expectSteps(plan({r}, {{"orders", "state", "DF_old"}}),
                {command("alter table orders drop constraint  DF_old", StepEcho::WhenChecked)});
    // Defaults of other columns are not touched.
    expectSteps(plan({r}, {{"orders", "other", "DF_other"}}), {});
}

TEST(TableSyncCodes, OtherCodesDoNothing)
{
    EXPECT_TRUE(plan({both(" 字段说明不同 "), both(""), both("11")}).steps.isEmpty());
    EXPECT_FALSE(plan({both(" 字段说明不同 ")}).endsEarly);
}

TEST(TableSyncPlanning, NamesAreQuotedOnlyWhenIrregular)
{
    ColumnDiffRow r = both("4");
    r.sampleTable = r.targetTable = "order lines";
    r.sampleColumn = "select";
    r.sampleType = "int";
    expectSteps(plan({r}, {}, "my db"), {query({"alter table [my db].dbo.[order lines] add [select]  int", "null"})});
    ColumnDiffRow d = both("8");
    d.targetTable = "a]b";
    d.sampleColumn = d.targetColumn = "c d";
    d.sampleDefault = "('x')";
    expectSteps(plan({d}, {{"a]b", "c d", "DF old"}}),
                {command("alter table [a]]b] drop constraint  [DF old]", StepEcho::WhenChecked),
                 query({"Alter table tgt.dbo.[a]]b] add constraint [DF_a]]b_c d] default ('x') for [c d] "})});
    ColumnDiffRow create = both("2");
    create.sampleTable = "new table";
    expectSteps(plan({create}), {query({"select * into tgt.dbo.[new table] from " + kPrefix + "[new table] where 1=2"})});
}

TEST(TableSyncPlanning, DuplicateListingRowsActOnce)
{
    // A column of a table with two foreign keys is listed once per pairing.
    ColumnDiffRow add = both("4");
    ColumnDiffRow drop = both("3");
    drop.targetColumn = "extra";
    ColumnDiffRow drop2 = drop;
    drop.targetForeignKey = "FK_a";
    drop2.targetForeignKey = "FK_b";
    expectSteps(plan({add, add, drop, drop2}),
                {query({"alter table tgt.dbo.orders add state  varchar", "(50)", "null"}),
                 command("alter table orders drop constraint  FK_a", StepEcho::Never),
                 query({"alter table tgt.dbo.orders drop column extra"}),
                 command("alter table orders drop constraint  FK_b", StepEcho::Never)});
}

TEST(TableSyncLookups, DefaultConstraintQueryAndAnswer)
{
    ColumnDiffRow alter = both("5");
    ColumnDiffRow add = both("4");
    add.targetTable = "t4";
    ColumnDiffRow drop = both("3");
    drop.targetTable = "T3";
    ColumnDiffRow identityOnTarget = both("10");
    identityOnTarget.targetTable = "t10";
    ColumnDiffRow identityOnSample = identityOnTarget;
    identityOnSample.sampleIdentity = "1";
    identityOnSample.targetTable = "t11";
    ColumnDiffRow end = both("2");
    ColumnDiffRow afterEnd = both("8");
    afterEnd.targetTable = "t8";
    EXPECT_EQ(defaultLookupTables({alter, add, drop, alter, identityOnTarget, identityOnSample, end, afterEnd}),
              (QStringList{"orders", "T3"}));  // a rebuilt table reads its whole catalogue
    EXPECT_TRUE(defaultLookupTables({add}).isEmpty());
    EXPECT_TRUE(defaultConstraintQueryLines("tgt", {}).isEmpty());

    EXPECT_EQ(defaultConstraintQueryLines("tgt", {"orders", "o'k"}),
              (QStringList{"select tablename=o.name,columnname=c.name,constraintname=d.name",
                           "from tgt.dbo.syscolumns c",
                           "inner join tgt.dbo.sysobjects o on c.id=o.id and o.xtype='U'",
                           "inner join tgt.dbo.sysobjects d on c.cdefault=d.id and d.xtype='D'",
                           "where o.name in(N'orders',N'o''k')"}));
    EXPECT_EQ(defaultConstraintQueryLines("my db", {"x"})[1], "from [my db].dbo.syscolumns c");

    dbsync::ResultSet answer({"tablename", "columnname", "constraintname"});
    answer.appendRow({"orders", "state", "DF_orders_state"});
    const QList<DefaultConstraint> defaults = readDefaultConstraints(answer);
    ASSERT_EQ(defaults.size(), 1);
    EXPECT_EQ(defaults[0].table, "orders");
    EXPECT_EQ(defaults[0].column, "state");
    EXPECT_EQ(defaults[0].name, "DF_orders_state");
}
