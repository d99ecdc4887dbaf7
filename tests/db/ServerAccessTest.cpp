#include "db/ServerAccess.h"

#include "db/AdoConnection.h"
#include "db/DbError.h"

#include "tests/db/QtPrinters.h"

#include <gtest/gtest.h>

using namespace dbsync;

namespace {

ServerFields filled()
{
    ServerFields f;
    f.EIP = "10.1.1.1,1433";
    f.EUser = "sa";
    f.EPassword = "pw1";
    f.ComboBox1 = "sample";
    f.Edit2 = "127.0.0.1";
    f.Edit3 = "admin";
    f.MaskEdit1 = "pw2";
    f.ComboBox2 = "target";
    return f;
}

}  // namespace

TEST(InputChecks, FirstEmptyFieldWinsInOrder)
{
    EXPECT_FALSE(checkServerFields(filled()));

    struct Case {
        QString ServerFields::*field;
        const char *message;
        std::optional<ParameterField> focus;
    };
    const Case cases[] = {
        {&ServerFields::EIP, "上级IP地址！", ParameterField::EIP},
        {&ServerFields::EUser, "请添写用户名！", ParameterField::EUser},
        {&ServerFields::EPassword, "请添写密码！", std::nullopt},
        {&ServerFields::Edit2, "请添写本地IP地址！", ParameterField::Edit2},
        {&ServerFields::Edit3, "请添写用户名！", ParameterField::Edit3},
        {&ServerFields::ComboBox2, "请添写帐套名称！", ParameterField::ComboBox2},
    };
    for (const Case &c : cases) {
        ServerFields f = filled();
        f.*(c.field) = QString();
        const auto failure = checkServerFields(f);
        ASSERT_TRUE(failure) << c.message;
        EXPECT_EQ(failure->message, QString::fromUtf8(c.message));
        EXPECT_EQ(failure->focus, c.focus);
    }

    ServerFields f;  // all empty: the first check speaks
    EXPECT_EQ(checkServerFields(f)->message, QString::fromUtf8("上级IP地址！"));
    f = filled();
    f.Edit2.clear();
    f.ComboBox2.clear();
    EXPECT_EQ(checkServerFields(f)->message, QString::fromUtf8("请添写本地IP地址！"));
}

TEST(InputChecks, UncheckedAndBlankFieldsPass)
{
    ServerFields f = filled();
    f.MaskEdit1.clear();
    f.ComboBox1.clear();
    f.EIP = "   ";
    EXPECT_FALSE(checkServerFields(f));
}

TEST(ConnectionStrings, EachRoleGetsItsFields)
{
    ServerFields f = filled();
    f.EIP = " 10.1.1.1,1433 ";
    f.EUser = "\tsa ";
    f.MaskEdit1 = "";
    f.ComboBox2 = " target ";
    EXPECT_EQ(sampleServerConnectionString(f),
              "Provider=SQLOLEDB.1;Persist Security Info=True;;Password=pw1;User ID=sa;Data Source=10.1.1.1,1433");
    EXPECT_EQ(targetServerConnectionString(f),
              "Provider=SQLOLEDB.1;Persist Security Info=True;;Password=;User ID=admin;Data Source=127.0.0.1");
    EXPECT_EQ(targetDatabaseConnectionString(f),
              "Provider=SQLOLEDB.1;Persist Security Info=True;;Password=;User ID=admin;"
              "Initial Catalog= target ;Data Source=127.0.0.1");
}

TEST(ConnectionStrings, ParametersMatchTheStrings)
{
    ServerFields f = filled();
    f.MaskEdit1 = " a;b ";
    const ConnectionParameters p = targetDatabaseParameters(f);
    EXPECT_EQ(p.password, "a;b");
    EXPECT_EQ(p.initialCatalog, QString("target"));
    EXPECT_EQ(buildConnectionString(p), targetDatabaseConnectionString(f));
    EXPECT_FALSE(sampleServerParameters(f).initialCatalog);
    AdoConnection connection;
    connection.setConnectionParameters(p);
    EXPECT_EQ(connection.connectionString(), targetDatabaseConnectionString(f));
}

TEST(ConnectionStrings, ListQueryKeepsItsTrailingBlank)
{
    EXPECT_EQ(databaseListQuery(), "select name from master..sysdatabases ");
}

TEST(Reopen, FailedOpenLeavesNewStringAndClosedConnection)
{
    AdoConnection connection;
    // A malformed string fails before any network work.
    EXPECT_THROW(reopenConnection(connection, "Password=a;b;Data Source=h"), DbError);
    EXPECT_FALSE(connection.isOpen());
    EXPECT_EQ(connection.connectionString(), "Password=a;b;Data Source=h");
    EXPECT_EQ(connection.loginTimeout(), 15);
}
