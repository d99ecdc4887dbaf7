#pragma once
// A database's schema and rows as sorted text lines read through our own queries of sys.*
// (not through the tool's model), for judging a synchronisation: what must be equal after it,
// or what must be unchanged after one that failed.

#include "db/ResultSet.h"

#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QStringList>

#include <functional>
#include <stdexcept>

namespace dbsync::test {

// What must be equal after a synchronisation, by name; ids and the names the server makes for
// unnamed constraints are left out.
inline const char *const kCatalogueChecks[] = {
    "select s.name + '.' + t.name, b.name, t.max_length, t.precision, t.scale, t.is_nullable from sys.types t "
    "join sys.schemas s on s.schema_id = t.schema_id join sys.types b on b.user_type_id = t.system_type_id "
    "where t.is_user_defined = 1",
    "select t.name, c.name, ty.name, c.max_length, c.precision, c.scale, c.is_nullable, c.is_identity "
    "from sys.columns c join sys.tables t on t.object_id = c.object_id join sys.types ty on ty.user_type_id = c.user_type_id",
    "select t.name, c.name, d.definition, case when d.is_system_named = 1 then '' else d.name end "
    "from sys.default_constraints d join sys.tables t on t.object_id = d.parent_object_id "
    "join sys.columns c on c.object_id = d.parent_object_id and c.column_id = d.parent_column_id",
    "select t.name, case when k.is_system_named = 1 then '' else i.name end, i.type, i.is_unique, i.is_primary_key, "
    "i.is_unique_constraint, i.has_filter, i.filter_definition from sys.indexes i join sys.tables t on t.object_id = i.object_id "
    "left join sys.key_constraints k on k.parent_object_id = i.object_id and k.unique_index_id = i.index_id where i.index_id > 0",
    "select t.name, i.name, c.name, ic.key_ordinal, ic.is_descending_key, ic.is_included_column from sys.index_columns ic "
    "join sys.indexes i on i.object_id = ic.object_id and i.index_id = ic.index_id "
    "join sys.tables t on t.object_id = ic.object_id join sys.columns c on c.object_id = ic.object_id and c.column_id = ic.column_id "
    "where i.is_primary_key = 0 and i.is_unique_constraint = 0",
    "select t.name, case when k.is_system_named = 1 then '' else k.name end, k.definition, k.is_disabled, k.is_not_trusted "
    "from sys.check_constraints k join sys.tables t on t.object_id = k.parent_object_id",
    "select t.name, case when f.is_system_named = 1 then '' else f.name end, r.name, f.delete_referential_action, "
    "f.update_referential_action, f.is_disabled, f.is_not_trusted from sys.foreign_keys f "
    "join sys.tables t on t.object_id = f.parent_object_id join sys.tables r on r.object_id = f.referenced_object_id",
    "select o.name, o.type, m.definition from sys.objects o join sys.sql_modules m on m.object_id = o.object_id",
    "select tr.name, tr.is_disabled from sys.triggers tr",
};

inline QStringList rowsOf(const ResultSet &result)
{
    QStringList rows;
    for (int r = 0; r < result.rowCount(); ++r) {
        QStringList values;
        for (int c = 0; c < result.fieldCount(); ++c)
            values << result.value(r, c).toString();
        rows << values.join(QLatin1Char('|'));
    }
    rows.sort(Qt::CaseInsensitive);
    return rows;
}

// A script as people keep it: batches between lines GO, its USE lines left out so that it
// runs in the test's own database.
inline QStringList batchesOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + path.toStdString());
    QStringList batches;
    QString current;
    static const QRegularExpression go(QStringLiteral("^\\s*GO\\s*$"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression use(QStringLiteral("^\\s*USE\\s"), QRegularExpression::CaseInsensitiveOption);
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (go.match(line).hasMatch()) {
            if (!current.trimmed().isEmpty())
                batches << current;
            current.clear();
        } else if (!use.match(line).hasMatch()) {
            current += line + QLatin1Char('\n');
        }
    }
    if (!current.trimmed().isEmpty())
        batches << current;
    return batches;
}

// Each table's columns in their order, one line a table (column ids keep the gaps of dropped
// columns, so the order is compared, not the ids).
inline QStringList columnOrders(const std::function<ResultSet(const QString &)> &query)
{
    const ResultSet r = query(QStringLiteral("select t.name as t, c.name as c from sys.columns c join sys.tables t "
                                             "on t.object_id = c.object_id order by t.name, c.column_id"));
    QMap<QString, QStringList> tables;
    for (int i = 0; i < r.rowCount(); ++i)
        tables[r.text(i, QStringLiteral("t"))] << r.text(i, QStringLiteral("c"));
    QStringList out;
    for (auto it = tables.cbegin(); it != tables.cend(); ++it)
        out << it.key() + QStringLiteral(" (") + it.value().join(QStringLiteral(", ")) + QLatin1Char(')');
    return out;
}

// The catalogue lines (no rows) that differ between two databases, each side read by its query.
inline QStringList catalogueDifferences(const std::function<ResultSet(const QString &)> &sample,
                                        const std::function<ResultSet(const QString &)> &target)
{
    QStringList out;
    const QStringList sampleOrder = columnOrders(sample), targetOrder = columnOrders(target);
    for (const QString &table : sampleOrder)
        if (!targetOrder.contains(table))
            out << QStringLiteral("target's columns not as in ") + table;
    for (const char *check : kCatalogueChecks) {
        const QStringList s = rowsOf(sample(QString::fromUtf8(check)));
        const QStringList t = rowsOf(target(QString::fromUtf8(check)));
        for (const QString &row : s)
            if (!t.contains(row))
                out << QStringLiteral("target lacks: ") + row;
        for (const QString &row : t)
            if (!s.contains(row))
                out << QStringLiteral("target has more: ") + row;
    }
    return out;
}

// The catalogue's lines, then every row of every table, each prefixed by what it came from.
inline QStringList snapshot(const std::function<ResultSet(const QString &)> &query)
{
    QStringList out;
    for (const char *check : kCatalogueChecks)
        for (const QString &row : rowsOf(query(QString::fromUtf8(check))))
            out << row;
    const ResultSet tables = query(QStringLiteral("select name from sys.tables"));
    for (int r = 0; r < tables.rowCount(); ++r) {
        const QString name = tables.text(r, QStringLiteral("name"));
        for (const QString &row : rowsOf(query(QStringLiteral("select * from [%1]").arg(name))))
            out << name + QLatin1Char(':') + row;
    }
    return out;
}

}  // namespace dbsync::test
