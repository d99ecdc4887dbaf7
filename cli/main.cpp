// dbsync-cli: the listings, scripts and synchronisations of the window, for scripts and build
// servers.
#include "cli/CliRun.h"
#include "settings/ConnectionSettings.h"
#include "settings/FileWrite.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();

    dbsync::cli::Io io;
    // A full disk or a closed pipe must not pass for a written result.
    io.out = [](const QByteArray &bytes) {
        errno = 0;
        if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) != size_t(bytes.size())
            || std::fflush(stdout) != 0) {
            const int error = errno;
            std::clearerr(stdout);
            throw dbsync::FileError(QStringLiteral("Unable to write to standard output"),
                                    QString::fromLocal8Bit(std::strerror(error ? error : EIO)));
        }
    };
    io.err = [](const QByteArray &bytes) {
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
        std::fflush(stderr);
    };
    io.progress = isatty(fileno(stderr)) != 0;
    io.environment = [](const char *name) {
        return qEnvironmentVariableIsSet(name) ? qEnvironmentVariable(name) : QString();
    };
    // The window's places: dbsync-cli lives beside dbsync.
    io.settingsSearchPaths = dbsync::settingsSearchPaths();

    dbsync::cli::Options options;
    try {
        options = dbsync::cli::parseOptions(arguments);
    } catch (const dbsync::cli::UsageError &e) {
        io.err(QByteArray("dbsync-cli: ") + e.what() + "\n");
        io.err(QStringLiteral("用 dbsync-cli --help 查看用法\n").toUtf8());
        return 2;
    }
    return dbsync::cli::run(options, io);
}
