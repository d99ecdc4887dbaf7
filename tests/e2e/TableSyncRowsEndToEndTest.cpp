// The table structure synchronisation on targets that hold rows: what each code does to the
// values (kept, converted, defaulted, or lost where the code says so), and each refusal of the
// server shown with its own message, the refused statement having changed nothing and the
// statements before it staying done.

#include "tests/e2e/SchemaSyncFixture.h"

using namespace dbsync;
using dbsync::test::SchemaSyncTest;

namespace {

class TableSyncRows : public SchemaSyncTest {
protected:
    void SetUp() override
    {
        SchemaSyncTest::SetUp();
        if (window)
            window->b = true;  // the backup has its own cases
    }

    // Lists and selects every row, synchronises, and gives the statements the target server
    // received (without the enabling step, the listing and the look-up of defaults).
    QStringList listAndSyncAll()
    {
        press(&TForm43::Button14Click);
        EXPECT_EQ(errors(), QStringList());
        selectAll();
        const qsizetype before = mark();
        press(&TForm43::Button22Click);
        QStringList sent;
        for (const QString &b : batchesSince(before))
            if (!b.startsWith("exec sp_configure") && b != "reconfigure" && !isFrameOrLookUp(b))
                sent << b;
        return sent;
    }

    // The target table's rows as "value|value|...", columns in table order, rows sorted.
    QStringList data(const QString &table)
    {
        const ResultSet r = queryOn("target", targetDb, "select * from " + table);
        QStringList out;
        for (int row = 0; row < r.rowCount(); ++row) {
            QStringList values;
            for (int column = 0; column < r.fieldCount(); ++column) {
                const QVariant &v = r.value(row, column);
                values << (v.isValid() ? v.toString() : QStringLiteral("NULL"));
            }
            out << values.join('|');
        }
        out.sort();
        return out;
    }
    // "name type(prec,scale) null|not null" of the target table's columns, in column order (no
    // scale for types without one).
    QStringList columns(const QString &table)
    {
        const ResultSet r = queryOn("target", targetDb,
                                    "select c.name,type=t.name,c.prec,c.scale,c.isnullable from syscolumns c "
                                    "inner join sysobjects o on c.id=o.id left join systypes t on "
                                    "c.xtype=t.xusertype where o.name='" + table + "' order by c.colid");
        QStringList out;
        for (int i = 0; i < r.rowCount(); ++i)
            out << r.text(i, "name") + " " + r.text(i, "type") + "(" + r.text(i, "prec")
                    + (r.text(i, "scale").isEmpty() ? "" : "," + r.text(i, "scale")) + ") "
                    + (r.text(i, "isnullable") == "1" ? "null" : "not null");
        return out;
    }
    QString t(const QString &table) const { return targetDb + ".dbo." + table; }

    // Three tables listed in this order: a (a column to add), the table under test, and u (a
    // column to add). The statement for the table under test is refused with the message;
    // a's column, added before, is taken back with it: every table is as it was.
    void expectRefused(const QString &sampleTable, const QString &targetTable, const QString &rows,
                       const QString &message)
    {
        onSample("create table a (k int null, x int null)");
        onSample("create table u (k int null, y int null)");
        onSample(sampleTable);
        onTarget("create table a (k int null)");
        onTarget("create table u (k int null)");
        onTarget(targetTable);
        onTarget("insert into a values (1)");
        onTarget("insert into u values (1)");
        onTarget("insert into t values " + rows);
        const QStringList columnsBefore = columns("t"), rowsBefore = data("t");
        listAndSyncAll();
        EXPECT_EQ(errors(), QStringList{message + "\n" + workflow::kTargetUnchanged + "."});
        EXPECT_EQ(notices(), QStringList());
        EXPECT_EQ(columns("a"), QStringList{"k int(10,0) null"});
        EXPECT_EQ(columns("t"), columnsBefore);
        EXPECT_EQ(data("t"), rowsBefore);
        EXPECT_EQ(columns("u"), QStringList{"k int(10,0) null"});
    }
};

}  // namespace

TEST_F(TableSyncRows, Code4FillsTheRowsWithTheSamplesDefaultAndListsNoDefaultDifference)
{
    onSample("create table t (k int not null, name nvarchar(20) null, n int not null default 0, "
             "s varchar(10) null default 'x', m nvarchar(20) null, d decimal(9,2) not null default 1.5)");
    onTarget("create table t (k int not null, name nvarchar(20) null)");
    onTarget("insert into t values (1, N'张三'), (2, NULL), (3, N'李四')");
    EXPECT_SENT(listAndSyncAll(),
                (QStringList{"alter table " + t("t") + " add n  int\r\nnot null\r\n constraint DF_t_n default ((0))",
                             "alter table " + t("t")
                                 + " add s  varchar\r\n(10)\r\nnull\r\n constraint DF_t_s default ('x') with values",
                             "alter table " + t("t") + " add m  nvarchar\r\n(20)\r\nnull",
                             "alter table " + t("t")
                                 + " add d  decimal\r\n(9,2)\r\nnot null\r\n constraint DF_t_d default ((1.5))"}));
    EXPECT_EQ(errors(), QStringList());
    EXPECT_EQ(notices(), QStringList{"表格结构同步完成"});
    EXPECT_EQ(rows(), 0);  // the refreshed listing: no default differs
    EXPECT_EQ(data("t"), (QStringList{"1|张三|0|x|NULL|1.5", "2|NULL|0|x|NULL|1.5", "3|李四|0|x|NULL|1.5"}));
    // The default stays for rows inserted later.
    onTarget("insert into t (k) values (4)");
    EXPECT_EQ(data("t").last(), "4|NULL|0|x|NULL|1.5");
}

TEST_F(TableSyncRows, Code4WithoutADefaultIsRefusedOnATableWithRows)
{
    expectRefused("create table t (k int null, z int not null)", "create table t (k int null)", "(1), (2)",
                  "ALTER TABLE only allows columns to be added that can contain nulls, or have a DEFAULT "
                  "definition specified, or the column being added is an identity or timestamp column, or "
                  "alternatively if none of the previous conditions are satisfied the table must be empty to allow "
                  "addition of this column. Column 'z' cannot be added to non-empty table 't' because it does not "
                  "satisfy these conditions.");
}

TEST_F(TableSyncRows, Code5And9ConvertEveryValue)
{
    onSample("create table t (k int not null, a varchar(10) null, b int null, c varchar(50) not null, "
             "n nvarchar(40) null, d decimal(10,2) null, w decimal(12,3) null)");
    onTarget("create table t (k int not null, a int null, b varchar(10) null, c varchar(20) null, "
             "n nvarchar(10) null, d decimal(10,4) null, w decimal(8,3) null)");
    onTarget("insert into t values (1, 42, '7', 'abc', N'中文', 2.4567, 12345.678), "
             "(2, NULL, NULL, 'x', NULL, NULL, NULL), (3, -5, '12', 'long text', N'测试数据', 1.0050, 0)");
    listAndSyncAll();
    EXPECT_EQ(errors(), QStringList());
    EXPECT_EQ(rows(), 0);
    EXPECT_EQ(columns("t"), (QStringList{"k int(10,0) not null", "a varchar(10) null", "b int(10,0) null",
                                         "c varchar(50) not null", "n nvarchar(40) null",
                                         "d decimal(10,2) null", "w decimal(12,3) null"}));
    // int to varchar and back, widened texts kept, decimals rounded half away from zero.
    EXPECT_EQ(data("t"), (QStringList{"1|42|7|abc|中文|2.46|12345.678", "2|NULL|NULL|x|NULL|NULL|NULL",
                                      "3|-5|12|long text|测试数据|1.01|0"}));
}

TEST_F(TableSyncRows, Codes2And3And1LoseOnlyWhatTheySay)
{
    onSample("create table a_new (k int not null, v nvarchar(10) null)");
    onSample("insert into a_new values (1, N'样本'), (2, NULL)");
    onSample("create table t (k int not null, v nvarchar(10) null)");
    onTarget("create table t (k int not null, extra int null, v nvarchar(10) null)");
    onTarget("insert into t values (1, 100, N'甲'), (2, NULL, NULL), (3, 300, N'丙')");
    onTarget("create table zz_old (k int null)");
    onTarget("insert into zz_old values (1)");
    // Round one: the new table, without the sample's rows, and the command ends.
    listAndSyncAll();
    EXPECT_EQ(errors(), QStringList());
    EXPECT_EQ(columns("a_new"), (QStringList{"k int(10,0) not null", "v nvarchar(10) null"}));
    EXPECT_EQ(data("a_new"), QStringList());
    EXPECT_EQ(columns("zz_old").size(), 1);
    // Round two: the column goes with its values, the rows stay; then the table goes.
    listAndSyncAll();
    EXPECT_EQ(errors(), QStringList());
    EXPECT_EQ(data("t"), (QStringList{"1|甲", "2|NULL", "3|丙"}));
    EXPECT_EQ(columns("zz_old"), QStringList());
    press(&TForm43::Button14Click);
    EXPECT_EQ(rows(), 0);
}

TEST_F(TableSyncRows, Code10RebuildsTheTableKeepingEveryValueAndTheNumberingGoesOn)
{
    onSample("create table e (id int identity(1,1) not null, v int null)");
    onSample("create table t (id int identity(1,1) not null constraint pk_t primary key, v nvarchar(10) null)");
    onTarget("create table e (id int not null, v int null)");
    onTarget("create table t (id int not null constraint pk_t primary key, v nvarchar(10) null)");
    onTarget("insert into t values (10, N'甲'), (20, N'乙'), (30, NULL)");
    // One table a round: a rebuild ends the command.
    const QStringList sent = listAndSyncAll() + listAndSyncAll();
    EXPECT_EQ(errors(), QStringList());
    EXPECT_EQ(notices(), QStringList());
    EXPECT_EQ(sent.filter("drop column").size(), 0);
    EXPECT_EQ(sent.filter("sp_rename").size(), 2) << sent.join("\n").toStdString();
    // The columns keep their places, the rows their numbers; new rows are numbered after them.
    EXPECT_EQ(columns("t"), (QStringList{"id int(10,0) not null", "v nvarchar(10) null"}));
    EXPECT_EQ(data("t"), (QStringList{"10|甲", "20|乙", "30|NULL"}));
    onTarget("insert into t (v) values (N'丙')");
    EXPECT_EQ(data("t").last(), "31|丙");
    press(&TForm43::Button14Click);
    EXPECT_EQ(rows(), 0);
}

TEST_F(TableSyncRows, NotNullOverNullsIsRefused)
{
    expectRefused("create table t (k int not null, c varchar(10) not null)",
                  "create table t (k int not null, c varchar(10) null)", "(1, 'a'), (2, NULL)",
                  "Cannot insert the value NULL into column 'c', table '" + t("t")
                      + "'; column does not allow nulls. UPDATE fails.");
}

TEST_F(TableSyncRows, NarrowingOverLongerValuesIsRefused)
{
    expectRefused("create table t (k int not null, c varchar(3) null)",
                  "create table t (k int not null, c varchar(10) null)", "(1, 'ab'), (2, 'abcdef')",
                  "String or binary data would be truncated in table '" + t("t")
                      + "', column 'c'. Truncated value: 'abc'.");
}

TEST_F(TableSyncRows, KeyOverDuplicatesIsRefused)
{
    expectRefused("create table t (k int not null primary key, c int null)",
                  "create table t (k int not null, c int null)", "(1, 1), (1, 2)",
                  "The CREATE UNIQUE INDEX statement terminated because a duplicate key was found for the object "
                  "name 'dbo.t' and the index name 'pk_t'. The duplicate key value is (1).");
}

TEST_F(TableSyncRows, TextThatIsNoNumberIsRefused)
{
    expectRefused("create table t (k int not null, c int null)", "create table t (k int not null, c varchar(10) null)",
                  "(1, '12'), (2, 'abc')", "Conversion failed when converting the varchar value 'abc' to data type int.");
}
