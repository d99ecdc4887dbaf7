// The backup command against sqlsim: the statement that reaches the server, and when none does.

#include "maintenance/Backup.h"

#include "db/DatabaseObjects.h"
#include "db/DbError.h"
#include "db/ServerAccess.h"
#include "tests/db/SqlsimProcess.h"

#include "tests/db/QtPrinters.h"

#include <gtest/gtest.h>
#include <memory>

using namespace dbsync;
using dbsync::test::SqlsimProcess;

namespace {

class BackupEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (test::sqlsimBinary().isEmpty())
            GTEST_SKIP() << "sqlsim is not built";
        sim = std::make_unique<SqlsimProcess>(QList<SqlsimProcess::Server>{
            {"target", "sa", "pw", {"shop", "my db", QString::fromUtf8("账套")}}});
        fields.EIP = fields.Edit2 = sim->address("target");
        fields.EUser = fields.Edit3 = "sa";
        fields.EPassword = fields.MaskEdit1 = "pw";
        fields.ComboBox2 = "shop";
        connectServers(fields, db.ADOConnection1, db.ADOConnection2, db.ADOConnection3);
    }

    std::unique_ptr<SqlsimProcess> sim;
    ServerFields fields;
    DatabaseObjects db;
};

}  // namespace

TEST_F(BackupEndToEnd, RunsTheStampedStatementOnTheTargetDatabase)
{
    const QDateTime clock(QDate(2026, 3, 5), QTime(14, 2, 7));
    const qsizetype before = sim->batches("target").size();
    const auto notice = runBackup("  shop ", clock, db.ADOQuery3);
    ASSERT_TRUE(notice);
    EXPECT_EQ(*notice, QString::fromUtf8("已经在服务器C盘上备份c:\\(shop357)成功！"));
    EXPECT_EQ(sim->batches("target").mid(before), QStringList{"backup database shop to disk = 'c:\\shop357'"});
    EXPECT_TRUE(QFile::exists(sim->backupDir("target") + "/shop357"));
    EXPECT_EQ(db.ADOQuery3.sql(), QStringList{"backup database shop to disk = 'c:\\shop357'"});
}

TEST_F(BackupEndToEnd, FailureBeforeConnectingRaisesAndShowsNoNotice)
{
    DatabaseObjects fresh;  // ADOConnection3 never opened
    EXPECT_THROW(runBackup("shop", QDateTime::currentDateTime(), fresh.ADOQuery3), DbError);
}

TEST_F(BackupEndToEnd, NamesThatNeedQuotingStillBackUp)
{
    const QDateTime clock(QDate(2026, 11, 1), QTime(9, 0, 5));
    const qsizetype before = sim->batches("target").size();
    EXPECT_TRUE(runBackup("my db", clock, db.ADOQuery3));
    EXPECT_TRUE(runBackup(QString::fromUtf8("账套"), clock, db.ADOQuery3));
    EXPECT_EQ(sim->batches("target").mid(before),
              QStringList({"backup database [my db] to disk = 'c:\\my db1115'",
                           QString::fromUtf8("backup database 账套 to disk = 'c:\\账套1115'")}));
}

TEST_F(BackupEndToEnd, HostileNameRunsOnlyTheBackupStatement)
{
    const QDateTime clock(QDate(2026, 1, 2), QTime(0, 0, 3));
    const qsizetype before = sim->batches("target").size();
    EXPECT_THROW(runBackup("x';drop database shop--", clock, db.ADOQuery3), DbError);  // no such database
    EXPECT_EQ(sim->batches("target").mid(before),
              QStringList{"backup database [x';drop database shop--] to disk = 'c:\\x'';drop database shop--123'"});
}

TEST_F(BackupEndToEnd, EmptyNameSendsNothing)
{
    const qsizetype before = sim->batches("target").size();
    EXPECT_FALSE(runBackup("   ", QDateTime::currentDateTime(), db.ADOQuery3));
    EXPECT_EQ(sim->batches("target").size(), before);
}
