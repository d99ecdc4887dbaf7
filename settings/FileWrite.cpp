#include "settings/FileWrite.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace dbsync {

FileError::FileError(const QString &message, const QString &reason)
    : std::runtime_error(QStringLiteral("%1: %2").arg(message, reason).toStdString()), m_reason(reason)
{
}

namespace {

[[noreturn]] void failWrite(const QString &fileName, const QString &reason)
{
    throw FileError(QStringLiteral("Unable to write to %1").arg(fileName), reason);
}

// Writes until everything is written or the system says why not: a short write alone gives no
// reason, the next attempt does. Returns the reason, or nothing.
std::optional<QString> writeAll(QFileDevice &file, const QByteArray &bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0)
            return file.errorString();
        done += n;
    }
    return std::nullopt;
}

// Devices and pipes cannot be replaced by a rename, and must not be: root could swap /dev/full
// for a regular file.
void writeDirectly(const QString &fileName, const QByteArray &bytes)
{
    QFile file(fileName);
    // Unbuffered, so the device's own answer to each write is seen here.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        failWrite(fileName, file.errorString());
    if (const auto reason = writeAll(file, bytes))
        failWrite(fileName, *reason);
    file.close();
    if (file.error() != QFileDevice::NoError)
        failWrite(fileName, file.errorString());
}

}  // namespace

void writeWholeFile(const QString &fileName, const QByteArray &bytes,
                    std::optional<QFileDevice::Permissions> newFilePermissions)
{
    const QFileInfo info(fileName);
    if (info.exists() && !info.isFile() && !info.isDir()) {
        writeDirectly(fileName, bytes);
        return;
    }
    QSaveFile file(fileName);
    // Unbuffered: a buffered failure would surface in commit(), which loses the reason.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        failWrite(fileName, file.errorString());
    // The temporary file takes the mode before anything is in it.
    if (!info.exists() && newFilePermissions && !file.setPermissions(*newFilePermissions)) {
        const QString reason = file.errorString();
        file.cancelWriting();
        failWrite(fileName, reason);
    }
    if (const auto reason = writeAll(file, bytes)) {
        file.cancelWriting();
        failWrite(fileName, *reason);
    }
    if (!file.commit())
        failWrite(fileName, file.errorString());
}

}  // namespace dbsync
