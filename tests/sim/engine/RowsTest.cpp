// User tables that hold rows: DML, the DDL that must honour the rows, and SQL Server's refusals,
// each of which leaves the table as it was.
#include "Recorder.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace sqlsim::test {
namespace {

std::string show(const Value &v)
{
    if (auto *d = std::get_if<DecimalValue>(&v)) return d->text;
    if (auto *t = std::get_if<DateTimeValue>(&v)) return "dt:" + std::to_string(t->days) + "+" + std::to_string(t->ticks300);
    return text(v);
}

class Rows : public EngineFixture {
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        s = connect("alpha", "sa", "sqlsim", "shop");
        ok(*s, "create table customers (id int identity(1,1) not null constraint pk_customers primary key, "
               "name nvarchar(20) not null, city varchar(10) null, credit decimal(10,2) null default (0), "
               "joined datetime null)");
        ok(*s, "insert into customers (name, city, credit, joined) values (N'张三', 'Berlin', 12.5, '2024-03-05'), "
               "(N'Ann', NULL, -3.125, '2024-03-05 10:20:30.123'), (N'Bob', 'Paris', DEFAULT, NULL)");
    }

    // Rows of a query as "a|b|c" lines.
    std::vector<std::string> rows(const std::string &sql)
    {
        Recorder r = ok(*s, sql);
        std::vector<std::string> out;
        if (r.results.empty()) return out;
        for (const Row &row : r.results[0].rows) {
            std::string line;
            for (std::size_t k = 0; k < row.size(); ++k) line += (k ? "|" : "") + show(row[k]);
            out.push_back(line);
        }
        return out;
    }

    // Runs sql, expects these error numbers, and that the table kept what it had.
    void refused(const std::string &sql, const std::vector<int> &errors, const std::string &table = "customers")
    {
        const auto before = rows("select * from " + table);
        Recorder r = run(*s, sql);
        EXPECT_EQ(r.errorNumbers(), errors) << sql << "\n" << (r.firstError() ? r.firstError()->text : "");
        EXPECT_EQ(rows("select * from " + table), before) << sql;
    }

    std::string firstErrorText(const std::string &sql)
    {
        Recorder r = run(*s, sql);
        return r.firstError() ? r.firstError()->text : "";
    }

    std::unique_ptr<Session> s;
};

TEST_F(Rows, InsertedValuesReadBackInTheirDeclaredTypes)
{
    EXPECT_EQ(rows("select id, name, city, credit from customers order by id"),
              (std::vector<std::string>{"1|张三|Berlin|12.50", "2|Ann|NULL|-3.13", "3|Bob|Paris|0.00"}));
    Recorder typed = ok(*s, "select credit, joined, name from customers where id = 2");
    ASSERT_EQ(typed.results.size(), 1u);
    EXPECT_EQ(typed.results[0].columns[0].type.id, TypeId::Decimal);
    EXPECT_EQ(typed.results[0].columns[0].type.scale, 2);
    EXPECT_EQ(typed.results[0].columns[2].type.id, TypeId::NVarChar);
    // datetime keeps 1/300 s: .123 is stored as .123 (37 ticks).
    EXPECT_EQ(show(typed.results[0].rows[0][1]), "dt:45354+11169037");
    EXPECT_EQ(typed.dones.back().rows, std::optional<std::int64_t>(1));

    // Three-part names, another instance through OPENDATASOURCE, and the usual query shapes.
    EXPECT_EQ(rows("select count(*) from shop.dbo.customers"), (std::vector<std::string>{"3"}));
    ok(*s, "exec sp_configure 'show advanced options', 1; reconfigure; exec sp_configure 'Ad Hoc Distributed Queries', 1; reconfigure");
    auto b = connect("beta");
    ok(*b, "exec sp_configure 'show advanced options', 1; reconfigure; exec sp_configure 'Ad Hoc Distributed Queries', 1; reconfigure");
    Recorder remote = ok(*b, "select name from OPENDATASOURCE('SQLOLEDB','Data Source=127.0.0.1,14331;User ID=sa;"
                             "Password=sqlsim').shop.dbo.customers where city is not null order by name desc");
    EXPECT_EQ(column(remote.results.at(0), 0), (std::vector<std::string>{"张三", "Bob"}));
    EXPECT_EQ(rows("select top 1 name from customers where name like 'a%' or credit between 1 and 20 order by id"),
              (std::vector<std::string>{"张三"}));
    EXPECT_EQ(rows("select city, count(*) from customers group by city order by city"),
              (std::vector<std::string>{"NULL|1", "Berlin|1", "Paris|1"}));
    ok(*s, "create table orders (oid int not null primary key, cid int null references customers(id))");
    ok(*s, "insert into orders values (10, 1), (11, 1), (12, NULL)");
    EXPECT_EQ(rows("select c.name, count(o.oid) from customers c left join orders o on o.cid = c.id "
                   "group by c.name order by c.name"),
              (std::vector<std::string>{"Ann|0", "Bob|0", "张三|2"}));
}

TEST_F(Rows, IdentityDefaultsAndIdentityInsert)
{
    ok(*s, "insert into customers (name) values (N'Eve')");
    EXPECT_EQ(run(*s, "insert into customers default values").errorNumbers(), (std::vector<int>{515}));
    refused("insert into customers (id, name) values (50, N'X')", {544});
    ok(*s, "set identity_insert customers on");
    refused("insert into customers values (50, N'X', NULL, NULL, NULL)", {8101});
    ok(*s, "insert into customers (id, name) values (50, N'X')");
    ok(*s, "set identity_insert customers off");
    ok(*s, "insert into customers (name) values (N'Y')");
    EXPECT_EQ(rows("select id, name, credit from customers where id > 3 order by id"),
              (std::vector<std::string>{"4|Eve|0.00", "50|X|0.00", "51|Y|0.00"}));
    EXPECT_EQ(run(*s, "set identity_insert orders_none on").errorNumbers(), (std::vector<int>{1088}));
    ok(*s, "truncate table customers");
    ok(*s, "insert into customers (name) values (N'Z')");
    EXPECT_EQ(rows("select id from customers"), (std::vector<std::string>{"1"}));
}

TEST_F(Rows, RefusedInsertsAnswerSqlServersErrorsAndInsertNothing)
{
    refused("insert into customers (name, city) values (N'A', 'x'), (NULL, 'y')", {515});
    EXPECT_EQ(firstErrorText("insert into customers (name) values (NULL)"),
              "Cannot insert the value NULL into column 'name', table 'shop.dbo.customers'; column does not allow "
              "nulls. INSERT fails.");
    Recorder terminated = run(*s, "insert into customers (name) values (NULL)");
    EXPECT_EQ(terminated.messages.back().number, 3621);
    refused("insert into customers (name, city) values (N'A', 'far too long a city')", {2628});
    EXPECT_EQ(firstErrorText("insert into customers (name, city) values (N'A', 'far too long a city')"),
              "String or binary data would be truncated in table 'shop.dbo.customers', column 'city'. Truncated "
              "value: 'far too lo'.");
    refused("insert into customers (name, credit) values (N'A', 'abc')", {8114});
    refused("insert into customers (name, credit) values (N'A', 123456789.5)", {8115});
    refused("insert into customers (name, joined) values (N'A', 'yesterday')", {241});
    refused("insert into customers (name, city) values (N'A')", {109});
    refused("insert into customers (name) values (N'A', 'b')", {110});
    refused("insert into customers values (N'A')", {213});
    refused("insert into customers (name, nothing) values (N'A', 1)", {207});
    refused("insert into customers (name, name) values (N'A', N'B')", {264});
    refused("insert into customers (name) values (N'A'), (N'B', 1)", {10709});
    ok(*s, "create table small (t tinyint, i int, b bit)");
    refused("insert into small (t) values (300)", {220}, "small");
    refused("insert into small (i) values ('12x')", {245}, "small");
    refused("insert into small (i) values (3000000000)", {8115}, "small");
    ok(*s, "insert into small values ('  42 ', 7.9, 'true')");
    EXPECT_EQ(rows("select t, i, b from small"), (std::vector<std::string>{"42|7|1"}));

    ok(*s, "create table orders (oid int not null constraint pk_orders primary key, cid int null references customers(id))");
    ok(*s, "insert into orders values (10, 1)");
    refused("insert into orders values (11, 2), (10, 3)", {2627}, "orders");
    EXPECT_EQ(firstErrorText("insert into orders values (10, 1)"),
              "Violation of PRIMARY KEY constraint 'pk_orders'. Cannot insert duplicate key in object 'dbo.orders'. "
              "The duplicate key value is (10).");
    refused("insert into orders values (12, 99)", {547}, "orders");
    refused("delete from customers where id = 1", {547});
    refused("truncate table customers", {4712});
}

TEST_F(Rows, UpdateDeleteAndSelectInto)
{
    Recorder updated = ok(*s, "update customers set city = 'Rome', credit = credit + 1 where name = N'ann'");
    EXPECT_EQ(updated.dones.back().rows, std::optional<std::int64_t>(1));
    EXPECT_EQ(rows("select city, credit from customers where id = 2"), (std::vector<std::string>{"Rome|-2.13"}));
    refused("update customers set name = NULL", {515});
    refused("update customers set city = 'a very long name'", {2628});
    refused("update customers set id = 5", {8102});
    ok(*s, "delete from customers where city = 'Rome'");
    EXPECT_EQ(rows("select count(*) from customers"), (std::vector<std::string>{"2"}));

    ok(*s, "select * into copy from customers where credit >= 0");
    EXPECT_EQ(rows("select id, name from copy order by id"), (std::vector<std::string>{"1|张三", "3|Bob"}));
    ok(*s, "select * into empty_copy from shop.dbo.customers where 1=2");
    EXPECT_EQ(rows("select count(*) from empty_copy"), (std::vector<std::string>{"0"}));
    ok(*s, "drop table copy");
    ok(*s, "create table copy (x int)");
    EXPECT_EQ(rows("select count(*) from copy"), (std::vector<std::string>{"0"}));
}

TEST_F(Rows, TableChangesHonourTheRows)
{
    ok(*s, "alter table customers add phone varchar(20) null");
    ok(*s, "alter table customers add level int null default (5)");
    ok(*s, "alter table customers add tier int null default (7) with values");
    ok(*s, "alter table customers add state int not null constraint DF_customers_state default ((1))");
    refused("alter table customers add seq int identity(10,5) not null", {2744});
    EXPECT_EQ(rows("select phone, level, tier, state from customers order by id"),
              (std::vector<std::string>{"NULL|NULL|7|1", "NULL|NULL|7|1", "NULL|NULL|7|1"}));
    refused("alter table customers add must int not null", {4901});
    EXPECT_NE(firstErrorText("alter table customers add must int not null")
                  .find("Column 'must' cannot be added to non-empty table 'customers' because it does not satisfy "
                        "these conditions."),
              std::string::npos);

    // Conversions of every value, or none at all; a column's default must go first.
    refused("alter table customers alter column state varchar(5) not null", {5074, 4922});
    ok(*s, "alter table customers drop constraint DF_customers_state");
    ok(*s, "alter table customers alter column state varchar(5) not null");
    ok(*s, "alter table customers add amount decimal(10,2) null");
    ok(*s, "update customers set amount = credit");
    ok(*s, "alter table customers alter column amount decimal(10,1) null");
    EXPECT_EQ(rows("select state, amount from customers order by id"),
              (std::vector<std::string>{"1|12.5", "1|-3.1", "1|0.0"}));
    ok(*s, "update customers set phone = '12345' where id = 1");
    ok(*s, "update customers set phone = 'call me' where id = 2");
    refused("alter table customers alter column phone int null", {245});
    refused("alter table customers alter column city varchar(3) null", {2628});
    refused("alter table customers alter column city varchar(10) not null", {515});
    refused("alter table customers alter column amount decimal(2,1) null", {8115});
    ok(*s, "update customers set phone = NULL where id = 2");
    ok(*s, "alter table customers alter column phone int null");
    EXPECT_EQ(rows("select phone from customers order by id"), (std::vector<std::string>{"12345", "NULL", "NULL"}));
    ok(*s, "alter table customers drop column phone");
    EXPECT_EQ(run(*s, "select phone from customers").errorNumbers(), (std::vector<int>{207}));

    ok(*s, "create table plain (a int)");
    ok(*s, "insert into plain values (7), (8), (9)");
    ok(*s, "alter table plain add seq int identity(10,5) not null");
    EXPECT_EQ(rows("select a, seq from plain"), (std::vector<std::string>{"7|10", "8|15", "9|20"}));
    ok(*s, "insert into plain (a) values (1)");
    EXPECT_EQ(rows("select max(seq) from plain"), (std::vector<std::string>{"25"}));

    ok(*s, "create table dup (k int not null, v nvarchar(10) null)");
    ok(*s, "insert into dup values (1, N'a'), (2, N'b'), (1, N'c')");
    Recorder key = run(*s, "alter table dup add constraint pk_dup primary key (k)");
    EXPECT_EQ(key.errorNumbers(), (std::vector<int>{1505, 1750}));
    EXPECT_EQ(key.firstError()->text, "The CREATE UNIQUE INDEX statement terminated because a duplicate key was found "
                                      "for the object name 'dbo.dup' and the index name 'pk_dup'. The duplicate key "
                                      "value is (1).");
    EXPECT_TRUE(rows("select name from sysobjects where name = 'pk_dup'").empty());
    ok(*s, "delete from dup where v = N'c'");
    ok(*s, "alter table dup add constraint pk_dup primary key (k)");
    refused("insert into dup values (2, N'x')", {2627}, "dup");
}

TEST_F(Rows, ManyRowListsInOneStatement)
{
    std::string sql = "insert into customers (name, credit) values ";
    for (int k = 0; k < 1000; ++k) sql += (k ? ", " : "") + std::string("(N'n") + std::to_string(k) + "', " + std::to_string(k) + ".25)";
    Recorder r = ok(*s, sql);
    EXPECT_EQ(r.dones.back().rows, std::optional<std::int64_t>(1000));
    EXPECT_EQ(rows("select count(*), max(id) from customers"), (std::vector<std::string>{"1003|1003"}));
    refused(sql + ", (N'over', 1)", {10738});
}

// What install scripts hold: NEWID() defaults, new for every row, and month/day/year literals.
TEST_F(Rows, NewIdDefaultsAndMonthFirstDates)
{
    ok(*s, "create table tags (id int identity primary key, g uniqueidentifier not null default (NEWID()), d datetime)");
    ok(*s, "insert into tags (d) values ('03/14/1970'), ('10/01/2026 09:30'), (NULL)");
    EXPECT_EQ(rows("select count(distinct g), min(len(cast(g as varchar(40)))) from tags"),
              (std::vector<std::string>{"3|36"}));
    ok(*s, "update tags set g = default");
    EXPECT_EQ(rows("select count(distinct g) from tags"), (std::vector<std::string>{"3"}));
    EXPECT_EQ(rows("select convert(varchar(10), d, 112) from tags where d is not null order by d"),
              (std::vector<std::string>{"19700314", "20261001"}));
}

class RowsBackup : public ::testing::Test {};

TEST_F(RowsBackup, BackupHoldsTheRows)
{
    const std::string dir = ::testing::TempDir() + "/sqlsim-rows-backup-" + std::to_string(::getpid());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    auto engine = Engine::create();
    InstanceConfig c;
    c.name = "srv";
    c.databases = {"shop"};
    c.backupDir = dir;
    engine->addInstance(c);
    engine->runScript("srv", "use shop\ngo\ncreate table t (a int, b nvarchar(10))\ngo\n"
                             "insert into t values (1, N'中文'), (2, NULL)\ngo\n"
                             "backup database shop to disk = 'c:\\shop1'\ngo\n");
    std::ifstream in(dir + "/shop1");
    std::stringstream all;
    all << in.rdbuf();
    EXPECT_NE(all.str().find("rows t (\"a\", \"b\")\n1\tN'中文'\n2\tNULL\nend of rows 2\n"), std::string::npos) << all.str();
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace sqlsim::test
