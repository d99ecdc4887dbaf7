// The view and procedure synchronisation: one case per row of the decision table (listing
// row, statement in sqlsim's log, the target's catalogue after), the echo, failures mid-way
// (sqlsim's faults), and convergence in one round on definitions of every awkward shape.

#include "tests/e2e/SchemaSyncFixture.h"

using namespace dbsync;
using dbsync::test::kNeedsFaults;
using dbsync::test::SchemaSyncTest;

namespace {

class RoutineSync : public SchemaSyncTest {
protected:
    void SetUp() override
    {
        SchemaSyncTest::SetUp();
        if (window)
            window->b = true;  // the automatic backup has its own case
    }

    // Lists, selects the rows of the object and synchronises; gives the statements the target
    // database received (the listing, look-ups and enabling statements left out).
    QStringList listAndSync(const QString &match, const QString &name)
    {
        press(&TForm43::Button9Click);
        EXPECT_EQ(errors(), QStringList());
        QList<int> picked;
        for (int i = 0; i < rows(); ++i)
            if (field(i, "匹配情况") == match && field(i, "对象名称") == name)
                picked << i;
        EXPECT_FALSE(picked.isEmpty()) << "no row " << match.toStdString() << " " << name.toStdString();
        return sync(picked);
    }
    QStringList sync(const QList<int> &picked)
    {
        selectRows(picked);
        const qsizetype before = mark();
        press(&TForm43::Button10Click);
        return statementsSince(before);
    }
    static QStringList statementsSince(qsizetype before)
    {
        QStringList out;
        for (const QString &b : batchesSince(before))
            if (!b.startsWith("exec sp_configure") && b != "reconfigure" && !isFrameOrLookUp(b))
                out << b;
        return out;
    }

    // An object's whole definition on a side, "" when it has none.
    static QString definitionOn(const QString &server, const QString &db, const QString &name)
    {
        const ResultSet r = queryOn(server, db,
                                    "select b.text from sysobjects a,syscomments b where a.id=b.id and a.name='" + name
                                        + "' order by b.colid");
        QString text;
        for (int i = 0; i < r.rowCount(); ++i)
            text += r.text(i, "text");
        return text;
    }
    QString targetDefinition(const QString &name) { return definitionOn("target", targetDb, name); }
    QString sampleDefinition(const QString &name) { return definitionOn("sample", sampleDb, name); }
    QString targetType(const QString &name)
    {
        const ResultSet r = queryOn("target", targetDb, "select xtype from sysobjects where name='" + name + "'");
        return r.rowCount() ? r.text(0, "xtype").trimmed() : QString();
    }
};

const QString kProcV1 = "create procedure p_orders\r\nas\r\nselect 1 as v\r\n";
const QString kProcV2 = "create procedure p_orders\r\nas\r\n-- second version\r\nselect 2 as v\r\n";
const QString kViewV1 = "CREATE VIEW v_orders\r\nAS\r\nSELECT 1 AS a\r\n";
const QString kViewV2 = "CREATE VIEW v_orders\r\nAS\r\nSELECT 2 AS a\r\n";

}  // namespace

TEST_F(RoutineSync, ChangedProcedureIsAlteredWithTheSamplesText)
{
    onSample(kProcV2);
    onTarget(kProcV1);
    const QString altered = "ALTER procedure p_orders\r\nas\r\n-- second version\r\nselect 2 as v\r\n";
    EXPECT_SENT(listAndSync("结构不同", "p_orders"), QStringList{altered});
    // Stored with its keyword as CREATE: equal to the sample's as the server compares them.
    EXPECT_EQ(targetDefinition("p_orders").toLower(), sampleDefinition("p_orders").toLower());
    EXPECT_EQ(notices(), QStringList{"同步视图，存储过程完成！"});
    EXPECT_EQ(rows(), 0);
}

TEST_F(RoutineSync, ProcedureMissingFromTheTargetIsCreated)
{
    onSample(kProcV1);
    EXPECT_SENT(listAndSync("目标无", "p_orders"), QStringList{kProcV1});
    EXPECT_EQ(targetDefinition("p_orders"), kProcV1);
    EXPECT_EQ(rows(), 0);
}

TEST_F(RoutineSync, ProcedureMissingFromTheSampleIsDropped)
{
    onTarget(kProcV1);
    EXPECT_SENT(listAndSync("源无", "p_orders"), QStringList{"DROP PROCEDURE p_orders "});
    EXPECT_EQ(targetType("p_orders"), "");
    EXPECT_EQ(rows(), 0);
}

TEST_F(RoutineSync, ChangedViewIsAltered)
{
    onSample(kViewV2);
    onTarget(kViewV1);
    EXPECT_SENT(listAndSync("结构不同", "v_orders"), QStringList{"ALTER VIEW v_orders\r\nAS\r\nSELECT 2 AS a\r\n"});
    EXPECT_EQ(targetDefinition("v_orders"), kViewV2);
    EXPECT_EQ(rows(), 0);
}

TEST_F(RoutineSync, ViewMissingFromTheTargetIsCreated)
{
    onSample(kViewV1);
    EXPECT_SENT(listAndSync("目标无", "v_orders"), QStringList{kViewV1});
    EXPECT_EQ(targetType("v_orders"), "V");
    EXPECT_EQ(rows(), 0);
}

TEST_F(RoutineSync, ViewMissingFromTheSampleIsDroppedAndOddNamesAreBracketed)
{
    onTarget(kViewV1);
    onTarget("create view [old view] as select 1 as a");
    EXPECT_SENT(listAndSync("源无", "v_orders"), QStringList{"DROP view v_orders "});
    EXPECT_SENT(listAndSync("源无", "old view"), QStringList{"DROP view [old view] "});
    EXPECT_EQ(targetType("v_orders"), "");
    EXPECT_EQ(rows(), 0);
}

TEST_F(RoutineSync, AViewOnOneSideAndAProcedureOnTheOtherIsDroppedThenCreated)
{
    onSample("create procedure both_kinds as select 1");
    onTarget("create view both_kinds as select 1 as a");
    press(&TForm43::Button9Click);
    ASSERT_EQ(rows(), 2);
    // Whatever the listing's order, the drop comes first.
    EXPECT_SENT(sync({1, 0}), (QStringList{"DROP view both_kinds ", "create procedure both_kinds as select 1"}));
    EXPECT_EQ(targetType("both_kinds"), "P");
    EXPECT_EQ(rows(), 0);
}

TEST_F(RoutineSync, EchoesEachStatementBeforeItRunsAndBacksUpFirst)
{
    window->b = false;
    onSample(kProcV1);
    onSample(kViewV1);
    window->CheckBox1->setEnabled(true);
    window->CheckBox1->setChecked(true);
    press(&TForm43::Button9Click);
    const qsizetype before = mark();
    press(&TForm43::Button10Click);
    EXPECT_EQ(notices(), QStringList{"请在表中选择需要同步的项"});
    if (logged()) {
        EXPECT_EQ(batchesSince(before), QStringList());
    }

    selectRows({0, 1});
    press(&TForm43::Button10Click);
    EXPECT_TRUE(window->b);
    if (logged()) {
        // The backup comes after the enabling step and the read-only look-ups, before the first
        // statement.
        QStringList sent = batchesSince(before);
        sent.removeIf([](const QString &b) {
            return b.startsWith("select ") || b.startsWith("exec sp_configure") || b == "reconfigure";
        });
        ASSERT_FALSE(sent.isEmpty());
        EXPECT_TRUE(sent[0].startsWith("backup database " + targetDb)) << sent[0].toStdString();
        const QStringList statements = statementsSince(before).mid(1);
        ASSERT_EQ(statements.size(), 2);
        EXPECT_EQ(window->Memo1->toPlainText(), QString(statements.join("\n")).replace("\r\n", "\n"));
    } else {
        // Both definitions echoed, whichever order the server listed them in.
        EXPECT_TRUE(window->Memo1->toPlainText().contains(QString(kProcV1).replace("\r\n", "\n").trimmed()));
        EXPECT_TRUE(window->Memo1->toPlainText().contains(QString(kViewV1).replace("\r\n", "\n").trimmed()));
    }
}

TEST_F(RoutineSync, AFailingStatementUndoesWhatRanAndKeepsTheListingAndTheSelection)
{
    if (!servers->onSqlsim())
        GTEST_SKIP() << kNeedsFaults;
    onSample("create procedure a1 as select 1");
    onSample("create procedure a2 as select 2");
    onSample("create procedure a3 as select 3");
    press(&TForm43::Button9Click);
    ASSERT_EQ(rows(), 3);
    execOn("target", "master", "exec sqlsim_fault 'fail', 1, 'procedure a2', 2714, "
                               "'There is already an object named ''a2'' in the database.'");
    const QStringList sent = sync({0, 1, 2});
    ASSERT_EQ(errors().size(), 1);
    EXPECT_TRUE(errors()[0].contains("There is already an object named 'a2'")) << errors()[0].toStdString();
    EXPECT_EQ(rows(), 3);
    EXPECT_EQ(window->DBGrid1->selectionCount(), 3);
    EXPECT_EQ(notices(), QStringList());
    EXPECT_TRUE(errors()[0].contains(workflow::kTargetUnchanged));
    // What ran before the refused one is taken back with it.
    EXPECT_GE(sent.size(), 1);
    for (const char *name : {"a1", "a2", "a3"})
        EXPECT_EQ(targetType(name), "") << name;

    // The fault is spent: the same selection runs whole.
    sync({});
    EXPECT_EQ(errors().size(), 1);
    EXPECT_EQ(notices(), QStringList{"同步视图，存储过程完成！"});
    EXPECT_EQ(rows(), 0);
}

TEST_F(RoutineSync, OneRoundConvergesOnDefinitionsOfEveryShape)
{
    const auto longBody = [](int length) {
        QString body = "create procedure long_%1\r\nas\r\nselect 1 as v\r\n";
        body = body.arg(length);
        while (body.size() < length)
            body += "-- filler line to make the definition long enough for several text rows\r\n";
        return body;
    };
    const QStringList sample{
        "create procedure s_only as select 1",
        "create view s_only_view as select 1 as a",
        "create procedure changed\r\nas\r\nselect 'new' as v\r\n",
        "create procedure lower_case\r\nas\r\nselect 2 as v\r\n",
        "CREATE  PROC two_blanks\r\nAS\r\nSELECT 2 AS v\r\n",
        "-- header comment: CREATE PROC fake\r\nCREATE PROCEDURE header_comment\r\nAS\r\nSELECT 2 AS v\r\n",
        "CREATE PROCEDURE dashes_in_string\r\nAS\r\nSELECT '--not a comment' AS v, 2 AS w\r\n",
        "CREATE PROCEDURE block_comment\r\nAS\r\n/* CREATE VIEW x\r\n   GO\r\n*/\r\nSELECT 2 AS v\r\n",
        longBody(3000),
        longBody(9000),
        longBody(20000),
        "create view kind_swap as select 2 as a",
    };
    const QStringList target{
        "create procedure t_only as select 1",
        "create view t_only_view as select 1 as a",
        "create procedure changed\r\nas\r\nselect 'old' as v\r\n",
        "create procedure lower_case\r\nas\r\nselect 1 as v\r\n",
        "CREATE  PROC two_blanks\r\nAS\r\nSELECT 1 AS v\r\n",
        "CREATE PROCEDURE header_comment\r\nAS\r\nSELECT 1 AS v\r\n",
        "CREATE PROCEDURE dashes_in_string\r\nAS\r\nSELECT 1 AS v\r\n",
        "CREATE PROCEDURE block_comment\r\nAS\r\nSELECT 1 AS v\r\n",
        QString(longBody(3000)).replace("select 1", "select 0"),
        QString(longBody(9000)).replace("select 1", "select 0"),
        QString(longBody(20000)).left(5000).replace("select 1", "select 0"),
        "create procedure kind_swap as select 1",
    };
    for (const QString &sql : sample)
        onSample(sql);
    for (const QString &sql : target)
        onTarget(sql);

    press(&TForm43::Button9Click);
    ASSERT_EQ(errors(), QStringList());
    ASSERT_GT(rows(), 0);
    selectAll();
    press(&TForm43::Button10Click);
    ASSERT_EQ(errors(), QStringList());
    EXPECT_EQ(rows(), 0);
    for (const char *name : {"s_only", "s_only_view", "changed", "lower_case", "two_blanks", "header_comment",
                                "dashes_in_string", "block_comment", "long_3000", "long_9000", "long_20000",
                                "kind_swap", "t_only", "t_only_view"})
        EXPECT_EQ(targetDefinition(name).toLower(), sampleDefinition(name).toLower()) << name;
    EXPECT_EQ(targetType("kind_swap"), "V");
}
