#include "maintenance/Backup.h"

#include "db/AdoQuery.h"
#include "db/ConnectionString.h"
#include "db/SqlQuote.h"

namespace dbsync {

QString backupStamp(const QDateTime &clock)
{
    const QDate date = clock.date();
    return QString::number(date.month()) + QString::number(date.day()) + QString::number(clock.time().second());
}

QString backupFileName(const QString &databaseName, const QDateTime &clock)
{
    return databaseName + backupStamp(clock);
}

QString backupStatement(const QString &databaseName, const QString &fileName)
{
    return QStringLiteral("backup database ") + quoteIdentifier(databaseName) + QStringLiteral(" to disk = 'c:\\")
        + quoteStringLiteralContent(fileName) + QStringLiteral("'");
}

QString backupNotice(const QString &fileName)
{
    return QStringLiteral("已经在服务器C盘上备份c:\\(") + fileName + QStringLiteral(")成功！");
}

std::optional<QString> runBackup(const QString &targetDatabaseText, const QDateTime &clock, AdoQuery &query)
{
    const QString name = trimBlanksAndControls(targetDatabaseText);
    if (name.isEmpty())
        return std::nullopt;
    const QString fileName = backupFileName(name, clock);  // one reading for statement and notice
    query.close();
    query.clearSql();
    query.addSql(backupStatement(name, fileName));
    query.execSQL();
    return backupNotice(fileName);
}

}  // namespace dbsync
