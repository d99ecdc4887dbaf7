#pragma once
// The result grid's context menu: copy the selected rows, export the listing as CSV, preview
// the synchronisation of the selected rows as a script. Installed on DBGrid1 from outside the
// grid; the pieces are functions so that tests can run them without the menu.

#include <QString>

#include <optional>

class TForm43;

namespace dbsync::gridmenu {

inline const QString kCopyRows = QStringLiteral("复制所选行");
inline const QString kExportCsv = QStringLiteral("导出列表为 CSV…");
inline const QString kPreview = QStringLiteral("预览同步语句…");
inline const QString kCompareMenu = QStringLiteral("比较方式");
inline const QString kCompareOnServer = QStringLiteral("在目的服务器上比较（分布式查询）");
inline const QString kCompareLocally = QStringLiteral("在本机比较（分别读取两个数据库）");

// Gives DBGrid1 its context menu.
void install(TForm43 &form);

// The selected rows, tab-separated under a header line of the field names; "" without a
// selection.
QString selectedRowsText(const TForm43 &form);
// The whole listing as CSV, UTF-8 with a byte order mark. Throws std::runtime_error when the
// file cannot be written.
void exportCsv(const TForm43 &form, const QString &fileName);

// The script for the selected rows, planned with read-only look-ups on the target server;
// nothing is executed and no backup is taken. None (after the selection notice) when no row of
// a listing is selected. Server errors pass through.
std::optional<QString> previewScript(TForm43 &form);

}  // namespace dbsync::gridmenu
