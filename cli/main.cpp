// dbsync-cli: the listings, scripts and synchronisations of the window, for scripts and build
// servers.
#include "cli/CliRun.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <unistd.h>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();

    dbsync::cli::Io io;
    io.out = [](const QByteArray &bytes) {
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
        std::fflush(stdout);
    };
    io.err = [](const QByteArray &bytes) {
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
        std::fflush(stderr);
    };
    io.progress = isatty(fileno(stderr)) != 0;
    io.environment = [](const char *name) {
        return qEnvironmentVariableIsSet(name) ? qEnvironmentVariable(name) : QString();
    };
    // The file the window reads: "./myini.ini" in the program's folder, which is dbsync's.
    io.defaultSettingsFile = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("myini.ini"));

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
