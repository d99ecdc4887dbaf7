// The column listing: the query text that reaches the target server (sqlsim's log), the rows
// and codes it gives, widths and button states, and its failure states.

#include "schema/ColumnDiffQuery.h"
#include "tests/e2e/SchemaSyncFixture.h"

#include <QHeaderView>

using namespace dbsync;
using dbsync::test::SchemaSyncTest;

namespace {

using TableListing = SchemaSyncTest;

QString listingQuery(const QStringList &batches)
{
    for (const QString &b : batches)
        if (b.startsWith(QStringLiteral("select 比较结果=case")))
            return b;
    return {};
}

}  // namespace

TEST_F(TableListing, SendsTheSixtyOneLinesAndListsEachDifferenceWithItsCode)
{
    onSample("create table orders (id int not null primary key, state varchar(20) null, qty int null)");
    onSample("create table extra (a int null)");
    onTarget("create table orders (id int not null primary key, state varchar(10) null, note int null)");
    onTarget("create table legacy (b int null)");
    const qsizetype before = mark();
    press(&TForm43::Button14Click);
    ASSERT_EQ(errors(), QStringList());

    if (logged()) {
        const QString sent = listingQuery(batchesSince(before));
        const QStringList lines = sent.split(QStringLiteral("\r\n"));
        ASSERT_EQ(lines.size(), 61);
        const QString s = sampleSource();
        // A few lines written out by hand, blanks included; the rest must match the builder.
        EXPECT_EQ(lines[2], QStringLiteral("when a.字段名 is null then '3' "));
        EXPECT_EQ(lines[19], QStringLiteral("主键=case when exists(SELECT 1 FROM ") + s
                                 + QStringLiteral(".dbo.sysobjects where xtype='PK' and parent_obj=a.id and name in (   "));
        EXPECT_EQ(lines[30], QStringLiteral(" left join  ") + s + QStringLiteral(".sys.sysforeignkeys f on f.fkeyid=a.id  "));
        EXPECT_EQ(lines[45], QStringLiteral("FROM ") + targetDb + QStringLiteral(".dbo.syscolumns a                              "));
        EXPECT_EQ(lines[60], QStringLiteral("order by isnull(a.表名1,b.表名2),isnull(a.序号,b.序号)   "));
        EXPECT_EQ(sent, schema::columnDiffQueryLines(s + ".dbo.", s, targetDb).join("\r\n"));
        // The four enabling statements ran before it.
        const QStringList all = batchesSince(before);
        EXPECT_TRUE(all.contains("exec sp_configure'Ad Hoc Distributed Queries',1"));
    }

    // extra: sample only ("2"); legacy: target only ("1"); orders.note "3", orders.qty "4",
    // orders.state length "5". Ordered by table, then column position.
    QStringList got;
    for (int i = 0; i < rows(); ++i)
        got << field(i, "比较结果") + "|" + field(i, "表名1") + field(i, "表名2") + "." + field(i, "字段名")
                   + field(i, "字段名_1");
    EXPECT_EQ(got, (QStringList{"2|extra.a", "1|legacy.b", "5|ordersorders.statestate", "4|orders.qty", "3|orders.note"}));
    EXPECT_EQ(listing().fieldCount(), 29);
    EXPECT_EQ(window->DBGrid1->columnWidth(0), 60);
    EXPECT_EQ(window->DBGrid1->columnWidth(1), 50);
    EXPECT_EQ(window->DBGrid1->columnWidth(21), 60);
    EXPECT_FALSE(window->Button10->isEnabled());
    EXPECT_TRUE(window->button22->isEnabled());
    // For a look at the window as the user sees it after the listing.
    EXPECT_TRUE(window->grab().save(QStringLiteral(DBSYNC_GRAB_DIR "/table-listing.png")));
}

TEST_F(TableListing, EmptyLoginStopsBeforeAnyDatabaseWorkAndKeepsTheListing)
{
    onSample("create table t (a int null)");
    press(&TForm43::Button14Click);
    ASSERT_EQ(rows(), 1);
    window->EUser->clear();
    const qsizetype before = mark();
    press(&TForm43::Button14Click);
    EXPECT_EQ(dialogs.texts("inputCheck"), QStringList{"请添写用户名！"});
    if (logged()) {
        EXPECT_EQ(batchesSince(before), QStringList());
    }
    EXPECT_EQ(rows(), 1);
}

TEST_F(TableListing, ConnectCheckFailureDoesNotStopTheListing)
{
    onSample("create table t (a int null)");
    press(&TForm43::Button14Click);  // connects
    ASSERT_EQ(errors(), QStringList());
    // The connect command's own checks stop it (no target login); the listing still runs on
    // the connections made before.
    window->Edit3->clear();
    dialogs.shown.clear();
    press(&TForm43::Button14Click);
    EXPECT_EQ(dialogs.texts("inputCheck").size(), 1);
    EXPECT_EQ(errors(), QStringList());
    EXPECT_EQ(rows(), 1);
}

TEST_F(TableListing, FailingQueryLeavesTheGridEmptyAndTheButtonsAsTheyWere)
{
    window->ComboBox1->setEditText(servers->freshDatabaseName("nosuchdb"));
    press(&TForm43::Button14Click);
    ASSERT_EQ(errors().size(), 1);
    EXPECT_FALSE(window->ADOQuery2.isOpen());
    EXPECT_EQ(window->DBGrid1->model()->rowCount(), 0);
    EXPECT_FALSE(window->button22->isEnabled());
}
