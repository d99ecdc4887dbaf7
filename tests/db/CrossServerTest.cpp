#include "db/CrossServer.h"
#include "db/ServerAccess.h"

#include "tests/db/QtPrinters.h"

#include <gtest/gtest.h>

using namespace dbsync;

TEST(EnablingStatements, AreTheFourTextsInOrder)
{
    EXPECT_EQ(enablingStatements(),
              QStringList({"exec sp_configure'show advanced options',1", "reconfigure",
                           "exec sp_configure'Ad Hoc Distributed Queries',1", "reconfigure"}));
}

TEST(RemotePrefixes, OrdinaryValuesGiveTheUsualText)
{
    EXPECT_EQ(remoteDatabasePrefix("10.0.0.9", "sa", "pw", "shop"),
              "OPENDATASOURCE('SQLOLEDB','Data Source=10.0.0.9;User ID=sa;Password=pw').shop");
    EXPECT_EQ(remoteSchemaPrefix("10.0.0.9", "sa", "pw", "shop"),
              "OPENDATASOURCE('SQLOLEDB','Data Source=10.0.0.9;User ID=sa;Password=pw').shop.dbo.");
    ServerFields f;
    f.EIP = " h ";
    f.EUser = "u";
    f.EPassword = "";
    f.ComboBox1 = QString::fromUtf8("样本库");
    EXPECT_EQ(remoteSchemaPrefix(f),
              QString::fromUtf8("OPENDATASOURCE('SQLOLEDB','Data Source= h ;User ID=u;Password=').样本库.dbo."));
}

TEST(RemotePrefixes, HostileValuesStayInsideTheirPlace)
{
    EXPECT_EQ(remoteDatabasePrefix("h", "o'neil", "p'w", "my db"),
              "OPENDATASOURCE('SQLOLEDB','Data Source=h;User ID=o''neil;Password=p''w').[my db]");
    EXPECT_EQ(remoteDatabasePrefix("h", "u", "x');drop table t--", "d]x"),
              "OPENDATASOURCE('SQLOLEDB','Data Source=h;User ID=u;Password=\"x'');drop table t--\"').[d]]x]");
    EXPECT_EQ(remoteDatabasePrefix("h", "u", "'lead", "d"),
              "OPENDATASOURCE('SQLOLEDB','Data Source=h;User ID=u;Password=\"''lead\"').d");
}
