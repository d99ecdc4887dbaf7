#pragma once
// The view and procedure listing: its 18-line query, the grid widths, and the listing row.

#include <QList>
#include <QString>
#include <QStringList>

namespace dbsync {
class ResultSet;
}

namespace dbsync::schema {

// The 18 lines. schemaPrefix ends with ".dbo."; the target database name is written as
// "[" + name with "]" doubled + "]".
QStringList routineDiffQueryLines(const QString &schemaPrefix, const QString &targetDatabase);

// "[" + database with "]" doubled + "]..": a catalogue table follows it directly, as it follows
// the remote schema prefix, for a query run on the database's own server.
QString localSchemaPrefix(const QString &database);
// One side's text rows (name, xtype, colid, text) as a query of its own for that side's
// server: the listing's derived table with the database's own name.
QStringList routineSideQueryLines(const QString &database);

// Widths of grid columns 0 to 4.
QList<int> routineListingWidths();

// The listing's match texts.
inline const QString kTargetMissing = QStringLiteral("目标无");
inline const QString kSampleMissing = QStringLiteral("源无");
inline const QString kTextDiffers = QStringLiteral("结构不同");

struct RoutineDiffRow {
    QString kind;   // 类型: "视图" or "存储过程"
    QString match;  // 匹配情况
    QString name;   // 对象名称
    QString sampleText;  // atext
};

// Throws std::runtime_error when a field is missing (not a view and procedure listing).
RoutineDiffRow readRoutineDiffRow(const ResultSet &result, int row);

}  // namespace dbsync::schema
