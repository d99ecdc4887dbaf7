#include "app/GridMenu.h"

#include "app/Form43.h"
#include "app/Form43Sync.h"
#include "app/ResultGrid.h"
#include "app/CommandProgress.h"
#include "app/ScriptPreviewDialog.h"
#include "settings/FileWrite.h"
#include "workflow/ListingText.h"
#include "workflow/Script.h"

#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QFileDialog>
#include <QMenu>

#include <exception>
#include <functional>
#include <utility>

namespace dbsync::gridmenu {

namespace {

// The menu's commands end like the window's: an error goes to the default error display.
void guarded(TForm43 &form, const std::function<void()> &command)
{
    try {
        command();
    } catch (const std::exception &e) {
        form.showError(QString::fromUtf8(e.what()));
    } catch (...) {
        form.showError(QStringLiteral("Unknown error"));
    }
}

QList<int> selectedPositions(const TForm43 &form)
{
    const QVector<int> positions = form.DBGrid1->selectedRowPositions();
    return QList<int>(positions.begin(), positions.end());
}

bool hasListing(const TForm43 &form)
{
    return form.ADOQuery2.isOpen() && form.ADOQuery2.result().fieldCount() > 0;
}

QMenu *buildMenu(TForm43 &form)
{
    auto *menu = new QMenu(form.DBGrid1);
    menu->setObjectName(QStringLiteral("GridMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const bool selected = hasListing(form) && form.DBGrid1->selectionCount() > 0;

    QAction *copy = menu->addAction(kCopyRows, &form, [&form] {
        guarded(form, [&form] { QApplication::clipboard()->setText(selectedRowsText(form)); });
    });
    copy->setEnabled(selected);

    QAction *csv = menu->addAction(kExportCsv, &form, [&form] {
        guarded(form, [&form] {
            const QString fileName = QFileDialog::getSaveFileName(&form, QStringLiteral("导出列表为 CSV"), QString(),
                                                                  QStringLiteral("CSV 文件 (*.csv)"));
            if (!fileName.isEmpty())
                exportCsv(form, fileName);
        });
    });
    csv->setEnabled(hasListing(form));

    menu->addSeparator();
    QAction *preview = menu->addAction(kPreview, &form, [&form] {
        guarded(form, [&form] {
            if (const auto script = previewScript(form)) {
                ScriptPreviewDialog dialog(*script, &form);
                dialog.exec();
            }
        });
    });
    preview->setEnabled(selected && workflow::listingKind(form.ADOQuery2.result()).has_value());

    // Where the next listings compare; the choice is saved with the settings.
    menu->addSeparator();
    QMenu *modes = menu->addMenu(kCompareMenu);
    auto *group = new QActionGroup(modes);
    for (const auto &[mode, text] : {std::pair{workflow::CompareMode::Server, kCompareOnServer},
                                     std::pair{workflow::CompareMode::Local, kCompareLocally}}) {
        QAction *action = modes->addAction(text, &form, [&form, mode = mode] { form.setCompareMode(mode); });
        action->setCheckable(true);
        action->setChecked(form.compareMode() == mode);
        group->addAction(action);
    }
    return menu;
}

}  // namespace

void install(TForm43 &form)
{
    form.DBGrid1->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(form.DBGrid1, &QWidget::customContextMenuRequested, &form, [&form](const QPoint &at) {
        buildMenu(form)->popup(form.DBGrid1->viewport()->mapToGlobal(at));
    });
}

QString selectedRowsText(const TForm43 &form)
{
    const QList<int> positions = selectedPositions(form);
    if (!hasListing(form) || positions.isEmpty())
        return {};
    return workflow::delimitedText(form.ADOQuery2.result(), positions, workflow::ListingFormat::Tsv);
}

void exportCsv(const TForm43 &form, const QString &fileName)
{
    const ResultSet &listing = form.ADOQuery2.result();
    const QString text = workflow::delimitedText(listing, workflow::allRows(listing), workflow::ListingFormat::Csv);
    writeWholeFile(fileName, QByteArrayLiteral("\xEF\xBB\xBF") + text.toUtf8());
}

std::optional<QString> previewScript(TForm43 &form)
{
    const ResultSet &listing = form.ADOQuery2.result();
    const auto kind = workflow::listingKind(listing);
    const QList<int> positions = selectedPositions(form);
    if (!form.ADOQuery2.isOpen() || !kind || positions.isEmpty()) {
        form.dialogs().notice(QStringLiteral("请在表中选择需要同步的项"));
        return std::nullopt;
    }
    const WorkLabel label(QStringLiteral("正在生成同步语句…"));
    const ServerFields fields = form43::serverFields(form);
    const workflow::Plan plan = workflow::planRows(form, fields, *kind, listing, positions, form.compareMode());
    return workflow::renderScript({workflow::toolVersion(), fields, QDateTime::currentDateTime(), false}, plan);
}

}  // namespace dbsync::gridmenu
