// User transactions across sessions: implicit mode, isolation, a closing session's rollback.
#include "Recorder.h"

namespace sqlsim::test {
namespace {

using Transactions = EngineFixture;

std::string scalar(const Recorder &r)
{
    return text(r.results.at(0).rows.at(0).at(0));
}

TEST_F(Transactions, ImplicitModeOpensOnTheStatementsSqlServerLists)
{
    auto s = connect();
    ok(*s, "create database d");
    ok(*s, "use d; set implicit_transactions on");
    const std::pair<const char *, const char *> steps[] = {
        {"select 1", "0"}, {"select @@trancount", "0"}, {"create table t(x int)", "1"},
        {"insert into t values (1)", "1"}, {"begin tran", "2"}, {"commit", "1"}, {"rollback", "0"},
        {"select * from sys.objects", "1"}, {"commit", "0"}};
    for (const auto &[sql, count] : steps) {
        ok(*s, sql);
        EXPECT_EQ(scalar(ok(*s, "select @@trancount")), count) << sql;
    }
    EXPECT_EQ(scalar(ok(*s, "select count(*) from sys.objects where name = 't'")), "0");
}

TEST_F(Transactions, OthersSeeCommittedWorkOnlyAndAClosedSessionRollsBack)
{
    auto a = connect();
    auto b = connect();
    ok(*a, "create database d; use d; create table t(x int primary key); insert into t values (1)");
    ok(*b, "use d");
    ok(*a, "begin tran; create table n(y int); insert into t values (2); update t set x = 10 where x = 1");
    EXPECT_EQ(scalar(ok(*a, "select count(*) from t where x in (2, 10)")), "2");
    EXPECT_EQ(scalar(ok(*b, "select count(*) from sys.objects where name = 'n'")), "0");
    EXPECT_EQ(scalar(ok(*b, "select sum(x) from t")), "1");
    a.reset();  // the connection ends with its transaction open
    ok(*b, "create table n(y int); insert into t values (3)");
    EXPECT_EQ(scalar(ok(*b, "select sum(x) from t")), "4");
}

}  // namespace
}  // namespace sqlsim::test
