// The grid's context menu: the preview of a selection is exactly what the synchronisation then
// runs for it, and sends only SELECTs; copying rows and the CSV export.
#include "tests/e2e/SchemaSyncFixture.h"

#include "app/GridMenu.h"
#include "app/ScriptPreviewDialog.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QTemporaryDir>

using namespace dbsync;
using dbsync::test::SchemaSyncTest;

namespace {

class Preview : public SchemaSyncTest {
protected:
    // The statements of a script: after the header, each ended by a line GO.
    static QStringList statementsOf(const QString &script)
    {
        const qsizetype start = script.indexOf("\r\n\r\n");
        if (start < 0)
            return {};
        QString body = script.mid(start + 4);
        EXPECT_TRUE(body.endsWith("\r\nGO\r\n"));
        body.chop(6);
        // Without the transaction around them.
        QStringList statements = body.split("\r\nGO\r\n\r\n");
        for (const char *frame : {"SET XACT_ABORT ON", "BEGIN TRANSACTION", "IF @@TRANCOUNT = 0 SET NOEXEC ON",
                                  "COMMIT TRANSACTION", "SET NOEXEC OFF"})
            statements.removeAll(QString::fromLatin1(frame));
        return statements;
    }

    // The preview's script, checking that the target server was sent only SELECTs for it.
    QString previewSendingOnlySelects()
    {
        const qsizetype before = mark();
        const auto script = gridmenu::previewScript(*window);
        EXPECT_EQ(errors(), QStringList());
        EXPECT_TRUE(script.has_value());
        for (const QString &b : batchesSince(before))
            EXPECT_TRUE(b.trimmed().startsWith("select", Qt::CaseInsensitive)) << b.toStdString();
        // The target reads the sample itself; that too may only read.
        for (const QString &b : servers->sim().batches("sample").mid(sampleBatches))
            EXPECT_TRUE(b.trimmed().startsWith("select", Qt::CaseInsensitive)) << b.toStdString();
        return script.value_or(QString());
    }

    // What a synchronisation command then changed on the target: its statements, in order.
    QStringList changesOf(void (TForm43::*command)())
    {
        const qsizetype before = mark();
        press(command);
        EXPECT_EQ(errors(), QStringList());
        QStringList out;
        for (const QString &b : batchesSince(before))
            if (!b.startsWith("exec sp_configure") && b != "reconfigure" && !isFrameOrLookUp(b)
                && !b.startsWith("backup database"))
                out << b;
        return out;
    }

    qsizetype sampleBatches = 0;
};

}  // namespace

TEST_F(Preview, TablePreviewIsWhatTheSynchronisationRuns)
{
    onSample("create table orders (id bigint not null, name varchar(50) not null, added int null)");
    onTarget("create table orders (id int not null, name varchar(20) null constraint df_name default 'x', "
             "old int null constraint df_old default 0)");
    press(&TForm43::Button14Click);
    ASSERT_EQ(rows(), 4);
    selectAll();
    sampleBatches = servers->sim().batches("sample").size();
    const QString script = previewSendingOnlySelects();
    const QStringList previewed = statementsOf(script);
    EXPECT_EQ(previewed.size(), 6) << script.toStdString();  // add, two default drops, drop, two alters
    EXPECT_TRUE(script.contains("-- 建表或删表的语句之后"));

    // The preview took no backup: the synchronisation still starts with one.
    EXPECT_FALSE(window->b);
    EXPECT_SENT(changesOf(&TForm43::Button22Click), previewed);
    EXPECT_TRUE(window->b);
    EXPECT_EQ(notices().size(), 2);  // the backup and the completion
}

TEST_F(Preview, RoutinePreviewIsWhatTheSynchronisationRunsAndTheDialogShowsIt)
{
    onSample("create view v1 as select 1 as a");
    onTarget("create view v1 as select 2 as a");
    onSample("create procedure p1 as\r\nselect 'x' as b");
    onTarget("create procedure old_p as select 3");
    window->b = true;
    press(&TForm43::Button9Click);
    ASSERT_EQ(rows(), 3);
    selectAll();
    sampleBatches = servers->sim().batches("sample").size();
    const QString script = previewSendingOnlySelects();
    EXPECT_FALSE(script.contains("-- 建表或删表"));
    const QStringList previewed = statementsOf(script);
    ASSERT_EQ(previewed.size(), 3) << script.toStdString();

    ScriptPreviewDialog dialog(script, window.get());
    dialog.show();
    QApplication::processEvents();
    EXPECT_EQ(dialog.saveButton->text(), "保存为 .sql…");
    EXPECT_EQ(dialog.copyButton->text(), "复制");
    dialog.grab().save(QStringLiteral(DBSYNC_GRAB_DIR "/preview-dialog.png"));
    dialog.copy();
    EXPECT_EQ(QApplication::clipboard()->text(), script);
    QTemporaryDir dir;
    dialog.saveTo(dir.filePath("p.sql"));
    QFile saved(dir.filePath("p.sql"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(saved.readAll()), script);
    dialog.close();

    EXPECT_SENT(changesOf(&TForm43::Button10Click), previewed);
}

TEST_F(Preview, MenuCopiesRowsAndExportsTheListing)
{
    onSample("create table orders (id int not null, name varchar(30) null)");
    press(&TForm43::Button14Click);
    ASSERT_EQ(rows(), 2);

    // Nothing selected: only the export can run; the preview says what to do.
    emit window->DBGrid1->customContextMenuRequested(QPoint(40, 40));
    QApplication::processEvents();
    auto *menu = window->DBGrid1->findChild<QMenu *>("GridMenu");
    ASSERT_NE(menu, nullptr);
    QStringList texts, enabled;
    for (QAction *a : menu->actions())
        if (!a->isSeparator()) {
            texts << a->text();
            if (a->isEnabled())
                enabled << a->text();
        }
    EXPECT_EQ(texts, (QStringList{"复制所选行", "导出列表为 CSV…", "预览同步语句…", "列出索引和约束区别",
                                  "同步所选索引和约束", "全部同步…", "比较方式"}));
    EXPECT_EQ(enabled, (QStringList{"导出列表为 CSV…", "列出索引和约束区别", "全部同步…", "比较方式"}));
    menu->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(gridmenu::previewScript(*window), std::nullopt);
    EXPECT_EQ(notices(), QStringList{"请在表中选择需要同步的项"});

    selectRows({1});
    const QStringList copied = gridmenu::selectedRowsText(*window).split('\n');
    ASSERT_EQ(copied.size(), 3);  // header, the row, the empty end
    EXPECT_TRUE(copied[0].startsWith("比较结果\t表名1\t字段名\t"));
    EXPECT_TRUE(copied[1].startsWith("2\torders\tname\t"));

    QTemporaryDir dir;
    gridmenu::exportCsv(*window, dir.filePath("l.csv"));
    QFile csv(dir.filePath("l.csv"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QByteArray bytes = csv.readAll();
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF比较结果,表名1,"));
    EXPECT_EQ(bytes.count("\r\n"), 3);

    emit window->DBGrid1->customContextMenuRequested(QPoint(40, 40));
    QApplication::processEvents();
    menu = window->DBGrid1->findChild<QMenu *>("GridMenu");
    ASSERT_NE(menu, nullptr);
    window->grab().save(QStringLiteral(DBSYNC_GRAB_DIR "/grid-menu-window.png"));
    menu->grab().save(QStringLiteral(DBSYNC_GRAB_DIR "/grid-menu.png"));
    menu->close();
}
