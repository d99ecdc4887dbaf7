// The schema model's comparison and plans: what differs, which statements make the target
// like the sample, and in what order.

#include "schema/model/Plan.h"
#include "schema/model/Render.h"

#include "tests/schema/ModelBuilders.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace dbsync::model;
using dbsync::model::test::col;
using dbsync::model::test::position;

namespace {

Index key(const QString &name, IndexRole role, QStringList columns, bool clustered = true)
{
    Index i;
    i.name = name;
    i.role = role;
    i.unique = role != IndexRole::Index;
    i.clustered = clustered;
    for (const QString &c : columns)
        i.keys << IndexColumn{c, false};
    return i;
}

Module module(const QString &name, ModuleKind kind, const QString &text, QStringList references = {})
{
    Module m;
    m.name = name;
    m.kind = kind;
    m.definition = text;
    m.references = references;
    return m;
}

// An order-entry schema: customers, orders referencing them, a view over a view.
Database shop()
{
    Database db;
    AliasType phone;
    phone.name = QStringLiteral("Phone");
    phone.base = {QStringLiteral("nvarchar"), false, 40, 0, 0};
    db.types << phone;

    Table customers;
    customers.name = QStringLiteral("Customers");
    Column id = col(QStringLiteral("Id"), QStringLiteral("int"), 4, false);
    id.identity = true;
    Column tel = col(QStringLiteral("Tel"), QStringLiteral("Phone"), 40);
    tel.type.alias = true;
    Column credit = col(QStringLiteral("Credit"), QStringLiteral("decimal"), 9, false);
    credit.type.precision = 10;
    credit.type.scale = 2;
    credit.defaultConstraint = DefaultDef{QStringLiteral("DF_Customers_Credit"), QStringLiteral("((0))"), false};
    customers.columns << id << tel << credit;
    customers.indexes << key(QStringLiteral("PK_Customers"), IndexRole::PrimaryKey, {QStringLiteral("Id")});
    customers.checks << Check{QStringLiteral("CK_Customers_Credit"), QStringLiteral("([Credit]>=(0))"), false, false, false};
    db.tables << customers;

    Table orders;
    orders.name = QStringLiteral("Orders");
    orders.columns << col(QStringLiteral("Id"), QStringLiteral("int"), 4, false)
                   << col(QStringLiteral("CustomerId"), QStringLiteral("int"), 4, false);
    orders.indexes << key(QStringLiteral("PK_Orders"), IndexRole::PrimaryKey, {QStringLiteral("Id")})
                   << key(QStringLiteral("IX_Orders_Customer"), IndexRole::Index, {QStringLiteral("CustomerId")}, false);
    ForeignKey fk;
    fk.name = QStringLiteral("FK_Orders_Customers");
    fk.columns << QStringLiteral("CustomerId");
    fk.referencedTable = QStringLiteral("Customers");
    fk.referencedColumns << QStringLiteral("Id");
    fk.onDelete = ReferentialAction::Cascade;
    orders.foreignKeys << fk;
    db.tables << orders;

    // The view that reads another comes first, as a drop-and-create leaves them in the catalogue.
    db.modules << module(QStringLiteral("BigCustomers"), ModuleKind::View,
                         QStringLiteral("CREATE VIEW BigCustomers AS SELECT * FROM dbo.CustomerTotals WHERE Total > 100"),
                         {QStringLiteral("dbo.CustomerTotals")})
               << module(QStringLiteral("CustomerTotals"), ModuleKind::View,
                         QStringLiteral("CREATE VIEW CustomerTotals AS SELECT c.Id, COUNT(*) AS Total FROM dbo.Customers c "
                                        "JOIN dbo.Orders o ON o.CustomerId = c.Id GROUP BY c.Id"),
                         {QStringLiteral("dbo.Customers"), QStringLiteral("dbo.Orders")})
               << module(QStringLiteral("AddOrder"), ModuleKind::Procedure, QStringLiteral("CREATE PROC AddOrder AS SELECT 1"));
    Module trigger = module(QStringLiteral("OrdersAudit"), ModuleKind::Trigger,
                            QStringLiteral("CREATE TRIGGER OrdersAudit ON Orders AFTER INSERT AS SELECT 1"));
    trigger.table = QStringLiteral("Orders");
    db.modules << trigger;
    return db;
}

QStringList statements(const Database &sample, const Database &target, const QSet<QString> &chosen = {})
{
    QStringList out;
    for (const PlanStep &s : planSync(itemsOf(sample), itemsOf(target), chosen).steps)
        out << s.statement;
    return out;
}

}  // namespace

TEST(ModelRender, TableWithEveryPartAndNamesThatNeedBrackets)
{
    Table t = shop().tables[0];
    EXPECT_EQ(createTable(t).toStdString(),
              "CREATE TABLE [dbo].[Customers] (\r\n"
              "  [Id] int IDENTITY(1,1) NOT NULL,\r\n"
              "  [Tel] [Phone] NULL,\r\n"
              "  [Credit] decimal(10,2) NOT NULL CONSTRAINT [DF_Customers_Credit] DEFAULT ((0)),\r\n"
              "  CONSTRAINT [PK_Customers] PRIMARY KEY CLUSTERED ([Id] ASC),\r\n"
              "  CONSTRAINT [CK_Customers_Credit] CHECK ([Credit]>=(0))\r\n"
              ")");
    t.name = QString::fromUtf8("订单]明细 select");
    EXPECT_EQ(dropColumn(t, QStringLiteral("a'b")).toStdString(),
              "ALTER TABLE [dbo].[订单]]明细 select] DROP COLUMN [a'b]");
    EXPECT_EQ(typeText({QStringLiteral("nvarchar"), false, -1, 0, 0}), QStringLiteral("nvarchar(max)"));
    EXPECT_EQ(typeText({QStringLiteral("nchar"), false, 20, 0, 0}), QStringLiteral("nchar(10)"));
    EXPECT_EQ(typeText({QStringLiteral("datetime2"), false, 8, 27, 7}), QStringLiteral("datetime2(7)"));

    Index filtered = key(QStringLiteral("IX_Active"), IndexRole::Index, {QStringLiteral("Credit")}, false);
    filtered.keys[0].descending = true;
    filtered.unique = true;
    filtered.included << QStringLiteral("Tel");
    filtered.filter = QStringLiteral("([Credit]>(0))");
    EXPECT_EQ(createIndex(shop().tables[0], filtered).toStdString(),
              "CREATE UNIQUE NONCLUSTERED INDEX [IX_Active] ON [dbo].[Customers] ([Credit] DESC) INCLUDE ([Tel]) "
              "WHERE ([Credit]>(0))");
    EXPECT_EQ(addForeignKey(shop().tables[1], shop().tables[1].foreignKeys[0]).toStdString(),
              "ALTER TABLE [dbo].[Orders] WITH CHECK ADD CONSTRAINT [FK_Orders_Customers] FOREIGN KEY ([CustomerId]) "
              "REFERENCES [dbo].[Customers] ([Id]) ON DELETE CASCADE ON UPDATE NO ACTION");
}

TEST(ModelItems, StatementsAreRenderedFromTheSetsOwnDefinitions)
{
    // The set keeps what it was made of: the database it came from may be gone.
    Database db = shop();
    db.tables[0].checks[0].disabled = true;
    db.modules[3].disabled = true;
    const ItemSet set = itemsOf(Database(db));
    const QString customers = tableKey(QStringLiteral("dbo"), QStringLiteral("Customers"));
    const Item *table = set.find(customers);
    ASSERT_TRUE(table);
    EXPECT_EQ(createStatements(set, *table), QStringList{createTable(db.tables[0])});
    EXPECT_EQ(dropStatements(set, *table), QStringList{QStringLiteral("DROP TABLE [dbo].[Customers]")});

    const Item *credit = set.find(columnKey(customers, QStringLiteral("credit")));
    ASSERT_TRUE(credit);
    EXPECT_EQ(alterStatement(set, *credit), QStringLiteral("ALTER TABLE [dbo].[Customers] ALTER COLUMN [Credit] decimal(10,2) NOT NULL"));
    EXPECT_EQ(dropStatements(set, *set.find(customers + QStringLiteral("|df|credit"))),
              QStringList{QStringLiteral("ALTER TABLE [dbo].[Customers] DROP CONSTRAINT [DF_Customers_Credit]")});
    // A disabled constraint or trigger is made and then disabled; the listing shows both lines.
    const Item *check = set.find(customers + QStringLiteral("|ck|ck_customers_credit"));
    ASSERT_TRUE(check);
    EXPECT_EQ(createStatements(set, *check).size(), 2);
    EXPECT_EQ(definitionText(set, check->key), createStatements(set, *check).join(QStringLiteral("\r\n")));
    const QStringList trigger = createStatements(set, *set.find(QStringLiteral("module|dbo.ordersaudit")));
    EXPECT_EQ(trigger, (QStringList{db.modules[3].definition, QStringLiteral("DISABLE TRIGGER [dbo].[OrdersAudit] ON [dbo].[Orders]")}));
    const Item *index = set.find(tableKey(QStringLiteral("dbo"), QStringLiteral("Orders")) + QStringLiteral("|ix|ix_orders_customer"));
    ASSERT_TRUE(index);
    EXPECT_EQ(dropStatements(set, *index), QStringList{QStringLiteral("DROP INDEX [IX_Orders_Customer] ON [dbo].[Orders]")});
    EXPECT_TRUE(definitionText(set, QStringLiteral("table|dbo.nothing")).isEmpty());
}

TEST(ModelItems, NeedsNameTheItemsTheyMeanWhateverTheSpellingOfTheirNames)
{
    // Names given in another case, with trailing blanks, in full-width or Chinese letters.
    Database db = shop();
    db.tables[1].name = QString::fromUtf8("Ｏrders明细 ");
    db.tables[1].columns[1].name = QString::fromUtf8("客户Id");
    db.tables[1].indexes[1].keys[0].name = QString::fromUtf8("客户ID ");
    db.tables[1].foreignKeys[0].columns = QStringList{QString::fromUtf8("客户iD")};
    db.tables[1].foreignKeys[0].referencedTable = QStringLiteral("CUSTOMERS");
    db.tables[1].foreignKeys[0].referencedColumns = QStringList{QStringLiteral("ID")};
    db.modules[3].table = QString::fromUtf8("orders明细");
    const ItemSet set = itemsOf(db);
    qsizetype needs = 0;
    for (const Item &item : set.items)
        for (const QString &need : item.needs) {
            EXPECT_TRUE(set.find(need)) << item.key.toStdString() << " needs " << need.toStdString();
            ++needs;
        }
    EXPECT_GT(needs, 20);
    const QString orders = tableKey(QStringLiteral("DBO"), QString::fromUtf8("orders明细"));
    ASSERT_TRUE(set.find(orders));
    EXPECT_EQ(set.find(orders)->name, db.tables[1].name);
    EXPECT_TRUE(set.find(columnKey(orders, QString::fromUtf8("客户ID"))));
}

TEST(ModelDiff, EqualSchemasAndServerNamedConstraintsShowNothing)
{
    EXPECT_TRUE(differences(itemsOf(shop()), itemsOf(shop())).isEmpty());

    // The server names unnamed constraints anew on each database: only their definitions count.
    Database a = shop(), b = shop();
    a.tables[0].columns[2].defaultConstraint = DefaultDef{QStringLiteral("DF__Customers__Credit__1A2B"), QStringLiteral("((0))"), true};
    b.tables[0].columns[2].defaultConstraint = DefaultDef{QStringLiteral("DF__Customers__Credit__9F8E"), QStringLiteral("((0))"), true};
    a.tables[0].checks[0].systemNamed = b.tables[0].checks[0].systemNamed = true;
    b.tables[0].checks[0].name = QStringLiteral("CK__Customers__Credit__77");
    EXPECT_TRUE(differences(itemsOf(a), itemsOf(b)).isEmpty());
    b.tables[0].checks[0].definition = QStringLiteral("([Credit]>=(1))");
    EXPECT_EQ(differences(itemsOf(a), itemsOf(b)).size(), 2);  // one only in each

    // Names match as the server's collation matches them; a table's parts go with its row.
    Database upper = shop();
    upper.tables[1].name = QStringLiteral("ORDERS");
    EXPECT_TRUE(differences(itemsOf(shop()), itemsOf(upper)).isEmpty());
    Database fewer = shop();
    fewer.tables.removeLast();
    const QList<Difference> d = differences(itemsOf(shop()), itemsOf(fewer));
    ASSERT_EQ(d.size(), 1);
    EXPECT_EQ(d[0].kind, ItemKind::Table);
    EXPECT_EQ(changeCaption(d[0].change), QStringLiteral("目标无"));
}

TEST(ModelDiff, SameObjectsOnlyWhenEveryObjectIsExactlyTheOthers)
{
    Database a = shop(), b = shop();
    std::reverse(b.tables.begin(), b.tables.end());
    std::reverse(b.modules.begin(), b.modules.end());
    EXPECT_TRUE(sameObjects(a, b));  // the order of the objects does not count
    EXPECT_TRUE(differences(itemsOf(a), itemsOf(b)).isEmpty());
    const ItemSet bare = withoutItems(b);
    EXPECT_TRUE(bare.items.isEmpty());
    ASSERT_TRUE(bare.table(tableKey(QStringLiteral("dbo"), QStringLiteral("orders"))));
    EXPECT_EQ(bare.table(tableKey(QStringLiteral("dbo"), QStringLiteral("orders")))->name, QStringLiteral("Orders"));

    // Anything else falls back to the items, which may still find nothing: another spelling,
    // another order of a table's parts, another name the server gave.
    Database upper = shop();
    upper.tables[1].name = QStringLiteral("ORDERS");
    Database reordered = shop();
    std::swap(reordered.tables[0].columns[1], reordered.tables[0].columns[2]);
    Database renamed = shop();
    renamed.tables[0].checks[0].systemNamed = true;
    Database otherView = shop();
    otherView.modules[0].definition += QLatin1Char(' ');
    Database twice = shop();
    twice.tables << twice.tables[1];
    Database more = shop();
    more.types << more.types[0];
    more.types.last().name = QStringLiteral("Phone2");
    for (const Database *other : {&upper, &reordered, &renamed, &otherView, &twice, &more})
        EXPECT_FALSE(sameObjects(shop(), *other) || sameObjects(*other, shop()));
    EXPECT_TRUE(differences(itemsOf(shop()), itemsOf(upper)).isEmpty());
    EXPECT_EQ(differences(itemsOf(shop()), itemsOf(otherView)).size(), 1);
    EXPECT_FALSE(sameObjects(twice, twice));  // two tables under one key pair otherwise
    EXPECT_FALSE(sameObjects(shop(), Database{}));
    EXPECT_TRUE(sameObjects(Database{}, Database{}));
}

TEST(ModelPlan, EmptyTargetIsBuiltInDependencyOrder)
{
    const QStringList s = statements(shop(), Database{});
    EXPECT_LT(position(s, QStringLiteral("CREATE TYPE [dbo].[Phone]")), position(s, QStringLiteral("CREATE TABLE [dbo].[Customers]")));
    EXPECT_LT(position(s, QStringLiteral("CREATE TABLE [dbo].[Customers]")),
              position(s, QStringLiteral("ALTER TABLE [dbo].[Orders] WITH CHECK ADD CONSTRAINT [FK_Orders_Customers]")));
    EXPECT_LT(position(s, QStringLiteral("CREATE TABLE [dbo].[Orders]")),
              position(s, QStringLiteral("CREATE NONCLUSTERED INDEX [IX_Orders_Customer]")));
    // A view after the view it reads, whatever the sample's order.
    EXPECT_LT(position(s, QStringLiteral("CREATE VIEW CustomerTotals")), position(s, QStringLiteral("CREATE VIEW BigCustomers")));
    EXPECT_LT(position(s, QStringLiteral("CREATE VIEW BigCustomers")), position(s, QStringLiteral("CREATE PROC AddOrder")));
    EXPECT_EQ(position(s, QStringLiteral("CREATE TRIGGER OrdersAudit")), s.size() - 1);
    // Keys, defaults and checks come with their table, not again.
    EXPECT_EQ(s.filter(QStringLiteral("PK_Customers")).size(), 1);
    EXPECT_EQ(s.filter(QStringLiteral("DF_Customers_Credit")).size(), 1);
    EXPECT_EQ(s.size(), 9);
}

TEST(ModelPlan, ChangedColumnCarriesItsIndexChecksKeysAndIncomingForeignKeys)
{
    Database target = shop();
    target.tables[0].columns[0].identity = false;
    target.tables[1].columns[1].type.name = QStringLiteral("smallint");
    target.tables[1].columns[1].type.maxLength = 2;
    Database sample = shop();
    sample.tables[0].columns[0].identity = false;
    const QStringList s = statements(sample, target);
    ASSERT_EQ(s.size(), 5) << s.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(s[0], QStringLiteral("ALTER TABLE [dbo].[Orders] DROP CONSTRAINT [FK_Orders_Customers]"));
    EXPECT_EQ(s[1], QStringLiteral("DROP INDEX [IX_Orders_Customer] ON [dbo].[Orders]"));
    EXPECT_EQ(s[2], QStringLiteral("ALTER TABLE [dbo].[Orders] ALTER COLUMN [CustomerId] int NOT NULL"));
    EXPECT_TRUE(s[3].startsWith(QStringLiteral("CREATE NONCLUSTERED INDEX [IX_Orders_Customer]")));
    EXPECT_TRUE(s[4].startsWith(QStringLiteral("ALTER TABLE [dbo].[Orders] WITH CHECK ADD CONSTRAINT [FK_Orders_Customers]")));

    // The referenced column changes: the key it is in and the foreign key to it make way.
    target = shop();
    sample = shop();
    for (Database *db : {&target, &sample})
        db->tables[0].columns[0].identity = false;
    target.tables[0].columns[0].type = {QStringLiteral("bigint"), false, 8, 19, 0};
    target.tables[1].columns[1].type = {QStringLiteral("bigint"), false, 8, 19, 0};
    const QStringList k = statements(sample, target);
    EXPECT_LT(position(k, QStringLiteral("ALTER TABLE [dbo].[Orders] DROP CONSTRAINT [FK_Orders_Customers]")),
              position(k, QStringLiteral("ALTER TABLE [dbo].[Customers] DROP CONSTRAINT [PK_Customers]")));
    EXPECT_LT(position(k, QStringLiteral("ALTER TABLE [dbo].[Customers] DROP CONSTRAINT [PK_Customers]")),
              position(k, QStringLiteral("ALTER TABLE [dbo].[Customers] ALTER COLUMN [Id] int NOT NULL")));
    EXPECT_LT(position(k, QStringLiteral("ALTER TABLE [dbo].[Customers] ADD CONSTRAINT [PK_Customers]")),
              position(k, QStringLiteral("ALTER TABLE [dbo].[Orders] WITH CHECK ADD CONSTRAINT [FK_Orders_Customers]")));
}

TEST(ModelPlan, DropsRunInReverseOrderAndOnlyTheChosenRowsRun)
{
    Database target = shop();
    Table extra;
    extra.name = QStringLiteral("Gone");
    extra.columns << col(QStringLiteral("x"), QStringLiteral("int"));
    target.tables << extra;
    const QStringList s = statements(Database{}, target);
    // Dependents before what they depend on; nothing of a dropped table is dropped again.
    EXPECT_LT(position(s, QStringLiteral("DROP VIEW [dbo].[BigCustomers]")), position(s, QStringLiteral("DROP VIEW [dbo].[CustomerTotals]")));
    EXPECT_LT(position(s, QStringLiteral("DROP TABLE [dbo].[Customers]")), position(s, QStringLiteral("DROP TYPE [dbo].[Phone]")));
    // Tables that refer to each other drop in any order: their foreign keys go first.
    EXPECT_LT(position(s, QStringLiteral("ALTER TABLE [dbo].[Orders] DROP CONSTRAINT [FK_Orders_Customers]")),
              position(s, QStringLiteral("DROP TABLE [dbo].[Customers]")));
    EXPECT_EQ(s.filter(QStringLiteral("DROP CONSTRAINT")).size(), 1) << s.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(s.filter(QStringLiteral("DROP INDEX")).isEmpty());

    // Chosen alone, a foreign key brings the table and key it references along.
    Database partial = shop();
    partial.tables.clear();
    partial.modules.clear();
    const QString fkKey = tableKey(QStringLiteral("dbo"), QStringLiteral("Orders"));
    const QStringList only = statements(shop(), partial, {fkKey});
    EXPECT_LT(position(only, QStringLiteral("CREATE TABLE [dbo].[Customers]")), position(only, QStringLiteral("ALTER TABLE [dbo].[Orders] WITH CHECK ADD")));
    EXPECT_TRUE(only.filter(QStringLiteral("VIEW")).isEmpty());
}

TEST(ModelPlan, NewTablesTakeTheirPartsAlongWhenWhatTheyNeedIsThere)
{
    // Orders (an index, a key to Customers) created after Customers; Customers gets a key to a
    // table made after it, and the target has a table to drop and a table to get an index.
    Database sample = shop();
    Table later;
    later.name = QStringLiteral("Regions");
    later.columns << col(QStringLiteral("Id"), QStringLiteral("int"), 4, false);
    later.indexes << key(QStringLiteral("PK_Regions"), IndexRole::PrimaryKey, {QStringLiteral("Id")});
    sample.tables << later;
    sample.tables[0].columns << col(QStringLiteral("RegionId"), QStringLiteral("int"));
    ForeignKey forward;
    forward.name = QStringLiteral("FK_Customers_Regions");
    forward.columns << QStringLiteral("RegionId");
    forward.referencedTable = QStringLiteral("Regions");
    forward.referencedColumns << QStringLiteral("Id");
    sample.tables[0].foreignKeys << forward;
    Table kept;
    kept.name = QStringLiteral("Kept");
    kept.columns << col(QStringLiteral("Id"), QStringLiteral("int"));
    Table gone = kept;
    gone.name = QStringLiteral("Gone");
    Database target;
    target.tables << kept << gone;
    kept.indexes << key(QStringLiteral("IX_Kept"), IndexRole::Index, {QStringLiteral("Id")}, false);
    sample.tables << kept;

    const QList<PlanStep> steps = planSync(itemsOf(sample), itemsOf(target)).steps;
    QStringList described;
    for (const PlanStep &s : steps)
        described << (s.withTable ? QStringLiteral("+ ") : QString()) + s.statement.section(QLatin1Char(' '), 0, 4);
    const auto at = [&](const QString &start) { return position(described, start); };
    const std::string all = described.join(QLatin1Char('\n')).toStdString();
    // The drop first; each new table then with its index and the key to a table made before it.
    EXPECT_EQ(at(QStringLiteral("DROP TABLE [dbo].[Gone]")), 0) << all;
    const qsizetype orders = at(QStringLiteral("CREATE TABLE [dbo].[Orders]"));
    EXPECT_EQ(at(QStringLiteral("+ CREATE NONCLUSTERED INDEX [IX_Orders_Customer]")), orders + 1) << all;
    EXPECT_EQ(at(QStringLiteral("+ ALTER TABLE [dbo].[Orders] WITH CHECK")), orders + 2) << all;
    EXPECT_LT(at(QStringLiteral("CREATE TABLE [dbo].[Customers]")), orders);
    // The key to a later table waits for it, in a batch of its own.
    EXPECT_LT(at(QStringLiteral("CREATE TABLE [dbo].[Regions]")), at(QStringLiteral("ALTER TABLE [dbo].[Customers] WITH CHECK")))
        << all;
    // A table the target has already gets its index on its own, and modules never join a table.
    EXPECT_GE(at(QStringLiteral("CREATE NONCLUSTERED INDEX [IX_Kept]")), 0) << all;
    EXPECT_GE(at(QStringLiteral("CREATE TRIGGER OrdersAudit")), 0) << all;
    EXPECT_EQ(described.filter(QStringLiteral("+ ")).size(), 2) << all;
    // Every statement still comes once.
    EXPECT_EQ(steps.size(), statements(sample, target).size());
}

TEST(ModelPlan, ChangedAliasTypeTakesItsColumnsOffAndBackAndItsRoutinesAround)
{
    // Phone grows from nvarchar(20) to nvarchar(30); a column of it has an index, a procedure
    // takes a parameter of it, a check of another table converts to it, and a view merely
    // reads the column.
    auto with = [](int bytes) {
        Database db = shop();
        db.types[0].base.maxLength = bytes;
        db.tables[0].columns[1].type.maxLength = bytes;
        db.tables[0].indexes << key(QStringLiteral("IX_Customers_Tel"), IndexRole::Index, {QStringLiteral("Tel")}, false);
        db.tables[1].checks << Check{QStringLiteral("CK_Orders_Tel"), QStringLiteral("(CONVERT([dbo].[Phone],[Id])<>N'')"),
                                     false, false, false};
        db.modules << module(QStringLiteral("FindByTel"), ModuleKind::Procedure,
                             QStringLiteral("CREATE PROC FindByTel @tel AS [dbo].[Phone] AS SELECT Id FROM Customers WHERE Tel = @tel"))
                   << module(QStringLiteral("Recent"), ModuleKind::TableFunction,
                             QStringLiteral("CREATE FUNCTION Recent() RETURNS @t TABLE ([Id] int, [The Tel] Phone NULL) AS BEGIN RETURN END"))
                   << module(QStringLiteral("Phones"), ModuleKind::View,
                             QStringLiteral("CREATE VIEW Phones AS SELECT Tel AS Phone FROM dbo.Customers"),
                             {QStringLiteral("dbo.Customers")});
        return db;
    };
    const SyncPlan plan = planSync(itemsOf(with(60)), itemsOf(with(40)));
    QStringList s;
    for (const PlanStep &step : plan.steps)
        s << step.statement;
    const auto at = [&](const char *start) { return position(s, QString::fromUtf8(start)); };
    EXPECT_LT(at("DROP INDEX [IX_Customers_Tel]"), at("ALTER TABLE [dbo].[Customers] ALTER COLUMN [Tel] nvarchar(20) NULL"));
    EXPECT_LT(at("ALTER TABLE [dbo].[Customers] ALTER COLUMN [Tel] nvarchar(20) NULL"), at("DROP TYPE [dbo].[Phone]"));
    EXPECT_LT(at("DROP PROCEDURE [dbo].[FindByTel]"), at("DROP TYPE [dbo].[Phone]"));
    EXPECT_LT(at("DROP TYPE [dbo].[Phone]"), at("CREATE TYPE [dbo].[Phone] FROM nvarchar(30)"));
    EXPECT_LT(at("CREATE TYPE [dbo].[Phone] FROM nvarchar(30)"), at("ALTER TABLE [dbo].[Customers] ALTER COLUMN [Tel] [Phone] NULL"));
    EXPECT_LT(at("ALTER TABLE [dbo].[Customers] ALTER COLUMN [Tel] [Phone] NULL"), at("CREATE NONCLUSTERED INDEX [IX_Customers_Tel]"));
    EXPECT_LT(at("CREATE TYPE [dbo].[Phone] FROM nvarchar(30)"), at("CREATE PROC FindByTel"));
    EXPECT_LT(at("ALTER TABLE [dbo].[Orders] DROP CONSTRAINT [CK_Orders_Tel]"), at("DROP TYPE [dbo].[Phone]"));
    EXPECT_LT(at("CREATE TYPE [dbo].[Phone] FROM nvarchar(30)"), at("ALTER TABLE [dbo].[Orders] WITH CHECK ADD CONSTRAINT [CK_Orders_Tel]"));
    // Nothing else is touched: the view's column alias is only a name.
    EXPECT_LT(at("DROP FUNCTION [dbo].[Recent]"), at("DROP TYPE [dbo].[Phone]"));
    EXPECT_EQ(s.size(), 12) << s.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(plan.unordered.isEmpty());
    // Whether values fit is judged on the base types, as the type was and as it will be.
    ASSERT_EQ(plan.valueLosses.size(), 1);
    EXPECT_EQ(plan.valueLosses[0].from, (TypeRef{QStringLiteral("nvarchar"), false, 40, 0, 0}));
    EXPECT_EQ(plan.valueLosses[0].to, (TypeRef{QStringLiteral("nvarchar"), false, 60, 0, 0}));

    // The table of the column is rebuilt at the same time: its column leaves the old type
    // before the type goes, and the new table is made after the type is back.
    Database target = with(40);
    target.tables[0].columns[0].identity = false;
    const SyncPlan rebuilt = planSync(itemsOf(with(60)), itemsOf(target));
    QStringList r;
    for (const PlanStep &step : rebuilt.steps)
        r << step.statement;
    EXPECT_TRUE(rebuilt.unordered.isEmpty()) << r.join(QLatin1Char('\n')).toStdString();
    EXPECT_LT(position(r, QStringLiteral("DROP INDEX [IX_Customers_Tel]")),
              position(r, QStringLiteral("ALTER TABLE [dbo].[Customers] ALTER COLUMN [Tel] nvarchar(20) NULL")));
    EXPECT_LT(position(r, QStringLiteral("ALTER TABLE [dbo].[Customers] ALTER COLUMN [Tel] nvarchar(20) NULL")),
              position(r, QStringLiteral("DROP TYPE [dbo].[Phone]")));
    EXPECT_LT(position(r, QStringLiteral("CREATE TYPE [dbo].[Phone]")), position(r, QStringLiteral("CREATE TABLE [dbo].[tmp_dbsync_Customers]")));
    EXPECT_TRUE(r.filter(QStringLiteral("ALTER COLUMN [Tel] [Phone]")).isEmpty());
}
