// Times the column listing as a user gets it: the window offscreen, its fields filled, a click
// on Button14 until the grid holds the rows. Errors that the window would show go to stderr
// and make the run fail, so a broken listing never passes as a fast one.

#include "app/Form43.h"
#include "app/ResultGrid.h"
#include "bench/ListingOptions.h"
#include "db/CrossServer.h"
#include "schema/ColumnDiffQuery.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <sys/resource.h>

#include <cstdio>
#include <exception>

namespace {

// Counts what the window would show; any of it means the listing did not run through. The
// synchronisation's notices (backup, done) are counted apart.
struct CountingDialogs : dbsync::Dialogs {
    int shown = 0;
    QStringList notices;
    bool noticesExpected = false;
    void inputCheck(const QString &text) override { report("input check", text); }
    void notice(const QString &text) override
    {
        if (noticesExpected)
            notices << text;
        else
            report("notice", text);
    }
    void error(const QString &text) override { report("error", text); }
    bool question(const QString &text) override
    {
        report("question", text);
        return false;
    }
    bool confirmPlan(const QString &) override
    {
        report("plan", {});
        return false;
    }
    bool confirmDataLoss(const QStringList &losses) override
    {
        report("data loss", losses.join('\n'));
        return false;
    }
    void report(const char *kind, const QString &text)
    {
        ++shown;
        std::fprintf(stderr, "bench_listing: %s: %s\n", kind, qPrintable(text));
    }
};

// Peak resident memory of this process so far.
double peakResidentMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

int run(const bench::ListingOptions &o)
{
    const dbsync::ServerFields &f = o.fields;
    if (o.printQuery) {
        // The text Button14Click hands to ADOQuery2, byte for byte: lines joined by CR LF as
        // the batch is sent, no line break after the last.
        const QStringList lines = dbsync::schema::columnDiffQueryLines(
            dbsync::remoteSchemaPrefix(f), dbsync::remoteDatabasePrefix(f), f.ComboBox2);
        std::fputs(lines.join(QStringLiteral("\r\n")).toUtf8().constData(), stdout);
        return 0;
    }

    CountingDialogs dialogs;
    TForm43 window;
    window.setDialogs(&dialogs);
    window.show();
    window.EIP->setText(f.EIP);
    window.EUser->setText(f.EUser);
    window.EPassword->setText(f.EPassword);
    window.ComboBox1->setEditText(f.ComboBox1);
    window.Edit2->setText(f.Edit2);
    window.Edit3->setText(f.Edit3);
    window.MaskEdit1->setText(f.MaskEdit1);
    window.ComboBox2->setEditText(f.ComboBox2);
    window.setCompareMode(o.compare);
    QApplication::processEvents();

    if (o.sync) {
        QTest::mouseClick(window.Button14, Qt::LeftButton);
        QApplication::processEvents();
        if (dialogs.shown > 0)
            return 1;
        window.DBGrid1->selectAll();
        const int selected = window.DBGrid1->selectionCount();
        dialogs.noticesExpected = true;
        QElapsedTimer timer;
        timer.start();
        QTest::mouseClick(window.button22, Qt::LeftButton);
        QApplication::processEvents();
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        if (dialogs.shown > 0)
            return 1;
        std::printf("sync rows %d seconds %.4f left %d notices %s\n", selected, seconds,
                    window.DBGrid1->model()->rowCount(), qPrintable(dialogs.notices.join(QLatin1Char('|'))));
        window.setDialogs(nullptr);
        return 0;
    }
    for (int press = 1; press <= o.presses; ++press) {
        QElapsedTimer timer;
        timer.start();
        QTest::mouseClick(window.Button14, Qt::LeftButton);
        // Layout and painting of the filled grid belong to what the user waits for.
        QApplication::processEvents();
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        if (dialogs.shown > 0)
            return 1;
        const int rows = window.DBGrid1->model()->rowCount();
        std::printf("press %d rows %d seconds %.4f rss_mb %.1f\n", press, rows, seconds, peakResidentMegabytes());
        std::fflush(stdout);
    }
    window.setDialogs(nullptr);
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    // The window is never seen; without a display it runs offscreen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    bench::ListingOptions options;
    try {
        options = bench::parseListingOptions(app.arguments().mid(1));
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bench_listing: %s\n%s", e.what(), bench::kListingUsage);
        return 2;
    }
    try {
        return run(options);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bench_listing: %s\n", e.what());
        return 1;
    }
}
