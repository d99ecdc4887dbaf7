// Where SQLite's meaning differs from SQL Server's: LIKE, collation, arithmetic, conversions
// and built-in functions answer as SQL Server does, or fail with its error.
#include "Recorder.h"

namespace sqlsim::test {
namespace {

class Fidelity : public EngineFixture {
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        s = connect("alpha", "sa", "sqlsim", "shop");
        ok(*s, "create table orders (id int not null, code varchar(10) default 'x', qty int default 0)");
    }

    // The first value of the first result, as text.
    std::string one(const std::string &sql)
    {
        Recorder r = ok(*s, sql);
        if (r.results.empty() || r.results[0].rows.empty()) return "<no row>";
        return text(r.results[0].rows[0][0]);
    }
    std::string truth(const std::string &condition)
    {
        return one("select case when " + condition + " then 1 when not (" + condition + ") then 0 else 2 end");
    }
    int error(const std::string &sql)
    {
        Recorder r = run(*s, sql);
        return r.firstError() ? r.firstError()->number : 0;
    }

    std::unique_ptr<Session> s;
};

TEST_F(Fidelity, LikeFollowsTsqlPatterns)
{
    // Two unnamed defaults: DF__orders__code__... and DF__orders__qty__...
    EXPECT_EQ(one("select count(*) from sysobjects where name like 'DF[_][_]%'"), "2");
    EXPECT_EQ(one("select count(*) from sysobjects where name like 'df[_][_]orders[_][_]qty%' and xtype = 'D'"), "1");
    EXPECT_EQ(one("select count(*) from sysobjects where name not like 'DF%'"), "1");

    EXPECT_EQ(truth("'abc  ' like 'abc'"), "1");  // the value's trailing blanks do not count
    EXPECT_EQ(truth("'abc' like 'abc '"), "0");   // the pattern's do
    EXPECT_EQ(truth("'ABC' like 'a_c'"), "1");
    EXPECT_EQ(truth("'b' like '[a-c]'"), "1");
    EXPECT_EQ(truth("'B' like '[a-c]'"), "1");
    EXPECT_EQ(truth("'d' like '[^a-c]'"), "1");
    EXPECT_EQ(truth("'b' like '[^abc]'"), "0");
    EXPECT_EQ(truth("'x' like '[xyz]'"), "1");
    EXPECT_EQ(truth("'5%' like '5[%]'"), "1");
    EXPECT_EQ(truth("'55' like '5[%]'"), "0");
    EXPECT_EQ(truth("'a[b' like 'a[[]b'"), "1");
    EXPECT_EQ(truth("'a_b' like 'a!_b' escape '!'"), "1");
    EXPECT_EQ(truth("'axb' like 'a!_b' escape '!'"), "0");
    EXPECT_EQ(truth("'ab' like 'ab!' escape '!'"), "0");
    EXPECT_EQ(truth("12345 like '12%'"), "1");
    EXPECT_EQ(truth("'abcabd' like '%ab_'"), "1");
    EXPECT_EQ(truth("null like 'a%'"), "2");
    EXPECT_EQ(truth("N'Élan' like N'é%'"), "1");
    EXPECT_EQ(truth("N'élan' like 'e%'"), "0");
    EXPECT_EQ(truth("N'é' like '[a-f]'"), "1");  // accented letters sort with their letter
    EXPECT_EQ(truth("N'中文表' like N'中%'"), "1");
    Recorder bad = run(*s, "select 1 where 'a' like 'a' escape 'xy'");
    ASSERT_NE(bad.firstError(), nullptr);
    EXPECT_EQ(bad.firstError()->number, 506);
    EXPECT_EQ(bad.firstError()->text, "The invalid escape character \"xy\" was specified in a LIKE predicate.");
}

TEST_F(Fidelity, StringsCompareUnderTheServerCollation)
{
    EXPECT_EQ(truth("'a' = 'A  '"), "1");
    EXPECT_EQ(truth("'a' < 'B'"), "1");
    EXPECT_EQ(truth("N'É' = N'é'"), "1");
    EXPECT_EQ(truth("N'é' = 'e'"), "0");  // accent-sensitive
    EXPECT_EQ(truth("N'ŁÓDŹ' = N'łódź'"), "1");
    EXPECT_EQ(truth("N'ΑΘΉΝΑ' = N'αθήνα'"), "1");
    EXPECT_EQ(truth("N'МОСКВА Ё' = N'москва ё'"), "1");
    EXPECT_EQ(truth("N'中文' = N'中文 '"), "1");
    EXPECT_EQ(truth("N'中文' = N'中'"), "0");
    EXPECT_EQ(truth("upper('abc') = lower('ABC')"), "1");
    EXPECT_EQ(truth("ltrim('  x') = rtrim('X  ')"), "1");
    EXPECT_EQ(one("select count(*) from sysobjects where upper(name) = 'ORDERS'"), "1");
    EXPECT_EQ(one("select count(*) from sysobjects where name = N'ORDERS  '"), "1");
}

TEST_F(Fidelity, ArithmeticConvertsConcatenatesAndFailsAsSqlServer)
{
    EXPECT_EQ(one("select 'ab' + 'cd'"), "abcd");
    EXPECT_EQ(one("select 'ab' + null"), "NULL");
    EXPECT_EQ(one("select '1' + 2"), "3");
    EXPECT_EQ(one("select ' 7 ' * 2"), "14");
    EXPECT_EQ(one("select 2 + 3 * 4 - 1"), "13");
    EXPECT_EQ(one("select 1 | 2 + 1"), "4");  // + and | share a level, left to right
    EXPECT_EQ(one("select 6 ^ 3"), "5");
    EXPECT_EQ(one("select 7 / 2"), "3");
    EXPECT_EQ(one("select -7 / 2"), "-3");
    EXPECT_EQ(one("select -7 % 3"), "-1");
    EXPECT_EQ(one("select - (2 - 5)"), "3");
    EXPECT_EQ(one("select 1 + null"), "NULL");
    EXPECT_EQ(one("select name + '_x' from sysobjects where name = 'orders'"), "orders_x");

    Recorder conv = run(*s, "select 'abc' + 1\nselect 2");
    ASSERT_NE(conv.firstError(), nullptr);
    EXPECT_EQ(conv.firstError()->number, 245);
    EXPECT_EQ(conv.firstError()->text, "Conversion failed when converting the varchar value 'abc' to data type int.");
    EXPECT_TRUE(conv.results.empty());  // a conversion error ends the batch

    Recorder div = run(*s, "select 1 / 0\nselect 2");
    ASSERT_NE(div.firstError(), nullptr);
    EXPECT_EQ(div.firstError()->number, 8134);
    EXPECT_EQ(div.firstError()->text, "Divide by zero error encountered.");
    ASSERT_EQ(div.results.size(), 1u);  // only the statement ends
    EXPECT_EQ(error("select 5 % 0"), 8134);
    EXPECT_EQ(error("select 1.5 / 0.0"), 8134);
    EXPECT_EQ(error("select 'a' - 'b'"), 8117);
    EXPECT_EQ(error("select 9223372036854775807 + 1"), 8115);
    // No row reaches the division: no error.
    EXPECT_EQ(one("select count(*) from sysobjects where 1 = 2 and id / 0 = 1"), "0");
}

TEST_F(Fidelity, ComparisonsConvertLikeSqlServer)
{
    EXPECT_EQ(truth("'5' = 5"), "1");
    EXPECT_EQ(truth("'10' > 9"), "1");  // as numbers, not as text
    EXPECT_EQ(truth("len('abc') = '3'"), "1");
    EXPECT_EQ(one("select count(*) from sysobjects where id = '0'"), "0");
    EXPECT_EQ(one("select count(*) from syscolumns where colid = ' 2 '"), "1");
    EXPECT_EQ(error("select count(*) from sysobjects where id = 'abc'"), 245);
    EXPECT_EQ(error("select count(*) from syscolumns where colid = '2.5'"), 245);
    EXPECT_EQ(error("select count(*) from sysobjects where name = 5"), 245);
    EXPECT_EQ(error("select 1 where 'x' = 1"), 245);
    // Only a compared row fails.
    EXPECT_EQ(one("select count(*) from sysobjects where 1 = 2 and id = 'abc'"), "0");

    EXPECT_EQ(one("select count(*) from sysobjects where crdate > '2000-01-01' and name = 'orders'"), "1");
    EXPECT_EQ(one("select count(*) from sysobjects where crdate < '20000101'"), "0");
    EXPECT_EQ(error("select count(*) from sysobjects where crdate = 'not a date'"), 241);
}

TEST_F(Fidelity, FunctionsAndConversionsFollowSqlServer)
{
    EXPECT_EQ(one("select substring('abcdef', 2, 3)"), "bcd");
    EXPECT_EQ(one("select substring('abc', 0, 2)"), "a");
    EXPECT_EQ(one("select substring('abc', -1, 3)"), "a");
    EXPECT_EQ(one("select substring('abc', 3, 10)"), "c");
    EXPECT_EQ(one("select substring(N'中文表', 2, 1)"), "文");
    EXPECT_EQ(error("select substring('abc', 1, -1)"), 537);
    EXPECT_EQ(error("select substring('abc', 1)"), 174);
    EXPECT_EQ(one("select len('ab  ')"), "2");
    EXPECT_EQ(one("select len('  ab')"), "4");

    EXPECT_EQ(one("select round(15, -1)"), "20");
    EXPECT_EQ(one("select round(-15, -1)"), "-20");
    EXPECT_EQ(one("select round(1.005, 2)"), text(Value(1.01)));
    EXPECT_EQ(one("select round(2.5, 0)"), text(Value(3.0)));
    EXPECT_EQ(one("select round(12.345, 1, 1)"), text(Value(12.3)));
    EXPECT_EQ(error("select round(1.5)"), 174);

    EXPECT_EQ(one("select cast(' 12 ' as int)"), "12");
    EXPECT_EQ(one("select cast('' as int)"), "0");
    EXPECT_EQ(one("select cast(12.9 as int)"), "12");
    EXPECT_EQ(one("select convert(int, '-4')"), "-4");
    Recorder frac = run(*s, "select cast('12.5' as int)");
    ASSERT_NE(frac.firstError(), nullptr);
    EXPECT_EQ(frac.firstError()->text, "Conversion failed when converting the varchar value '12.5' to data type int.");
    EXPECT_EQ(error("select cast('abc' as int)"), 245);
    EXPECT_EQ(error("select cast(300 as tinyint)"), 8115);
    EXPECT_EQ(error("select cast('99999999999' as int)"), 248);
    EXPECT_EQ(one("select cast('abcdef' as varchar(3))"), "abc");
    EXPECT_EQ(one("select cast('ab' as char(4)) + '|'"), "ab  |");
    EXPECT_EQ(one("select cast(123 as varchar(2))"), "*");
    EXPECT_EQ(error("select cast(123 as nvarchar(2))"), 8115);
    EXPECT_EQ(one("select cast(12.345 as decimal(5, 2))"), text(Value(12.35)));
    EXPECT_EQ(error("select cast(1234.5 as decimal(5, 2))"), 8115);
    EXPECT_EQ(error("select cast('1e3' as decimal(10, 2))"), 8114);
    EXPECT_EQ(one("select cast('1e3' as float)"), text(Value(1000.0)));
    EXPECT_EQ(one("select cast('2020-01-31T10:00:00.002' as datetime)"), "2020-01-31 10:00:00.003");
    EXPECT_EQ(error("select cast('2020-02-30' as datetime)"), 241);

    // A datetime column prints in CONVERT's styles; style 0 is SQL Server's 'Mon dd yyyy hh:miAM'.
    const std::string styled = one("select convert(varchar(19), crdate, 120) from sysobjects where name = 'orders'");
    EXPECT_EQ(styled.size(), 19u);
    EXPECT_EQ(styled[10], ' ');
    const std::string plain = one("select cast(crdate as varchar) from sysobjects where name = 'orders'");
    EXPECT_EQ(plain.size(), 19u);
    EXPECT_TRUE(plain.find("AM") != std::string::npos || plain.find("PM") != std::string::npos) << plain;
    EXPECT_EQ(error("select convert(varchar, crdate, 7) from sysobjects"), 50000);
}

TEST_F(Fidelity, UserTableRowsCompareAndComputeAsSqlServer)
{
    ok(*s, "create table t (id int, name nvarchar(20), price decimal(10,2), d datetime)");
    ok(*s, "insert into t values (1, N'Élan', 12.5, '2020-01-31'), (2, 'abc  ', 3, '2021-05-01 10:00'), (3, null, null, null)");
    EXPECT_EQ(one("select id from t where name = N'ÉLAN'"), "1");
    EXPECT_EQ(one("select id from t where name like 'ABC'"), "2");
    EXPECT_EQ(one("select id from t where d = '2020-01-31'"), "1");
    EXPECT_EQ(one("select id from t where d > '20200601'"), "2");
    EXPECT_EQ(one("select id from t where price = '12.50'"), "1");
    EXPECT_EQ(one("select count(*) from t where name + '!' like '%!'"), "2");  // NULL + '!' is NULL
    EXPECT_EQ(one("select sum(id * 10 / 4) from t"), "14");                   // 2 + 5 + 7, each truncated
    EXPECT_EQ(error("select id from t where id = 'x'"), 245);
    EXPECT_EQ(error("select id / (id - 2) from t"), 8134);
    EXPECT_EQ(error("select id from t where price = 'cheap'"), 8114);
}

}  // namespace
}  // namespace sqlsim::test
