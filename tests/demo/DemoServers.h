#pragma once
// The demo as tools/run-dbsync.sh sets it up: sqlsim with the servers "sample" and "target"
// loaded from demo/*.sql, and a settings file for them written by dbsync-demo-settings into
// the test program's folder, where "读取数据连接参数" reads it.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <map>
#include <stdexcept>

namespace demo {

inline const QString kSampleDatabase = QStringLiteral("dbsync_demo_sample");
inline const QString kTargetDatabase = QStringLiteral("dbsync_demo_target");
inline const QString kSamplePassword = QStringLiteral("demo-sample");
inline const QString kTargetPassword = QStringLiteral("demo-target");

class DemoServers {
public:
    DemoServers()
    {
        if (!m_dir.isValid())
            throw std::runtime_error("no temporary folder");
        const QString scripts = QStringLiteral(DEMO_DIR);
        QStringList args;
        for (const QString &server : {QStringLiteral("sample"), QStringLiteral("target")}) {
            QDir().mkpath(backupDir(server));
            args << "--server" << server + "=127.0.0.1:0";
            args << "--login" << server + ":sa:" + (server == "sample" ? kSamplePassword : kTargetPassword);
            args << "--init" << server + ":" + scripts + "/" + server + "-database.sql";
            args << "--init" << server + ":" + scripts + "/" + server + ".sql";
            args << "--backup-dir" << server + ":" + backupDir(server);
        }
        const QString ready = m_dir.filePath("ready");
        args << "--ready-file" << ready << "--log" << m_dir.filePath("log.jsonl") << "--exit-with-parent";
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        m_process.start(QStringLiteral(SQLSIM_PATH), args);
        if (!m_process.waitForStarted(5000))
            throw std::runtime_error("sqlsim did not start");
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 30000) {
            QFile file(ready);
            if (file.open(QIODevice::ReadOnly)) {
                for (const QByteArray &line : file.readAll().split('\n')) {
                    const QList<QByteArray> parts = line.simplified().split(' ');
                    if (parts.size() == 3)
                        m_ports[QString::fromUtf8(parts[0])] = parts[2].toInt();
                }
                if (m_ports.size() == 2)
                    return;
            }
            if (m_process.waitForFinished(20))
                throw std::runtime_error("sqlsim ended before it was ready: the demo scripts failed");
        }
        stop();
        throw std::runtime_error("sqlsim was not ready in time");
    }

    ~DemoServers() { stop(); }
    DemoServers(const DemoServers &) = delete;
    DemoServers &operator=(const DemoServers &) = delete;

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }

    QString address(const QString &server) const { return QStringLiteral("127.0.0.1,%1").arg(m_ports.at(server)); }
    QString backupDir(const QString &server) const { return m_dir.filePath(server + "-c"); }

    // Runs dbsync-demo-settings as the run script does; gives its exit code.
    int writeSettings(const QString &file) const
    {
        QProcess helper;
        helper.setProcessChannelMode(QProcess::ForwardedChannels);
        helper.start(QStringLiteral(DEMO_SETTINGS_PATH),
                     {file, address("sample"), "sa", kSamplePassword, kSampleDatabase, address("target"), "sa",
                      kTargetPassword, kTargetDatabase});
        if (!helper.waitForFinished(30000) || helper.exitStatus() != QProcess::NormalExit)
            return -1;
        return helper.exitCode();
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    std::map<QString, int> m_ports;
};

}  // namespace demo
