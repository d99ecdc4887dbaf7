#pragma once
// The window shown offscreen with its dialogs recorded, and the two servers it reaches
// (sample and target, own logins and passwords): sqlsim with preset databases, or the real
// servers TestServers.h reads from the environment, given those databases under fresh names
// for the suite. Readers of sqlsim's log; the suites leave out their checks of it elsewhere.

#include "tests/app/RecordingDialogs.h"
#include "tests/db/SqlsimProcess.h"
#include "tests/e2e/TestServers.h"

#include "app/Form43.h"
#include "db/AdoCommand.h"
#include "db/AdoConnection.h"
#include "db/AdoQuery.h"
#include "db/ConnectionString.h"
#include "db/SqlQuote.h"

#include <QComboBox>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <memory>
#include <utility>

namespace e2e {

using dbsync::test::SqlsimProcess;

inline const QString kSampleLogin = QStringLiteral("sa");
inline const QString kSamplePassword = QStringLiteral("sample-pw");
inline const QString kTargetLogin = QStringLiteral("admin");
inline const QString kTargetPassword = QStringLiteral("target-pw");

// The user databases, in the order sqlsim lists them after its system databases.
inline QStringList sampleDatabases() { return {"shop", QString::fromUtf8("样本库"), "alpha"}; }
inline QStringList targetDatabases()
{
    return {"shop", "zeta", QString::fromUtf8("账套"), "my db", "o'brien", "[x]", "a;b", "--c"};
}
inline QStringList systemDatabases() { return {"master", "tempdb", "model", "msdb"}; }

// Whether the environment names real servers (TestServers.h); a half-named pair is an error.
enum class Servers { Sqlsim, Real, Misnamed };
inline Servers serversNamed(QString *error)
{
    try {
        return dbsync::test::realServersConfigured() ? Servers::Real : Servers::Sqlsim;
    } catch (const std::exception &e) {
        *error = QString::fromUtf8(e.what());
        return Servers::Misnamed;
    }
}
// For a suite that leans throughout on what only sqlsim gives: it stands down on real servers.
#define SQLSIM_ONLY(reason)                               \
    do {                                                  \
        QString misnamed_;                                \
        switch (e2e::serversNamed(&misnamed_)) {          \
        case e2e::Servers::Real:                          \
            QSKIP(reason);                                \
        case e2e::Servers::Misnamed:                      \
            QFAIL(qPrintable(misnamed_));                 \
        case e2e::Servers::Sqlsim:                        \
            break;                                        \
        }                                                 \
    } while (false)

// A suite's servers. On sqlsim: the preset databases and logins above (and any further
// servers given). On real servers: the same databases created under fresh names, dropped by
// dropCreated() at the end; the accounts are the environment's.
class SuiteServers {
public:
    explicit SuiteServers(const QList<SqlsimProcess::Server> &extra = {})
        : m_servers(QList<SqlsimProcess::Server>{{"sample", kSampleLogin, kSamplePassword, sampleDatabases()},
                                                 {"target", kTargetLogin, kTargetPassword, targetDatabases()}}
                    + extra)
    {
        if (onSqlsim())
            return;
        for (const auto &[server, names] : {std::pair{QStringLiteral("sample"), sampleDatabases()},
                                             std::pair{QStringLiteral("target"), targetDatabases()}})
            for (const QString &name : names) {
                m_servers.exec(server, "create database " + dbsync::quoteIdentifier(db(name)), QStringLiteral("master"));
                m_created << std::pair{server, db(name)};
            }
    }

    bool onSqlsim() const { return m_servers.onSqlsim(); }
    const SqlsimProcess &sim() const { return m_servers.sim(); }
    // Whether checks of sqlsim's log can run; when not, says in the output that they are left out.
    bool logged() const
    {
        if (!onSqlsim())
            qInfo("checks of the texts sent left out: %s", dbsync::test::kNeedsLog);
        return onSqlsim();
    }

    QString address(const QString &server) const { return m_servers.address(server); }
    QString login(const QString &server) const { return m_servers.account(server).login; }
    QString password(const QString &server) const { return m_servers.account(server).password; }
    // The name a preset database (or any name the test makes up) has on these servers.
    QString db(const QString &name) const { return m_servers.freshDatabaseName(name); }

    // The names the list query gives on a server, in its order.
    QStringList listed(const QString &server) const
    {
        if (onSqlsim())
            return systemDatabases() + (server == QLatin1String("sample") ? sampleDatabases() : targetDatabases());
        dbsync::AdoConnection connection;
        connection.setConnectionString(
            dbsync::buildConnectionString(password(server), login(server), std::nullopt, address(server)));
        connection.open();
        dbsync::AdoQuery query(&connection, 30);
        query.addSql(QStringLiteral("select name from master..sysdatabases "));
        query.open();
        QStringList out;
        for (int i = 0; i < query.result().rowCount(); ++i)
            out << query.result().text(i, QStringLiteral("name"));
        return out;
    }

    // Drops what the constructor created on real servers; the errors, empty when all went.
    QString dropCreated()
    {
        QStringList errors;
        for (const auto &[server, name] : std::exchange(m_created, {})) {
            try {
                m_servers.dropDatabase(server, name);
            } catch (const std::exception &e) {
                errors << name + QStringLiteral(": ") + QString::fromUtf8(e.what());
            }
        }
        return errors.join('\n');
    }

private:
    dbsync::test::TestServers m_servers;
    QList<std::pair<QString, QString>> m_created;
};

// Every parameter field filled so that both commands can connect; the target database is
// given as named on the servers (default: the preset "shop").
inline void fillFields(TForm43 &form, const SuiteServers &servers, const QString &targetDatabase = {})
{
    form.EIP->setText(servers.address("sample"));
    form.EUser->setText(servers.login("sample"));
    form.EPassword->setText(servers.password("sample"));
    form.ComboBox1->setEditText(servers.db("shop"));
    form.Edit2->setText(servers.address("target"));
    form.Edit3->setText(servers.login("target"));
    form.MaskEdit1->setText(servers.password("target"));
    form.ComboBox2->setEditText(targetDatabase.isEmpty() ? servers.db("shop") : targetDatabase);
}

inline QStringList entries(const QComboBox *box)
{
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i);
    return out;
}

// A place in sqlsim's log; what came after it, per server. Empty on real servers.
struct LogMark {
    const SqlsimProcess *sim;
    qsizetype position;

    explicit LogMark(const SuiteServers &s)
        : sim(s.onSqlsim() ? &s.sim() : nullptr), position(sim ? sim->events().size() : 0)
    {
    }

    QList<QJsonObject> events(const QString &kind, const QString &server) const
    {
        QList<QJsonObject> out;
        const QList<QJsonObject> all = sim ? sim->events() : QList<QJsonObject>();
        for (qsizetype i = position; i < all.size(); ++i)
            if (all[i].value("event").toString() == kind && all[i].value("server").toString() == server)
                out << all[i];
        return out;
    }
    QStringList values(const QString &kind, const QString &server, const QString &field) const
    {
        QStringList out;
        for (const QJsonObject &e : events(kind, server))
            out << e.value(field).toString();
        return out;
    }
    // The texts of the batches the server received.
    QStringList batches(const QString &server) const { return values("batch", server, "text"); }
    // The database each login asked for, in order.
    QStringList logins(const QString &server) const { return values("login", server, "db"); }
};

// Runs a statement on a server through a connection of the test's own, e.g. to arm a sqlsim
// fault. Gives the error's text, empty when it ran: an exception must not end a QtTest run.
inline QString runControl(const SuiteServers &servers, const QString &server, const QString &statement)
{
    try {
        dbsync::AdoConnection control;
        control.setConnectionString(dbsync::buildConnectionString(servers.password(server), servers.login(server),
                                                                  std::nullopt, servers.address(server)));
        control.open();
        dbsync::AdoCommand command(&control);
        command.setCommandText(statement);
        command.execute();
        return {};
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what()) + QStringLiteral(" (running ") + statement + QLatin1Char(')');
    }
}

// Runs a step of the data layer as a test may: the error's text, empty when it ran.
template <typename Step>
QString errorOf(Step step)
{
    try {
        step();
        return {};
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    }
}

// The window as the user sees it after start: shown, active, dialogs recorded.
struct ShownWindow {
    TForm43 form;
    RecordingDialogs dialogs;

    ShownWindow()
    {
        form.setDialogs(&dialogs);
        form.show();
    }
    bool active() { return QTest::qWaitForWindowActive(&form); }
    void click(QPushButton *button) { QTest::mouseClick(button, Qt::LeftButton); }
};

// The three connections' strings and open states, to see what a command left alone.
struct ConnectionState {
    QStringList strings;
    QList<bool> open;

    explicit ConnectionState(const TForm43 &f)
        : strings{f.ADOConnection1.connectionString(), f.ADOConnection2.connectionString(),
                  f.ADOConnection3.connectionString()},
          open{f.ADOConnection1.isOpen(), f.ADOConnection2.isOpen(), f.ADOConnection3.isOpen()}
    {
    }
    bool operator==(const ConnectionState &) const = default;
};

}  // namespace e2e
