#pragma once
// The two servers an end-to-end test talks to, "sample" and "target": sqlsim started for the
// test program, or, when DBSYNC_E2E_SAMPLE / DBSYNC_E2E_TARGET ("host,port") and their _USER
// and _PASSWORD variables are set, two real SQL Servers (nothing is started). Only sqlsim keeps
// a log of the batches it received and takes fault injection; tests ask before using either.

#include "db/AdoCommand.h"
#include "db/AdoConnection.h"
#include "db/ConnectionString.h"
#include "db/SqlQuote.h"
#include "tests/db/SqlsimProcess.h"

#include <QCoreApplication>
#include <QDateTime>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <stdexcept>

namespace dbsync::test {

inline const char kNeedsLog[] = "needs sqlsim's statement log";
inline const char kNeedsFaults[] = "needs sqlsim's fault injection";
inline const char kNeedsBackupDir[] = "needs sqlsim's backup folder";

struct ServerAccount {
    QString address;  // as typed into the window: "host,port"; the target must reach the sample under it too
    QString login;
    QString password;
};

// One side's account from DBSYNC_E2E_<SIDE>, _USER and _PASSWORD, read through `variable`;
// nothing when none of the three is set. Some set but not all is a mistake, not sqlsim.
inline std::optional<ServerAccount> accountFromVariables(const QString &side,
                                                         const std::function<QString(const QString &)> &variable)
{
    const QString prefix = QStringLiteral("DBSYNC_E2E_") + side.toUpper();
    const ServerAccount account{variable(prefix).trimmed(), variable(prefix + QStringLiteral("_USER")),
                                variable(prefix + QStringLiteral("_PASSWORD"))};
    if (account.address.isEmpty() && account.login.isEmpty() && account.password.isEmpty())
        return std::nullopt;
    if (account.address.isEmpty() || account.login.isEmpty())
        throw std::invalid_argument((prefix + QStringLiteral(" and ") + prefix
                                     + QStringLiteral("_USER must both be set (and _PASSWORD) to use a real server"))
                                        .toStdString());
    return account;
}

// Both sides' accounts, or nothing for sqlsim; one side alone is a mistake.
inline std::optional<std::pair<ServerAccount, ServerAccount>> realServersFrom(
    const std::function<QString(const QString &)> &variable)
{
    const auto sample = accountFromVariables(QStringLiteral("sample"), variable);
    const auto target = accountFromVariables(QStringLiteral("target"), variable);
    if (!sample && !target)
        return std::nullopt;
    if (!sample || !target)
        throw std::invalid_argument("DBSYNC_E2E_SAMPLE and DBSYNC_E2E_TARGET must both be set to use real servers");
    return std::pair{*sample, *target};
}

inline QString environmentVariable(const QString &name)
{
    return QString::fromLocal8Bit(qgetenv(name.toLocal8Bit().constData()));
}

// True when the environment names real servers (and names them completely).
inline bool realServersConfigured()
{
    return realServersFrom(environmentVariable).has_value();
}

class TestServers {
public:
    // Real servers when the environment names them; otherwise a sqlsim with these servers
    // (which must include "sample" and "target"). Throws when neither can be had.
    explicit TestServers(const QList<SqlsimProcess::Server> &simServers)
    {
        if (const auto real = realServersFrom(environmentVariable)) {
            m_accounts[QStringLiteral("sample")] = real->first;
            m_accounts[QStringLiteral("target")] = real->second;
            return;
        }
        if (sqlsimBinary().isEmpty())
            throw std::runtime_error("sqlsim is not built");
        m_sim = std::make_unique<SqlsimProcess>(simServers);
        for (const SqlsimProcess::Server &s : simServers)
            m_accounts[s.name] = {m_sim->address(s.name), s.login, s.password};
    }

    bool onSqlsim() const { return m_sim != nullptr; }
    // The simulator; only when onSqlsim().
    SqlsimProcess &sim() const
    {
        if (!m_sim)
            throw std::logic_error("sqlsim only: the tests run against real servers");
        return *m_sim;
    }

    const ServerAccount &account(const QString &server) const { return m_accounts.at(server); }
    QString address(const QString &server) const { return account(server).address; }

    // A database name no earlier run used: the servers may be shared and keep what a crashed
    // run left. On sqlsim, which starts empty, the short names of before.
    QString freshDatabaseName(const QString &shortName) const
    {
        if (onSqlsim())
            return shortName;
        static const QString run = QStringLiteral("dbsync_e2e_%1_%2_")
                                       .arg(QCoreApplication::applicationPid())
                                       .arg(QDateTime::currentMSecsSinceEpoch() % 100000000);
        return run + shortName;
    }

    // One batch on a server, in a database (none: the login's default); throws DbError.
    void exec(const QString &server, const QString &sql, const std::optional<QString> &database = {}) const
    {
        const ServerAccount &a = account(server);
        AdoConnection connection;
        connection.setConnectionString(buildConnectionString(a.password, a.login, database, a.address));
        connection.open();
        AdoCommand command(&connection, 60);
        command.setCommandText(sql);
        command.execute();
    }

    // Drops a database the test created, once the tool's connections to it are closed. A real
    // server may still hold a closing session for a moment: then everyone is put out first.
    void dropDatabase(const QString &server, const QString &name) const
    {
        const QString quoted = quoteIdentifier(name);
        try {
            exec(server, QStringLiteral("drop database ") + quoted, QStringLiteral("master"));
        } catch (const std::exception &first) {
            try {
                exec(server,
                     QStringLiteral("alter database ") + quoted
                         + QStringLiteral(" set single_user with rollback immediate\r\ndrop database ") + quoted,
                     QStringLiteral("master"));
            } catch (const std::exception &second) {
                throw std::runtime_error(std::string(first.what()) + "; then: " + second.what());
            }
        }
    }

private:
    std::unique_ptr<SqlsimProcess> m_sim;
    std::map<QString, ServerAccount> m_accounts;
};

}  // namespace dbsync::test
