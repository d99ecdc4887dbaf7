// Writes that fail are errors with the file's name and the system's reason, and leave no partial
// file under the name; a file-size limit stands for a full disk. (/dev/full: tests/cli.)
#include "settings/FileWrite.h"

#include <QFile>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

using namespace dbsync;

namespace {

std::string failureOf(const QString &file, const QByteArray &bytes)
{
    try {
        writeWholeFile(file, bytes);
    } catch (const FileError &e) {
        return e.what();
    }
    return "no error";
}

TEST(FileWrite, FailedWritesAreErrorsAndLeaveNoPartialFile)
{
    QTemporaryDir dir;
    const QString fresh = dir.filePath("new.sql"), old = dir.filePath("old.sql");
    QFile f(old);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write("before") == 6);
    f.close();
    // A 1 KiB file-size limit fails the write part-way, as a full disk does.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    // Larger and smaller than Qt's write buffer, which could hide the failure until commit.
    const std::string freshError = failureOf(fresh, QByteArray(64 * 1024, 'x'));
    const std::string oldError = failureOf(old, QByteArray(4 * 1024, 'x'));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_EQ(freshError, "Unable to write to " + fresh.toStdString() + ": File too large");
    EXPECT_EQ(oldError, "Unable to write to " + old.toStdString() + ": File too large");
    EXPECT_FALSE(QFile::exists(fresh));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "before");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"old.sql"});  // no temporary file left
}

}  // namespace
