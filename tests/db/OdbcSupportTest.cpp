#include "db/OdbcSupport.h"

#include <gtest/gtest.h>

using namespace dbsync;

TEST(DriverPrefixes, AreTakenOffTheMessage)
{
    EXPECT_EQ(stripDriverPrefixes("[FreeTDS][SQL Server]Login failed for user 'x'."), "Login failed for user 'x'.");
    EXPECT_EQ(stripDriverPrefixes("[unixODBC][Driver Manager]Data source name not found"),
              "Data source name not found");
    EXPECT_EQ(stripDriverPrefixes("[Microsoft][ODBC Driver 18 for SQL Server][SQL Server]Invalid object name 'x'."),
              "Invalid object name 'x'.");
    EXPECT_EQ(stripDriverPrefixes("[dbo].[t] is not a view"), "[dbo].[t] is not a view");
    EXPECT_EQ(stripDriverPrefixes("plain"), "plain");
}

TEST(DriverErrors, FirstErrorRecordSpeaksNotWarnings)
{
    const std::vector<odbc::DiagRecord> records = {
        {"01000", 0, "[FreeTDS][SQL Server]Changed database context to 'master'."},
        {"42000", 4060, "[FreeTDS][SQL Server]Cannot open database \"nope\" requested by the login."},
        {"08004", 0, "[FreeTDS][SQL Server]Unable to connect to data source"},
    };
    const DbError error = odbc::errorFrom(records, "fallback");
    EXPECT_STREQ(error.what(), "Cannot open database \"nope\" requested by the login.");
    EXPECT_EQ(error.sqlState(), "42000");
    EXPECT_STREQ(odbc::errorFrom({}, "SQLExecDirect failed").what(), "SQLExecDirect failed");
}

TEST(DriverErrors, ReasonForAFailedLoginComesBeforeTheLoginFailure)
{
    const std::vector<odbc::DiagRecord> records = {
        {"42000", 18456, "[FreeTDS][SQL Server]Login failed for user 'sa'."},
        {"42000", 4060, "[FreeTDS][SQL Server]Cannot open database \"nope\" requested by the login. The login failed."},
        {"08001", 0, "[FreeTDS][SQL Server]Unable to connect to data source"},
    };
    EXPECT_STREQ(odbc::errorFrom(records, {}).what(),
                 "Cannot open database \"nope\" requested by the login. The login failed.");
    EXPECT_STREQ(odbc::errorFrom({records[0], records[2]}, {}).what(), "Login failed for user 'sa'.");
}

// Texts from the driver copy as they are; a leading byte order mark is read as QString's
// UTF-16 decoding reads it (dropped, or the rest taken as the other byte order).
TEST(DriverTexts, ConvertAsUtf16Decoding)
{
    const std::u16string texts[] = {u"", u"plain", u"  名称 ", u"\U00020000x", u"\uFEFFafter", u"\uFFFEab",
                                    u"a\uFEFF", std::u16string(5000, u'z')};
    for (const std::u16string &t : texts) {
        const auto *chars = reinterpret_cast<const SQLWCHAR *>(t.data());
        const QString expected = QString::fromUtf16(t.data(), qsizetype(t.size()));
        EXPECT_EQ(odbc::fromSqlWChar(chars, qsizetype(t.size())), expected) << expected.toStdString();
    }
    EXPECT_EQ(odbc::fromSqlWChar(reinterpret_cast<const SQLWCHAR *>(u"\uFEFFab"), 3), QStringLiteral("ab"));
}
