// The local comparison: the golden databases and awkward names list alike both ways (the
// fixture compares every listing a test makes), targets that cannot read the sample offer the
// local way and then converge without ever being sent the sample's password, and the choice is
// kept in the settings file.

#include "app/GridMenu.h"
#include "settings/ConnectionSettings.h"
#include "tests/e2e/SchemaSyncFixture.h"
#include "tests/sim/engine/GoldenFixture.h"

#include <QDir>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QRegularExpression>

using namespace dbsync;
using dbsync::test::SchemaSyncTest;
using workflow::CompareMode;

namespace {

class LocalComparison : public SchemaSyncTest {
protected:
    void SetUp() override
    {
        SchemaSyncTest::SetUp();
        if (window)
            window->b = true;  // the backup has suites of its own
    }

    // Runs a script of batches separated by lines "go".
    static void runScript(const QString &server, const QString &database, const char *script)
    {
        for (const QString &batch : QString::fromUtf8(script).split(QRegularExpression("\\n[Gg][Oo]\\s*\\n")))
            if (!batch.trimmed().isEmpty())
                execOn(server, database, batch);
    }

    // Points the window's target at one of the servers that cannot read the sample. The login
    // of "shared" may not create databases: it has one made at start.
    void targetOn(const QString &server)
    {
        if (server == "shared")
            targetDb = "shared_db";
        else
            execOn(server, "master", "create database " + targetDb);
        window->ComboBox2->setEditText(targetDb);
        const test::ServerAccount &a = servers->account(server);
        window->Edit2->setText(a.address);
        window->Edit3->setText(a.login);
        window->MaskEdit1->setText(a.password);
        targetServer = server;
    }

    // Lists and synchronises everything, round after round, until nothing actionable is left.
    int converge(void (TForm43::*listing)(), void (TForm43::*sync)())
    {
        for (int round = 0; round < 6; ++round) {
            press(listing);
            if (!errors().isEmpty() || rows() == 0)
                return round;
            bool actionable = false;
            for (int i = 0; i < rows(); ++i)
                actionable = actionable || field(i, listing == &TForm43::Button14Click ? "比较结果" : "匹配情况") != " 字段说明不同 ";
            if (!actionable)
                return round;
            selectAll();
            press(sync);
        }
        return 6;
    }

    // What the target server was sent after the batch that the server-side way failed on.
    QStringList sentAfterRefusal(qsizetype before) const
    {
        const QStringList all = servers->sim().batches(targetServer).mid(before);
        qsizetype refused = -1;
        for (qsizetype i = 0; i < all.size(); ++i)
            if (all[i].contains("OPENDATASOURCE") || all[i].startsWith("exec sp_configure"))
                refused = i;  // the last one of the server-side try
        return all.mid(refused + 1);
    }

    void expectNoServerSideTraces(const QStringList &sent) const
    {
        EXPECT_FALSE(sent.isEmpty());
        for (const QString &batch : sent) {
            EXPECT_FALSE(batch.contains("sp_configure") || batch.contains("OPENDATASOURCE", Qt::CaseInsensitive))
                << batch.toStdString();
            EXPECT_FALSE(batch.contains(sample().password)) << batch.toStdString();
        }
    }

    QString targetServer = "target";
};

TEST_F(LocalComparison, GoldenDatabasesListAlikeBothWays)
{
    runScript("sample", sampleDb, sqlsim::test::kGoldenSampleObjects);
    runScript("target", targetDb, sqlsim::test::kGoldenTargetObjects);
    press(&TForm43::Button14Click);  // the fixture lists locally too and compares
    ASSERT_EQ(errors(), QStringList());
    EXPECT_GE(rows(), 10);
    press(&TForm43::Button9Click);
    ASSERT_EQ(errors(), QStringList());
    EXPECT_GE(rows(), 5);
}

TEST_F(LocalComparison, AwkwardNamesCompareAndSynchroniseAsOnTheServer)
{
    for (const QString &server : {QString("sample"), QString("target")}) {
        const QString db = server == "sample" ? sampleDb : targetDb;
        execOn(server, db, "create table [订单 明细] ([编号] int not null, [it's] varchar(20) null)");
        execOn(server, db, "create table [a]]b] (x int null)");
        execOn(server, db, "create view [视图 一] as select 1 as a");
    }
    // Same names in other letter cases and with trailing blanks pair up, as on the server.
    onSample("create table Mixed (Id int not null, Name varchar(10) null, [only s] nvarchar(5) null)");
    onTarget("create table mixed (ID int not null, name varchar(20) null, [only t] int null)");
    onSample("alter table [订单 明细] add [金额 (元)] decimal(12,2) null");
    onTarget("alter table [a]]b] add [y]]] int null");
    onSample("create table [新 表] ([名] nvarchar(8) not null, [b'c] int null)");
    onSample("alter view [视图 一] as select 2 as a");
    onTarget("create procedure [p ]]x] as select 1");

    press(&TForm43::Button14Click);
    ASSERT_EQ(errors(), QStringList());
    EXPECT_GE(rows(), 6);
    press(&TForm43::Button9Click);
    ASSERT_EQ(errors(), QStringList());
    EXPECT_EQ(rows(), 2);

    window->setCompareMode(CompareMode::Local);
    const qsizetype before = mark();
    EXPECT_LT(converge(&TForm43::Button14Click, &TForm43::Button22Click), 6);
    EXPECT_LT(converge(&TForm43::Button9Click, &TForm43::Button10Click), 6);
    EXPECT_EQ(errors(), QStringList());
    EXPECT_EQ(rows(), 0);
    if (logged())
        expectNoServerSideTraces(batchesSince(before));
    // Both ways now agree that nothing is left.
    window->setCompareMode(CompareMode::Server);
    press(&TForm43::Button14Click);
    EXPECT_EQ(rows(), 0);
}

TEST_F(LocalComparison, TargetWithoutTheProviderOffersTheLocalWayAndConverges)
{
    if (!servers->onSqlsim())
        GTEST_SKIP() << "needs sqlsim's server without the provider";
    targetOn("linux");
    onSample("create table orders (id int identity(1,1) not null primary key, code char(8) not null default 'x')");
    onSample("create table extra (k int not null)");
    onSample("create view v_orders as select id from orders");
    execOn("linux", targetDb, "create table orders (id int not null, old int null)");

    const qsizetype before = servers->sim().batches("linux").size();
    dialogs.answers = {true};
    press(&TForm43::Button14Click);
    ASSERT_EQ(errors(), QStringList());
    const QStringList asked = dialogs.texts("question");
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked[0].contains("The OLE DB provider \"SQLOLEDB\" has not been registered.")) << asked[0].toStdString();
    EXPECT_EQ(window->compareMode(), CompareMode::Local);
    EXPECT_GE(rows(), 4);

    // The grid's menu shows the way now taken.
    window->DBGrid1->customContextMenuRequested(QPoint(5, 5));
    auto *menu = window->DBGrid1->findChild<QMenu *>("GridMenu");
    ASSERT_NE(menu, nullptr);
    QStringList checked;
    for (QAction *a : menu->actions())
        if (a->menu())
            for (QAction *mode : a->menu()->actions())
                if (mode->isChecked())
                    checked << mode->text();
    EXPECT_EQ(checked, QStringList{gridmenu::kCompareLocally});
    for (QAction *a : menu->actions())
        if (a->menu()) {
            menu->popup(QPoint(100, 100));
            menu->setActiveAction(a);
            a->menu()->popup(QPoint(100 + menu->width(), 100));
            QApplication::processEvents();
            menu->grab().save(QStringLiteral(DBSYNC_GRAB_DIR "/compare-menu.png"));
            a->menu()->grab().save(QStringLiteral(DBSYNC_GRAB_DIR "/compare-submenu.png"));
            a->menu()->close();
        }
    menu->close();

    EXPECT_LT(converge(&TForm43::Button14Click, &TForm43::Button22Click), 6);
    EXPECT_LT(converge(&TForm43::Button9Click, &TForm43::Button10Click), 6);
    EXPECT_EQ(errors(), QStringList());
    EXPECT_EQ(rows(), 0);
    EXPECT_EQ(dialogs.texts("question").size(), 1);  // asked once
    expectNoServerSideTraces(sentAfterRefusal(before));
}

TEST_F(LocalComparison, DecliningTheOfferEndsTheListingQuietly)
{
    if (!servers->onSqlsim())
        GTEST_SKIP() << "needs sqlsim's server without the provider";
    targetOn("linux");
    // The real question box this time: looked at, then answered No.
    window->setDialogs(nullptr);
    QString asked;
    QTimer::singleShot(300, qApp, [&asked] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            asked = box->text();
            box->grab().save(QStringLiteral(DBSYNC_GRAB_DIR "/local-offer.png"));
            box->button(QMessageBox::No)->click();
        }
    });
    press(&TForm43::Button9Click);
    window->setDialogs(&dialogs);
    EXPECT_TRUE(asked.contains("7403") || asked.contains("has not been registered")) << asked.toStdString();
    EXPECT_TRUE(asked.endsWith("是否改为在本机比较（分别读取两个数据库，由本程序比较）？")) << asked.toStdString();
    EXPECT_EQ(errors(), QStringList());
    EXPECT_EQ(window->compareMode(), CompareMode::Server);
    EXPECT_FALSE(window->ADOQuery2.isOpen());
    EXPECT_FALSE(window->Button10->isEnabled());
}

TEST_F(LocalComparison, LoginWithoutConfigurePermissionOffersTheLocalWay)
{
    if (!servers->onSqlsim())
        GTEST_SKIP() << "needs sqlsim's login without sysadmin";
    targetOn("shared");
    onSample("create table t (a int null)");
    const qsizetype before = servers->sim().batches("shared").size();
    dialogs.answers = {true};
    press(&TForm43::Button14Click);
    ASSERT_EQ(errors(), QStringList());
    ASSERT_EQ(dialogs.texts("question").size(), 1);
    EXPECT_TRUE(dialogs.texts("question")[0].contains("User does not have permission to perform this action."));
    ASSERT_EQ(rows(), 1);
    EXPECT_EQ(field(0, "比较结果"), "2");
    expectNoServerSideTraces(sentAfterRefusal(before));
}

TEST_F(LocalComparison, SampleLoginRefusedGivesTheServersOwnMessage)
{
    window->setCompareMode(CompareMode::Local);
    window->EPassword->setText("wrong");
    press(&TForm43::Button14Click);
    ASSERT_EQ(errors().size(), 1);
    EXPECT_TRUE(errors()[0].startsWith("Login failed for user '" + sample().login + "'")) << errors()[0].toStdString();
}

TEST_F(LocalComparison, TheChoiceIsKeptInTheSettingsFile)
{
    QDir::setCurrent(QCoreApplication::applicationDirPath());
    const QString file = dbsync::enterSettingsFolder() + "/myini.ini";
    QFile::remove(file);
    window->setCompareMode(CompareMode::Local);
    press(&TForm43::Button5Click);
    EXPECT_EQ(readPlainSetting(file, kTargetSection, kCompareModeKey), std::optional<QString>("local"));

    TForm43 reader;
    reader.setDialogs(&dialogs);
    reader.runCommand(&TForm43::Button4Click);
    EXPECT_EQ(reader.compareMode(), CompareMode::Local);
    EXPECT_EQ(reader.ComboBox2->currentText(), targetDb);
    reader.setDialogs(nullptr);
    QFile::remove(file);
}

}  // namespace
