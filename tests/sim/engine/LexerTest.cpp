// Tokens, statement splitting and scripts; and that no cut-off or mangled input crashes the engine.
#include "Recorder.h"
#include "ToolQueries.h"

#include "sim/engine/core/Lexer.h"

namespace sqlsim::test {
namespace {

std::vector<std::string> texts(const std::vector<Token> &tokens)
{
    std::vector<std::string> out;
    for (const Token &t : tokens)
        if (!t.is(Tok::End)) out.push_back(t.text);
    return out;
}

TEST(Lexer, ReadsTSqlLiteralsNamesAndComments)
{
    const auto t = tokenize("select N'it''s', 'a--b', [x]]y], \"q\", 0x1F, 0x, 1.5e3, @@spid, @v -- gone\n"
                            "/* outer /* nested */ still */ a.b<>c!=d");
    EXPECT_EQ(texts(t), (std::vector<std::string>{"select", "it's", ",", "a--b", ",", "x]y", ",", "q", ",", "1F", ",", "",
                                                  ",", "1.5e3", ",", "@@spid", ",", "@v", "a", ".", "b", "<>", "c", "!=",
                                                  "d"}));
    EXPECT_EQ(t[1].kind, Tok::NString);
    EXPECT_EQ(t[3].kind, Tok::String);
    EXPECT_EQ(t[5].kind, Tok::Quoted);
    EXPECT_EQ(t[9].kind, Tok::Hex);
    EXPECT_EQ(t[18].line, 2);
    // Non-ASCII names are identifiers.
    const auto cn = tokenize("select 表名1=d.name");
    EXPECT_EQ(cn[1].kind, Tok::Ident);
    EXPECT_EQ(cn[1].text, "表名1");
}

TEST(Lexer, UnclosedLiteralsAndCommentsAreErrors)
{
    const char *cases[] = {"select 'abc", "select N'abc", "select [abc", "select \"abc", "select 1 /* x", "select 1 /* /* */"};
    for (const char *sql : cases) {
        try {
            tokenize(sql);
            ADD_FAILURE() << sql;
        } catch (const SqlError &e) {
            EXPECT_TRUE(e.number == 105 || e.number == 113) << sql << ": " << e.number;
        }
    }
}

std::vector<std::string> statements(std::string_view sql)
{
    std::vector<std::string> out;
    for (const Statement &s : splitStatements(sql, tokenize(sql))) out.push_back(s.text);
    return out;
}

TEST(Lexer, SplitsBatchesIntoStatements)
{
    EXPECT_EQ(statements("set nocount on select 1; use shop\nselect a from t where x in (select y from u) union all select 2"),
              (std::vector<std::string>{"set nocount on", "select 1", "use shop",
                                        "select a from t where x in (select y from u) union all select 2"}));
    EXPECT_EQ(statements("alter table t drop column c\r\n alter table t add c int  identity(1,1)"),
              (std::vector<std::string>{"alter table t drop column c", "alter table t add c int  identity(1,1)"}));
    EXPECT_EQ(statements("alter table t alter column c int null"), std::vector<std::string>{"alter table t alter column c int null"});
    EXPECT_EQ(statements("alter table t add constraint f foreign key (a) references u(id) on delete set null "
                         "on update set default"),
              std::vector<std::string>{"alter table t add constraint f foreign key (a) references u(id) on delete "
                                       "set null on update set default"});
    EXPECT_EQ(statements("create table t (a int references u(id) on delete cascade on update no action) select 1"),
              (std::vector<std::string>{"create table t (a int references u(id) on delete cascade on update no action)",
                                        "select 1"}));
    // A view or procedure body runs to the end of the batch, semicolons and all.
    EXPECT_EQ(statements("create proc p as select 1; select 2\ndrop table x"),
              std::vector<std::string>{"create proc p as select 1; select 2\ndrop table x"});
    // IF with its condition, BEGIN, END and ELSE stand alone; CASE keeps its ELSE and END.
    EXPECT_EQ(statements("IF @@TRANCOUNT > 0 COMMIT TRAN select 1"),
              (std::vector<std::string>{"IF @@TRANCOUNT > 0", "COMMIT TRAN", "select 1"}));
    EXPECT_EQ(statements("if not exists (select 1) begin create table t (a int) select case when 1 = 1 then 1 "
                         "else 2 end end else begin tran"),
              (std::vector<std::string>{"if not exists (select 1)", "begin", "create table t (a int)",
                                        "select case when 1 = 1 then 1 else 2 end", "end", "else", "begin tran"}));
    EXPECT_EQ(statements("drop function if exists f if 1 = 1 alter table t drop column if exists c"),
              (std::vector<std::string>{"drop function if exists f", "if 1 = 1",
                                        "alter table t drop column if exists c"}));
    EXPECT_EQ(statements("exec sp_configure'show advanced options',1"),
              std::vector<std::string>{"exec sp_configure'show advanced options',1"});
}

TEST(Lexer, ScriptsSplitAtGoLines)
{
    EXPECT_EQ(splitScript("a\nGO\nb\n  go \r\nc\ngone\n"), (std::vector<std::string>{"a\n", "b\n", "c\ngone\n"}));
    EXPECT_TRUE(splitScript("go\n\ngo\n").empty());
}

// Every prefix of real statements, and some shuffles, either runs or fails with a message.
TEST_F(EngineFixture, CutOffStatementsNeverCrash)
{
    auto s = connect("alpha", "sa", "sqlsim", "shop");
    ok(*s, "exec sp_configure'show advanced options',1 reconfigure exec sp_configure'Ad Hoc Distributed Queries',1 "
           "reconfigure");
    const std::string prefix = remoteDbPrefix("127.0.0.1,14332", "sa", "sqlsim", "master");
    const std::vector<std::string> sources = {
        "create table t1 (id int identity(1,1) not null constraint pk1 primary key clustered, v varchar(max) "
        "default ('x'), d decimal(10,2) null, r int references t0(id))",
        "alter table t1 add constraint df1 default ((0)) for d",
        "alter table t1 alter column v  nvarchar\r\n(20)\r\nnot null",
        "select * into shop.dbo.t2 from " + prefix + ".dbo.t1 where 1=2",
        "exec sp_addextendedproperty @name=N'MS_Description', @value=N'x', @level0type=N'SCHEMA', @level0name=N'dbo', "
        "@level1type=N'TABLE', @level1name=N't1', @level2type=N'COLUMN', @level2name=N'v'",
        "backup database shop to disk = 'c:\\x' with init, name = 'n'",
        viewQuery(prefix, "shop"),
        columnQuery(prefix, remoteDbPrefix("127.0.0.1,14332", "sa", "sqlsim", "master"), "shop"),
    };
    const std::string deep = "select " + std::string(100000, '(') + "1" + std::string(100000, ')');
    EXPECT_EQ(run(*s, deep).errorNumbers(), std::vector<int>{191});
    EXPECT_EQ(run(*s, "select (((1)))").errorNumbers(), std::vector<int>{});
    for (const std::string &full : sources) {
        const auto tokens = tokenize(full);
        for (std::size_t n = 0; n + 1 < tokens.size(); n += (tokens.size() > 200 ? 7 : 1)) {
            const std::string cut = full.substr(0, tokens[n].end);
            Recorder r = run(*s, cut);
            EXPECT_FALSE(r.dones.empty()) << cut;
            for (std::size_t k = 0; k < r.dones.size(); ++k)
                if (r.dones[k].error) {
                    EXPECT_NE(r.firstError(), nullptr) << cut;
                }
        }
    }
}

}  // namespace
}  // namespace sqlsim::test
