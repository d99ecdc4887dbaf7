#include "db/SqlQuote.h"

#include "tests/db/QtPrinters.h"

#include <gtest/gtest.h>

using namespace dbsync;

TEST(SqlQuote, RegularNamesStayAsTheyAre)
{
    for (const char *name : {"shop", "_x", "#temp", "a1$@#_", "Orders2024", "表格", "客户资料_1"})
        EXPECT_EQ(quoteIdentifier(QString::fromUtf8(name)), QString::fromUtf8(name)) << name;
}

TEST(SqlQuote, OtherNamesAreBracketed)
{
    EXPECT_EQ(quoteIdentifier("my db"), "[my db]");
    EXPECT_EQ(quoteIdentifier("1abc"), "[1abc]");
    EXPECT_EQ(quoteIdentifier("a-b"), "[a-b]");
    EXPECT_EQ(quoteIdentifier("x;drop database y--"), "[x;drop database y--]");
    EXPECT_EQ(quoteIdentifier("o'brien"), "[o'brien]");
    EXPECT_EQ(quoteIdentifier("a]b"), "[a]]b]");
    EXPECT_EQ(quoteIdentifier("[a]"), "[[a]]]");
    EXPECT_EQ(quoteIdentifier(""), "[]");
    EXPECT_EQ(quoteIdentifier("@v"), "[@v]");  // would be read as a variable
    EXPECT_EQ(quoteIdentifier(QString::fromUtf8("表 格")), QString::fromUtf8("[表 格]"));
}

TEST(SqlQuote, ReservedWordsAreBracketedWhateverTheCase)
{
    EXPECT_EQ(quoteIdentifier("select"), "[select]");
    EXPECT_EQ(quoteIdentifier("Table"), "[Table]");
    EXPECT_EQ(quoteIdentifier("BACKUP"), "[BACKUP]");
    EXPECT_EQ(quoteIdentifier("selected"), "selected");
}

TEST(SqlQuote, StringLiteralContentDoublesSingleQuotes)
{
    EXPECT_EQ(quoteStringLiteralContent("plain"), "plain");
    EXPECT_EQ(quoteStringLiteralContent("it's"), "it''s");
    EXPECT_EQ(quoteStringLiteralContent("')--"), "'')--");
    EXPECT_EQ(quoteStringLiteralContent("''"), "''''");
}
