#pragma once
// Starts a sqlsim process for a test and reads back its ports and its log of batches.
// The binary comes from the SQLSIM environment variable or SQLSIM_PATH (set by the build);
// empty when neither names an existing file.
// Started with fork and exec, not QProcess: Qt starts a child with clone(CLONE_VM|CLONE_VFORK),
// which ThreadSanitizer does not follow; the child's calls before exec then run on the test's
// main thread's sanitizer state and leave its later mutexes and atomics unseen, so that every
// hand-over to a long-lived worker thread is reported as a race.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <fcntl.h>
#include <map>
#include <optional>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace dbsync::test {

inline QString sqlsimBinary()
{
    QString path = QString::fromLocal8Bit(qgetenv("SQLSIM"));
#ifdef SQLSIM_PATH
    if (path.isEmpty())
        path = QStringLiteral(SQLSIM_PATH);
#endif
    return !path.isEmpty() && QFile::exists(path) ? path : QString();
}

class SqlsimProcess {
public:
    struct Server {
        QString name;
        QString login = QStringLiteral("sa");
        QString password = QStringLiteral("sqlsim");
        QStringList databases;
        bool sysadmin = true;       // false: sp_configure is refused (15247)
        bool oledbProvider = true;  // false: OPENDATASOURCE fails with 7403, as on Linux
        int port = 0;               // 0: a free one
    };

    // more: further options, such as --browser.
    explicit SqlsimProcess(const QList<Server> &servers, const QStringList &more = {})
    {
        if (!m_dir.isValid())
            throw std::runtime_error("no temporary folder");
        const QString ready = m_dir.filePath(QStringLiteral("ready"));
        QStringList args;
        for (const Server &s : servers) {
            args << QStringLiteral("--server") << s.name + QStringLiteral("=127.0.0.1:%1").arg(s.port);
            args << QStringLiteral("--login")
                 << s.name + QLatin1Char(':') + s.login + QLatin1Char(':') + s.password
                        + (s.sysadmin ? QString() : QStringLiteral(":nosysadmin"));
            if (!s.oledbProvider)
                args << QStringLiteral("--no-oledb-provider") << s.name;
            for (const QString &db : s.databases)
                args << QStringLiteral("--database") << s.name + QLatin1Char(':') + db;
            const QString backups = m_dir.filePath(s.name + QStringLiteral("-c"));
            QDir().mkpath(backups);
            args << QStringLiteral("--backup-dir") << s.name + QLatin1Char(':') + backups;
        }
        args << more << QStringLiteral("--ready-file") << ready << QStringLiteral("--log") << logPath()
             << QStringLiteral("--exit-with-parent");
        start(args);
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 15000) {
            QFile file(ready);
            if (file.open(QIODevice::ReadOnly) && readPorts(file.readAll(), servers.size()))
                return;
            if (waitForExit(20))
                throw std::runtime_error("sqlsim ended before it was ready");
        }
        stop();
        throw std::runtime_error("sqlsim was not ready in time");
    }

    ~SqlsimProcess() { stop(); }

    void stop()
    {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGTERM);
        if (!waitForExit(3000)) {
            ::kill(m_pid, SIGKILL);
            waitForExit(3000);
        }
    }

    // The folder that stands for the server's C: drive.
    QString backupDir(const QString &server) const { return m_dir.filePath(server + QStringLiteral("-c")); }
    int port(const QString &server) const { return m_ports.at(server); }
    QString address(const QString &server) const { return QStringLiteral("127.0.0.1,%1").arg(port(server)); }
    QString logPath() const { return m_dir.filePath(QStringLiteral("log.jsonl")); }

    // Every logged event, in order.
    QList<QJsonObject> events() const
    {
        QList<QJsonObject> out;
        QFile file(logPath());
        if (!file.open(QIODevice::ReadOnly))
            return out;
        for (const QByteArray &line : file.readAll().split('\n'))
            if (!line.trimmed().isEmpty())
                out << QJsonDocument::fromJson(line).object();
        return out;
    }

    // The texts of the batches a server received, in order.
    QStringList batches(const QString &server) const
    {
        QStringList out;
        for (const QJsonObject &event : events())
            if (event.value(QStringLiteral("event")).toString() == QLatin1String("batch")
                && event.value(QStringLiteral("server")).toString() == server)
                out << event.value(QStringLiteral("text")).toString();
        return out;
    }

private:
    // Its output goes nowhere, its errors to the test's.
    void start(const QStringList &args)
    {
        std::vector<QByteArray> texts{QFile::encodeName(sqlsimBinary())};
        for (const QString &arg : args)
            texts.push_back(arg.toLocal8Bit());
        std::vector<char *> argv;
        for (QByteArray &text : texts)
            argv.push_back(text.data());
        argv.push_back(nullptr);
        const int devnull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        m_pid = ::fork();
        if (m_pid == 0) {  // only async-signal-safe calls until exec
            if (devnull >= 0)
                ::dup2(devnull, STDOUT_FILENO);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        if (devnull >= 0)
            ::close(devnull);
        if (m_pid < 0)
            throw std::runtime_error("sqlsim did not start");
    }

    // True once the process has ended (and is reaped).
    bool waitForExit(int ms)
    {
        QElapsedTimer timer;
        timer.start();
        for (;;) {
            int status = 0;
            const pid_t ended = ::waitpid(m_pid, &status, WNOHANG);
            if (ended == m_pid || ended < 0) {
                m_pid = -1;
                return true;
            }
            if (timer.elapsed() >= ms)
                return false;
            QThread::msleep(5);
        }
    }

    // "name host port" lines, one per server.
    bool readPorts(const QByteArray &text, qsizetype expected)
    {
        m_ports.clear();
        for (const QByteArray &line : text.split('\n')) {
            const QList<QByteArray> parts = line.simplified().split(' ');
            if (parts.size() >= 2)
                m_ports[QString::fromUtf8(parts[0])] = parts.back().toInt();
        }
        return qsizetype(m_ports.size()) >= expected;
    }

    QTemporaryDir m_dir;
    pid_t m_pid = -1;
    std::map<QString, int> m_ports;
};

}  // namespace dbsync::test
