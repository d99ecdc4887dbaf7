#pragma once
// Synchronising table structure: from the selected column listing rows, in listing order, to
// the steps that make the target like the sample, with the constraint drops they need first.
//
// Order in the command: tables = defaultLookupTables(rows); when not empty, run
// defaultConstraintQueryLines on ADOQuery4 (the target server) and read it with
// readDefaultConstraints;
// then planTableSync; count the plan's lossChecks on the target and ask before anything runs;
// run the plan's steps in order, and refresh and show kTableSyncDone only when the plan does
// not end early.

#include "schema/ColumnDiffQuery.h"
#include "schema/DataLoss.h"
#include "schema/SyncStep.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <utility>

namespace dbsync {
class ResultSet;
}

namespace dbsync::schema {

inline const QString kTableSyncDone = QStringLiteral("表格结构同步完成");

enum class TypeRule {
    Add,             // code "4"
    Alter,           // code "5"
    AlterWithScale,  // code "9"
};

// The line after the type name, or "" when the type takes none: decimal and numeric get
// (precision,scale), character and binary types (length) or (MAX), time types (scale),
// fixed-size types nothing; other names keep the rule's plain form.
QString typeSuffix(TypeRule rule, const QString &type, const QString &length, const QString &scale);
// "null" when 允许空 is 1, else "not null".
QString nullabilityLine(const QString &nullable);

// A column of a sample table as a table the target lacks is created with: name, type name,
// length or precision (-1 for MAX), scale and 允许空, in column order.
struct SampleColumn {
    QString name, type, length, scale, nullable;
    bool operator==(const SampleColumn &) const = default;
};

struct TableSyncContext {
    QString targetDatabase;  // ComboBox2, as typed
    QString schemaPrefix;    // remote schema prefix, for copying a table's structure
    // Compared locally, the target cannot read the sample: code "2" creates the table from
    // these columns (of the table of the first code "2" row) instead of copying it.
    std::optional<QList<SampleColumn>> sampleColumns;
    // Code "10": the steps that rebuild the target table with these columns made, or no
    // longer made, the identity column (true: the sample's is the identity), keeping every
    // row and value. Read from the target's catalogue by the caller.
    std::function<QList<SyncStep>(const QString &table, const QList<std::pair<QString, bool>> &identityColumns)>
        rebuildTable;
};

// The sample table's columns as sampleColumns takes them, run on the sample server (fields
// 字段名, 类型, 长度, 小数位数, 允许空), and their reader.
QStringList sampleColumnsQueryLines(const QString &sampleDatabase, const QString &table);
QList<SampleColumn> readSampleColumns(const ResultSet &result);
// "create table T.dbo.X (" + one line per column (name, full type, nullability) + ")": the
// columns, types and nullability that copying the table with select … into brings, without
// keys, defaults or the identity property.
QStringList createTableLines(const QString &targetDatabase, const QString &table, const QList<SampleColumn> &columns);

// A default constraint of the target: table, column and constraint name.
struct DefaultConstraint {
    QString table;
    QString column;
    QString name;
};

// The target tables whose defaults the plan must know: rows that drop or alter a column or
// add a default. Each once, in row order; empty when no look-up is needed.
QStringList defaultLookupTables(const QList<ColumnDiffRow> &selected);
// The target's default constraints on those tables (fields tablename, columnname,
// constraintname), read through the target database name like the listing. No tables: no lines.
QStringList defaultConstraintQueryLines(const QString &targetDatabase, const QStringList &tables);
QList<DefaultConstraint> readDefaultConstraints(const ResultSet &result);

struct TableSyncPlan {
    QList<SyncStep> steps;
    // A code "2" or "1" row ended the command after its statement, or a code "10" row's
    // rebuild ran alone: no refresh, no notice.
    bool endsEarly = false;
    qsizetype endingRow = -1;  // the row that ended it
    // The steps that may lose stored values, to be counted on the target before anything runs.
    QList<DataLossCheck> lossChecks;
};

TableSyncPlan planTableSync(const QList<ColumnDiffRow> &selected, const TableSyncContext &context,
                            const QList<DefaultConstraint> &targetDefaults);

}  // namespace dbsync::schema
