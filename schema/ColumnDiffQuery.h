#pragma once
// The column comparison listing: its 61-line query (and the refresh form without the column
// positions), the grid widths, and the listing row as the table synchronisation reads it.

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace dbsync {
class ResultSet;
}

namespace dbsync::schema {

// The 61 lines. schemaPrefix ends with ".dbo." (catalogue tables follow it directly),
// databasePrefix ends with the sample database name (".sys." follows). The target database
// name goes in through quoteIdentifier, so an ordinary name stands as typed.
QStringList columnDiffQueryLines(const QString &schemaPrefix, const QString &databasePrefix,
                                 const QString &targetDatabase);
// The same with lines 18, 22, 38, 42 and 61 replaced: no 序号 fields, sorted by table only.
QStringList columnRefreshQueryLines(const QString &schemaPrefix, const QString &databasePrefix,
                                    const QString &targetDatabase);

// One side's column descriptions as a query of its own, for that side's server: the derived
// table of the listing (fields 表名1, 外键, 主键名 on the sample side; 表名2, 外键2, 主键名2 on
// the target side), its catalogue names written with the database name, without the 序号
// field in the refresh form.
enum class ColumnSide { Sample, Target };
QStringList columnSideQueryLines(ColumnSide side, const QString &database, bool refreshForm);
// The database's user table names (field name), for the table tests of codes "1" and "2".
QStringList userTableQueryLines(const QString &database);

// Widths of grid columns 0 to 24 (the later columns keep the grid's default).
QList<int> columnListingWidths();

// One listing row, by field name. Values are the fields' texts (null gives "").
struct ColumnDiffRow {
    QString code;                      // 比较结果
    QString sampleTable;               // 表名1
    QString sampleColumn;              // 字段名
    std::optional<int> samplePosition; // 序号; the refresh listing has none
    QString sampleType;                // 类型
    QString sampleLength;              // 长度 (-1 for a MAX type)
    QString sampleScale;               // 小数位数
    QString sampleNullable;            // 允许空
    QString samplePrimaryKey;          // 主键
    QString sampleIdentity;            // 标识
    QString sampleDefault;             // 默认值
    QString targetTable;               // 表名2
    QString targetColumn;              // 字段名_1
    QString targetForeignKey;          // 外键2
    QString targetPrimaryKeyName;      // 主键名2
    QString targetType;                // 类型_1
    QString targetLength;              // 长度_1
    QString targetScale;               // 小数位数_1
    QString targetIdentity;            // 标识_1
};

// Throws std::runtime_error when a required field is missing (not a column listing).
ColumnDiffRow readColumnDiffRow(const ResultSet &result, int row);

}  // namespace dbsync::schema
