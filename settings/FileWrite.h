#pragma once
// Writing a whole file so that a failure is never taken for success: every file the tool writes
// (settings, scripts, CSV) goes through here.

#include <QByteArray>
#include <QFileDevice>
#include <QString>

#include <optional>
#include <stdexcept>

namespace dbsync {

// A file that could not be read or written; what() is "<message>: <reason>", the reason as the
// system gives it ("No space left on device").
class FileError : public std::runtime_error {
public:
    FileError(const QString &message, const QString &reason);
    const QString &reason() const { return m_reason; }

private:
    QString m_reason;
};

// Writes bytes as the whole content of fileName. A regular file (or a new one) is written beside
// it under a temporary name and renamed over it, so a failed write leaves the old file, or none,
// under the name; the old file's permissions stay, a new one gets newFilePermissions when given.
// A device or pipe (/dev/stdout, /dev/full) is written directly. Throws FileError
// "Unable to write to <fileName>: <reason>".
void writeWholeFile(const QString &fileName, const QByteArray &bytes,
                    std::optional<QFileDevice::Permissions> newFilePermissions = std::nullopt);

}  // namespace dbsync
