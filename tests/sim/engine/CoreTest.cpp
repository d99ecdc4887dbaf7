// Logins, databases, configuration and batches, through the engine's contract.
#include "Recorder.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace sqlsim::test {
namespace {

using Core = EngineFixture;

TEST_F(Core, LoginChecksUserPasswordAndDatabase)
{
    LoginOutcome good = engine->login("alpha", {"SA", "sqlsim", "", "app", "host"});
    ASSERT_TRUE(good.session);
    EXPECT_EQ(good.session->currentDatabase(), "master");
    ASSERT_EQ(good.messages.size(), 2u);
    EXPECT_EQ(good.messages[0].number, 5701);
    EXPECT_EQ(good.messages[0].text, "Changed database context to 'master'.");
    EXPECT_FALSE(good.messages[0].isError());
    EXPECT_EQ(good.messages[1].text, "Changed language setting to us_english.");

    LoginOutcome badPassword = engine->login("alpha", {"sa", "SQLSIM", "", "app", "host"});
    EXPECT_FALSE(badPassword.session);
    ASSERT_EQ(badPassword.messages.size(), 1u);
    EXPECT_EQ(badPassword.messages[0].number, 18456);
    EXPECT_EQ(badPassword.messages[0].severity, 14);
    EXPECT_EQ(badPassword.messages[0].text, "Login failed for user 'sa'.");

    LoginOutcome badUser = engine->login("alpha", {"nobody", "x", "", "app", "host"});
    ASSERT_EQ(badUser.messages.size(), 1u);
    EXPECT_EQ(badUser.messages[0].text, "Login failed for user 'nobody'.");

    LoginOutcome noDb = engine->login("alpha", {"sa", "sqlsim", "nowhere", "app", "host"});
    EXPECT_FALSE(noDb.session);
    ASSERT_EQ(noDb.messages.size(), 2u);
    EXPECT_EQ(noDb.messages[0].number, 4060);
    EXPECT_EQ(noDb.messages[0].text, "Cannot open database \"nowhere\" requested by the login. The login failed.");
    EXPECT_EQ(noDb.messages[1].number, 18456);

    LoginOutcome shop = engine->login("alpha", {"sa", "sqlsim", "SHOP", "app", "host"});
    ASSERT_TRUE(shop.session);
    EXPECT_EQ(shop.session->currentDatabase(), "shop");
    EXPECT_EQ(shop.messages[0].text, "Changed database context to 'shop'.");

    // Without configured logins an instance has sa / sqlsim; instances keep their own logins.
    EXPECT_TRUE(engine->login("beta", {"sa", "sqlsim", "", "", ""}).session);
    EXPECT_FALSE(engine->login("beta", {"reader", "pw", "", "", ""}).session);
    EXPECT_FALSE(engine->login("gamma", {"sa", "sqlsim", "", "", ""}).session);
}

TEST_F(Core, SessionsGetDistinctSpids)
{
    auto a = connect();
    auto b = connect();
    EXPECT_NE(a->spid(), b->spid());
    Recorder r = ok(*a, "select @@spid");
    ASSERT_EQ(r.results.size(), 1u);
    EXPECT_EQ(text(r.results[0].rows[0][0]), std::to_string(a->spid()));
}

TEST_F(Core, DatabaseListOrderAndErrors)
{
    auto s = connect();
    ok(*s, "create database zeta");
    ok(*s, "CREATE DATABASE [alpha db]");
    Recorder r = ok(*s, "select name from master..sysdatabases ");
    ASSERT_EQ(r.results.size(), 1u);
    EXPECT_EQ(column(r.results[0], 0),
              (std::vector<std::string>{"master", "tempdb", "model", "msdb", "shop", "crm", "zeta", "alpha db"}));
    EXPECT_EQ(r.results[0].columns[0].name, "name");
    EXPECT_EQ(r.results[0].columns[0].type.id, TypeId::NVarChar);
    EXPECT_EQ(r.results[0].columns[0].type.length, 128);
    ASSERT_EQ(r.dones.size(), 1u);
    EXPECT_EQ(r.dones[0].rows, 8);

    Recorder ids = ok(*s, "select name, dbid from master..sysdatabases");
    EXPECT_EQ(column(ids.results[0], 1), (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "7", "8"}));
    EXPECT_EQ(ids.results[0].columns[1].type.id, TypeId::SmallInt);

    Recorder dup = run(*s, "create database ZETA");
    EXPECT_EQ(dup.errorNumbers(), std::vector<int>{1801});
    EXPECT_EQ(dup.firstError()->text, "Database 'ZETA' already exists. Choose a different database name.");

    ok(*s, "drop database zeta");
    Recorder gone = run(*s, "drop database zeta");
    EXPECT_EQ(gone.errorNumbers(), std::vector<int>{3701});
    EXPECT_EQ(gone.firstError()->text,
              "Cannot drop the database 'zeta', because it does not exist or you do not have permission.");
    EXPECT_EQ(run(*s, "drop database master").errorNumbers(), std::vector<int>{3708});
    ok(*s, "create database zeta");
    Recorder again = ok(*s, "select name from master.dbo.sysdatabases");
    EXPECT_EQ(column(again.results[0], 0).back(), "zeta");

    // Another instance has its own list.
    auto b = connect("beta");
    Recorder other = ok(*b, "select name from master..sysdatabases");
    EXPECT_EQ(column(other.results[0], 0), (std::vector<std::string>{"master", "tempdb", "model", "msdb"}));
}

TEST_F(Core, UseChangesDatabase)
{
    auto s = connect();
    Recorder r = ok(*s, "use shop");
    EXPECT_EQ(s->currentDatabase(), "shop");
    ASSERT_EQ(r.changes.size(), 1u);
    EXPECT_EQ(r.changes[0], (std::pair<std::string, std::string>{"master", "shop"}));
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0].number, 5701);
    EXPECT_EQ(r.messages[0].text, "Changed database context to 'shop'.");

    Recorder bad = run(*s, "use [no such]");
    EXPECT_EQ(bad.errorNumbers(), std::vector<int>{911});
    EXPECT_EQ(bad.firstError()->text, "Database 'no such' does not exist. Make sure that the name is entered correctly.");
    EXPECT_EQ(s->currentDatabase(), "shop");
    EXPECT_TRUE(bad.changes.empty());

    Recorder name = ok(*s, "select db_name()");
    EXPECT_EQ(text(name.results[0].rows[0][0]), "shop");
}

TEST_F(Core, ConfigureShowsAdvancedOptionsOnlyAfterReconfigure)
{
    auto s = connect();
    auto *inst = engine.get();
    (void)inst;
    Recorder hidden = run(*s, "exec sp_configure'Ad Hoc Distributed Queries',1");
    EXPECT_EQ(hidden.errorNumbers(), std::vector<int>{15123});
    EXPECT_EQ(hidden.firstError()->text,
              "The configuration option 'Ad Hoc Distributed Queries' does not exist, or it may be an advanced option.");

    Recorder show = ok(*s, "exec sp_configure'show advanced options',1");
    ASSERT_EQ(show.messages.size(), 1u);
    EXPECT_EQ(show.messages[0].number, 15457);
    EXPECT_FALSE(show.messages[0].isError());
    EXPECT_EQ(show.messages[0].text, "Configuration option 'show advanced options' changed from 0 to 1. "
                                     "Run the RECONFIGURE statement to install.");
    // Not yet in effect.
    EXPECT_EQ(run(*s, "exec sp_configure 'Ad Hoc Distributed Queries', 1").errorNumbers(), std::vector<int>{15123});
    ok(*s, "reconfigure");
    Recorder adhoc = ok(*s, "exec sp_configure'Ad Hoc Distributed Queries',1");
    EXPECT_EQ(adhoc.messages[0].text, "Configuration option 'Ad Hoc Distributed Queries' changed from 0 to 1. "
                                      "Run the RECONFIGURE statement to install.");
    Recorder listed = ok(*s, "exec sp_configure 'Ad Hoc Distributed Queries'");
    ASSERT_EQ(listed.results.size(), 1u);
    EXPECT_EQ(text(listed.results[0].rows[0][3]), "1");  // config_value
    EXPECT_EQ(text(listed.results[0].rows[0][4]), "0");  // run_value
    ok(*s, "reconfigure");
    listed = ok(*s, "exec sp_configure 'Ad Hoc Distributed Queries'");
    EXPECT_EQ(text(listed.results[0].rows[0][4]), "1");

    // Running the enabling statements again changes nothing and fails nothing.
    Recorder again = ok(*s, "exec sp_configure'show advanced options',1");
    EXPECT_EQ(again.messages[0].text, "Configuration option 'show advanced options' changed from 1 to 1. "
                                      "Run the RECONFIGURE statement to install.");

    EXPECT_EQ(run(*s, "exec sp_configure 'show advanced options', 7").errorNumbers(), std::vector<int>{15129});
    EXPECT_EQ(run(*s, "exec sp_configure 'show advanced options', 'yes'").errorNumbers(), std::vector<int>{8114});
    ok(*s, "exec sp_configure 'show advanced options', '1'");

    auto reader = connect("alpha", "reader", "pw");
    Recorder denied = run(*reader, "exec sp_configure'show advanced options',0");
    EXPECT_EQ(denied.errorNumbers(), std::vector<int>{15247});
    EXPECT_EQ(denied.firstError()->text, "User does not have permission to perform this action.");
    EXPECT_EQ(run(*reader, "reconfigure").errorNumbers(), std::vector<int>{5812});

    // Each instance has its own configuration.
    auto b = connect("beta");
    EXPECT_EQ(run(*b, "exec sp_configure'Ad Hoc Distributed Queries',1").errorNumbers(), std::vector<int>{15123});
}

TEST_F(Core, ConnectStatementsOfClientsSucceed)
{
    auto s = connect();
    const char *statements[] = {
        "SET TEXTSIZE 2147483647",
        "set ansi_nulls on set quoted_identifier on",
        "SET ANSI_NULLS, ANSI_PADDING, ANSI_WARNINGS ON; SET CONCAT_NULL_YIELDS_NULL ON",
        "set implicit_transactions off",
        "SET TRANSACTION ISOLATION LEVEL READ COMMITTED",
        "set dateformat mdy set datefirst 7 set language us_english",
        "SET LOCK_TIMEOUT -1",
        "select 1",
        "select @@version",
        "select @@servername, @@language, @@trancount",
        "SELECT SERVERPROPERTY('ProductVersion')",
        "select db_name(), user_name(), suser_sname()",
        "/* comment */ select 'a' -- trailing",
        "IF @@TRANCOUNT > 0 COMMIT TRAN",
        "set nocount on; IF @@TRANCOUNT > 0 ROLLBACK",
    };
    for (const char *sql : statements) {
        Recorder r = ok(*s, sql);
        EXPECT_FALSE(r.dones.empty()) << sql;
    }
    Recorder v = ok(*s, "select @@version");
    EXPECT_NE(text(v.results[0].rows[0][0]).find("Microsoft SQL Server"), std::string::npos);
    Recorder name = ok(*s, "select @@servername");
    EXPECT_EQ(text(name.results[0].rows[0][0]), "alpha");
    Recorder one = ok(*s, "select 1");
    EXPECT_EQ(one.results[0].columns[0].type.id, TypeId::Int);
    EXPECT_EQ(one.results[0].columns[0].name, "");
    // An expression's text is declared as long as its longest value in UTF-16 units.
    Recorder wide = ok(*s, "select N'\xF0\xA0\x80\x80\xE4\xB8\xADx' as t union all select N'ab'");
    EXPECT_EQ(wide.results[0].columns[0].type.id, TypeId::NVarChar);
    EXPECT_EQ(wide.results[0].columns[0].type.length, 4);
}

TEST_F(Core, UnknownStatementsFailClearly)
{
    auto s = connect();
    Recorder junk = run(*s, "frobnicate the database");
    EXPECT_EQ(junk.errorNumbers(), std::vector<int>{156});
    EXPECT_EQ(junk.firstError()->text, "Incorrect syntax near the keyword 'database'.");
    EXPECT_EQ(run(*s, "frobnicate").firstError()->text, "Could not find stored procedure 'frobnicate'.");
    ASSERT_EQ(junk.dones.size(), 1u);
    EXPECT_TRUE(junk.dones[0].error);

    Recorder setBad = run(*s, "set frobnicate on");
    EXPECT_EQ(setBad.errorNumbers(), std::vector<int>{195});

    Recorder unsupported = run(*s, "declare @x int");
    ASSERT_EQ(unsupported.errorNumbers().size(), 1u);
    EXPECT_NE(unsupported.firstError()->text.find("not supported by sqlsim"), std::string::npos);
    EXPECT_EQ(unsupported.firstError()->severity, 16);

    EXPECT_EQ(run(*s, "select 'abc").errorNumbers(), std::vector<int>{105});
    EXPECT_EQ(run(*s, "select [abc").errorNumbers(), std::vector<int>{105});
    EXPECT_EQ(run(*s, "select 1 /* open").errorNumbers(), std::vector<int>{113});
    EXPECT_EQ(run(*s, "exec sp_nothing").errorNumbers(), std::vector<int>{2812});
    EXPECT_EQ(run(*s, "select @@nothing").errorNumbers(), std::vector<int>{137});
    EXPECT_EQ(run(*s, "select nosuchfunction(1)").errorNumbers(), std::vector<int>{195});
}

TEST_F(Core, BatchRunsStatementsInOrderAndStopsWhereSqlServerDoes)
{
    auto s = connect();
    Recorder r = ok(*s, "select 1 select 'two'; use shop\nselect name from sysdatabases where dbid = 1");
    EXPECT_EQ(r.events, (std::vector<std::string>{"result", "done", "result", "done", "db shop", "msg 5701", "done",
                                                  "result", "done"}));

    // A statement-level error lets the batch go on.
    Recorder cont = run(*s, "create database shop\nselect 2");
    EXPECT_EQ(cont.events, (std::vector<std::string>{"msg 1801", "done error", "result", "done"}));

    // A missing object ends the batch.
    Recorder stop = run(*s, "select * from nosuch\nselect 2");
    EXPECT_EQ(stop.events, (std::vector<std::string>{"msg 208", "done error"}));
    EXPECT_EQ(stop.firstError()->text, "Invalid object name 'nosuch'.");

    // A syntax error anywhere means nothing runs.
    Recorder parse = run(*s, "create database never; frobnicate");
    EXPECT_EQ(parse.errorNumbers(), std::vector<int>{102});
    EXPECT_EQ(run(*s, "use never").errorNumbers(), std::vector<int>{911});

    Recorder empty = run(*s, "  -- nothing\n");
    EXPECT_TRUE(empty.messages.empty());
    EXPECT_EQ(empty.dones.size(), 1u);

    Recorder nocount = ok(*s, "set nocount on select 1");
    ASSERT_EQ(nocount.dones.size(), 2u);
    EXPECT_FALSE(nocount.dones[1].rows.has_value());
}

TEST_F(Core, NoexecCompilesUntilSetNoexecOff)
{
    auto s = connect();
    // Nothing runs and nothing fails at run time; SET NOEXEC OFF acts even in an IF branch.
    Recorder r = ok(*s, "set noexec on; select 1; create database never; select * from nosuch; "
                        "if 1 = 0 print 'x' else set noexec off; select 2");
    EXPECT_EQ(r.events, (std::vector<std::string>{"done", "done", "done", "done", "done", "done", "done", "result",
                                                  "done"}));
    EXPECT_EQ(run(*s, "use never").errorNumbers(), std::vector<int>{911});

    // Batches that do not parse still fail; other SET statements are compiled only.
    ok(*s, "set noexec on");
    EXPECT_EQ(run(*s, "select 1; frobnicate").errorNumbers(), std::vector<int>{102});
    EXPECT_EQ(run(*s, "set frobnicate on").errorNumbers(), std::vector<int>{195});
    Recorder skipped = ok(*s, "set rowcount 5; set nocount on; set xact_abort on; set noexec off");
    EXPECT_EQ(skipped.dones.size(), 4u);
    Recorder counted = run(*s, "select 1; create database d; use d; create table t(x int primary key); "
                               "insert into t values (1); insert into t values (1); insert into t values (2)");
    EXPECT_EQ(counted.errorNumbers(), std::vector<int>{2627});
    ASSERT_EQ(counted.dones.size(), 7u);  // XACT_ABORT stayed off: the batch went on
    EXPECT_EQ(counted.dones[0].rows, 1);  // and so did NOCOUNT
}

TEST_F(Core, AttentionStopsTheBatchQuietly)
{
    struct Cancelling : Recorder {
        bool cancelled() const override { return true; }
    } r;
    auto s = connect();
    s->executeBatch("select a.name from systypes a, systypes b select 1", r);
    EXPECT_TRUE(r.results.empty());
    EXPECT_TRUE(r.messages.empty());
}

TEST_F(Core, RunScriptSplitsAtGo)
{
    engine->runScript("beta", "\xEF\xBB\xBF" "create database one\nGO\n  go -- twice \ncreate database two\ngo\n"
                              "use two\ngo\ncreate table t (a int)\ngo\ninsert t values (1)\nGO 3\n");
    auto s = connect("beta");
    Recorder r = ok(*s, "select name from master..sysdatabases");
    EXPECT_EQ(column(r.results[0], 0).back(), "two");
    EXPECT_EQ(column(ok(*s, "select count(*) from two..t").results[0], 0), std::vector<std::string>{"3"});
    try {
        engine->runScript("beta", "create database three\ngo\ncreate database one\ngo\ncreate database four");
        FAIL() << "expected an error";
    } catch (const std::runtime_error &e) {
        EXPECT_EQ(std::string(e.what()), "batch 2: Msg 1801, Level 16, State 1, Line 1: Database 'one' already exists. "
                                         "Choose a different database name.");
    }
    Recorder after = ok(*s, "select name from master..sysdatabases");
    EXPECT_EQ(column(after.results[0], 0).back(), "three");
}

TEST_F(Core, SessionsRunConcurrently)
{
    // Many sessions at once create databases and read lists; nothing is lost or torn.
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int n = 0; n < 8; ++n) {
        threads.emplace_back([&, n] {
            auto s = engine->login("alpha", {"sa", "sqlsim", "", "", ""}).session;
            for (int k = 0; k < 10; ++k) {
                Recorder r;
                s->executeBatch("create database d" + std::to_string(n) + "_" + std::to_string(k) +
                                    " select name from master..sysdatabases",
                                r);
                if (r.firstError() || r.results.size() != 1) ++failures;
            }
        });
    }
    for (auto &t : threads) t.join();
    EXPECT_EQ(failures.load(), 0);
    auto s = connect();
    Recorder r = ok(*s, "select name from master..sysdatabases");
    EXPECT_EQ(r.results[0].rows.size(), 6u + 80u);
}

}  // namespace
}  // namespace sqlsim::test
