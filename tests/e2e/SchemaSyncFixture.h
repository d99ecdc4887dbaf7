#pragma once
// The window against two sqlsim servers, "sample" and "target", for the listing and
// synchronisation commands: one sqlsim per suite, fresh databases per test, helpers to run SQL
// on either side, select grid rows and read what the tool sent from sqlsim's log.

#include "app/Form43.h"
#include "app/ResultGrid.h"
#include "db/AdoCommand.h"
#include "db/AdoConnection.h"
#include "db/AdoQuery.h"
#include "db/ConnectionString.h"
#include "tests/app/RecordingDialogs.h"
#include "tests/db/SqlsimProcess.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <gtest/gtest.h>

#include <memory>
#include <ostream>

// Readable failures: texts as UTF-8.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace dbsync::test {

inline void ensureApplication()
{
    static int argc = 1;
    static char name[] = "dbsync_e2e";
    static char *argv[] = {name, nullptr};
    if (!QApplication::instance())
        new QApplication(argc, argv);  // lives as long as the test process
}

class SchemaSyncTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ensureApplication();
        if (sqlsimBinary().isEmpty())
            return;
        sim = std::make_unique<SqlsimProcess>(QList<SqlsimProcess::Server>{
            {"sample", "sa", "pw1", {}}, {"target", "sa", "pw2", {}}});
    }
    static void TearDownTestSuite()
    {
        sim.reset();
    }

    void SetUp() override
    {
        if (!sim)
            GTEST_SKIP() << "sqlsim is not built";
        static int counter = 0;
        ++counter;
        sampleDb = QStringLiteral("s%1").arg(counter);
        targetDb = QStringLiteral("t%1").arg(counter);
        execOn("sample", "master", "create database " + sampleDb);
        execOn("target", "master", "create database " + targetDb);
        window = std::make_unique<TForm43>();
        window->setDialogs(&dialogs);
        window->show();
        window->EIP->setText(sim->address("sample"));
        window->EUser->setText("sa");
        window->EPassword->setText("pw1");
        window->ComboBox1->setEditText(sampleDb);
        window->Edit2->setText(sim->address("target"));
        window->Edit3->setText("sa");
        window->MaskEdit1->setText("pw2");
        window->ComboBox2->setEditText(targetDb);
    }

    void TearDown() override
    {
        if (window)
            window->setDialogs(nullptr);
        window.reset();
    }

    // One batch on a server, in a database; throws DbError with the server's text.
    static void execOn(const QString &server, const QString &database, const QString &sql)
    {
        AdoConnection connection;
        connection.setConnectionString(buildConnectionString(server == "sample" ? "pw1" : "pw2", "sa", database,
                                                             sim->address(server)));
        connection.open();
        AdoCommand command(&connection, 30);
        command.setCommandText(sql);
        command.execute();
    }
    static ResultSet queryOn(const QString &server, const QString &database, const QString &sql)
    {
        AdoConnection connection;
        connection.setConnectionString(buildConnectionString(server == "sample" ? "pw1" : "pw2", "sa", database,
                                                             sim->address(server)));
        connection.open();
        AdoQuery query(&connection, 30);
        query.addSql(sql);
        query.open();
        return query.result();
    }
    void onSample(const QString &sql) { execOn("sample", sampleDb, sql); }
    void onTarget(const QString &sql) { execOn("target", targetDb, sql); }

    // Runs a command as its button does: errors go to the recorded error display.
    void press(void (TForm43::*command)()) { window->runCommand(command); }

    const ResultSet &listing() const { return window->ADOQuery2.result(); }
    int rows() const { return listing().rowCount(); }
    QString field(int row, const QString &name) const { return listing().text(row, name); }

    // Selects the rows one at a time in the order given, as a user clicking with Ctrl does.
    void selectRows(const QList<int> &positions)
    {
        QItemSelectionModel *model = window->DBGrid1->selectionModel();
        for (int row : positions)
            model->select(window->DBGrid1->model()->index(row, 0),
                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    void selectAll()
    {
        QList<int> all;
        for (int i = 0; i < rows(); ++i)
            all.append(i);
        selectRows(all);
    }

    // Batches the target server has received so far, and those since a mark.
    static qsizetype mark() { return sim->batches("target").size(); }
    static QStringList batchesSince(qsizetype before) { return sim->batches("target").mid(before); }
    // The batches since the mark that start with the text (ignoring case).
    static QStringList sentSince(qsizetype before, const QString &start)
    {
        QStringList out;
        for (const QString &b : batchesSince(before))
            if (b.trimmed().startsWith(start, Qt::CaseInsensitive))
                out << b;
        return out;
    }

    QStringList errors() const { return dialogs.texts("error"); }
    QStringList notices() const { return dialogs.texts("notice"); }

    static std::unique_ptr<SqlsimProcess> sim;
    QString sampleDb, targetDb;
    RecordingDialogs dialogs;
    std::unique_ptr<TForm43> window;
};

inline std::unique_ptr<SqlsimProcess> SchemaSyncTest::sim;

}  // namespace dbsync::test
