// The view and procedure listing against sqlsim: the 18 lines as they reach the target server,
// the rows they give, widths, button states and failure states.

#include "schema/model/CatalogRead.h"
#include "tests/e2e/SchemaSyncFixture.h"

using namespace dbsync;
using dbsync::test::SchemaSyncTest;

namespace {

using RoutineListing = SchemaSyncTest;

}  // namespace

TEST_F(RoutineListing, SendsTheEighteenLinesAndListsEachDifference)
{
    onSample("create procedure same as select 1");
    onTarget("create procedure same as select 1");
    onSample("create procedure changed as select 1");
    onTarget("create procedure changed as select 2");
    onSample("create view sample_only as select 1 as a");
    onTarget("create procedure target_only as select 3");
    const qsizetype before = mark();
    press(&TForm43::Button9Click);
    ASSERT_EQ(errors(), QStringList());

    const QString s = sampleSource() + ".dbo.";
    const QStringList expected{
        "select 类型=case isnull(a.xtype,b.xtype) when 'V' then '视图' else '存储过程' end ",
        ",匹配情况=case    ",
        "when a.name is null then '源无' ",
        "when b.name is null then '目标无'  ",
        "else '结构不同' end      ",
        ",对象名称=isnull(a.name,b.name),a.text as atext, b.text as btext   ",
        "from(                           ",
        "select a.name,a.xtype,b.colid,b.text    ",
        "from " + s + "sysobjects a," + s + "syscomments b    ",
        "where a.id=b.id and a.xtype in('V','P') and a.status>=0   ",
        ")a full join(                                       ",
        "select a.name,a.xtype,b.colid,b.text               ",
        "from [" + targetDb + "]..sysobjects a,[" + targetDb + "]..syscomments b  ",
        "where a.id=b.id and a.xtype in('V','P') and a.status>=0   ",
        ")b on a.name=b.name and a.xtype=b.xtype and a.colid=b.colid   ",
        "where a.name is null      ",
        "or b.name is null  ",
        "or isnull(a.text,'') <>isnull(b.text,'')   ",
    };
    if (logged()) {
        const QStringList sent = batchesSince(before);
        // The listing query, then the target's catalogue read for its functions and triggers.
        QStringList catalogue = model::catalogQueries(targetDb, true);
        catalogue.removeAll(QString());
        ASSERT_EQ(sent.size(), 5 + catalogue.size());
        EXPECT_EQ(sent.mid(0, 4), (QStringList{"exec sp_configure'show advanced options',1", "reconfigure",
                                               "exec sp_configure'Ad Hoc Distributed Queries',1", "reconfigure"}));
        EXPECT_EQ(sent[4], expected.join("\r\n"));
        EXPECT_EQ(sent.mid(5), catalogue);
    }

    QStringList got;
    for (int i = 0; i < rows(); ++i)
        got << field(i, "类型") + "|" + field(i, "匹配情况") + "|" + field(i, "对象名称");
    got.sort();
    EXPECT_EQ(got, (QStringList{"存储过程|源无|target_only", "存储过程|结构不同|changed", "视图|目标无|sample_only"}));
    EXPECT_EQ(listing().fieldNames(), (QStringList{"类型", "匹配情况", "对象名称", "atext", "btext"}));
    const QList<int> widths{60, 80, 80, 250, 250};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(window->DBGrid1->columnWidth(i), widths[i]) << i;
    EXPECT_TRUE(window->Button10->isEnabled());
    EXPECT_FALSE(window->button22->isEnabled());

    // For a look at the window as the user sees it after the listing.
    EXPECT_TRUE(window->grab().save(QStringLiteral(DBSYNC_GRAB_DIR "/routine-listing.png")));

    // The table listing swaps the buttons; listing routines again swaps them back.
    press(&TForm43::Button14Click);
    EXPECT_FALSE(window->Button10->isEnabled());
    EXPECT_TRUE(window->button22->isEnabled());
    press(&TForm43::Button9Click);
    EXPECT_TRUE(window->Button10->isEnabled());
    EXPECT_FALSE(window->button22->isEnabled());
}

TEST_F(RoutineListing, IdenticalDatabasesGiveAnEmptyListingAndStillEnableSync)
{
    onSample("create view v as select 1 as a");
    onTarget("create view v as select 1 as a");
    press(&TForm43::Button9Click);
    ASSERT_EQ(errors(), QStringList());
    EXPECT_EQ(rows(), 0);
    EXPECT_TRUE(window->Button10->isEnabled());
}

TEST_F(RoutineListing, ChecksComeFirstAndErrorsLeaveTheButtonsAlone)
{
    window->EIP->clear();
    const qsizetype before = mark();
    press(&TForm43::Button9Click);
    EXPECT_EQ(dialogs.texts("inputCheck"), QStringList{"请添写上级IP地址！"});
    EXPECT_EQ(window->focusWidget(), window->EIP);
    if (logged()) {
        EXPECT_EQ(batchesSince(before), QStringList());
    }

    // Blanks count as filled; the sample server then cannot be reached and the query fails.
    window->EIP->setText(" ");
    press(&TForm43::Button9Click);
    ASSERT_EQ(errors().size(), 1);
    EXPECT_FALSE(window->ADOQuery2.isOpen());
    EXPECT_FALSE(window->Button10->isEnabled());
}
