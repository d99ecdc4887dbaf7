// DDL and the catalogue rows it leaves, read back through SELECTs as a client would.
#include "Recorder.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace sqlsim::test {
namespace {

class Catalog : public EngineFixture {
protected:
    // Rows of one query as texts joined by '|'.
    std::vector<std::string> rows(Session &s, const std::string &sql)
    {
        Recorder r = ok(s, sql);
        std::vector<std::string> out;
        if (r.results.empty()) return out;
        for (const Row &row : r.results[0].rows) {
            std::string line;
            for (std::size_t k = 0; k < row.size(); ++k) line += (k ? "|" : "") + text(row[k]);
            out.push_back(line);
        }
        return out;
    }
};

TEST_F(Catalog, CreateTableRecordsColumnsAsSqlServer)
{
    auto s = connect("alpha", "sa", "sqlsim", "shop");
    ok(*s, "CREATE TABLE dbo.orders (\n"
           "  id int IDENTITY(1,1) NOT NULL,\n"
           "  code varchar(20) NOT NULL DEFAULT 'abc',\n"
           "  title nvarchar(50) NULL,\n"
           "  price decimal(18,4) CONSTRAINT DF_orders_price DEFAULT (0),\n"
           "  notes varchar(max),\n"
           "  made datetime DEFAULT getdate(),\n"
           "  flag bit, big bigint, small smallint, tiny tinyint, cash money, f float, r real,\n"
           "  sd smalldatetime, d date, c char(10), nc nchar(5), t text, nt ntext,\n"
           "  g uniqueidentifier, vb varbinary(16), vbm varbinary(max), n numeric(9,2),\n"
           "  CONSTRAINT PK_orders PRIMARY KEY (id))");
    const auto cols = rows(*s, "select a.name, a.xtype, a.xusertype, a.length, a.prec, a.scale, a.isnullable, a.status, "
                               "b.name from syscolumns a join systypes b on a.xtype = b.xusertype "
                               "join sysobjects d on d.id = a.id where d.name = 'orders' order by a.colid");
    const std::vector<std::string> expected = {
        "id|56|56|4|10|0|0|128|int",
        "code|167|167|20|20|NULL|0|16|varchar",
        "title|231|231|100|50|NULL|1|8|nvarchar",
        "price|106|106|9|18|4|1|8|decimal",
        "notes|167|167|-1|-1|NULL|1|24|varchar",
        "made|61|61|8|23|3|1|8|datetime",
        "flag|104|104|1|1|0|1|8|bit",
        "big|127|127|8|19|0|1|8|bigint",
        "small|52|52|2|5|0|1|8|smallint",
        "tiny|48|48|1|3|0|1|8|tinyint",
        "cash|60|60|8|19|4|1|8|money",
        "f|62|62|8|53|NULL|1|8|float",
        "r|59|59|4|24|NULL|1|8|real",
        "sd|58|58|4|16|0|1|8|smalldatetime",
        "d|40|40|3|10|0|1|8|date",
        "c|175|175|10|10|NULL|1|24|char",
        "nc|239|239|10|5|NULL|1|8|nchar",
        "t|35|35|16|0|NULL|1|8|text",
        "nt|99|99|16|0|NULL|1|8|ntext",
        "g|36|36|16|16|NULL|1|8|uniqueidentifier",
        "vb|165|165|16|16|NULL|1|24|varbinary",
        "vbm|165|165|-1|-1|NULL|1|24|varbinary",
        "n|108|108|5|9|2|1|8|numeric",
    };
    EXPECT_EQ(cols, expected);

    // Defaults as SQL Server normalises them, bound through cdefault.
    EXPECT_EQ(rows(*s, "select a.name, e.text from syscolumns a join syscomments e on a.cdefault = e.id "
                       "where a.id = (select id from sysobjects where name = 'orders') order by a.colid"),
              (std::vector<std::string>{"code|('abc')", "price|((0))", "made|(getdate())"}));
    EXPECT_EQ(rows(*s, "select name from sysobjects where xtype = 'D' and name like 'DF_orders_price'"),
              std::vector<std::string>{"DF_orders_price"});
    const auto unnamed = rows(*s, "select name from sysobjects where xtype = 'D' and name <> 'DF_orders_price' order by name");
    ASSERT_EQ(unnamed.size(), 2u);
    EXPECT_EQ(unnamed[0].substr(0, 15), "DF__orders__cod");
    EXPECT_EQ(unnamed[0].size(), std::string("DF__orders__code__").size() + 8);

    // The primary key: a PK object, an index of the same name (clustered: indid 1) and its keys.
    EXPECT_EQ(rows(*s, "select i.name, i.indid, k.colid, k.keyno from sysobjects o, sysindexes i, sysindexkeys k "
                       "where o.xtype = 'PK' and o.parent_obj = i.id and i.name = o.name and k.id = i.id and k.indid = i.indid"),
              std::vector<std::string>{"PK_orders|1|1|1"});
    EXPECT_EQ(rows(*s, "select type_desc, is_ms_shipped from sys.objects where name = 'orders'"),
              std::vector<std::string>{"USER_TABLE|0"});
    EXPECT_EQ(rows(*s, "select xtype, status, uid from shop..sysobjects where name = 'orders'"),
              std::vector<std::string>{"U |0|1"});
}

TEST_F(Catalog, SystemTypesAndNameForms)
{
    auto s = connect();
    EXPECT_EQ(rows(*s, "select name, xtype, xusertype, length from shop..systypes where name in ('int','varchar','nvarchar',"
                       "'decimal','sysname') order by xusertype"),
              (std::vector<std::string>{"int|56|56|4", "decimal|106|106|17", "varchar|167|167|8000",
                                        "nvarchar|231|231|8000", "sysname|231|256|256"}));
    ok(*s, "create table shop.dbo.T1 (a int)");
    for (const char *form : {"shop..sysobjects", "[shop]..sysobjects", "shop.dbo.sysobjects", "SHOP.DBO.SYSOBJECTS"})
        EXPECT_EQ(rows(*s, std::string("select name from ") + form + " where xtype='U'"), std::vector<std::string>{"T1"})
            << form;
    EXPECT_EQ(rows(*s, "select name from shop.sys.objects where type = 'U'"), std::vector<std::string>{"T1"});
    // Each database has its own catalogue.
    EXPECT_TRUE(rows(*s, "select name from crm..sysobjects").empty());
    Recorder bad = run(*s, "select name from nodb..sysobjects");
    EXPECT_EQ(bad.errorNumbers(), std::vector<int>{911});
    EXPECT_EQ(run(*s, "select name from shop.dbo.objects").errorNumbers(), std::vector<int>{208});
}

TEST_F(Catalog, DdlErrorsHaveSqlServerNumbers)
{
    auto s = connect("alpha", "sa", "sqlsim", "shop");
    ok(*s, "create table t (id int not null primary key, v varchar(10) default 'x', w int)");
    struct Case {
        const char *sql;
        std::vector<int> errors;
    };
    const Case cases[] = {
        {"create table t (a int)", {2714}},
        {"create table u (a int, A int)", {2705}},
        {"create table u (a foo)", {2715}},
        {"create table u (a varchar(9000))", {131}},
        {"create table u (a decimal(50,2))", {2750}},
        {"create table u (a varchar(10) identity)", {2749}},
        {"create table u (a int identity, b int identity)", {2744}},
        {"create table u (a int", {102}},
        {"create table u (a int, ", {102}},
        {"create table [u (a int)", {105}},
        {"create table u (a varchar('x)", {105}},
        {"drop table nothing", {3701}},
        {"alter table nothing add x int", {4902}},
        {"alter table t add v int", {2705}},
        {"alter table t add constraint pk2 primary key (w)", {1779, 1750}},
        {"alter table t add constraint df2 default 1 for v", {1781, 1750}},
        {"alter table t drop constraint nothing", {3728, 3727}},
        {"alter table t drop column nothing", {4924}},
        {"alter table t drop column id", {5074, 4922}},
        {"alter table t drop column v", {5074, 4922}},
        {"alter table t alter column v int", {5074, 4922}},
        {"alter table t alter column w bigint(8)", {2716}},
        {"create table u (a int references nothing(id))", {1767, 1750}},
        {"create table u (a int references t(w))", {1776, 1750}},
        {"drop view t", {3705}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(run(*s, c.sql).errorNumbers(), c.errors) << c.sql;
    // None of the failures left anything behind.
    EXPECT_EQ(rows(*s, "select name from sysobjects where xtype = 'U'"), std::vector<std::string>{"t"});

    const std::string longName(200, 'n');
    Recorder tooLong = run(*s, "create table " + longName + " (a int)");
    EXPECT_EQ(tooLong.errorNumbers(), std::vector<int>{103});
    EXPECT_EQ(tooLong.firstError()->text,
              "The identifier that starts with '" + longName.substr(0, 128) + "' is too long. Maximum length is 128.");
}

TEST_F(Catalog, AlterTableChangesTheCatalogue)
{
    auto s = connect("alpha", "sa", "sqlsim", "shop");
    ok(*s, "create table orders (id int not null, qty int, code varchar(10))");
    ok(*s, "alter table shop.dbo.orders add note  varchar\r\n(50)\r\nnull");
    ok(*s, "alter table shop.dbo.orders alter column qty  decimal\r\n(18,4)\r\nnot null");
    ok(*s, "alter table shop.dbo.orders Add constraint pk_orders primary key (id)");
    ok(*s, "Alter table shop.dbo.orders add constraint DF_orders_qty default ((0)) for qty ");
    ok(*s, "alter table shop.dbo.orders drop column code");
    EXPECT_EQ(rows(*s, "select a.colid, a.name, a.length, a.prec, a.scale, a.isnullable, a.status, isnull(e.text,'') "
                       "from syscolumns a left join syscomments e on a.cdefault = e.id "
                       "where a.id = object_id('orders') order by a.colid"),
              (std::vector<std::string>{"1|id|4|10|0|0|0|", "2|qty|9|18|4|0|0|((0))", "4|note|50|50|NULL|1|24|"}));
    ok(*s, "Alter table shop.dbo.orders Drop constraint DF_orders_qty  ");
    ok(*s, "alter table orders drop constraint  pk_orders");
    EXPECT_TRUE(rows(*s, "select name from sysobjects where parent_obj = object_id('orders')").empty());
    // Without its clustered key the table is a heap again.
    EXPECT_EQ(rows(*s, "select indid, name from sysindexes where id = object_id('orders')"),
              std::vector<std::string>{"0|NULL"});
    // Replacing a column by an identity column puts it last.
    ok(*s, "alter table shop.dbo.orders drop column id\r\n alter table shop.dbo.orders add id int  identity(1,1)");
    EXPECT_EQ(rows(*s, "select name, colid, status from syscolumns where id = object_id('orders') order by colid"),
              (std::vector<std::string>{"qty|2|0", "note|4|24", "id|5|128"}));
    EXPECT_EQ(rows(*s, "select name, seed_value, increment_value from sys.identity_columns"),
              std::vector<std::string>{"id|1|1"});
    ok(*s, "alter table orders add constraint DF_note default 'n' for note");
    EXPECT_EQ(rows(*s, "select d.name, c.name, d.definition from sys.default_constraints d join sys.columns c "
                       "on c.object_id = d.parent_object_id and c.column_id = d.parent_column_id"),
              std::vector<std::string>{"DF_note|note|('n')"});
    ok(*s, "DROP TABLE shop.dbo.orders");
    EXPECT_TRUE(rows(*s, "select name from syscolumns").empty());
}

TEST_F(Catalog, ForeignKeysAndExtendedProperties)
{
    auto s = connect("alpha", "sa", "sqlsim", "shop");
    ok(*s, "create table customer (id int primary key, name nvarchar(40))");
    ok(*s, "create table orders (id int primary key, cust int constraint FK_orders_customer references customer(id))");
    // A table may reference its own key, declared before or after.
    ok(*s, "create table node (parent int references node(id), id int not null, constraint pk_node primary key (id))");
    ok(*s, "drop table node");
    EXPECT_EQ(rows(*s, "select h.name, f.fkey, f.rkey from sys.sysforeignkeys f join sys.objects h on "
                       "f.constid = h.object_id where f.fkeyid = object_id('orders')"),
              std::vector<std::string>{"FK_orders_customer|2|1"});
    // As a management tool scripts them.
    ok(*s, "ALTER TABLE [dbo].[orders]  WITH CHECK ADD  CONSTRAINT [FK_orders_c2] FOREIGN KEY([cust])\r\n"
           "REFERENCES [dbo].[customer] ([id])\r\nALTER TABLE [dbo].[orders] CHECK CONSTRAINT [FK_orders_c2]");
    EXPECT_EQ(run(*s, "alter table orders check constraint nothing").errorNumbers(), (std::vector<int>{4917, 4916}));
    ok(*s, "alter table orders drop constraint FK_orders_c2");
    EXPECT_EQ(run(*s, "drop table customer").errorNumbers(), std::vector<int>{3726});
    EXPECT_EQ(run(*s, "alter table customer drop constraint " +
                          rows(*s, "select name from sysobjects where xtype='PK' and parent_obj=object_id('customer')")[0])
                  .errorNumbers(),
              (std::vector<int>{3725, 3727}));

    ok(*s, "exec sp_addextendedproperty N'MS_Description', N'客户名称', N'SCHEMA', N'dbo', N'TABLE', N'customer', "
           "N'COLUMN', N'name'");
    ok(*s, "EXEC sys.sp_addextendedproperty @name=N'MS_Description', @value=N'Customers', @level0type=N'SCHEMA', "
           "@level0name=N'dbo', @level1type=N'TABLE', @level1name=N'customer'");
    EXPECT_EQ(rows(*s, "select major_id - object_id('customer'), minor_id, name, value from sys.extended_properties "
                       "order by minor_id"),
              (std::vector<std::string>{"0|0|MS_Description|Customers", "0|2|MS_Description|客户名称"}));
    Recorder r = ok(*s, "select value from sys.extended_properties where minor_id = 2");
    EXPECT_EQ(r.results[0].columns[0].type.id, TypeId::SqlVariant);
    EXPECT_EQ(run(*s, "exec sp_addextendedproperty 'MS_Description', 'x', 'SCHEMA', 'dbo', 'TABLE', 'customer', "
                      "'COLUMN', 'name'").errorNumbers(),
              std::vector<int>{15233});
    ok(*s, "exec sp_updateextendedproperty 'MS_Description', 'y', 'SCHEMA', 'dbo', 'TABLE', 'customer', 'COLUMN', 'name'");
    ok(*s, "exec sp_dropextendedproperty 'MS_Description', 'SCHEMA', 'dbo', 'TABLE', 'customer', 'COLUMN', 'name'");
    EXPECT_EQ(run(*s, "exec sp_dropextendedproperty 'MS_Description', 'SCHEMA', 'dbo', 'TABLE', 'customer', 'COLUMN', "
                      "'name'").errorNumbers(),
              std::vector<int>{15217});
    EXPECT_EQ(run(*s, "exec sp_addextendedproperty 'MS_Description', 'x', 'SCHEMA', 'dbo', 'TABLE', 'nothing'")
                  .errorNumbers(),
              std::vector<int>{15135});
}

TEST_F(Catalog, ViewsAndProceduresKeepTheirBatchText)
{
    auto s = connect("alpha", "sa", "sqlsim", "shop");
    const std::string view = "-- lists orders\r\ncreate view v_orders\r\nas\r\nselect 1 as one /* note */\r\n";
    ok(*s, view);
    EXPECT_EQ(rows(*s, "select text from syscomments where id = object_id('v_orders')"), std::vector<std::string>{view});
    EXPECT_EQ(run(*s, view).errorNumbers(), std::vector<int>{2714});
    EXPECT_EQ(run(*s, "select 1\ncreate view v2 as select 1 as a").errorNumbers(), std::vector<int>{111});

    // A long procedure is split into rows of 4000 characters; ALTER is stored as CREATE.
    std::string body = "ALTER PROC p_long AS\r\n";
    while (body.size() < 12000) body += "select 'x' -- 中文 padding\r\n";
    ok(*s, "create proc p_long as select 1");
    ok(*s, body);
    const auto pieces = rows(*s, "select colid, number from syscomments where id = object_id('p_long') order by colid");
    EXPECT_EQ(pieces, (std::vector<std::string>{"1|1", "2|1", "3|1"}));
    Recorder text = ok(*s, "select text from syscomments where id = object_id('p_long') order by colid");
    std::string joined;
    for (const Row &r : text.results[0].rows) joined += std::get<std::string>(r[0]);
    EXPECT_EQ(joined, "CREATE" + body.substr(5));
    EXPECT_EQ(rows(*s, "select definition from sys.sql_modules where object_id = object_id('p_long')"),
              std::vector<std::string>{joined});

    EXPECT_EQ(run(*s, "alter view nothing as select 1 as a").errorNumbers(), std::vector<int>{208});
    EXPECT_EQ(run(*s, "drop procedure v_orders").errorNumbers(), std::vector<int>{3705});
    ok(*s, "exec sp_MS_marksystemobject 'v_orders'");
    EXPECT_EQ(rows(*s, "select name from sysobjects where xtype in ('V','P') and status >= 0"),
              std::vector<std::string>{"p_long"});
    ok(*s, "drop view v_orders");
    ok(*s, "DROP PROC p_long");
    EXPECT_TRUE(rows(*s, "select id from syscomments").empty());
    EXPECT_EQ(run(*s, "exec p_long").errorNumbers(), std::vector<int>{2812});
}

TEST_F(Catalog, SelectIntoCopiesStructure)
{
    auto s = connect("alpha", "sa", "sqlsim", "shop");
    ok(*s, "create table src (id int identity(5,2) primary key, name nvarchar(30) not null default N'x', "
           "amount decimal(10,3))");
    ok(*s, "select * into crm.dbo.copy from src where 1=2");
    EXPECT_EQ(rows(*s, "select name, xtype, length, prec, scale, isnullable, status, cdefault from crm..syscolumns order by colid"),
              (std::vector<std::string>{"id|56|4|10|0|0|128|0", "name|231|60|30|NULL|0|0|0", "amount|106|9|10|3|1|8|0"}));
    EXPECT_TRUE(rows(*s, "select name from crm..sysobjects where xtype <> 'U'").empty());
    EXPECT_EQ(run(*s, "select * into crm.dbo.copy from src where 1=2").errorNumbers(), std::vector<int>{2714});
    // A user table reads as no rows, its columns typed as declared.
    Recorder empty = ok(*s, "select * from crm.dbo.copy");
    ASSERT_EQ(empty.results.size(), 1u);
    EXPECT_TRUE(empty.results[0].rows.empty());
    ASSERT_EQ(empty.results[0].columns.size(), 3u);
    EXPECT_EQ(empty.results[0].columns[1].type.id, TypeId::NVarChar);
    EXPECT_EQ(empty.results[0].columns[1].type.length, 30);
    EXPECT_EQ(empty.results[0].columns[2].type.id, TypeId::Decimal);
    EXPECT_EQ(empty.results[0].columns[2].type.precision, 10);
    EXPECT_EQ(empty.results[0].columns[2].type.scale, 3);
    EXPECT_EQ(run(*s, "select * into crm.dbo.other from nothing where 1=2").errorNumbers(), std::vector<int>{208});
}

}  // namespace
}  // namespace sqlsim::test

namespace sqlsim::test {
namespace {

class Backup : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = ::testing::TempDir() + "/sqlsim-backup-" + std::to_string(::getpid());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        engine = Engine::create();
        InstanceConfig c;
        c.name = "srv";
        c.databases = {"shop"};
        c.backupDir = dir;
        c.logins = {{"sa", "sqlsim", true}, {"user", "pw", false}};
        engine->addInstance(c);
        engine->runScript("srv", "use shop\ngo\ncreate view v as select 1 as a\ngo\n");
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    Recorder run(const std::string &user, const std::string &sql)
    {
        auto s = engine->login("srv", {user, user == "sa" ? "sqlsim" : "pw", "", "", ""}).session;
        Recorder r;
        s->executeBatch(sql, r);
        return r;
    }

    std::string dir;
    std::unique_ptr<Engine> engine;
};

TEST_F(Backup, AppendsSetsToTheFileAndReportsAsSqlServer)
{
    Recorder first = run("sa", "backup database shop to disk = 'c:\\shop357'");
    ASSERT_EQ(first.firstError(), nullptr) << first.firstError()->text;
    ASSERT_EQ(first.messages.size(), 3u);
    EXPECT_EQ(first.messages[0].number, 4035);
    EXPECT_NE(first.messages[0].text.find("for database 'shop', file 'shop' on file 1."), std::string::npos);
    EXPECT_EQ(first.messages[2].number, 3014);
    Recorder second = run("sa", "backup database shop to disk = 'c:\\shop357'");
    EXPECT_NE(second.messages[0].text.find("on file 2."), std::string::npos);
    std::ifstream in(dir + "/shop357");
    std::stringstream content;
    content << in.rdbuf();
    EXPECT_NE(content.str().find("SQLSIM BACKUP SET 2"), std::string::npos);
    EXPECT_NE(content.str().find("create view v as select 1 as a"), std::string::npos);
}

TEST_F(Backup, FailuresEndWith3013)
{
    EXPECT_EQ(run("sa", "backup database nothing to disk = 'c:\\x'").errorNumbers(), (std::vector<int>{911, 3013}));
    EXPECT_EQ(run("user", "backup database shop to disk = 'c:\\x'").errorNumbers(), (std::vector<int>{262, 3013}));
    EXPECT_EQ(run("sa", "backup database shop to disk = 'c:\\missing\\x'").errorNumbers(), (std::vector<int>{3201, 3013}));
    EXPECT_EQ(run("sa", "backup database shop to disk = 'd:\\x'").errorNumbers(), (std::vector<int>{3201, 3013}));
    // Nothing is written outside the folder that stands for C:.
    Recorder escape = run("sa", "backup database shop to disk = 'c:\\..\\escaped'");
    EXPECT_EQ(escape.errorNumbers(), (std::vector<int>{3201, 3013}));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(dir).parent_path() / "escaped"));
    EXPECT_EQ(escape.firstError()->text,
              "Cannot open backup device 'c:\\..\\escaped'. Operating system error 3(The system cannot find the path specified.).");
}

}  // namespace
}  // namespace sqlsim::test
