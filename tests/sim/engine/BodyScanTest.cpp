// What a module's body names, as dependencies and binding see it.
#include <gtest/gtest.h>

#include <set>

#include "sim/engine/modules/BodyScan.h"
#include "sim/engine/modules/Modules.h"

namespace sqlsim::test {
namespace {

// "schema.name" per reference, with ! for EXEC, () for a call and ~ when not a FROM source; sorted.
std::string scan(const std::string &sql)
{
    const std::vector<Token> tokens = tokenize(sql);
    Statement st = splitStatements(sql, tokens).front();
    std::set<std::string> names;
    for (const BodyRef &r : scanBody(st, bodyStart(st.tokens, 2)))
        names.insert((r.schema.empty() ? "" : r.schema + ".") + r.name + (r.exec ? "!" : "") + (r.call ? "()" : "") +
                     (r.source ? "" : "~"));
    std::string out;
    for (const std::string &n : names) out += (out.empty() ? "" : " ") + n;
    return out;
}

TEST(BodyScan, NamesWhatTheBodyReadsWritesAndCalls)
{
    const std::pair<const char *, const char *> cases[] = {
        {"create view v as select a.x from dbo.A a join B as b on b.x = a.x, C, Db.dbo.D d where 1 = 1",
         "B C dbo.A dbo.D"},
        {"create view v (p, q) with schemabinding as select x, dbo.f(x) from dbo.A where x in (select y from E)",
         "E dbo.A dbo.f()~"},
        {"create proc p @a int as insert into T1 (x) select 1; update T2 set x = 1; delete T3; delete from T4; "
         "exec dbo.other; execute @r = P2 1; merge into T5 using T6 s on 1 = 1 when matched then delete;",
         "P2!~ T1~ T2~ T3~ T4~ T5~ T6 dbo.other!~"},
        // Table variables, temporary tables, CTEs, inserted/deleted and aliases are no objects.
        {"create trigger tr on T after update as with c as (select * from inserted) update o set x = 1 "
         "from Orders o join c on c.id = o.id join deleted d on 1 = 1; insert into #tmp select 1; "
         "insert into @t select * from dbo.tvf(1) f",
         "Orders dbo.tvf()"},
        {"create function f(@a as int) returns @t table (x int) as begin insert @t select x from T; return end",
         "T"},
    };
    for (const auto &[sql, expected] : cases)
        EXPECT_EQ(scan(sql), expected) << sql;
}

TEST(BodyScan, FindsTheBodyAndSchemaBinding)
{
    const auto t = tokenize("create function f(@a AS int) returns int with schemabinding, returns null on null "
                            "input as begin return 1 end");
    const std::size_t body = bodyStart(t, 2);
    ASSERT_NE(body, 0u);
    EXPECT_TRUE(t[body].kw("begin"));
    EXPECT_TRUE(schemaBound(t, 2, body));
    const auto v = tokenize("create view v as select schemabinding from T");
    EXPECT_FALSE(schemaBound(v, 2, bodyStart(v, 2)));
}

// DROP TYPE's look into bodies: a variable, a table variable's or returned table's column, or a
// CAST/CONVERT target of the type uses it; the same name as a column, alias, variable or string does not.
TEST(BodyScan, SeesWhereABodyUsesAnAliasType)
{
    const char *const users[] = {
        "create proc p as declare @a int = (select count(*) from T), @b as [dbo].[code]; select 1",
        "create proc p as declare @a int = 1, @b varchar(10) = 'x'\n, @c Code select 1",
        "create view v as select cast(a + (1) as Code) as c from T",
        "create view v as select try_convert(dbo.Code, a, 1) from T",
        "create proc p as select 'it''s",  // a body the lexer cannot read: treated as a user
    };
    for (const char *sql : users)
        EXPECT_TRUE(moduleUsesType(sql, "Code")) << sql;
    const char *const others[] = {
        "create proc p @Code int as declare @Code2 int, @c cursor for select Code from T; select @Code as Code",
        "create proc p as declare @a int = 1 select @b, @a Code, 'Code', cast(a as int) as Code from Code",
        "create function f() returns @t table (Code int, x as Code + 1, primary key (Code)) as begin return end",
        "create view v as select cast((select a as Code from T) as int) as b, convert(int, Code) from T",
        "create proc p as declare @a other.Code, @b Code.x",
    };
    for (const char *sql : others)
        EXPECT_FALSE(moduleUsesType(sql, "Code")) << sql;
}

}  // namespace
}  // namespace sqlsim::test
