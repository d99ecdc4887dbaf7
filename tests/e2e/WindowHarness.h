#pragma once
// The window shown offscreen with its dialogs recorded, two sqlsim servers for it to reach
// (sample and target: own ports, own logins and passwords), and readers of sqlsim's log.

#include "tests/app/RecordingDialogs.h"
#include "tests/db/SqlsimProcess.h"

#include "app/Form43.h"
#include "db/AdoCommand.h"
#include "db/AdoConnection.h"
#include "db/ConnectionString.h"

#include <QComboBox>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <memory>

namespace e2e {

using dbsync::test::SqlsimProcess;

inline const QString kSampleLogin = QStringLiteral("sa");
inline const QString kSamplePassword = QStringLiteral("sample-pw");
inline const QString kTargetLogin = QStringLiteral("admin");
inline const QString kTargetPassword = QStringLiteral("target-pw");

// The user databases, in the order the servers list them after their system databases.
inline QStringList sampleDatabases() { return {"shop", QString::fromUtf8("样本库"), "alpha"}; }
inline QStringList targetDatabases()
{
    return {"shop", "zeta", QString::fromUtf8("账套"), "my db", "o'brien", "[x]", "a;b", "--c"};
}
inline QStringList systemDatabases() { return {"master", "tempdb", "model", "msdb"}; }

inline std::unique_ptr<SqlsimProcess> startServers()
{
    return std::make_unique<SqlsimProcess>(QList<SqlsimProcess::Server>{
        {"sample", kSampleLogin, kSamplePassword, sampleDatabases()},
        {"target", kTargetLogin, kTargetPassword, targetDatabases()}});
}

// Every parameter field filled so that both commands can connect.
inline void fillFields(TForm43 &form, const SqlsimProcess &sim, const QString &targetDatabase = "shop")
{
    form.EIP->setText(sim.address("sample"));
    form.EUser->setText(kSampleLogin);
    form.EPassword->setText(kSamplePassword);
    form.ComboBox1->setEditText("shop");
    form.Edit2->setText(sim.address("target"));
    form.Edit3->setText(kTargetLogin);
    form.MaskEdit1->setText(kTargetPassword);
    form.ComboBox2->setEditText(targetDatabase);
}

inline QStringList entries(const QComboBox *box)
{
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i);
    return out;
}

// A place in sqlsim's log; what came after it, per server.
struct LogMark {
    const SqlsimProcess *sim;
    qsizetype position;

    explicit LogMark(const SqlsimProcess &s) : sim(&s), position(s.events().size()) {}

    QList<QJsonObject> events(const QString &kind, const QString &server) const
    {
        QList<QJsonObject> out;
        const QList<QJsonObject> all = sim->events();
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
inline QString runControl(const SqlsimProcess &sim, const QString &server, const QString &statement)
{
    const bool sample = server == QLatin1String("sample");
    try {
        dbsync::AdoConnection control;
        control.setConnectionString(dbsync::buildConnectionString(sample ? kSamplePassword : kTargetPassword,
                                                                  sample ? kSampleLogin : kTargetLogin,
                                                                  std::nullopt, sim.address(server)));
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
