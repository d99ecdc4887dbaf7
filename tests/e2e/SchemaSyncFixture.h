#pragma once
// The window against two servers, "sample" and "target", for the listing and synchronisation
// commands: one sqlsim per suite (or the real servers TestServers.h reads from the environment),
// fresh databases per test, helpers to run SQL on either side, select grid rows and read what
// the tool sent from sqlsim's log.

#include "app/Form43.h"
#include "app/Form43Sync.h"
#include "app/ResultGrid.h"
#include "db/AdoCommand.h"
#include "db/AdoConnection.h"
#include "db/AdoQuery.h"
#include "db/ConnectionString.h"
#include "tests/app/RecordingDialogs.h"
#include "tests/e2e/ListingComparison.h"
#include "tests/e2e/TestServers.h"
#include "workflow/Workflow.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <tuple>
#include <memory>
#include <ostream>

// Readable failures: texts as UTF-8.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

// Checks the statements the target was sent against sqlsim's log. On real servers the
// statements still run; only the check is left out (and the test's output says so).
#define EXPECT_SENT(actual, expected)       \
    do {                                    \
        const QStringList sent_ = (actual); \
        if (logged()) {                     \
            EXPECT_EQ(sent_, expected);     \
        }                                   \
    } while (false)

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
        try {
            // Two more targets stand for servers that cannot read the sample themselves: one
            // without the SQLOLEDB provider (SQL Server on Linux), one whose login may not run
            // sp_configure. Only sqlsim has them.
            servers = std::make_unique<TestServers>(QList<SqlsimProcess::Server>{
                {"sample", "sa", "pw1", {}},
                {"target", "sa", "pw2", {}},
                {"linux", "sa", "pw3", {}, true, false},
                {"shared", "dev", "pw4", {"shared_db"}, false, true}});
        } catch (const std::exception &e) {
            startError = QString::fromUtf8(e.what());
        }
    }
    static void TearDownTestSuite()
    {
        servers.reset();
    }

    void SetUp() override
    {
        if (!servers) {
            if (startError == QLatin1String("sqlsim is not built"))
                GTEST_SKIP() << "sqlsim is not built";
            FAIL() << startError.toStdString();
        }
        static int counter = 0;
        ++counter;
        sampleDb = servers->freshDatabaseName(QStringLiteral("s%1").arg(counter));
        targetDb = servers->freshDatabaseName(QStringLiteral("t%1").arg(counter));
        execOn("sample", "master", "create database " + sampleDb);
        createdSample = true;
        execOn("target", "master", "create database " + targetDb);
        createdTarget = true;
        window = std::make_unique<TForm43>();
        window->setDialogs(&dialogs);
        window->show();
        window->EIP->setText(sample().address);
        window->EUser->setText(sample().login);
        window->EPassword->setText(sample().password);
        window->ComboBox1->setEditText(sampleDb);
        window->Edit2->setText(target().address);
        window->Edit3->setText(target().login);
        window->MaskEdit1->setText(target().password);
        window->ComboBox2->setEditText(targetDb);
    }

    void TearDown() override
    {
        if (window)
            window->setDialogs(nullptr);
        window.reset();  // closes the tool's connections to the databases
        // sqlsim ends with the suite and takes its databases along; real servers keep them.
        if (!servers || servers->onSqlsim())
            return;
        for (const auto &[server, db, created] :
             {std::tuple{"sample", sampleDb, createdSample}, std::tuple{"target", targetDb, createdTarget}}) {
            if (!created)
                continue;
            try {
                servers->dropDatabase(server, db);
            } catch (const std::exception &e) {
                ADD_FAILURE() << "dropping " << db.toStdString() << ": " << e.what();
            }
        }
    }

    static const ServerAccount &sample() { return servers->account("sample"); }
    static const ServerAccount &target() { return servers->account("target"); }

    // Whether the servers keep a log of what they were sent (sqlsim does). When not, the
    // caller leaves out its check of the texts sent, and the test says so in its output.
    static bool logged()
    {
        if (servers->onSqlsim())
            return true;
        notePartSkipped(kNeedsLog);
        return false;
    }
    static void notePartSkipped(const char *reason)
    {
        const ::testing::TestInfo *test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::cout << "[   PART   ] " << (test ? test->name() : "") << ": checks of the texts sent left out, "
                  << reason << std::endl;
    }

    // The OPENDATASOURCE('SQLOLEDB',...) the tool builds for the sample database.
    QString sampleSource() const
    {
        return QStringLiteral("OPENDATASOURCE('SQLOLEDB','Data Source=%1;User ID=%2;Password=%3').%4")
            .arg(sample().address, sample().login, sample().password, sampleDb);
    }

    // One batch on a server, in a database; throws DbError with the server's text.
    static void execOn(const QString &server, const QString &database, const QString &sql)
    {
        servers->exec(server, sql, database);
    }
    static ResultSet queryOn(const QString &server, const QString &database, const QString &sql)
    {
        const ServerAccount &a = servers->account(server);
        AdoConnection connection;
        connection.setConnectionString(buildConnectionString(a.password, a.login, database, a.address));
        connection.open();
        AdoQuery query(&connection, 30);
        query.addSql(sql);
        query.open();
        return query.result();
    }
    void onSample(const QString &sql) { execOn("sample", sampleDb, sql); }
    void onTarget(const QString &sql) { execOn("target", targetDb, sql); }

    // Runs a command as its button does: errors go to the recorded error display. A listing
    // it leaves on screen is made once more the local way, which must give the same rows.
    void press(void (TForm43::*command)())
    {
        int opened = 0;
        const QMetaObject::Connection watch =
            QObject::connect(&window->ADOQuery2, &AdoQuery::resultChanged, [&opened, this] {
                opened += window->ADOQuery2.isOpen() ? 1 : 0;
            });
        const qsizetype errorsBefore = errors().size();
        window->runCommand(command);
        QObject::disconnect(watch);
        if (compareLocally && opened > 0 && errors().size() == errorsBefore)
            expectLocalListingAlike();
    }

    // The local comparison of the databases on screen, over the window's own connections; what
    // it sends is kept out of the batches the test looks at.
    void expectLocalListingAlike()
    {
        const auto kind = workflow::listingKind(listing());
        if (!kind || window->compareMode() != workflow::CompareMode::Server)
            return;
        const qsizetype before = servers->onSqlsim() ? servers->sim().batches("target").size() : 0;
        const bool refreshForm = *kind == workflow::ListingKind::Tables && listing().fieldIndex(QStringLiteral("序号")) < 0;
        const ResultSet local = workflow::localListing(*window, form43::serverFields(*window), *kind, refreshForm);
        if (servers->onSqlsim())
            hiddenTargetBatches.append({before, servers->sim().batches("target").size()});
        expectSameListing(listing(), local);
    }

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

    // Batches the target server has received so far, and those since a mark: sqlsim only,
    // empty on real servers (guard the checks on them with logged()).
    static qsizetype mark() { return servers->onSqlsim() ? servers->sim().batches("target").size() : 0; }
    static QStringList batchesSince(qsizetype before)
    {
        if (!servers->onSqlsim())
            return {};
        const QStringList all = servers->sim().batches("target");
        QStringList out;
        for (qsizetype i = before; i < all.size(); ++i)
            if (std::none_of(hiddenTargetBatches.begin(), hiddenTargetBatches.end(),
                             [i](const auto &range) { return i >= range.first && i < range.second; }))
                out << all[i];
        return out;
    }
    // The statements around a synchronisation's own, and the read-only look-ups before it
    // (catalogue reads, counts of the values a step would lose): the texts of a
    // synchronisation's statements leave them out.
    static bool isFrameOrLookUp(const QString &batch)
    {
        return batch == workflow::kBeginTransaction || batch == workflow::kCommitTransaction
               || batch == workflow::kRollbackTransaction
               || (batch.startsWith("select ", Qt::CaseInsensitive) && !batch.startsWith("select * into", Qt::CaseInsensitive));
    }

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

    static std::unique_ptr<TestServers> servers;
    static QString startError;
    static inline QList<std::pair<qsizetype, qsizetype>> hiddenTargetBatches;
    bool compareLocally = true;
    QString sampleDb, targetDb;
    bool createdSample = false, createdTarget = false;
    RecordingDialogs dialogs;
    std::unique_ptr<TForm43> window;
};

inline std::unique_ptr<TestServers> SchemaSyncTest::servers;
inline QString SchemaSyncTest::startError;

}  // namespace dbsync::test
