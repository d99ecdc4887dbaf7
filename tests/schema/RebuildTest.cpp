// A table rebuilt to change a column's identity property: the statements that keep every row
// and its numbers, and the planner choosing them over dropping and adding the column.

#include "schema/model/Plan.h"
#include "schema/model/Rebuild.h"
#include "schema/model/Render.h"

#include "tests/schema/ModelBuilders.h"

#include <gtest/gtest.h>

using namespace dbsync::model;
using dbsync::model::test::col;
using dbsync::model::test::position;

namespace {

// The target: Customers numbered by hand, referred to by Orders, with a default, a disabled
// check, an index, a disabled trigger and a view bound to it. The sample numbers Customers by
// identity.
Database target()
{
    Database db;
    Table customers;
    customers.name = QStringLiteral("Customers");
    Column credit = col(QStringLiteral("Credit"), QStringLiteral("int"), 4, false);
    credit.defaultConstraint = DefaultDef{QStringLiteral("DF_Customers_Credit"), QStringLiteral("((0))"), false};
    customers.columns << col(QStringLiteral("Id"), QStringLiteral("int"), 4, false)
                      << col(QStringLiteral("Name"), QStringLiteral("nvarchar"), 100) << credit
                      << col(QStringLiteral("Legacy"), QStringLiteral("varchar"), 10);
    customers.indexes << Index{QStringLiteral("PK_Customers"), IndexRole::PrimaryKey, true, true,
                               {{QStringLiteral("Id"), false}}, {}, {}, false}
                      << Index{QStringLiteral("IX_Customers_Name"), IndexRole::Index, false, false,
                               {{QStringLiteral("Name"), false}}, {}, {}, false};
    customers.checks << Check{QStringLiteral("CK_Customers_Credit"), QStringLiteral("([Credit]>=(0))"), true, true, false};
    db.tables << customers;

    Table orders;
    orders.name = QStringLiteral("Orders");
    Column id = col(QStringLiteral("Id"), QStringLiteral("int"), 4, false);
    id.identity = true;
    orders.columns << id << col(QStringLiteral("CustomerId"), QStringLiteral("int"), 4, false)
                   << col(QStringLiteral("Note"), QStringLiteral("nvarchar"), 40);
    ForeignKey fk;
    fk.name = QStringLiteral("FK_Orders_Customers");
    fk.columns << QStringLiteral("CustomerId");
    fk.referencedTable = QStringLiteral("Customers");
    fk.referencedColumns << QStringLiteral("Id");
    fk.disabled = fk.notTrusted = true;
    orders.foreignKeys << fk;
    db.tables << orders;

    Module trigger;
    trigger.name = QStringLiteral("CustomersAudit");
    trigger.kind = ModuleKind::Trigger;
    trigger.definition = QStringLiteral("CREATE TRIGGER CustomersAudit ON Customers AFTER INSERT AS SELECT 1");
    trigger.table = QStringLiteral("Customers");
    trigger.disabled = true;
    Module view;
    view.name = QStringLiteral("CustomerNames");
    view.definition = QStringLiteral("CREATE VIEW CustomerNames WITH SCHEMABINDING AS SELECT Name FROM dbo.Customers");
    view.schemaBound = true;
    view.references << QStringLiteral("dbo.Customers");
    db.modules << trigger << view;
    return db;
}

Database sample()
{
    Database db = target();
    db.tables[0] = withIdentity(db.tables[0], QStringLiteral("Id"), true);
    return db;
}

QStringList texts(const SyncPlan &plan)
{
    QStringList out;
    for (const PlanStep &s : plan.steps)
        out << s.statement;
    return out;
}

}  // namespace

TEST(ModelRebuild, CoreCopiesEveryStoredValueIntoTheNewTableAndTakesTheName)
{
    Table current;
    current.name = QStringLiteral("Order]s");
    Column total = col(QStringLiteral("Total"), QStringLiteral("int"));
    total.computed = QStringLiteral("([Id]*(2))");
    current.columns << col(QStringLiteral("Id"), QStringLiteral("int"), 4, false)
                    << col(QStringLiteral("NOTE"), QStringLiteral("nvarchar"), 40) << total
                    << col(QStringLiteral("Old"), QStringLiteral("int"));
    current.indexes << Index{QStringLiteral("PK_Orders"), IndexRole::PrimaryKey, true, true, {{QStringLiteral("Id"), false}}, {}, {}, false};
    Table wanted = withIdentity(current, QStringLiteral("Id"), true);
    wanted.columns[1].name = QStringLiteral("Note");
    wanted.columns[1].defaultConstraint = DefaultDef{QStringLiteral("DF_Note"), QStringLiteral("('')"), false};
    wanted.columns.removeLast();
    wanted.columns << col(QStringLiteral("Added"), QStringLiteral("int"));
    // A new column's rows get its default, as ADD would give them.
    wanted.columns.last().defaultConstraint = DefaultDef{QStringLiteral("DF_Added"), QStringLiteral("((0))"), false};

    const QStringList s = rebuildCore(current, wanted);
    ASSERT_EQ(s.size(), 4);
    // No key or default: their names belong to the old table until it is dropped.
    EXPECT_EQ(s[0].toStdString(), "CREATE TABLE [dbo].[tmp_dbsync_Order]]s] (\r\n"
                                  "  [Id] int IDENTITY(1,1) NOT NULL,\r\n"
                                  "  [Note] nvarchar(20) NULL,\r\n"
                                  "  [Total] AS ([Id]*(2)),\r\n"
                                  "  [Added] int NULL\r\n"
                                  ")");
    EXPECT_EQ(s[1].toStdString(), "SET IDENTITY_INSERT [dbo].[tmp_dbsync_Order]]s] ON\r\n"
                                  "INSERT INTO [dbo].[tmp_dbsync_Order]]s] ([Id], [Note], [Added]) SELECT [Id], [NOTE], ((0)) FROM [dbo].[Order]]s]\r\n"
                                  "SET IDENTITY_INSERT [dbo].[tmp_dbsync_Order]]s] OFF");
    EXPECT_EQ(s[2].toStdString(), "DROP TABLE [dbo].[Order]]s]");
    EXPECT_EQ(s[3].toStdString(), "EXEC sp_rename N'[dbo].[tmp_dbsync_Order]]s]', N'Order]s'");

    // Losing the identity: a plain copy; quotes doubled inside the rename's strings; the
    // server fills a rowversion column itself.
    Table quoted = current;
    quoted.name = QStringLiteral("it's");
    quoted.columns[0].identity = true;
    Table plain = withIdentity(quoted, QStringLiteral("Id"), false);
    plain.columns << col(QStringLiteral("Stamp"), QStringLiteral("timestamp"), 8);
    const QStringList p = rebuildCore(quoted, plain);
    ASSERT_EQ(p.size(), 4);
    EXPECT_EQ(p[1].toStdString(),
              "INSERT INTO [dbo].[tmp_dbsync_it's] ([Id], [NOTE], [Old]) SELECT [Id], [NOTE], [Old] FROM [dbo].[it's]");
    EXPECT_EQ(p[3].toStdString(), "EXEC sp_rename N'[dbo].[tmp_dbsync_it''s]', N'it''s'");
}

TEST(ModelRebuild, WithIdentityGivesAColumnTheServerAccepts)
{
    Table t;
    Column dec = col(QStringLiteral("Code"), QStringLiteral("decimal"), 9);
    dec.type.precision = 18;
    Column money = dec;
    money.name = QStringLiteral("Amount");
    money.type.scale = 2;
    Column text = col(QStringLiteral("Ref"), QStringLiteral("varchar"), 10);
    text.defaultConstraint = DefaultDef{QStringLiteral("DF_Ref"), QStringLiteral("('')"), false};
    t.columns << dec << money << text << col(QStringLiteral("Big"), QStringLiteral("bigint"), 8);
    auto made = [&](const QString &name, int at) { return columnText(withIdentity(t, name, true).columns[at]); };
    EXPECT_EQ(made(QStringLiteral("code"), 0), QStringLiteral("[Code] decimal(18,0) IDENTITY(1,1) NOT NULL"));
    EXPECT_EQ(made(QStringLiteral("Amount"), 1), QStringLiteral("[Amount] int IDENTITY(1,1) NOT NULL"));
    EXPECT_EQ(made(QStringLiteral("Ref"), 2), QStringLiteral("[Ref] int IDENTITY(1,1) NOT NULL"));  // no default
    EXPECT_EQ(made(QStringLiteral("Big"), 3), QStringLiteral("[Big] bigint IDENTITY(1,1) NOT NULL"));
    EXPECT_EQ(withIdentity(t, QStringLiteral("Code"), true).columns.mid(1), t.columns.mid(1));

    Table seeded = withIdentity(t, QStringLiteral("Big"), true);
    seeded.columns[3].seed = 1000;
    EXPECT_EQ(withIdentity(seeded, QStringLiteral("Big"), false).columns[3].seed, 1);
    EXPECT_EQ(columnText(withIdentity(seeded, QStringLiteral("Big"), false).columns[3]), QStringLiteral("[Big] bigint NOT NULL"));
}

TEST(ModelRebuild, WithDependentsLetsTheTableGoAndRestoresWhatHungOnIt)
{
    const Database db = target();
    const QStringList s = rebuildWithDependents(db, db.tables[0], sample().tables[0]);
    const qsizetype dropTable = position(s, QStringLiteral("DROP TABLE [dbo].[Customers]"));
    const qsizetype rename = position(s, QStringLiteral("EXEC sp_rename"));
    EXPECT_LT(position(s, QStringLiteral("ALTER TABLE [dbo].[Orders] DROP CONSTRAINT [FK_Orders_Customers]")), dropTable);
    EXPECT_LT(position(s, QStringLiteral("DROP VIEW [dbo].[CustomerNames]")), dropTable);
    EXPECT_EQ(rename, dropTable + 1);
    EXPECT_LT(rename, position(s, QStringLiteral("ALTER TABLE [dbo].[Customers] ADD CONSTRAINT [PK_Customers]")));
    EXPECT_LT(rename, position(s, QStringLiteral("CREATE NONCLUSTERED INDEX [IX_Customers_Name]")));
    EXPECT_LT(rename, position(s, QStringLiteral("ALTER TABLE [dbo].[Customers] ADD CONSTRAINT [DF_Customers_Credit] DEFAULT ((0)) FOR [Credit]")));
    // Disabled ones disabled again, untrusted ones added unchecked.
    EXPECT_EQ(position(s, QStringLiteral("ALTER TABLE [dbo].[Customers] WITH NOCHECK ADD CONSTRAINT [CK_Customers_Credit]")) + 1,
              position(s, QStringLiteral("ALTER TABLE [dbo].[Customers] NOCHECK CONSTRAINT [CK_Customers_Credit]")));
    EXPECT_EQ(position(s, QStringLiteral("CREATE TRIGGER CustomersAudit")) + 1,
              position(s, QStringLiteral("DISABLE TRIGGER [dbo].[CustomersAudit] ON [dbo].[Customers]")));
    EXPECT_LT(rename, position(s, QStringLiteral("CREATE VIEW CustomerNames")));
    // The foreign key to the table last, once its key is back.
    EXPECT_EQ(position(s, QStringLiteral("ALTER TABLE [dbo].[Orders] WITH NOCHECK ADD CONSTRAINT [FK_Orders_Customers]")), s.size() - 2);
    EXPECT_EQ(s.last(), QStringLiteral("ALTER TABLE [dbo].[Orders] NOCHECK CONSTRAINT [FK_Orders_Customers]"));
}

TEST(ModelRebuild, PlannerRebuildsForAnIdentityChangeInsteadOfRenumbering)
{
    Database wanted = sample();
    wanted.tables[0].columns[1].type.maxLength = 200;  // absorbed by the rebuild
    wanted.tables[0].columns.removeLast();            // Legacy goes with the old table
    const ItemSet items = itemsOf(wanted);
    const ItemSet was = itemsOf(target());
    const QStringList s = texts(planSync(items, was));

    EXPECT_TRUE(s.filter(QStringLiteral("DROP COLUMN")).isEmpty()) << s.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(s.filter(QStringLiteral("ALTER COLUMN")).isEmpty());
    EXPECT_TRUE(s.filter(QStringLiteral("DROP CONSTRAINT [PK_Customers]")).isEmpty());
    EXPECT_TRUE(s.filter(QStringLiteral("DROP TRIGGER")).isEmpty());
    const QStringList core = rebuildCore(target().tables[0], wanted.tables[0]);
    const qsizetype created = position(s, QStringLiteral("CREATE TABLE [dbo].[tmp_dbsync_Customers]"));
    EXPECT_EQ(s.mid(created, core.size()), core);
    const qsizetype renamed = created + core.size() - 1;
    EXPECT_LT(position(s, QStringLiteral("ALTER TABLE [dbo].[Orders] DROP CONSTRAINT [FK_Orders_Customers]")), created);
    EXPECT_LT(position(s, QStringLiteral("DROP VIEW [dbo].[CustomerNames]")), created);
    // The parts CREATE TABLE would carry come on their own after the rename.
    for (const char *part : {"ALTER TABLE [dbo].[Customers] ADD CONSTRAINT [PK_Customers]",
                             "ALTER TABLE [dbo].[Customers] ADD CONSTRAINT [DF_Customers_Credit]",
                             "ALTER TABLE [dbo].[Customers] WITH NOCHECK ADD CONSTRAINT [CK_Customers_Credit]",
                             "CREATE NONCLUSTERED INDEX [IX_Customers_Name]", "CREATE TRIGGER CustomersAudit",
                             "DISABLE TRIGGER [dbo].[CustomersAudit]", "CREATE VIEW CustomerNames"})
        EXPECT_LT(renamed, position(s, QString::fromLatin1(part))) << part;
    EXPECT_LT(position(s, QStringLiteral("ALTER TABLE [dbo].[Customers] ADD CONSTRAINT [PK_Customers]")),
              position(s, QStringLiteral("ALTER TABLE [dbo].[Orders] WITH NOCHECK ADD CONSTRAINT [FK_Orders_Customers]")));
    EXPECT_EQ(s.filter(QStringLiteral("PK_Customers")).size(), 1);

    // Chosen alone, the identity row takes the same rebuild.
    const QString id = columnKey(tableKey(QStringLiteral("dbo"), QStringLiteral("Customers")), QStringLiteral("Id"));
    const QStringList alone = texts(planSync(itemsOf(sample()), was, {id}));
    EXPECT_EQ(alone.filter(QStringLiteral("EXEC sp_rename")).size(), 1);
    EXPECT_TRUE(alone.filter(QStringLiteral("DROP COLUMN")).isEmpty());

    // The same identity on a wider type is altered in place; a computed column is re-added.
    Database wider = target(), computed = target();
    wider.tables[1].columns[0].type = {QStringLiteral("bigint"), false, 8, 19, 0};
    computed.tables[1].columns[2].computed = QStringLiteral("(N'x')");
    const QStringList w = texts(planSync(itemsOf(wider), itemsOf(target())));
    EXPECT_EQ(w, QStringList{QStringLiteral("ALTER TABLE [dbo].[Orders] ALTER COLUMN [Id] bigint NOT NULL")});
    const QStringList c = texts(planSync(itemsOf(computed), itemsOf(target())));
    EXPECT_EQ(c.size(), 2);
    EXPECT_EQ(c.value(0), QStringLiteral("ALTER TABLE [dbo].[Orders] DROP COLUMN [Note]"));

    // A new column goes where the sample has it: last by ADD, before other columns by a rebuild.
    Database last = target(), middle = target();
    last.tables[1].columns << col(QStringLiteral("Shipped"), QStringLiteral("bit"), 1);
    middle.tables[1].columns.insert(1, col(QStringLiteral("Shipped"), QStringLiteral("bit"), 1));
    EXPECT_EQ(texts(planSync(itemsOf(last), itemsOf(target()))),
              QStringList{QStringLiteral("ALTER TABLE [dbo].[Orders] ADD [Shipped] bit NULL")});
    const QStringList m = texts(planSync(itemsOf(middle), itemsOf(target())));
    EXPECT_TRUE(m.filter(QStringLiteral(" ADD [Shipped]")).isEmpty()) << m.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(m.filter(QStringLiteral("EXEC sp_rename N'[dbo].[tmp_dbsync_Orders]'")).size(), 1);
}

TEST(ModelRebuild, PlanListsWhereValuesMayBeLost)
{
    auto described = [](const SyncPlan &plan) {
        static const char *what[] = {"drop table", "drop column", "change type"};
        QStringList out;
        for (const ValueLoss &l : plan.valueLosses)
            out << QString::fromLatin1(what[int(l.what)]) + QLatin1Char(' ') + l.table + QLatin1Char('.') + l.column
                       + QLatin1Char(' ') + typeText(l.from) + QLatin1Char('>') + typeText(l.to);
        return out.join(QLatin1Char('\n')).toStdString();
    };
    // A rebuilt table loses what its new columns cannot hold.
    Database wanted = sample();
    wanted.tables[0].columns[1].type.maxLength = 20;
    wanted.tables[0].columns.removeLast();
    EXPECT_EQ(described(planSync(itemsOf(wanted), itemsOf(target()))),
              "change type Customers.Name nvarchar(50)>nvarchar(10)\n"
              "drop column Customers.Legacy varchar(10)>");

    // A table dropped, a column dropped on its own, a column altered; a computed column
    // holds nothing to lose.
    Database fewer = target(), more = target();
    fewer.tables.removeLast();
    fewer.tables[0].columns.removeLast();
    fewer.tables[0].columns[1].type.maxLength = 20;
    Column derived = col(QStringLiteral("Derived"), QStringLiteral("int"));
    derived.computed = QStringLiteral("([Credit]+(1))");
    more.tables[0].columns << derived;
    fewer.modules.clear();
    more.modules.clear();
    EXPECT_EQ(described(planSync(itemsOf(fewer), itemsOf(more))),
              "change type Customers.Name nvarchar(50)>nvarchar(10)\n"
              "drop column Customers.Legacy varchar(10)>\n"
              "drop table Orders. >");
}
