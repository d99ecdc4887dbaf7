#pragma once
// Synchronising table structure: from the selected column listing rows, in listing order, to
// the steps that make the target like the sample, with the constraint drops they need first.
//
// Order in the command: tables = defaultLookupTables(rows); when not empty, run
// defaultConstraintQueryLines on ADOQuery4 (the target server) and read it with
// readDefaultConstraints;
// then planTableSync, run its steps in order, and refresh and notify only when the plan does
// not end early.

#include "schema/ColumnDiffQuery.h"
#include "schema/SyncStep.h"

#include <QList>
#include <QString>
#include <QStringList>

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

struct TableSyncContext {
    QString targetDatabase;  // ComboBox2, as typed
    QString schemaPrefix;    // remote schema prefix, for copying a table's structure
};

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
    // A code "2" or "1" row ended the command after its statement: no refresh, no notice.
    bool endsEarly = false;
    // Columns (table.column) left alone because only the target's is the identity column.
    QStringList identityNotes;
};

TableSyncPlan planTableSync(const QList<ColumnDiffRow> &selected, const TableSyncContext &context,
                            const QList<DefaultConstraint> &targetDefaults);

// "表格结构同步完成", followed by the columns left alone when there are any.
QString tableSyncNotice(const TableSyncPlan &plan);

}  // namespace dbsync::schema
