#include "maintenance/Backup.h"

#include "db/AdoQuery.h"
#include "db/DbError.h"

#include "tests/db/QtPrinters.h"

#include <gtest/gtest.h>

using namespace dbsync;

namespace {
QDateTime at(int month, int day, int hour, int minute, int second)
{
    return QDateTime(QDate(2026, month, day), QTime(hour, minute, second));
}
}  // namespace

TEST(BackupName, StampIsMonthDaySecondWithoutZeros)
{
    EXPECT_EQ(backupStamp(at(3, 5, 10, 20, 7)), "357");
    EXPECT_EQ(backupStamp(at(12, 31, 23, 59, 59)), "123159");
    EXPECT_EQ(backupStamp(at(1, 11, 0, 0, 5)), backupStamp(at(11, 1, 0, 0, 5)));
    EXPECT_EQ(backupStamp(at(1, 1, 0, 0, 0)), "110");
    EXPECT_EQ(backupFileName("shop", at(3, 5, 0, 0, 7)), "shop357");
}

TEST(BackupStatement, OrdinaryNamesGiveTheUsualText)
{
    EXPECT_EQ(backupStatement("shop", "shop357"), "backup database shop to disk = 'c:\\shop357'");
    EXPECT_EQ(backupStatement(QString::fromUtf8("账套01"), QString::fromUtf8("账套01357")),
              QString::fromUtf8("backup database 账套01 to disk = 'c:\\账套01357'"));
    EXPECT_EQ(backupNotice("shop357"), QString::fromUtf8("已经在服务器C盘上备份c:\\(shop357)成功！"));
}

TEST(BackupStatement, HostileNamesCannotEndTheStatement)
{
    EXPECT_EQ(backupStatement("my db", "my db357"), "backup database [my db] to disk = 'c:\\my db357'");
    EXPECT_EQ(backupStatement("x';drop database y--", "x';drop database y--11"),
              "backup database [x';drop database y--] to disk = 'c:\\x'';drop database y--11'");
    EXPECT_EQ(backupStatement("a]b", "a]b1"), "backup database [a]]b] to disk = 'c:\\a]b1'");
}

TEST(BackupCommand, EmptyNameRunsNothing)
{
    AdoQuery query;  // no connection: anything run would throw
    query.setSql({"earlier"});
    EXPECT_FALSE(runBackup("", at(3, 5, 0, 0, 7), query));
    EXPECT_FALSE(runBackup(" \t ", at(3, 5, 0, 0, 7), query));
    EXPECT_EQ(query.sql(), QStringList{"earlier"});
}

TEST(BackupCommand, StatementIsTheOnlyLineEvenWhenItFails)
{
    AdoQuery query;  // no connection: the statement is set, then execution fails
    query.setSql({"earlier", "lines"});
    EXPECT_THROW(runBackup("  shop ", at(3, 5, 0, 0, 7), query), DbError);
    EXPECT_EQ(query.sql(), QStringList{"backup database shop to disk = 'c:\\shop357'"});
}
