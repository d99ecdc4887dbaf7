// Fault commands, the command line and the log's JSON encoding.
#include "sim/server/Cli.h"
#include "sim/server/EventLog.h"
#include "sim/server/Faults.h"

#include <gtest/gtest.h>

using namespace sqlsim::server;

TEST(Faults, ParsesEachAction)
{
    auto fail = parseFaultCommand("  EXEC sqlsim_fault 'fail', 2, N'backup database', 3201, 'Cannot open backup device ''C:\\x''.';");
    ASSERT_TRUE(fail);
    EXPECT_EQ(fail->fault.kind, Fault::Kind::Fail);
    EXPECT_EQ(fail->fault.remaining, 2);
    EXPECT_EQ(fail->fault.pattern, "backup database");
    EXPECT_EQ(fail->fault.number, 3201);
    EXPECT_EQ(fail->fault.text, "Cannot open backup device 'C:\\x'.");
    EXPECT_EQ(fail->fault.severity, 16);

    auto sev = parseFaultCommand("exec sqlsim_fault 'fail', 1, '', 1205, 'deadlock', 13");
    ASSERT_TRUE(sev);
    EXPECT_EQ(sev->fault.severity, 13);

    auto stall = parseFaultCommand("execute sqlsim_fault 'stall',1,'select',0.5");
    ASSERT_TRUE(stall);
    EXPECT_EQ(stall->fault.kind, Fault::Kind::Stall);
    EXPECT_DOUBLE_EQ(stall->fault.seconds, 0.5);

    auto drop = parseFaultCommand("exec sqlsim_fault 'DROP', 3, 'sysdatabases'");
    ASSERT_TRUE(drop);
    EXPECT_EQ(drop->fault.kind, Fault::Kind::Drop);

    auto clear = parseFaultCommand("exec sqlsim_fault 'clear'");
    ASSERT_TRUE(clear);
    EXPECT_TRUE(clear->clear);

    EXPECT_FALSE(parseFaultCommand("exec sp_configure 'show advanced options', 1"));
    EXPECT_FALSE(parseFaultCommand("select 'exec sqlsim_fault'"));
    EXPECT_FALSE(parseFaultCommand("exec sqlsim_faults 'clear'"));
}

TEST(Faults, BadArgumentsAreErrorsNotSilence)
{
    for (const char *bad : {"exec sqlsim_fault", "exec sqlsim_fault 'explode', 1, 'x'",
                            "exec sqlsim_fault 'fail', 0, 'x', 1, 't'", "exec sqlsim_fault 'fail', 1, 'x'",
                            "exec sqlsim_fault 'fail', 1.5, 'x', 1, 't'", "exec sqlsim_fault 'stall', 1, 'x', -1",
                            "exec sqlsim_fault 'drop', 1, 'x', 5", "exec sqlsim_fault 'drop' 1",
                            "exec sqlsim_fault 'drop', 1, 'x; select 1", "exec sqlsim_fault 'clear'; select 1",
                            "exec sqlsim_fault 'fail', 1, 'x', 1, 't', 5"})
        EXPECT_THROW(parseFaultCommand(bad), FaultSyntaxError) << bad;
}

TEST(Faults, TableCountsDownMatchingBatches)
{
    FaultTable table;
    table.apply(*parseFaultCommand("exec sqlsim_fault 'fail', 2, 'SysDatabases', 50001, 'boom'"));
    EXPECT_FALSE(table.take("select 1"));
    EXPECT_TRUE(table.take("select name from master..sysdatabases"));
    EXPECT_TRUE(table.take("SELECT * FROM SYSDATABASES"));
    EXPECT_FALSE(table.take("select * from sysdatabases"));

    table.apply(*parseFaultCommand("exec sqlsim_fault 'drop', 5, ''"));
    EXPECT_TRUE(table.take("anything"));
    table.apply(*parseFaultCommand("exec sqlsim_fault 'clear'"));
    EXPECT_FALSE(table.take("anything"));
}

TEST(Options, FullCommandLine)
{
    const Options o = parseOptions({"--server", "A=127.0.0.1:0", "--server", "B=127.0.0.1:14330",
                                    "--login", "A:u1:p:w:d", "--login", "A:u2:x:nosysadmin",
                                    "--database", "B:shop", "--init", "A:/tmp/a.sql",
                                    "--backup-dir", "A:/tmp/c", "--log", "/tmp/l", "--ready-file", "/tmp/r",
                                    "--browser", "127.0.0.1:1434"});
    ASSERT_EQ(o.instances.size(), 2u);
    EXPECT_EQ(o.instances[1].port, 14330);
    ASSERT_EQ(o.instances[0].logins.size(), 2u);
    EXPECT_EQ(o.instances[0].logins[0].password, "p:w:d");
    EXPECT_TRUE(o.instances[0].logins[0].sysadmin);
    EXPECT_EQ(o.instances[0].logins[1].user, "u2");
    EXPECT_FALSE(o.instances[0].logins[1].sysadmin);
    EXPECT_EQ(o.instances[1].databases, std::vector<std::string>{"shop"});
    EXPECT_EQ(o.inits.at(0).second, "/tmp/a.sql");
    EXPECT_EQ(o.instances[0].backupDir, "/tmp/c");
    EXPECT_EQ(o.readyFile, "/tmp/r");
    EXPECT_EQ(o.browserPort, 1434);
}

TEST(Options, MistakesAreReported)
{
    using Args = std::vector<std::string>;
    for (const Args &bad : {Args{}, Args{"--server", "A=10.0.0.1:1"}, Args{"--server", "A=127.0.0.1:99999"},
                            Args{"--server", "A"}, Args{"--server", "A=127.0.0.1:0", "--login", "B:u:p"},
                            Args{"--server", "A=127.0.0.1:0", "--database", "A"},
                            Args{"--server", "A=127.0.0.1:0", "--server", "A=127.0.0.1:0"},
                            Args{"--server", "A=127.0.0.1:0", "--log"}, Args{"--bogus", "x"},
                            Args{"--server", "A=127.0.0.1:0", "--browser", "0.0.0.0:1434"}})
        EXPECT_THROW(parseOptions(bad), UsageError);
}

TEST(Log, JsonStringsKeepTextExact)
{
    EXPECT_EQ(jsonString("a\"b\\c\r\n\t\x01"), "\"a\\\"b\\\\c\\r\\n\\t\\u0001\"");
    EXPECT_EQ(jsonString("\xe4\xb8\xad"), "\"\xe4\xb8\xad\"");
}
