// The table structure synchronisation: one case per comparison code (listing row, statements
// in sqlsim's log, the target's catalogue after), the selection walk, the echo, failures
// mid-way (sqlsim's faults), and convergence of a target that differs in every listed way.

#include "tests/e2e/SchemaSyncFixture.h"

using namespace dbsync;
using dbsync::test::kNeedsFaults;
using dbsync::test::SchemaSyncTest;

namespace {

class TableSync : public SchemaSyncTest {
protected:
    void SetUp() override
    {
        SchemaSyncTest::SetUp();
        if (window)
            window->b = true;  // the automatic backup has its own case
    }

    void convergeOnTheSample();

    // Lists, and gives the position of the row of that column (sample's or target's name).
    int listAndFind(const QString &code, const QString &column)
    {
        press(&TForm43::Button14Click);
        EXPECT_EQ(errors(), QStringList());
        for (int i = 0; i < rows(); ++i)
            if (field(i, "比较结果") == code && (field(i, "字段名") == column || field(i, "字段名_1") == column))
                return i;
        ADD_FAILURE() << "no row " << code.toStdString() << " for " << column.toStdString();
        return -1;
    }

    // Selects the row, synchronises, and gives the statements the target server received.
    QStringList syncRows(const QList<int> &positions)
    {
        selectRows(positions);
        const qsizetype before = mark();
        press(&TForm43::Button22Click);
        QStringList sent;
        for (const QString &b : batchesSince(before))
            if (!b.startsWith("exec sp_configure") && b != "reconfigure" && !isFrameOrLookUp(b))
                sent << b;
        return sent;
    }

    // The target's columns of a table: "name type prec scale nullable identity default".
    QStringList targetColumns(const QString &table) { return columnsOn("target", targetDb, table); }
    QStringList sampleColumns(const QString &table) { return columnsOn("sample", sampleDb, table); }
    static QStringList columnsOn(const QString &server, const QString &db, const QString &table)
    {
        const ResultSet r = queryOn(server, db,
                                    "select tname=o.name,cname=c.name,type=t.name,c.prec,c.scale,c.isnullable,c.status,"
                                    "dflt=isnull(e.text,'') from syscolumns c inner join sysobjects o on c.id=o.id and "
                                    "o.xtype='U' left join systypes t on c.xtype=t.xusertype left join syscomments e on "
                                    "c.cdefault=e.id where o.name like '"
                                        + table + "' order by o.name,c.name");
        QStringList out;
        for (int i = 0; i < r.rowCount(); ++i)
            out << QStringList{r.text(i, "tname"), r.text(i, "cname"), r.text(i, "type"), r.text(i, "prec"),
                               r.text(i, "scale"), r.text(i, "isnullable"),
                               r.text(i, "status") == "128" ? "identity" : "-", r.text(i, "dflt")}
                       .join(' ');
        return out;
    }
    // "table.column" of every primary key column.
    static QStringList keyColumnsOn(const QString &server, const QString &db)
    {
        const ResultSet r = queryOn(server, db,
                                    "select tname=o.name,cname=c.name from sysobjects k inner join sysindexes i on "
                                    "i.name=k.name inner join sysindexkeys x on x.id=k.parent_obj and x.indid=i.indid "
                                    "inner join syscolumns c on c.id=x.id and c.colid=x.colid inner join sysobjects o "
                                    "on o.id=k.parent_obj where k.xtype='PK' order by o.name,c.name");
        QStringList out;
        for (int i = 0; i < r.rowCount(); ++i)
            out << r.text(i, "tname") + "." + r.text(i, "cname");
        return out;
    }
    QString t(const QString &table) const { return targetDb + ".dbo." + table; }
    QString samplePrefix() const
    {
        return sampleSource() + ".dbo.";
    }
};

}  // namespace

TEST_F(TableSync, Code2CopiesTheSampleTableOnceAndEndsWithoutRefresh)
{
    onSample("create table orders (id int not null, name varchar(30) null)");
    const int row = listAndFind("2", "name");
    ASSERT_EQ(rows(), 2);
    EXPECT_SENT(syncRows({row, 0}), QStringList{"select * into " + t("orders") + " from " + samplePrefix() + "orders where 1=2"});
    EXPECT_EQ(targetColumns("orders"), sampleColumns("orders"));
    // Ended early: the old listing and its selection stay, no completion notice.
    EXPECT_EQ(notices(), QStringList());
    EXPECT_EQ(rows(), 2);
    EXPECT_EQ(window->DBGrid1->selectionCount(), 2);
    EXPECT_EQ(window->ADOQuery2.currentRow(), 0);  // the row acted on
}

TEST_F(TableSync, Code1DropsTheTargetOnlyTable)
{
    onTarget("create table legacy (b int null)");
    const int row = listAndFind("1", "b");
    EXPECT_SENT(syncRows({row}), QStringList{"DROP TABLE " + t("legacy")});
    EXPECT_EQ(targetColumns("legacy"), QStringList());
    EXPECT_EQ(notices(), QStringList());
}

TEST_F(TableSync, Code4AddsColumnsWithTheirFullDeclarationThenRefreshes)
{
    onSample("create table orders (id int not null, name varchar(50) null, memo nvarchar(max) null, "
             "amount decimal(18,4) not null, big bigint null)");
    onTarget("create table orders (id int not null)");
    press(&TForm43::Button14Click);
    ASSERT_EQ(rows(), 4);
    EXPECT_SENT(syncRows({3, 2, 1, 0}), (QStringList{"alter table " + t("orders") + " add name  varchar\r\n(50)\r\nnull",
                                 "alter table " + t("orders") + " add memo  nvarchar\r\n(MAX)\r\nnull",
                                 "alter table " + t("orders") + " add amount  decimal\r\n(18,4)\r\nnot null",
                                 "alter table " + t("orders") + " add big  bigint\r\nnull"}));
    // The refresh: the five replaced lines, 27 fields, and nothing left to list.
    ASSERT_TRUE(window->ADOQuery2.isOpen());
    EXPECT_EQ(listing().fieldCount(), 27);
    EXPECT_EQ(window->ADOQuery2.sql().value(60), "order by isnull(a.表名1,b.表名2)   ");
    EXPECT_EQ(rows(), 0);
    EXPECT_EQ(notices(), QStringList{"表格结构同步完成"});
    EXPECT_EQ(targetColumns("orders"), sampleColumns("orders"));
}

TEST_F(TableSync, Code3DropsTheColumnAfterItsDefaultAndForeignKey)
{
    onSample("create table parent (id int not null primary key)");
    onSample("create table child (id int not null)");
    onTarget("create table parent (id int not null primary key)");
    onTarget("create table child (id int not null, pid int null constraint fk_child foreign key references parent(id), "
             "old int null constraint df_old default 0)");
    // The table's foreign key stands on every row of the table: it goes with the first drop.
    int row = listAndFind("3", "old");
    EXPECT_SENT(syncRows({row}), (QStringList{"alter table child drop constraint  fk_child",
                                            "alter table child drop constraint  df_old",
                                            "alter table " + t("child") + " drop column old"}));
    row = listAndFind("3", "pid");
    EXPECT_SENT(syncRows({row}), QStringList{"alter table " + t("child") + " drop column pid"});
    EXPECT_EQ(targetColumns("child"), sampleColumns("child"));
}

TEST_F(TableSync, Code10RebuildsTheTableWithTheIdentityEitherWay)
{
    onSample("create table orders (id int identity(1,1) not null, v int null)");
    onTarget("create table orders (id int not null constraint pk_t primary key, v int null)");
    const QStringList sent = syncRows({listAndFind("10", "id")});
    EXPECT_EQ(errors(), QStringList());
    if (logged()) {
        ASSERT_EQ(sent.size(), 5) << sent.join("\n").toStdString();
        EXPECT_TRUE(sent[0].startsWith("CREATE TABLE [dbo].[tmp_dbsync_orders]"));
        EXPECT_EQ(sent[3], "EXEC sp_rename N'[dbo].[tmp_dbsync_orders]', N'orders'");
        EXPECT_EQ(sent[4], "ALTER TABLE [dbo].[orders] ADD CONSTRAINT [pk_t] PRIMARY KEY CLUSTERED ([id] ASC)");
    }
    EXPECT_EQ(targetColumns("orders"), sampleColumns("orders"));
    EXPECT_EQ(notices(), QStringList());  // it ends the command, as a table created or dropped

    // The other way: the target's column stops numbering itself.
    onSample("create table lines (id int not null, v int null)");
    onTarget("create table lines (id int identity(1,1) not null, v int null)");
    syncRows({listAndFind("10", "id")});
    EXPECT_EQ(errors(), QStringList());
    EXPECT_EQ(targetColumns("lines"), sampleColumns("lines"));
}

TEST_F(TableSync, Code5AltersTypeLengthAndNullabilityDroppingKeyAndDefaultFirst)
{
    onSample("create table orders (id bigint not null, name varchar(50) not null)");
    onTarget("create table orders (id int not null constraint pk_t primary key, "
             "name varchar(20) null constraint df_name default 'x')");
    int row = listAndFind("5", "name");
    EXPECT_SENT(syncRows({row}), (QStringList{"alter table orders drop constraint  pk_t",
                                            "alter table orders drop constraint  df_name",
                                            "alter table " + t("orders") + " alter column name  varchar\r\n(50)\r\nnot null"}));
    row = listAndFind("5", "id");
    EXPECT_SENT(syncRows({row}), QStringList{"alter table " + t("orders") + " alter column id  bigint\r\nnot null"});
    EXPECT_EQ(targetColumns("orders"), sampleColumns("orders"));
}

TEST_F(TableSync, Code9AltersPrecisionAndScale)
{
    onSample("create table orders (amount decimal(18,4) null)");
    onTarget("create table orders (amount decimal(18,2) null)");
    const int row = listAndFind("9", "amount");
    EXPECT_SENT(syncRows({row}), QStringList{"alter table " + t("orders") + " alter column amount  decimal\r\n(18,4)\r\nnull"});
    EXPECT_EQ(targetColumns("orders"), sampleColumns("orders"));
}

TEST_F(TableSync, Code6AddsOneKeyOverAllSelectedColumnsInColumnOrder)
{
    onSample("create table orders (a int not null, b int not null, c int null, constraint pk_s primary key (a,b))");
    onTarget("create table orders (a int not null, b int not null, c int null)");
    press(&TForm43::Button14Click);
    ASSERT_EQ(rows(), 2);
    EXPECT_SENT(syncRows({1, 0}),
              QStringList{"alter table " + t("orders") + " Add constraint pk_orders primary key (a,b)"});
    EXPECT_EQ(rows(), 0);
}

TEST_F(TableSync, Code6DropsTheTargetsOwnKey)
{
    onSample("create table orders (a int not null)");
    onTarget("create table orders (a int not null constraint pk_own primary key)");
    const int row = listAndFind("6", "a");
    EXPECT_SENT(syncRows({row}), QStringList{"Alter table " + t("orders") + " Drop Constraint pk_own  "});
    EXPECT_EQ(rows(), 0);
}

TEST_F(TableSync, Code8AddsTheDefaultReplacingTheTargetsOwn)
{
    onSample("create table orders (a int null default 5, b int null default 7)");
    onTarget("create table orders (a int null, b int null constraint df_b default 1)");
    press(&TForm43::Button14Click);
    ASSERT_EQ(rows(), 2);
    EXPECT_SENT(syncRows({0, 1}), (QStringList{"Alter table " + t("orders") + " add constraint DF_orders_a default ((5)) for a ",
                                            "alter table orders drop constraint  df_b",
                                            "Alter table " + t("orders") + " add constraint DF_orders_b default ((7)) for b "}));
    EXPECT_EQ(targetColumns("orders"), sampleColumns("orders"));
}

TEST_F(TableSync, RowsRunInListingOrderAndATableCopyEndsTheCommand)
{
    onSample("create table orders (a int null, b int null)");
    onSample("create table zzz (z int null)");
    onTarget("create table orders (x int null)");
    press(&TForm43::Button14Click);
    // By table, then position: orders.a "4", orders.x "3", orders.b "4", zzz.z "2".
    ASSERT_EQ(rows(), 4);
    window->CheckBox1->setEnabled(true);
    window->CheckBox1->setChecked(true);
    EXPECT_EQ(window->Memo1->toPlainText(), "");
    const QStringList sent = syncRows({3, 2, 1, 0});
    const QStringList expected{"alter table " + t("orders") + " add a  int\r\nnull",
                               "alter table " + t("orders") + " drop column x",
                               "alter table " + t("orders") + " add b  int\r\nnull",
                               "select * into " + t("zzz") + " from " + samplePrefix() + "zzz where 1=2"};
    if (logged()) {
        EXPECT_EQ(sent, expected);
    }
    EXPECT_EQ(window->Memo1->toPlainText(), QString(expected.join("\n")).replace("\r\n", "\n"));
    EXPECT_EQ(notices(), QStringList());
    EXPECT_EQ(rows(), 4);
}

TEST_F(TableSync, NoSelectionSaysSoAndTheFirstSyncBacksUpOnce)
{
    onSample("create table orders (a int null)");
    onTarget("create table orders (b int null)");
    window->b = false;
    press(&TForm43::Button14Click);
    const qsizetype before = mark();
    press(&TForm43::Button22Click);
    EXPECT_EQ(notices(), QStringList{"请在表中选择需要同步的项"});
    if (logged()) {
        EXPECT_EQ(batchesSince(before), QStringList());
    }
    EXPECT_FALSE(window->b);

    selectRows({0});
    press(&TForm43::Button22Click);
    EXPECT_TRUE(window->b);
    if (logged()) {
        EXPECT_EQ(sentSince(before, "backup database").size(), 1);
    }
    selectRows({0});
    press(&TForm43::Button22Click);
    if (logged()) {
        EXPECT_EQ(sentSince(before, "backup database").size(), 1);
    }
}

TEST_F(TableSync, AFailingStatementUndoesWhatRanAndKeepsTheListingAndTheSelection)
{
    if (!servers->onSqlsim())
        GTEST_SKIP() << kNeedsFaults;
    onSample("create table orders (a int null, b int null, c int null)");
    onTarget("create table orders (x int null)");
    press(&TForm43::Button14Click);
    ASSERT_EQ(rows(), 4);
    // The server's answer to a login without ALTER permission on the table.
    execOn("target", "master", "exec sqlsim_fault 'fail', 1, ' add b ', 1088, 'Cannot find the object \"orders\" "
                               "because it does not exist or you do not have permissions.'");
    const int a = listAndFind("4", "a"), b = listAndFind("4", "b"), c = listAndFind("4", "c");
    window->CheckBox1->setEnabled(true);
    window->CheckBox1->setChecked(true);
    const QStringList sent = syncRows({a, b, c});
    // The echo comes before the statement runs: the refused one is in the memo too.
    EXPECT_EQ(window->Memo1->toPlainText(), "alter table " + t("orders") + " add a  int\nnull\nalter table "
                                                + t("orders") + " add b  int\nnull");
    EXPECT_EQ(sent.size(), 2);  // a ran, b was refused, c never sent
    ASSERT_EQ(errors().size(), 1);
    EXPECT_EQ(errors()[0], "Cannot find the object \"orders\" because it does not exist or you do not have "
                           "permissions.\n" + workflow::kTargetUnchanged + ".");
    EXPECT_EQ(notices(), QStringList());
    EXPECT_EQ(rows(), 4);
    EXPECT_EQ(window->DBGrid1->selectedRowPositions(), (QVector<int>{a, b, c}));
    EXPECT_EQ(targetColumns("orders").size(), 1);  // a was taken back with b

    // The fault is spent: the same selection runs whole.
    const QStringList again = syncRows({});
    EXPECT_EQ(again.size(), 3);
    EXPECT_EQ(errors().size(), 1);
    EXPECT_EQ(notices(), QStringList{"表格结构同步完成"});
    EXPECT_EQ(rows(), 1);  // x is left
}

TEST_F(TableSync, ADroppedConnectionEndsTheCommandAndAListingRecovers)
{
    if (!servers->onSqlsim())
        GTEST_SKIP() << kNeedsFaults;
    onSample("create table orders (a int null, b int null)");
    onTarget("create table orders (x int null)");
    press(&TForm43::Button14Click);
    ASSERT_EQ(rows(), 3);
    execOn("target", "master", "exec sqlsim_fault 'drop', 1, ' add b '");
    syncRows({listAndFind("4", "a"), listAndFind("4", "b")});
    ASSERT_EQ(errors().size(), 1);
    EXPECT_EQ(rows(), 3);
    EXPECT_EQ(window->DBGrid1->selectionCount(), 2);
    EXPECT_TRUE(errors()[0].contains(workflow::kTargetUnchanged)) << errors()[0].toStdString();
    EXPECT_EQ(targetColumns("orders").size(), 1);  // a was taken back as the link dropped

    press(&TForm43::Button14Click);
    ASSERT_EQ(errors().size(), 1);
    ASSERT_EQ(rows(), 3);
    syncRows({0, 1, 2});
    EXPECT_EQ(errors().size(), 1);
    EXPECT_EQ(rows(), 0);
}

// A target that differs in every listed way, synchronised round after round, the one way or
// the other.
void TableSync::convergeOnTheSample()
{
    onSample("create table only_s (k int not null primary key, v varchar(40) null default 'a')");
    onTarget("create table only_t (k int null)");
    onSample("create table orders (id int identity(1,1) not null primary key, code char(8) not null, "
             "name nvarchar(100) null, amount decimal(18,4) null, state int not null default 0, "
             "memo varchar(max) null, added datetime null)");
    onTarget("create table orders (id int not null, code char(4) null, name nvarchar(50) not null, "
             "amount decimal(18,2) null, state bigint null constraint df_st default 1, gone int null default 3, "
             "extra varchar(10) null)");
    onSample("create table lines (a int not null, b int not null, q smallint null, constraint pk_l primary key (a,b))");
    onTarget("create table lines (a int not null constraint pk_tl primary key, b int not null, q int null)");
    onSample("exec sp_addextendedproperty N'MS_Description', N'customer name', N'SCHEMA', N'dbo', N'TABLE', "
             "N'orders', N'COLUMN', N'name'");
    // Rows no code acts on: the description difference stays listed.
    const auto onlyDescriptions = [this] {
        for (int i = 0; i < rows(); ++i)
            if (field(i, "比较结果") != " 字段说明不同 ")
                return false;
        return true;
    };
    int round = 0;
    for (; round < 6; ++round) {
        press(&TForm43::Button14Click);
        ASSERT_EQ(errors(), QStringList()) << "round " << round;
        if (onlyDescriptions())
            break;
        selectAll();
        press(&TForm43::Button22Click);
        ASSERT_EQ(errors(), QStringList()) << "round " << round;
    }
    EXPECT_LT(round, 6);
    ASSERT_EQ(rows(), 1);
    EXPECT_EQ(field(0, "字段名"), "name");
    EXPECT_EQ(targetColumns("%"), sampleColumns("%"));
    EXPECT_EQ(keyColumnsOn("target", targetDb), keyColumnsOn("sample", sampleDb));
    EXPECT_EQ(keyColumnsOn("target", targetDb).size(), 4);
}

TEST_F(TableSync, RepeatedSyncsConvergeOnTheSample)
{
    convergeOnTheSample();
}

TEST_F(TableSync, RepeatedLocalSyncsConvergeOnTheSample)
{
    window->setCompareMode(workflow::CompareMode::Local);
    const qsizetype before = mark();
    convergeOnTheSample();
    for (const QString &batch : batchesSince(before)) {
        EXPECT_FALSE(batch.contains("sp_configure") || batch.contains("OPENDATASOURCE", Qt::CaseInsensitive))
            << batch.toStdString();
        EXPECT_FALSE(batch.contains(sample().password)) << batch.toStdString();
    }
}
