#pragma once
// The backup of the target database to a stamped file in the root of its server's C: drive.

#include <QDateTime>
#include <QString>
#include <optional>

namespace dbsync {

class AdoQuery;

// Month, day of the month and second of one clock reading, in decimal without leading zeros:
// 5 March at second 7 gives "357".
QString backupStamp(const QDateTime &clock);

// The database name (already trimmed) followed by the stamp; no extension.
QString backupFileName(const QString &databaseName, const QDateTime &clock);

// "backup database " + name + " to disk = 'c:\" + file name + "'". The name is written as an
// identifier and the file name's single quotes are doubled, so no name can end the
// statement early.
QString backupStatement(const QString &databaseName, const QString &fileName);

// "已经在服务器C盘上备份c:\(" + file name + ")成功！"
QString backupNotice(const QString &fileName);

// The backup command without its window: trims the target database name and, when it is
// not empty, runs the backup statement as the only line of the query (which stays holding
// it) and gives the notice to show. Nothing runs for an empty name. DbError from the server
// passes through.
std::optional<QString> runBackup(const QString &targetDatabaseText, const QDateTime &clock, AdoQuery &query);

}  // namespace dbsync
