// Which type changes keep every stored value, and how the losses are counted and told.
#include "schema/DataLoss.h"

#include <gtest/gtest.h>

using namespace dbsync::schema;

namespace {

bool keeps(const ColumnType &from, const ColumnType &to)
{
    return keepsEveryValue(from, to);
}

}  // namespace

TEST(DataLoss, WideningKeepsValuesNarrowingOrConvertingDoesNot)
{
    // Room enough, MAX, wider integers, more digits on both sides of the point, wider dates.
    EXPECT_TRUE(keeps({"varchar", 20, 0}, {"varchar", 50, 0}));
    EXPECT_TRUE(keeps({"varchar", 20, 0}, {"nvarchar", 20, 0}));
    EXPECT_TRUE(keeps({"nvarchar", 4000, 0}, {"NVARCHAR", -1, 0}));
    EXPECT_TRUE(keeps({"char", 5, 0}, {"varchar", 5, 0}));
    EXPECT_TRUE(keeps({"varbinary", 16, 0}, {"varbinary", -1, 0}));
    EXPECT_TRUE(keeps({"smallint", 5, 0}, {"bigint", 19, 0}));
    EXPECT_TRUE(keeps({"decimal", 10, 2}, {"numeric", 12, 3}));
    EXPECT_TRUE(keeps({"smalldatetime", 16, 0}, {"datetime2", 27, 7}));
    EXPECT_TRUE(keeps({"date", 10, 0}, {"datetime", 23, 3}));
    EXPECT_TRUE(keeps({"real", 24, 0}, {"float", 53, 0}));

    EXPECT_FALSE(keeps({"varchar", 50, 0}, {"varchar", 20, 0}));
    EXPECT_FALSE(keeps({"varchar", -1, 0}, {"varchar", 8000, 0}));
    EXPECT_FALSE(keeps({"nvarchar", 20, 0}, {"varchar", 20, 0}));
    EXPECT_FALSE(keeps({"bigint", 19, 0}, {"int", 10, 0}));
    EXPECT_FALSE(keeps({"decimal", 10, 2}, {"decimal", 10, 1}));  // rounds
    EXPECT_FALSE(keeps({"decimal", 10, 2}, {"decimal", 10, 4}));  // fewer integer digits
    EXPECT_FALSE(keeps({"datetime", 23, 3}, {"date", 10, 0}));    // cuts the time
    EXPECT_FALSE(keeps({"datetime2", 27, 7}, {"datetime2", 27, 3}));
    EXPECT_FALSE(keeps({"float", 53, 0}, {"int", 10, 0}));
    EXPECT_FALSE(keeps({"int", 10, 0}, {"varchar", 10, 0}));
}

TEST(DataLoss, ChecksCountTheAffectedRowsAndLinesNameThem)
{
    const QString t = "[my db].[dbo].[Order]]s]";
    EXPECT_EQ(tableDropCheck(t, "Order]s").query, "select count(*) from [my db].[dbo].[Order]]s]");
    EXPECT_EQ(columnDropCheck(t, "Order]s", "a b").query, "select count(*) from [my db].[dbo].[Order]]s] where [a b] is not null");
    EXPECT_FALSE(typeChangeCheck(t, "Order]s", "n", {"int", 10, 0}, {"bigint", 19, 0}).has_value());
    // A shorter text cuts only the longer values; another type may change any value.
    EXPECT_EQ(typeChangeCheck(t, "Order]s", "n", {"nvarchar", 40, 0}, {"nvarchar", 10, 0})->query,
              "select count(*) from [my db].[dbo].[Order]]s] where len(n) > 10");
    const auto toDate = typeChangeCheck(t, "Order]s", "d", {"datetime", 23, 3}, {"date", 10, 0});
    EXPECT_EQ(toDate->query, "select count(*) from [my db].[dbo].[Order]]s] where d is not null");
    EXPECT_EQ(toDate->change, "改为 date");
    EXPECT_EQ(typeDeclaration({"DECIMAL", 18, 4}), "decimal(18,4)");
    EXPECT_EQ(typeDeclaration({"varchar", -1, 0}), "varchar(max)");

    const QList<DataLoss> losses{{tableDropCheck(t, "old"), 12},
                                 {columnDropCheck(t, "orders", "note"), 3},
                                 {*toDate, 7}};
    EXPECT_EQ(dataLossLines(losses), (QStringList{"表 old：删除表，表中有 12 行数据", "列 orders.note：删除列，有 3 行的值不为空",
                                                  "列 Order]s.d：改为 date，有 7 行的值可能改变或被截断"}));
}
