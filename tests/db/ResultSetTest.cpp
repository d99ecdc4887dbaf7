#include "db/ResultSet.h"

#include <gtest/gtest.h>

#include <stdexcept>

using dbsync::ResultSet;

TEST(ResultSetNames, RepeatedNamesGetCountingSuffixes)
{
    const ResultSet r({"序号", "字段名", "字段名", "标识", "字段名", "标识"});
    EXPECT_EQ(r.fieldNames(),
              QStringList({"序号", "字段名", "字段名_1", "标识", "字段名_2", "标识_1"}));
}

TEST(ResultSetNames, SuffixSkipsNamesAlreadyTaken)
{
    // The server's own "a_1" comes first, so the repeated "a" must count on to "a_2".
    const ResultSet r({"a", "a_1", "a", "A"});
    EXPECT_EQ(r.fieldNames(), QStringList({"a", "a_1", "a_2", "A_3"}));
}

TEST(ResultSetNames, UnnamedColumnsAreNumberedByPosition)
{
    const ResultSet r({"", "x", "", "COLUMN1"});
    EXPECT_EQ(r.fieldNames(), QStringList({"COLUMN1", "x", "COLUMN3", "COLUMN1_1"}));
}

class ResultSetValues : public ::testing::Test {
protected:
    ResultSetValues() : r({"比较结果", "长度", "比例", "默认值", "字段名", "字段名"})
    {
        r.appendRow({QString("3"), qlonglong(50), 2.5, QVariant(), QString("id"), QString("id2")});
        r.appendRow({QString(""), qlonglong(-1), 0.0, QString("(0)"), QVariant(), QString("x")});
    }
    ResultSet r;
};

TEST_F(ResultSetValues, ReadsByNameWithoutRegardToCase)
{
    EXPECT_EQ(r.rowCount(), 2);
    EXPECT_EQ(r.fieldCount(), 6);
    EXPECT_EQ(r.value(0, "长度").toLongLong(), 50);
    EXPECT_EQ(r.value(0, "字段名_1").toString(), "id2");
    EXPECT_EQ(r.fieldIndex("字段名_1"), 5);
    r = ResultSet({"Name"});
    r.appendRow({QString("master")});
    EXPECT_EQ(r.text(0, "NAME"), "master");
    EXPECT_EQ(r.fieldIndex("nAmE"), 0);
}

TEST_F(ResultSetValues, NullIsInvalidAndReadsAsEmptyText)
{
    EXPECT_FALSE(r.value(0, "默认值").isValid());
    EXPECT_EQ(r.text(0, "默认值"), "");
    EXPECT_EQ(r.text(1, "默认值"), "(0)");
    EXPECT_EQ(r.text(1, "长度"), "-1");
    EXPECT_EQ(r.text(0, "比例"), "2.5");
    // An empty text is a value, not a null.
    EXPECT_TRUE(r.value(1, "比较结果").isValid());
}

TEST_F(ResultSetValues, UnknownFieldAndBadPositionsThrow)
{
    EXPECT_EQ(r.fieldIndex("字段名_2"), -1);
    try {
        r.value(0, "字段名_2");
        FAIL() << "no error for an unknown field";
    } catch (const std::runtime_error &e) {
        EXPECT_NE(std::string(e.what()).find("字段名_2"), std::string::npos) << e.what();
    }
    EXPECT_THROW(r.text(0, "nope"), std::runtime_error);
    EXPECT_THROW(r.value(2, 0), std::out_of_range);
    EXPECT_THROW(r.value(-1, 0), std::out_of_range);
    EXPECT_THROW(r.value(0, 6), std::out_of_range);
}

TEST_F(ResultSetValues, RowOfWrongWidthIsRefusedAndNotAdded)
{
    EXPECT_THROW(r.appendRow({QString("1")}), std::invalid_argument);
    EXPECT_THROW(r.appendRow(QVector<QVariant>(7)), std::invalid_argument);
    EXPECT_EQ(r.rowCount(), 2);
    const ResultSet empty;
    EXPECT_EQ(empty.fieldCount(), 0);
    EXPECT_EQ(empty.rowCount(), 0);
}
