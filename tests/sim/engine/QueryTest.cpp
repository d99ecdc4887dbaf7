// The tool's comparison queries against a sample and a target database with one deliberate
// difference of each kind; the expected rows are written out from the comparison rules.
#include "Recorder.h"
#include "GoldenFixture.h"
#include "ToolQueries.h"

#include <algorithm>
#include <string>

namespace sqlsim::test {
namespace {

const std::string sampleScript = std::string("create database sample\ngo\nuse sample\ngo\n") + kGoldenSampleObjects;

const std::string targetScript = std::string("create database target\ngo\nuse target\ngo\n") + kGoldenTargetObjects;

class ToolQueries : public ::testing::Test {
protected:
    void SetUp() override
    {
        engine = Engine::create();
        InstanceConfig target;
        target.name = "target_srv";
        engine->addInstance(target);
        engine->setInstancePort("target_srv", 14331);
        InstanceConfig sample;
        sample.name = "sample_srv";
        sample.logins = {{"up", "secret", true}};
        engine->addInstance(sample);
        engine->setInstancePort("sample_srv", 14332);
        engine->runScript("sample_srv", sampleScript);
        engine->runScript("target_srv", targetScript);
        session = engine->login("target_srv", {"sa", "sqlsim", "", "", ""}).session;
        ASSERT_TRUE(session);
    }

    Recorder run(const std::string &sql)
    {
        Recorder r;
        session->executeBatch(sql, r);
        return r;
    }

    void enable()
    {
        for (const char *sql : {"exec sp_configure'show advanced options',1", "reconfigure",
                                "exec sp_configure'Ad Hoc Distributed Queries',1", "reconfigure"}) {
            Recorder r = run(sql);
            ASSERT_EQ(r.firstError(), nullptr) << sql;
        }
    }

    const std::string db = remoteDbPrefix("127.0.0.1,14332", "up", "secret", "sample");
    const std::string schema = db + ".dbo.";
    std::unique_ptr<Engine> engine;
    std::unique_ptr<Session> session;
};

std::vector<std::string> joined(const ResultSet &rs, std::vector<std::size_t> columns)
{
    std::vector<std::string> out;
    for (const Row &r : rs.rows) {
        std::string line;
        for (std::size_t k = 0; k < columns.size(); ++k) line += (k ? "|" : "") + text(r.at(columns[k]));
        out.push_back(line);
    }
    return out;
}

TEST_F(ToolQueries, RemoteReadsNeedAdHocQueriesAndAValidLogin)
{
    Recorder off = run("select name from " + schema + "sysobjects");
    EXPECT_EQ(off.errorNumbers(), std::vector<int>{15281});
    enable();
    Recorder on = run("select name from " + schema + "sysobjects where xtype='U' order by name");
    ASSERT_EQ(on.firstError(), nullptr);
    EXPECT_EQ(column(on.results[0], 0), (std::vector<std::string>{"child", "common", "only_s", "pk_t"}));

    // By name too, and a failed provider login is reported as SQL Server does.
    EXPECT_EQ(run("select name from " + remoteDbPrefix("sample_srv", "up", "secret", "sample") + ".dbo.sysobjects")
                  .firstError(),
              nullptr);
    Recorder badLogin = run("select name from " + remoteDbPrefix("127.0.0.1,14332", "up", "wrong", "sample") +
                            ".dbo.sysobjects");
    EXPECT_EQ(badLogin.errorNumbers(), std::vector<int>{7303});
    ASSERT_FALSE(badLogin.messages.empty());
    EXPECT_EQ(badLogin.messages[0].number, 7412);
    EXPECT_NE(badLogin.messages[0].text.find("Login failed for user 'up'."), std::string::npos);
    EXPECT_EQ(run("select name from " + remoteDbPrefix("127.0.0.1,1", "up", "secret", "sample") + ".dbo.sysobjects")
                  .errorNumbers(),
              std::vector<int>{7303});
    EXPECT_EQ(run("select name from " + remoteDbPrefix("127.0.0.1,14332", "up", "secret", "nodb") + ".dbo.sysobjects")
                  .errorNumbers(),
              std::vector<int>{7314});
    // A quote in a value ends the provider string early: a syntax error, not a crash.
    EXPECT_EQ(run("select name from " + remoteDbPrefix("127.0.0.1,14332", "up", "se'cret", "sample") + ".dbo.sysobjects")
                  .errorNumbers()
                  .size(),
              1u);
}

TEST_F(ToolQueries, ViewAndProcedureDifferences)
{
    // A procedure over two text rows on the sample, the first of them alone on the target.
    std::string longProc = "create proc p_long as\r\n";
    while (longProc.size() < 6000) longProc += "select 'padding padding padding'\r\n";
    Recorder r1;
    auto sample = engine->login("sample_srv", {"up", "secret", "sample", "", ""}).session;
    sample->executeBatch(longProc, r1);
    ASSERT_EQ(r1.firstError(), nullptr);
    Recorder r2;
    auto target = engine->login("target_srv", {"sa", "sqlsim", "target", "", ""}).session;
    target->executeBatch(longProc.substr(0, 4000), r2);
    ASSERT_EQ(r2.firstError(), nullptr);

    enable();
    Recorder r = run(viewQuery(schema, "target"));
    ASSERT_EQ(r.firstError(), nullptr) << r.firstError()->text;
    ASSERT_EQ(r.results.size(), 1u);
    const ResultSet &rs = r.results[0];
    std::vector<std::string> names;
    for (const Column &c : rs.columns) names.push_back(c.name);
    EXPECT_EQ(names, (std::vector<std::string>{"类型", "匹配情况", "对象名称", "atext", "btext"}));
    auto rows = joined(rs, {0, 1, 2, 3, 4});
    std::sort(rows.begin(), rows.end());
    std::vector<std::string> expected = {
        "存储过程|源无|p_target|NULL|create proc p_target as select 1\n",
        "存储过程|源无|x_kind|NULL|create proc x_kind as select 1\n",
        "存储过程|目标无|p_long|" + longProc.substr(4000) + "|NULL",
        "存储过程|目标无|p_sample|create proc p_sample as select 1\n|NULL",
        "视图|目标无|x_kind|create view x_kind as select 1 as a\n|NULL",
        "视图|结构不同|v_diff|create view v_diff as select 1 as a\n|create view v_diff as select 2 as a\n",
    };
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(rows, expected);
    EXPECT_EQ(rs.columns[3].type.id, TypeId::NVarChar);
}

TEST_F(ToolQueries, ColumnDifferencesCarryEveryReachableCode)
{
    enable();
    Recorder r = run(columnQuery(schema, db, "target"));
    ASSERT_EQ(r.firstError(), nullptr) << r.firstError()->text;
    ASSERT_EQ(r.results.size(), 1u);
    const ResultSet &rs = r.results[0];
    ASSERT_EQ(rs.columns.size(), 29u);
    std::vector<std::string> names;
    for (const Column &c : rs.columns) names.push_back(c.name);
    EXPECT_EQ(names, (std::vector<std::string>{"比较结果", "表名1", "字段名", "外键", "序号", "主键名", "标识", "主键", "类型",
                                               "占用字节数", "长度", "小数位数", "允许空", "默认值", "字段说明",
                                               "表名2", "字段名", "外键2", "序号", "主键名2", "标识", "主键", "类型",
                                               "占用字节数", "长度", "小数位数", "允许空", "默认值", "字段说明"}));
    // Code, sample table and column, target table and column, in listing order.
    EXPECT_EQ(joined(rs, {0, 1, 2, 15, 16}),
              (std::vector<std::string>{
                  "10|common|c_ident|common|c_ident",
                  "5|common|c_type|common|c_type",
                  "5|common|c_null|common|c_null",
                  "5|common|c_len|common|c_len",
                  "9|common|c_scale|common|c_scale",
                  "8|common|c_def|common|c_def",
                  " 字段说明不同 |common|c_desc|common|c_desc",
                  "4|common|c_only_s|NULL|NULL",
                  "3|NULL|NULL|common|c_only_t",
                  "2|only_s|x|NULL|NULL",
                  "1|NULL|NULL|only_t|y",
                  "6|pk_t|id|pk_t|id",
              }));
    // The values behind a few codes, sample side then target side.
    EXPECT_EQ(joined(rs, {6, 8, 9, 10, 11, 12, 13, 14})[0], "1|int|4|10|0|0||");
    EXPECT_EQ(joined(rs, {20, 22, 23, 24, 25, 26, 27, 28})[0], "0|int|4|10|0|0||");
    EXPECT_EQ(joined(rs, {9, 10, 23, 24})[3], "10|10|20|20");
    EXPECT_EQ(joined(rs, {11, 25})[4], "2|4");
    EXPECT_EQ(joined(rs, {13, 27})[5], "((0))|((1))");
    EXPECT_EQ(joined(rs, {14, 28})[6], "a|b");
    EXPECT_EQ(joined(rs, {4, 18})[8], "NULL|11");  // a dropped column's id is not reused
    const std::string pkRow = joined(rs, {5, 7, 19, 21})[11];
    EXPECT_EQ(pkRow.substr(0, 10), "PK__pk_t__");
    EXPECT_EQ(pkRow.substr(pkRow.size() - 9), "|1|NULL|0");
    EXPECT_EQ(rs.columns[1].type.id, TypeId::NVarChar);
    EXPECT_EQ(rs.columns[1].type.length, 128);
    EXPECT_EQ(rs.columns[13].type.id, TypeId::NVarChar);  // 默认值: isnull over syscomments.text
    EXPECT_EQ(rs.columns[13].type.length, 4000);
    EXPECT_EQ(rs.columns[14].type.id, TypeId::SqlVariant);  // 字段说明: isnull over a sql_variant
    EXPECT_EQ(rs.columns[28].type.id, TypeId::SqlVariant);
    EXPECT_EQ(rs.columns[6].type.id, TypeId::Int);
    EXPECT_EQ(rs.columns[9].type.id, TypeId::SmallInt);

    // The refresh form drops the position fields and sorts by table only.
    Recorder refresh = run(columnQuery(schema, db, "target", true));
    ASSERT_EQ(refresh.firstError(), nullptr) << refresh.firstError()->text;
    EXPECT_EQ(refresh.results[0].columns.size(), 27u);
    EXPECT_EQ(refresh.results[0].rows.size(), 12u);
}

TEST_F(ToolQueries, SynchronisingStatementsChangeTheListing)
{
    enable();
    auto target = engine->login("target_srv", {"sa", "sqlsim", "target", "", ""}).session;
    const char *statements[] = {
        // code 2, 1, 4, 3, 10, 5, 9, 8, 6 as the synchronisation builds them
        nullptr,
        "DROP TABLE target.dbo.only_t",
        "alter table target.dbo.common add c_only_s  int\r\nnull\r\n",
        "alter table target.dbo.common drop column c_only_t",
        "alter table target.dbo.common drop column c_ident\r\n alter table target.dbo.common add c_ident int  identity(1,1)",
        "alter table target.dbo.common alter column c_type  int\r\nnull\r\n",
        "alter table target.dbo.common alter column c_null  int\r\nnot null\r\n",
        "alter table target.dbo.common alter column c_len  varchar\r\n(10)\r\nnull\r\n",
        "alter table target.dbo.common alter column c_scale  decimal\r\n(10,2)\r\nnull\r\n",
        "alter table target.dbo.pk_t Add constraint pk_pk_t primary key (id)\r\n",
    };
    Recorder copy;
    target->executeBatch("select * into target.dbo.only_s from " + schema + "only_s where 1=2\r\n", copy);
    ASSERT_EQ(copy.firstError(), nullptr) << copy.firstError()->text;
    for (const char *sql : statements) {
        if (!sql) continue;
        Recorder r;
        target->executeBatch(sql, r);
        ASSERT_EQ(r.firstError(), nullptr) << sql << ": " << r.firstError()->text;
    }
    // The default: the old one goes first, as the tool drops it before adding.
    Recorder def = run(columnQuery(schema, db, "target"));
    ASSERT_EQ(def.firstError(), nullptr);
    std::vector<std::string> left = joined(def.results[0], {0, 2, 16});
    EXPECT_EQ(left, (std::vector<std::string>{"8|c_def|c_def", " 字段说明不同 |c_desc|c_desc"}));
}

}  // namespace
}  // namespace sqlsim::test
