// The script renderer byte for byte, and the listing as text for other programs.
#include "db/ResultSet.h"
#include "workflow/ListingText.h"
#include "workflow/Script.h"

#include <gtest/gtest.h>

using namespace dbsync;
using namespace dbsync::workflow;
using schema::StepEcho;
using schema::StepRunner;

namespace {

ScriptSource source(bool withPassword)
{
    return {QStringLiteral("1.1.0"),
            {"10.0.0.1,1433", "sa", "s3cr'et", "shop", "127.0.0.1", "sa", "pw", "shop_dev"},
            QDateTime(QDate(2024, 3, 5), QTime(9, 7, 2)),
            withPassword};
}

Plan tablePlan()
{
    schema::SyncStep copy{StepRunner::ADOQuery4,
                          {"select * into shop_dev.dbo.orders from OPENDATASOURCE('SQLOLEDB','Data Source=10.0.0.1,1433;User "
                           "ID=sa;Password=s3cr''et').shop.dbo.orders where 1=2"}};
    copy.alone = true;
    return {ListingKind::Tables,
            {{StepRunner::ADOCommand1, {"alter table orders drop constraint  pk_t"}, StepEcho::Always},
             {StepRunner::ADOQuery4, {"alter table shop_dev.dbo.orders add name  varchar", "(50)", "null"},
              StepEcho::WhenChecked},
             copy},
            true,
            2,
            {},
            CompareMode::Server};
}

}  // namespace

// The statements run in one transaction that a failure rolls back, after which the rest of
// the script only compiles; the copy that reads the sample server runs after the commit.
TEST(Script, TablePlanRunsInOneTransactionMasksTheSamplePasswordAndEndsEachStatementWithGo)
{
    EXPECT_EQ(renderScript(source(false), tablePlan()).toStdString(),
              "-- dbsync 1.1.0 同步脚本：表结构\r\n"
              "-- 样本数据库：10.0.0.1,1433 / shop\r\n"
              "-- 目的数据库：127.0.0.1 / shop_dev\r\n"
              "-- 生成时间：2024-03-05 09:07:02\r\n"
              "-- OPENDATASOURCE 中的样本密码写作 ********，执行前请换成真实密码。\r\n"
              "-- 建表或删表的语句之后同步即结束，其余的行要等重新列出后的下一轮。\r\n"
              "-- 全部语句在一个事务中执行：任何一条失败，已执行的都会撤销，其后的不再执行。\r\n"
              "\r\nSET XACT_ABORT ON\r\nGO\r\n"
              "\r\nBEGIN TRANSACTION\r\nGO\r\n"
              "\r\nalter table orders drop constraint  pk_t\r\nGO\r\n"
              "\r\nIF @@TRANCOUNT = 0 SET NOEXEC ON\r\nGO\r\n"
              "\r\nalter table shop_dev.dbo.orders add name  varchar\r\n(50)\r\nnull\r\nGO\r\n"
              "\r\nIF @@TRANCOUNT = 0 SET NOEXEC ON\r\nGO\r\n"
              "\r\nCOMMIT TRANSACTION\r\nGO\r\n"
              "\r\nselect * into shop_dev.dbo.orders from OPENDATASOURCE('SQLOLEDB','Data Source=10.0.0.1,1433;User "
              "ID=sa;Password=********').shop.dbo.orders where 1=2\r\nGO\r\n"
              "\r\nSET NOEXEC OFF\r\nGO\r\n");
}

TEST(Script, WithPasswordKeepsTheStatementsAsSentAndEmptyPlansSaySo)
{
    const QString script = renderScript(source(true), tablePlan());
    EXPECT_TRUE(script.contains("Password=s3cr''et')"));
    EXPECT_FALSE(script.contains("********"));

    const Plan none{ListingKind::Routines, {}, false, -1, {}, CompareMode::Server};
    EXPECT_EQ(renderScript(source(false), none).toStdString(),
              "-- dbsync 1.1.0 同步脚本：视图和存储过程\r\n"
              "-- 样本数据库：10.0.0.1,1433 / shop\r\n"
              "-- 目的数据库：127.0.0.1 / shop_dev\r\n"
              "-- 生成时间：2024-03-05 09:07:02\r\n"
              "-- OPENDATASOURCE 中的样本密码写作 ********，执行前请换成真实密码。\r\n"
              "-- 没有要执行的语句。\r\n");
}

TEST(Script, DefinitionsKeepTheirOwnLineBreaks)
{
    const Plan plan{ListingKind::Routines,
                    {{StepRunner::ADOQuery3, {"create view v as\r\nselect 'a\nb' as x"}, StepEcho::WhenChecked}},
                    false, -1, {}, CompareMode::Server};
    EXPECT_TRUE(renderScript(source(false), plan).contains("\r\n\r\ncreate view v as\r\nselect 'a\nb' as x\r\nGO\r\n"));
}

TEST(ListingText, DelimitedQuotesWhatWouldBreakALineAndJsonKeepsTypes)
{
    ResultSet r(QStringList{"比较结果", "表名1", "长度"});
    r.appendRow({QString("4"), QString("a,b"), qlonglong(50)});
    r.appendRow({QString(" 字段说明不同 "), QString("say \"hi\"\tnow\nthen"), QVariant()});
    EXPECT_EQ(delimitedText(r, allRows(r), ListingFormat::Csv).toStdString(),
              "比较结果,表名1,长度\r\n4,\"a,b\",50\r\n 字段说明不同 ,\"say \"\"hi\"\"\tnow\nthen\",\r\n");
    EXPECT_EQ(delimitedText(r, {1}, ListingFormat::Tsv).toStdString(),
              "比较结果\t表名1\t长度\n 字段说明不同 \t\"say \"\"hi\"\"\tnow\nthen\"\t\n");
    EXPECT_EQ(QString::fromUtf8(jsonText(r, {0, 1})).simplified().toStdString(),
              "{ \"fields\": [ \"比较结果\", \"表名1\", \"长度\" ], \"rows\": [ [ \"4\", \"a,b\", 50 ], "
              "[ \" 字段说明不同 \", \"say \\\"hi\\\"\\tnow\\nthen\", null ] ] }");
}

TEST(ListingText, ChooseRowsByCodeAndByNameOnEitherSide)
{
    ResultSet r(QStringList{"比较结果", "表名1", "字段名", "表名2", "字段名_1"});
    r.appendRow({QString("2"), QString("Orders"), QString("id"), QVariant(), QVariant()});
    r.appendRow({QString("1"), QVariant(), QVariant(), QString("legacy"), QString("b")});
    r.appendRow({QString(" 字段说明不同 "), QString("orders"), QString("v"), QString("orders"), QString("v")});
    EXPECT_EQ(chooseRows(r, ListingKind::Tables, {}, {}), (QList<int>{0, 1, 2}));
    EXPECT_EQ(chooseRows(r, ListingKind::Tables, {}, {"ORDERS"}), (QList<int>{0, 2}));
    EXPECT_EQ(chooseRows(r, ListingKind::Tables, {"字段说明不同", "1"}, {}), (QList<int>{1, 2}));
    EXPECT_EQ(chooseRows(r, ListingKind::Tables, {"1"}, {"orders"}), QList<int>());

    ResultSet v(QStringList{"类型", "匹配情况", "对象名称", "atext", "btext"});
    v.appendRow({QString("视图"), QString("目标无"), QString("v1"), QString("create view v1"), QVariant()});
    v.appendRow({QString("存储过程"), QString("源无"), QString("p1"), QVariant(), QString("x")});
    EXPECT_EQ(chooseRows(v, ListingKind::Routines, {"源无"}, {}), QList<int>{1});
    EXPECT_EQ(chooseRows(v, ListingKind::Routines, {}, {"V1"}), QList<int>{0});
    EXPECT_EQ(listingKind(v), ListingKind::Routines);
    EXPECT_EQ(listingKind(r), ListingKind::Tables);
    EXPECT_EQ(listingKind(ResultSet(QStringList{"name"})), std::nullopt);
}
