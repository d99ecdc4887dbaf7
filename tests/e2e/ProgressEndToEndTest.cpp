// Long work and its cancel, end to end: sqlsim's stall holds a statement while the test, from
// timers run by the window's waiting loop, looks at the progress dialog and cancels, closes
// the window or clicks again. Runs offscreen; the EscOnTheDialog case also under a real X
// server (ctest's e2e.ProgressEndToEndTest.x11).

#include "app/CommandProgress.h"
#include "db/Operation.h"
#include "tests/e2e/SchemaSyncFixture.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace dbsync;
using dbsync::test::SchemaSyncTest;

namespace {

// A loopback port whose connections the kernel accepts and nobody ever answers.
struct SilentListener {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    int port = 0;
    SilentListener()
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr *>(&address), length) == 0 && ::listen(fd, 4) == 0
            && ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
            port = ntohs(address.sin_port);
    }
    ~SilentListener() { ::close(fd); }
};

const QString kCancelled = QStringLiteral("操作已取消.");  // with the error display's full stop

class Progress : public SchemaSyncTest {
protected:
    void SetUp() override
    {
        SchemaSyncTest::SetUp();
        if (!window)
            return;
        if (!servers->onSqlsim())
            GTEST_SKIP() << test::kNeedsFaults;
        window->b = true;  // no automatic backup in between
        onSample("create table t1 (id int, col_a int, col_b int, col_c int, col_d int, col_e int)");
        onTarget("create table t1 (id int)");
        qApp->installEventFilter(&shows);
    }
    void TearDown() override
    {
        qApp->removeEventFilter(&shows);
        execOn("target", "master", "exec sqlsim_fault 'clear'");
        SchemaSyncTest::TearDown();
    }

    void stall(const QString &pattern, int seconds = 20)
    {
        execOn("target", "master", QStringLiteral("exec sqlsim_fault 'stall', 1, '%1', %2").arg(pattern).arg(seconds));
    }
    QStringList columnsOf(const QString &table) const
    {
        const ResultSet r = queryOn("target", targetDb,
                                    "select cname=c.name from syscolumns c inner join sysobjects o on c.id=o.id "
                                    "where o.name='" + table + "' order by c.colid");
        QStringList out;
        for (int i = 0; i < r.rowCount(); ++i)
            out << r.text(i, "cname");
        return out;
    }
    ProgressDialog *dialog() const { return window->progress().dialog(); }
    bool dialogShown() const { return dialog() && dialog()->isVisible(); }
    // At ms after the command starts, runs f inside the command's wait.
    static void at(int ms, std::function<void()> f) { QTimer::singleShot(ms, qApp, std::move(f)); }

    // Counts the progress dialog's show events.
    struct ShowCounter : QObject {
        int count = 0;
        bool eventFilter(QObject *o, QEvent *e) override
        {
            if (e->type() == QEvent::Show && o->objectName() == QLatin1String("ProgressDialog"))
                ++count;
            return false;
        }
    } shows;
};

TEST_F(Progress, StalledListingShowsTheDialogCancelEndsItAndTheNextListingWorks)
{
    stall("比较结果");
    QElapsedTimer clock;
    qint64 shownAt = -1, cancelledAt = -1;
    QString text, caption;
    bool topLevel = false;
    // Polls until the dialog shows, then a second click on the list button, then Cancel.
    std::function<void()> poll = [&] {
        if (!dialogShown() && clock.elapsed() < 3000)
            return at(20, poll);
        shownAt = clock.elapsed();
        text = dialog()->workLabel()->text();
        caption = dialog()->windowTitle();
        topLevel = dialog()->isWindow() && QApplication::activeModalWidget() == dialog();
        QTest::mouseClick(window->Button14, Qt::LeftButton);  // must not run a second listing
        cancelledAt = clock.elapsed();
        QTest::mouseClick(dialog()->cancelButton(), Qt::LeftButton);
    };
    at(20, poll);
    const qsizetype before = mark();
    clock.start();
    QTest::mouseClick(window->Button14, Qt::LeftButton);
    const qint64 endedAt = clock.elapsed();

    EXPECT_GE(shownAt, CommandProgress::kShowAfterMs);
    EXPECT_LT(shownAt, 1000);
    EXPECT_EQ(text, QStringLiteral("正在列出表详细区别…"));
    EXPECT_EQ(caption, applicationTitle());
    EXPECT_TRUE(topLevel);
    EXPECT_LT(endedAt - cancelledAt, 1000);
    EXPECT_EQ(errors(), QStringList{kCancelled});
    EXPECT_FALSE(dialogShown());
    EXPECT_EQ(sentSince(before, "select 比较结果").size(), 1);
    EXPECT_FALSE(window->button22->isEnabled());

    press(&TForm43::Button14Click);  // the same connection, reopened by the listing
    EXPECT_EQ(errors(), QStringList{kCancelled});
    EXPECT_EQ(rows(), 5);
    EXPECT_TRUE(window->button22->isEnabled());
}

TEST_F(Progress, CancelReachesBothSidesOfALocalListing)
{
    window->setCompareMode(workflow::CompareMode::Local);
    stall("表名2=d.name");  // the target's side; the sample's answers at once
    qint64 cancelledAt = -1;
    QElapsedTimer clock;
    std::function<void()> poll = [&] {
        if (!dialogShown() && clock.elapsed() < 3000)
            return at(20, poll);
        cancelledAt = clock.elapsed();
        QTest::mouseClick(dialog()->cancelButton(), Qt::LeftButton);
    };
    at(20, poll);
    clock.start();
    QTest::mouseClick(window->Button14, Qt::LeftButton);
    EXPECT_LT(clock.elapsed() - cancelledAt, 1000);
    EXPECT_EQ(errors(), QStringList{kCancelled});
    EXPECT_FALSE(window->ADOQuery2.isOpen());

    press(&TForm43::Button14Click);  // both connections usable again
    EXPECT_EQ(errors(), QStringList{kCancelled});
    EXPECT_EQ(rows(), 5);
}

TEST_F(Progress, QuickCommandShowsNoDialog)
{
    // The routine listing also reads both catalogues now; under the sanitizers it may take
    // longer than the dialog's half second, so the quick commands here are the others.
    press(&TForm43::Button14Click);
    press(&TForm43::Button1Click);
    EXPECT_EQ(errors(), QStringList());
    EXPECT_EQ(rows(), 5);
    EXPECT_EQ(shows.count, 0);
}

TEST_F(Progress, CancelledSyncUndoesTheStatementsBeforeTheStallAndRunsNoneAfter)
{
    press(&TForm43::Button14Click);
    ASSERT_EQ(rows(), 5);
    QStringList order;  // the columns in the order their statements run
    for (int i = 0; i < rows(); ++i)
        order << (field(i, "字段名").isEmpty() ? field(i, "字段名_1") : field(i, "字段名"));
    QStringList sorted = order;
    sorted.sort();
    ASSERT_EQ(sorted, (QStringList{"col_a", "col_b", "col_c", "col_d", "col_e"}));
    selectAll();
    stall(order[2]);
    QString text;
    std::function<void()> poll = [&] {
        if (!dialogShown())
            return at(20, poll);
        text = dialog()->workLabel()->text();
        QTest::keyClick(dialog(), Qt::Key_Escape);
    };
    at(20, poll);
    const qsizetype before = mark();
    press(&TForm43::Button22Click);

    EXPECT_EQ(text, QStringLiteral("正在同步表结构：第 3/5 条语句"));
    const QString cancelled = QStringLiteral("操作已取消\n") + workflow::kTargetUnchanged + ".";
    EXPECT_EQ(errors(), QStringList{cancelled});
    EXPECT_EQ(notices(), QStringList());
    // The two statements before the stall are taken back with the cancel.
    EXPECT_EQ(columnsOf("t1"), QStringList{"id"});
    for (const QString &batch : batchesSince(before)) {
        EXPECT_FALSE(batch.contains(order[3]) || batch.contains(order[4]) || batch.startsWith("select 比较结果"))
            << batch.toStdString();
    }

    press(&TForm43::Button14Click);  // the target connection is still good
    EXPECT_EQ(errors(), QStringList{cancelled});
    EXPECT_EQ(rows(), 5);
}

TEST_F(Progress, ClosingTheWindowDuringAStallCancelsAndCloses)
{
    stall("比较结果");
    QElapsedTimer clock;
    qint64 closedAt = -1;
    at(700, [&] {
        closedAt = clock.elapsed();
        window->close();
    });
    clock.start();
    press(&TForm43::Button14Click);
    EXPECT_GT(closedAt, 0);
    EXPECT_LT(clock.elapsed() - closedAt, 1000);
    EXPECT_FALSE(window->isVisible());
    for (QWidget *w : QApplication::topLevelWidgets())  // nothing left to keep the program running
        EXPECT_FALSE(w->isVisible()) << w->objectName().toStdString();
    EXPECT_EQ(dialogs.shown.size(), 0);  // no error box holds up the exit
    EXPECT_EQ(abandonedOperations(), 0);
}

TEST_F(Progress, CancelledLoginIsAbandonedAndItsConnectionDiscarded)
{
    const SilentListener silent;
    ASSERT_NE(silent.port, 0);
    window->Edit2->setText(QStringLiteral("127.0.0.1,%1").arg(silent.port));
    window->ADOConnection2.setLoginTimeout(3);
    QString text;
    std::function<void()> poll = [&] {
        if (!dialogShown())
            return at(20, poll);
        text = dialog()->workLabel()->text();
        dialog()->reject();  // the title bar's close
    };
    at(20, poll);
    QElapsedTimer clock;
    clock.start();
    press(&TForm43::Button12Click);
    EXPECT_LT(clock.elapsed(), 1500);
    EXPECT_EQ(text, QStringLiteral("正在连接数据库…"));
    EXPECT_EQ(errors(), QStringList{kCancelled});
    EXPECT_FALSE(window->ADOConnection2.isOpen());
    EXPECT_EQ(abandonedOperations(), 1);

    window->Edit2->setText(target().address);
    press(&TForm43::Button12Click);
    EXPECT_EQ(errors().size(), 1);
    EXPECT_TRUE(window->ADOConnection2.isOpen() && window->ADOConnection3.isOpen());
    EXPECT_TRUE(waitForAbandonedOperations(std::chrono::seconds(10)));  // the login timed out alone
}

// Under xvfb-run this is a real X server: the dialog is a window of its own there, Esc reaches
// it through the window system's focus, and the screen is grabbed for a look.
TEST_F(Progress, EscOnTheDialogCancels)
{
    stall("比较结果");
    bool ownWindow = false;
    QElapsedTimer clock;
    clock.start();
    // The window system activates the dialog a moment after it shows.
    std::function<void()> poll = [&] {
        if (!dialogShown() || (QApplication::activeWindow() != dialog() && clock.elapsed() < 5000))
            return at(20, poll);
        QWidget *focused = QApplication::activeWindow();
        ownWindow = dialog()->isWindow() && dialog()->windowHandle() && focused == dialog()
            && dialog()->windowHandle() != window->windowHandle();
#ifdef DBSYNC_GRAB_DIR
        dialog()->grab().save(QStringLiteral(DBSYNC_GRAB_DIR "/progress-dialog.png"));
        if (QGuiApplication::platformName() == QLatin1String("xcb"))
            QGuiApplication::primaryScreen()->grabWindow(0).save(QStringLiteral(DBSYNC_GRAB_DIR "/progress-screen.png"));
#endif
        QTest::keyClick(focused ? focused : dialog(), Qt::Key_Escape);
    };
    at(20, poll);
    press(&TForm43::Button14Click);
    EXPECT_TRUE(ownWindow);
    EXPECT_EQ(errors(), QStringList{kCancelled});
}

}  // namespace
