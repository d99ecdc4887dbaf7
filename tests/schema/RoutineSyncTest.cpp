// Views and procedures: the keyword change, batch separators, the per-object decision, the
// look-up queries and the statements each object gets.

#include "db/ResultSet.h"
#include "schema/RoutineSync.h"
#include "schema/SqlText.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace dbsync::schema;

namespace {

RoutineDiffRow row(const char *kind, const QString &match, const char *name, const char *text = "")
{
    return {QString::fromUtf8(kind), match, QString::fromUtf8(name), QString::fromUtf8(text)};
}

std::string s(const QString &text)
{
    return text.toStdString();
}

}  // namespace

TEST(CreateToAlter, KeywordInAnyCaseAndSpacing)
{
    EXPECT_EQ(s(createToAlter("create procedure p as select 1")), "ALTER procedure p as select 1");
    EXPECT_EQ(s(createToAlter("CREATE  PROC p as select 1")), "ALTER  PROC p as select 1");
    EXPECT_EQ(s(createToAlter("Create\r\n\tView v as select 1 a")), "ALTER\r\n\tView v as select 1 a");
    EXPECT_EQ(s(createToAlter("CREATE PROC[dbo].[p] as select 1")), "ALTER PROC[dbo].[p] as select 1");
    EXPECT_EQ(s(createToAlter("CREATE /* why */ PROCEDURE p as select 1")), "ALTER /* why */ PROCEDURE p as select 1");
}

TEST(CreateToAlter, OnlyTheStatementsOwnKeyword)
{
    // Header comments, a CREATE in a string before the real one, nested block comments.
    const QString header = "-- create procedure old\r\n/* CREATE VIEW x /* nested CREATE PROC */ still comment */\r\n"
                           "CREATE PROCEDURE p as\r\nselect 'CREATE PROC q' -- CREATE VIEW\r\n";
    EXPECT_EQ(s(createToAlter(header)), "-- create procedure old\r\n/* CREATE VIEW x /* nested CREATE PROC */ still "
                                        "comment */\r\nALTER PROCEDURE p as\r\nselect 'CREATE PROC q' -- CREATE VIEW\r\n");
    // Only the first: the body's own create statements stay.
    EXPECT_EQ(s(createToAlter("create proc p as exec('x') create table t(a int)")),
              "ALTER proc p as exec('x') create table t(a int)");
    // The first CREATE is the statement's; when it is of another kind nothing changes.
    EXPECT_EQ(s(createToAlter("CREATE OR ALTER PROCEDURE p as select 1")), "CREATE OR ALTER PROCEDURE p as select 1");
    EXPECT_EQ(s(createToAlter("CREATE FUNCTION f() returns int as begin return 1 end")),
              "CREATE FUNCTION f() returns int as begin return 1 end");
    // Words that merely start with the keywords are no match.
    EXPECT_EQ(s(createToAlter("CREATED PROC")), "CREATED PROC");
    EXPECT_EQ(s(createToAlter("CREATE PROCESS")), "CREATE PROCESS");
    EXPECT_EQ(s(createToAlter("[CREATE] PROC")), "[CREATE] PROC");
    EXPECT_EQ(s(createToAlter("\"create\" view")), "\"create\" view");
    EXPECT_EQ(s(createToAlter("")), "");
}

TEST(CreateToAlter, StringsWithQuotesAndDashesStayWhole)
{
    const QString text = "CREATE PROC p as\nselect 'it''s -- not a comment', N'CREATE VIEW'\n-- done";
    EXPECT_EQ(s(createToAlter(text)), "ALTER PROC p as\nselect 'it''s -- not a comment', N'CREATE VIEW'\n-- done");
    const QList<SqlCharKind> kinds = classifySql("a'x''--'b");
    EXPECT_EQ(kinds[0], SqlCharKind::Code);
    EXPECT_EQ(kinds[5], SqlCharKind::Quoted);  // the "--" inside the literal
    EXPECT_EQ(kinds[8], SqlCharKind::Code);
    // An unclosed comment runs to the end.
    const QList<SqlCharKind> open = classifySql("x /* y");
    EXPECT_EQ(open.back(), SqlCharKind::Comment);
}

TEST(BatchSeparators, OnlyGoAloneOnItsLineInLiveCode)
{
    EXPECT_EQ(s(withoutBatchSeparators("create proc p as select 1\r\nGO\r\n")), "create proc p as select 1\r\n");
    EXPECT_EQ(s(withoutBatchSeparators("a\n  go \nb\rGo\rc")), "a\nb\rc");
    // GO with more on the line, GO inside a block comment or a string: kept.
    const QString kept = "a\nGO;\nGOTO x\n/*\nGO\n*/\nselect '\nGO\n'\nGO -- end";
    EXPECT_EQ(s(withoutBatchSeparators(kept)), s(kept));
    EXPECT_EQ(s(withoutBatchSeparators("GO\r\nGO")), "");
}

TEST(RoutineStatements, DefinitionIsExecutedWithItsOwnText)
{
    // A "--" in a string, line breaks and comments all survive; only the keyword changes.
    const QString definition = "/* header */\r\nCREATE PROCEDURE p\r\nas\r\nselect '--x' -- note\r\nselect 2\r\n";
    EXPECT_EQ(s(alterRoutineStatement(definition)),
              "/* header */\r\nALTER PROCEDURE p\r\nas\r\nselect '--x' -- note\r\nselect 2\r\n");
    EXPECT_EQ(s(createRoutineStatement(definition)), s(definition));
    EXPECT_EQ(s(dropRoutineStatement("P", "p1")), "DROP PROCEDURE p1 ");
    EXPECT_EQ(s(dropRoutineStatement("V", "v1")), "DROP view v1 ");
    EXPECT_EQ(s(dropRoutineStatement("P", "my proc")), "DROP PROCEDURE [my proc] ");
    EXPECT_EQ(s(dropRoutineStatement("V", "a]b")), "DROP view [a]]b] ");
}

TEST(RoutineDecision, EveryCombinationOfSides)
{
    EXPECT_EQ(decideRoutine({"P", "P"}), RoutineAction::Alter);
    EXPECT_EQ(decideRoutine({"V", "V"}), RoutineAction::Alter);
    EXPECT_EQ(decideRoutine({"P", ""}), RoutineAction::Create);
    EXPECT_EQ(decideRoutine({"V", ""}), RoutineAction::Create);
    EXPECT_EQ(decideRoutine({"", "P"}), RoutineAction::Drop);
    EXPECT_EQ(decideRoutine({"", "V"}), RoutineAction::Drop);
    EXPECT_EQ(decideRoutine({"V", "P"}), RoutineAction::DropThenCreate);
    EXPECT_EQ(decideRoutine({"P", "V"}), RoutineAction::DropThenCreate);
    EXPECT_EQ(decideRoutine({"", ""}), RoutineAction::None);
}

TEST(RoutineDecision, EachObjectOnceWhateverItsRows)
{
    const QList<RoutineDiffRow> rows = {
        row("存储过程", kTextDiffers, "big"),        // text row 2 differs
        row("存储过程", kSampleMissing, "big"),      // the target has a surplus text row 3
        row("视图", kTargetMissing, "both"),         // a view in the sample ...
        row("存储过程", kSampleMissing, "both"),     // ... a procedure in the target
        row("存储过程", kSampleMissing, "gone"),
        row("存储过程", kSampleMissing, "Gone"),     // names compare without case
        row("视图", kTargetMissing, "fresh"),
        row("其他", kTargetMissing, "odd"),          // not a listing value: no action
        row("视图", "相同", "odd2"),
    };
    EXPECT_EQ(routineObjectNames(rows), (QStringList{"big", "both", "gone", "fresh"}));
    const RoutineCatalogue catalogue = {
        {"big", {"P", "P"}}, {"both", {"V", "P"}}, {"gone", {"", "P"}}, {"fresh", {"V", ""}}};
    const QList<RoutinePlan> plans = planRoutines(rows, catalogue);
    ASSERT_EQ(plans.size(), 4);
    EXPECT_EQ(plans[0].action, RoutineAction::Alter);
    EXPECT_EQ(plans[1].action, RoutineAction::DropThenCreate);
    EXPECT_EQ(plans[2].action, RoutineAction::Drop);
    EXPECT_EQ(plans[3].action, RoutineAction::Create);
    EXPECT_TRUE(needsDefinition(plans[0].action));
    EXPECT_TRUE(needsDefinition(plans[1].action));
    EXPECT_FALSE(needsDefinition(plans[2].action));
}

TEST(RoutineDecision, StepsPerAction)
{
    const QString view = "create view both as select 1 a\r\nGO\r\n";
    const auto steps = [](RoutineAction action, RoutineSides sides, const QString &def) {
        return routineSteps({"both", sides, action}, def);
    };
    const QList<SyncStep> swap = steps(RoutineAction::DropThenCreate, {"V", "P"}, view);
    ASSERT_EQ(swap.size(), 2);
    EXPECT_EQ(swap[0].lines, QStringList{"DROP PROCEDURE both "});
    EXPECT_EQ(swap[1].lines, QStringList{"create view both as select 1 a\r\n"});
    for (const SyncStep &step : swap) {
        EXPECT_EQ(step.runner, StepRunner::ADOQuery3);
        EXPECT_TRUE(echoes(step, true));
        EXPECT_FALSE(echoes(step, false));
    }
    EXPECT_EQ(steps(RoutineAction::Alter, {"V", "V"}, view)[0].lines, QStringList{"ALTER view both as select 1 a\r\n"});
    EXPECT_EQ(steps(RoutineAction::Create, {"V", ""}, view)[0].lines, QStringList{"create view both as select 1 a\r\n"});
    EXPECT_EQ(steps(RoutineAction::Drop, {"", "V"}, "")[0].lines, QStringList{"DROP view both "});
    EXPECT_TRUE(steps(RoutineAction::None, {"", ""}, view).isEmpty());
    // Nothing to create (no readable definition, or only separators): nothing runs, and the
    // target's object of the other type is not dropped for nothing.
    EXPECT_TRUE(steps(RoutineAction::Create, {"P", ""}, "GO\r\n").isEmpty());
    EXPECT_TRUE(steps(RoutineAction::DropThenCreate, {"V", "P"}, "").isEmpty());
}

TEST(RoutineLookups, SidesQueryAndItsAnswer)
{
    const QString prefix = "OPENDATASOURCE('SQLOLEDB','Data Source=h;User ID=u;Password=p').s.dbo.";
    const QStringList lines = routineSidesQueryLines(prefix, "t]x", {"p1", "o'k"});
    EXPECT_EQ(lines, (QStringList{
                         "select side='S',name,xtype from " + prefix
                             + "sysobjects where xtype in('V','P') and status>=0 and name in(N'p1',N'o''k')",
                         "union all",
                         "select side='T',name,xtype from [t]]x]..sysobjects where xtype in('V','P') and status>=0 "
                         "and name in(N'p1',N'o''k')",
                     }));
    dbsync::ResultSet answer({"side", "name", "xtype"});
    answer.appendRow({"S", "P1", "P "});
    answer.appendRow({"T", "p1", "V "});
    answer.appendRow({"T", "only", "P "});
    const RoutineCatalogue catalogue = readRoutineSides(answer);
    EXPECT_EQ(catalogue.value("p1"), (RoutineSides{"P", "V"}));
    EXPECT_EQ(catalogue.value("only"), (RoutineSides{"", "P"}));
}

TEST(RoutineLookups, WholeDefinitionFromTextRowsInOrder)
{
    const QString prefix = "X.s.dbo.";
    EXPECT_EQ(routineDefinitionQueryLines(prefix, "big"),
              (QStringList{"select b.text from X.s.dbo.sysobjects a,X.s.dbo.syscomments b",
                           "where a.id=b.id and a.xtype in('V','P') and a.status>=0 and a.name=N'big'",
                           "order by b.colid"}));
    // A 9,000-character definition comes as three text rows; joined they give it back whole,
    // also where a row boundary falls inside a keyword or a string.
    QString definition = "CREATE PROCEDURE big as\r\nselect '";
    while (definition.size() < 9000)
        definition += "abc -- def\r\n";
    definition += "'\r\n";
    dbsync::ResultSet rows({"text"});
    for (qsizetype at = 0; at < definition.size(); at += 4000)
        rows.appendRow({definition.mid(at, 4000)});
    ASSERT_EQ(rows.rowCount(), 3);
    const QString joined = joinDefinition(rows);
    EXPECT_EQ(joined, definition);
    const QString altered = alterRoutineStatement(joined);
    EXPECT_TRUE(altered.startsWith("ALTER PROCEDURE big as\r\n"));
    EXPECT_EQ(altered.mid(5), definition.mid(6));
}

TEST(RoutineLookups, DefinitionsAreReadOnlyWhereNeededAndInPlanOrder)
{
    const QList<RoutinePlan> plans = {{"gone", {"", "P"}, RoutineAction::Drop},
                                      {"v", {"V", "P"}, RoutineAction::DropThenCreate},
                                      {"p", {"P", "P"}, RoutineAction::Alter}};
    QStringList asked;
    const QList<SyncStep> steps = routineSyncSteps(plans, [&](const QString &name) {
        asked.append(name);
        return name == "v" ? QString("CREATE VIEW v AS SELECT 1 a") : QString("create proc p as select 2");
    });
    EXPECT_EQ(asked, (QStringList{"v", "p"}));
    QStringList texts;
    for (const SyncStep &step : steps)
        texts += step.lines;
    EXPECT_EQ(texts, (QStringList{"DROP PROCEDURE gone ", "DROP PROCEDURE v ", "CREATE VIEW v AS SELECT 1 a",
                                  "ALTER proc p as select 2"}));
    // A failing read ends the walk there.
    EXPECT_THROW(routineSyncSteps(plans, [](const QString &) -> QString { throw std::runtime_error("gone"); }),
                 std::runtime_error);
    EXPECT_TRUE(routineSidesQueryLines("X.s.dbo.", "t", {}).isEmpty());
}

TEST(RoutineDecision, OneTextRowObjectsGetTheListingsOwnDecision)
{
    struct Case {
        const char *kind;
        QString match;
        RoutineSides sides;  // what the catalogues hold for such a row
        const char *statement;
    };
    const QString proc = "Create Procedure x as select 1";
    const QString view = "create view x as select 1 a";
    const Case cases[] = {
        {"存储过程", kTextDiffers, {"P", "P"}, "ALTER Procedure x as select 1"},
        {"存储过程", kTargetMissing, {"P", ""}, "Create Procedure x as select 1"},
        {"存储过程", kSampleMissing, {"", "P"}, "DROP PROCEDURE x "},
        {"视图", kTextDiffers, {"V", "V"}, "ALTER view x as select 1 a"},
        {"视图", kTargetMissing, {"V", ""}, "create view x as select 1 a"},
        {"视图", kSampleMissing, {"", "V"}, "DROP view x "},
    };
    for (const Case &c : cases) {
        const QList<RoutinePlan> plans = planRoutines({row(c.kind, c.match, "x")}, {{"x", c.sides}});
        ASSERT_EQ(plans.size(), 1);
        const QList<SyncStep> steps = routineSteps(plans[0], c.sides.sampleType == "V" ? view : proc);
        ASSERT_EQ(steps.size(), 1) << c.statement;
        EXPECT_EQ(s(steps[0].lines.join("|")), c.statement);
    }
    EXPECT_TRUE(planRoutines({row("视图", "其他", "x")}, {{"x", {"V", "V"}}}).isEmpty());
}
