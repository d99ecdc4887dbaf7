// Every kind of object synchronised through the schema model, end to end: an older release of
// an order-entry schema with rows brought up to the current one, and the hard cases one by one.
// The result is judged by comparing the two catalogues with queries of our own over sys.*
// (not through the tool's model), and the target's rows are counted before and after.

#include "app/Form43Sync.h"
#include "app/ObjectCommands.h"
#include "app/ScriptPreviewDialog.h"
#include "db/DbError.h"
#include "tests/e2e/CatalogueSnapshot.h"
#include "tests/e2e/SchemaSyncFixture.h"
#include "workflow/ObjectSync.h"

#include <QFile>
#include <QMenu>
#include <QRegularExpression>

using namespace dbsync;
using namespace dbsync::test;

namespace {

class ObjectSyncTest : public SchemaSyncTest {
protected:
    // On one connection, as a script runs: SET IDENTITY_INSERT holds for the batches after it.
    void load(const QString &server, const QString &database, const QString &file)
    {
        const ServerAccount &a = servers->account(server);
        AdoConnection connection;
        connection.setConnectionString(buildConnectionString(a.password, a.login, database, a.address));
        connection.open();
        AdoCommand command(&connection, 60);
        for (const QString &batch : batchesOf(QStringLiteral(DBSYNC_SOURCE_DIR "/tests/sim/objects/") + file)) {
            command.setCommandText(batch);
            command.execute();
        }
    }

    QStringList catalogueDifferences() const
    {
        return test::catalogueDifferences([this](const QString &sql) { return queryOn("sample", sampleDb, sql); },
                                          [this](const QString &sql) { return queryOn("target", targetDb, sql); });
    }

    std::map<QString, qlonglong> rowCounts()
    {
        std::map<QString, qlonglong> counts;
        const ResultSet tables = queryOn("target", targetDb, QStringLiteral("select name from sys.tables"));
        for (int r = 0; r < tables.rowCount(); ++r) {
            const QString name = tables.text(r, QStringLiteral("name"));
            counts[name] = queryOn("target", targetDb, QStringLiteral("select count(*) as n from [%1]").arg(name))
                               .value(0, 0)
                               .toLongLong();
        }
        return counts;
    }

    workflow::SyncAllOutcome syncAll()
    {
        press(&TForm43::Button12Click);
        return workflow::synchroniseAll(*window, form43::serverFields(*window), 5);
    }
};

TEST_F(ObjectSyncTest, OlderReleaseWithRowsConvergesInOneRound)
{
    load("sample", sampleDb, QStringLiteral("order_entry_generated.sql"));
    load("target", targetDb, QStringLiteral("order_entry_previous.sql"));
    const auto before = rowCounts();
    ASSERT_FALSE(catalogueDifferences().isEmpty());

    const workflow::SyncAllOutcome outcome = syncAll();
    EXPECT_TRUE(outcome.converged);
    EXPECT_EQ(outcome.rounds, 1);
    EXPECT_EQ(catalogueDifferences(), QStringList());
    const auto after = rowCounts();
    for (const auto &[table, count] : before)
        EXPECT_EQ(after.at(table), count) << table.toStdString();
}

TEST_F(ObjectSyncTest, EmptyTargetGetsEverythingInDependencyOrder)
{
    load("sample", sampleDb, QStringLiteral("order_entry_generated.sql"));
    const workflow::SyncAllOutcome outcome = syncAll();
    EXPECT_TRUE(outcome.converged);
    EXPECT_EQ(outcome.rounds, 1);
    EXPECT_EQ(catalogueDifferences(), QStringList());
}

TEST_F(ObjectSyncTest, HardCasesOneByOne)
{
    // A view that reads a view created after it; a column whose type changes under an index,
    // a check and a foreign key from another table; a new table with identity, defaults and keys.
    const QString common = QStringLiteral(
        "create table Customers (Id int not null constraint PK_Customers primary key, Code varchar(10) not null)\n");
    onSample(common);
    onTarget(common);
    onSample(QStringLiteral("create table Orders (Id int identity(10,5) not null constraint PK_Orders primary key, "
                            "CustomerCode varchar(20) not null constraint CK_Orders_Code check (CustomerCode <> ''), "
                            "Placed datetime not null constraint DF_Orders_Placed default (getdate()))"));
    onTarget(QStringLiteral("create table Orders (Id int identity(10,5) not null constraint PK_Orders primary key, "
                            "CustomerCode varchar(10) not null constraint CK_Orders_Code check (CustomerCode <> ''), "
                            "Placed datetime not null constraint DF_Orders_Placed default (getdate()))"));
    onSample(QStringLiteral("create table Lines (OrderCode varchar(20) not null, Qty int not null)"));
    onTarget(QStringLiteral("create table Lines (OrderCode varchar(10) not null, Qty int not null)"));
    for (const QString &side : {QStringLiteral("sample"), QStringLiteral("target")}) {
        const QString db = side == QLatin1String("sample") ? sampleDb : targetDb;
        execOn(side, db, QStringLiteral("alter table Orders add constraint UQ_Orders_Code unique (CustomerCode)"));
        execOn(side, db, QStringLiteral("create index IX_Orders_Code on Orders (CustomerCode desc)"));
        execOn(side, db, QStringLiteral("alter table Lines add constraint FK_Lines_Orders foreign key (OrderCode) "
                                        "references Orders (CustomerCode) on delete cascade"));
        execOn(side, db, QStringLiteral("insert Orders (CustomerCode) values ('A'), ('B')"));
        execOn(side, db, QStringLiteral("insert Lines values ('A', 1), ('B', 2)"));
    }
    onSample(QStringLiteral("create view Base as select Id, CustomerCode from dbo.Orders"));
    onSample(QStringLiteral("create view Top1 as select Id from dbo.Base"));
    onSample(QStringLiteral("drop view Base"));
    onSample(QStringLiteral("create view Base as select Id, CustomerCode, Placed from dbo.Orders"));
    onSample(QStringLiteral("create table [New Table] ([Key] int identity(1,1) not null primary key, "
                            "[名称] nvarchar(20) not null default (N'无'), Amount decimal(9,2) null constraint DF_Amount default ((0)))"));
    onSample(QStringLiteral("create index [IX New] on [New Table] ([名称]) include (Amount)"));

    const auto outcome = syncAll();
    EXPECT_TRUE(outcome.converged);
    EXPECT_EQ(catalogueDifferences(), QStringList());
    EXPECT_EQ(queryOn("target", targetDb, QStringLiteral("select count(*) from Orders")).value(0, 0).toInt(), 2);
    EXPECT_EQ(queryOn("target", targetDb, QStringLiteral("select count(*) from Lines")).value(0, 0).toInt(), 2);
}

TEST_F(ObjectSyncTest, ChangedAliasTypeKeepsTheValuesOfItsColumns)
{
    // The type grows; its columns carry a key, an index, a check, a default and a foreign key
    // between them, and a procedure takes a parameter of it: DROP TYPE refuses while any is there.
    onSample(QStringLiteral("create type dbo.Phone from nvarchar(30) not null"));
    onTarget(QStringLiteral("create type dbo.Phone from nvarchar(20) not null"));
    for (const QString &side : {QStringLiteral("sample"), QStringLiteral("target")}) {
        const QString db = side == QLatin1String("sample") ? sampleDb : targetDb;
        execOn(side, db, QStringLiteral("create table Lines (Tel Phone not null constraint PK_Lines primary key, "
                                        "Note nvarchar(10) null)"));
        execOn(side, db, QStringLiteral("create table Calls (Id int identity(1,1) not null, Tel dbo.Phone "
                                        "constraint DF_Calls_Tel default (N'110') constraint CK_Calls_Tel check (Tel <> N''), "
                                        "constraint FK_Calls_Lines foreign key (Tel) references Lines (Tel))"));
        execOn(side, db, QStringLiteral("create index IX_Calls_Tel on Calls (Tel)"));
        execOn(side, db, QStringLiteral("create procedure CallsTo @tel Phone as select Id from Calls where Tel = @tel"));
    }
    onTarget(QStringLiteral("insert Lines values (N'010-12345678', N'总机'), (N'110', null)"));
    onTarget(QStringLiteral("insert Calls (Tel) values (N'010-12345678'), (default), (N'110')"));
    const qsizetype before = mark();

    const auto outcome = syncAll();
    EXPECT_TRUE(outcome.converged);
    EXPECT_EQ(outcome.rounds, 1);
    EXPECT_EQ(catalogueDifferences(), QStringList());
    const ResultSet calls = queryOn("target", targetDb, QStringLiteral("select Id, Tel from Calls order by Id"));
    ASSERT_EQ(calls.rowCount(), 3);
    EXPECT_EQ(calls.text(0, QStringLiteral("Tel")), QStringLiteral("010-12345678"));
    EXPECT_EQ(calls.text(1, QStringLiteral("Tel")), QStringLiteral("110"));
    EXPECT_EQ(queryOn("target", targetDb, QStringLiteral("select Note from Lines where Tel = N'010-12345678'")).text(0, QStringLiteral("Note")),
              QStringLiteral("总机"));
    // The columns went to the base type and back, not through a copy of the table.
    if (logged()) {
        EXPECT_EQ(sentSince(before, QStringLiteral("ALTER TABLE [dbo].[Calls] ALTER COLUMN [Tel] nvarchar(20) NOT NULL")).size(), 1) << batchesSince(before).join("\n").toStdString();
        EXPECT_EQ(sentSince(before, QStringLiteral("ALTER TABLE [dbo].[Calls] ALTER COLUMN [Tel] [Phone] NOT NULL")).size(), 1);
        EXPECT_TRUE(sentSince(before, QStringLiteral("CREATE TABLE")).isEmpty());
    }
}

TEST_F(ObjectSyncTest, WindowListsIndexesAndConstraintsAndSynchronisesEverything)
{
    const QString table = QStringLiteral("create table Products (Id int not null primary key, Price money not null, "
                                         "Name nvarchar(40) not null)");
    onSample(table);
    onTarget(table);
    onSample(QStringLiteral("alter table Products add constraint CK_Products_Price check (Price >= 0)"));
    onSample(QStringLiteral("create index IX_Products_Name on Products (Name) include (Price)"));
    onSample(QStringLiteral("create type [dbo].[Money2] from decimal(12,2) not null"));

    window->runCommand([this] { objectcommands::listObjects(*window); });
    EXPECT_EQ(errors(), QStringList());
    QStringList kinds;
    for (int r = 0; r < rows(); ++r)
        kinds << listing().text(r, QStringLiteral("类型")) + QLatin1Char(' ') + listing().text(r, QStringLiteral("匹配情况"));
    kinds.sort();
    EXPECT_EQ(kinds, (QStringList{"检查约束 目标无", "类型 目标无", "索引 目标无"}));
    window->grab().save(QStringLiteral(DBSYNC_GRAB_DIR "/object-listing.png"));
    selectAll();
    emit window->DBGrid1->customContextMenuRequested(QPoint(40, 40));
    QApplication::processEvents();
    if (auto *menu = window->DBGrid1->findChild<QMenu *>("GridMenu")) {
        menu->grab().save(QStringLiteral(DBSYNC_GRAB_DIR "/object-menu.png"));
        menu->close();
    }

    window->runCommand([this] { objectcommands::syncSelectedObjects(*window); });
    EXPECT_EQ(errors(), QStringList());
    EXPECT_EQ(notices().value(notices().size() - 1), objectcommands::kObjectsDone);
    EXPECT_EQ(rows(), 0);

    // Everything: the plan is shown first, and nothing runs when the user declines it.
    onSample(QStringLiteral("create table [Order Lines] (ProductId int not null references Products (Id), "
                            "Qty int not null default (1))"));
    window->runCommand([this] { objectcommands::syncAll(*window); });
    ASSERT_EQ(dialogs.texts("plan").size(), 1);
    const QString plan = dialogs.texts("plan").front();
    EXPECT_TRUE(plan.contains("CREATE TABLE [dbo].[Order Lines]")) << plan.toStdString();
    EXPECT_EQ(queryOn("target", targetDb, QStringLiteral("select count(*) from sys.tables")).value(0, 0).toInt(), 1);
    ScriptPreviewDialog shown(plan, window.get(), QStringLiteral("执行同步"));
    shown.grab().save(QStringLiteral(DBSYNC_GRAB_DIR "/plan-dialog.png"));

    dialogs.answers = {true};
    window->runCommand([this] { objectcommands::syncAll(*window); });
    EXPECT_EQ(errors(), QStringList());
    EXPECT_EQ(notices().value(notices().size() - 1), objectcommands::syncAllNotice(1, 2, true));
    EXPECT_EQ(catalogueDifferences(), QStringList());
    EXPECT_EQ(rows(), 0);
}

TEST_F(ObjectSyncTest, NamesWithBlanksQuotesBracketsChineseAndKeywordsWorkForEveryKind)
{
    const QStringList schema{
        "create type [dbo].[电话 号码] from varchar(20) null",
        "create table [Order]]s] ([Key] int identity(1,1) not null constraint [PK it's] primary key, "
        "[名称] nvarchar(20) not null constraint [DF 名称] default (N'无'), "
        "[select] int null constraint [CK select's] check ([select] >= (0)), [电话] [dbo].[电话 号码] null)",
        "create unique index [UX 名称] on [Order]]s] ([名称] desc) include ([select])",
        "create table [Line Items] ([Order Key] int not null constraint [FK \"quoted\"] references [Order]]s] ([Key]) "
        "on delete cascade, [from] int null, constraint [UQ from] unique ([from]))",
        "create view [v it's] as select [Key], [名称] from dbo.[Order]]s]",
        "create view [读 v it's] as select [Key] from dbo.[v it's]",
        "create function [f 名称]() returns int as begin return 1 end",
        "create procedure [p select] as select dbo.[f 名称]() as [from]",
        "create trigger [tr it's] on [Order]]s] after insert as set nocount on",
    };
    for (const QString &statement : schema)
        onSample(statement);
    onTarget(QStringLiteral("create table [Order]]s] ([Key] int not null, [名称] nvarchar(10) null)"));
    onTarget(QStringLiteral("insert [Order]]s] values (7, N'甲'), (9, N'乙')"));

    auto outcome = syncAll();
    EXPECT_TRUE(outcome.converged);
    EXPECT_EQ(catalogueDifferences(), QStringList());
    EXPECT_EQ(rowsOf(queryOn("target", targetDb, QStringLiteral("select [Key], [名称] from [Order]]s]"))),
              (QStringList{"7|甲", "9|乙"}));

    // Changed, so that each is dropped and made again by its odd name.
    onSample(QStringLiteral("alter table [Order]]s] drop constraint [CK select's]"));
    onSample(QStringLiteral("alter table [Order]]s] add constraint [CK select's] check ([select] >= (1))"));
    onSample(QStringLiteral("drop index [UX 名称] on [Order]]s]"));
    onSample(QStringLiteral("create unique index [UX 名称] on [Order]]s] ([名称] asc)"));
    onSample(QStringLiteral("alter table [Line Items] drop constraint [FK \"quoted\"]"));
    onSample(QStringLiteral("alter table [Line Items] add constraint [FK \"quoted\"] foreign key ([Order Key]) "
                            "references [Order]]s] ([Key])"));
    onSample(QStringLiteral("alter trigger [tr it's] on [Order]]s] after update as set nocount on"));
    outcome = syncAll();
    EXPECT_TRUE(outcome.converged);
    EXPECT_EQ(catalogueDifferences(), QStringList());
}

// Defaults, filters and checks are read in blocks when short and whole from a query of their
// own when long: either way the model holds the catalogue's text, and a sync copies it.
TEST_F(ObjectSyncTest, DefinitionsOfAnyLengthAreReadWhole)
{
    const QString rare = QString::fromUcs4(U"\U00020000", 1);  // two UTF-16 units
    const auto literal = [](const QString &body) { return QStringLiteral("(N'") + body + QStringLiteral("')"); };
    // Definitions of 2,000 and 2,001 characters (the edge of the short way), one of supplementary
    // characters, and a long one. (sqlsim keeps a default's definition as nvarchar(4000).)
    const QStringList bodies{QString(1996, QLatin1Char('a')), QString(1997, QLatin1Char('b')), rare.repeated(1500),
                             QString(3900, QChar(0x4E2D)) + QStringLiteral("x")};
    QString columns;
    for (qsizetype i = 0; i < bodies.size(); ++i)
        columns += QStringLiteral(", c%1 nvarchar(max) null constraint DF_c%1 default %2").arg(i).arg(literal(bodies[i]));
    onSample(QStringLiteral("create table Notes (Id int not null primary key, Code nvarchar(10) null") + columns
             + QStringLiteral(", constraint CK_Notes_Code check (Code <> N'") + QString(3000, QLatin1Char('c'))
             + QStringLiteral("'))"));
    onSample(QStringLiteral("create index IX_Notes_Code on Notes (Code) where Code <> N'") + QString(2500, QLatin1Char('f'))
             + QStringLiteral("'"));
    const ResultSet stored = queryOn("sample", sampleDb, QStringLiteral("select name, definition from sys.default_constraints"));
    ASSERT_EQ(stored.rowCount(), bodies.size());

    press(&TForm43::Button12Click);
    const workflow::SchemaComparison c = workflow::compareSchemas(*window, form43::serverFields(*window));
    const model::Table *notes = c.sample.table(model::tableKey(QStringLiteral("dbo"), QStringLiteral("Notes")));
    ASSERT_TRUE(notes);
    for (int r = 0; r < stored.rowCount(); ++r) {
        const QString name = stored.text(r, QStringLiteral("name"));
        const model::Column *column = notes->column(name.mid(3));
        ASSERT_TRUE(column && column->defaultConstraint) << name.toStdString();
        EXPECT_EQ(column->defaultConstraint->definition, stored.text(r, QStringLiteral("definition"))) << name.toStdString();
    }
    EXPECT_EQ(notes->checks.value(0).definition,
              queryOn("sample", sampleDb, QStringLiteral("select definition from sys.check_constraints")).text(0, QStringLiteral("definition")));
    EXPECT_EQ(notes->indexes.value(1).filter,
              queryOn("sample", sampleDb, QStringLiteral("select filter_definition from sys.indexes where has_filter = 1"))
                  .text(0, QStringLiteral("filter_definition")));
    EXPECT_GT(notes->indexes.value(1).filter.size(), 2500);

    const auto outcome = syncAll();
    EXPECT_TRUE(outcome.converged);
    EXPECT_EQ(catalogueDifferences(), QStringList());
}

TEST_F(ObjectSyncTest, AnObjectTheTargetCannotTakeIsNamedWithTheServersMessage)
{
    // The sample's view outlived the table it reads; the target cannot create it.
    onSample(QStringLiteral("create table gone (a int)"));
    onSample(QStringLiteral("create view [读 gone] as select a from dbo.gone"));
    onSample(QStringLiteral("drop table gone"));
    try {
        syncAll();
        FAIL() << "the view was created";
    } catch (const DbError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("视图 读 gone：Invalid object name 'dbo.gone'.\n") + workflow::kTargetUnchanged)
            << e.message().toStdString();
        EXPECT_EQ(e.nativeError(), 208);
    }
}

}  // namespace
