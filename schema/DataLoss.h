#pragma once
// Steps that would lose values the target holds: dropping a table with rows, a column with
// values, or changing a column's type so that stored values may change or be cut. Each is
// found by a read-only count on the target before anything runs, so that the user decides.

#include <QList>
#include <QString>

#include <optional>

namespace dbsync::schema {

// A column's type as the listings give it: name, declared length in characters or bytes (or
// precision; -1 for MAX) and scale.
struct ColumnType {
    QString name;
    int length = 0;
    int scale = 0;
};

// Whether every value of the first type is kept unchanged by the second: the same type with
// room enough, a wider integer, a character type with room enough, a wider date type.
bool keepsEveryValue(const ColumnType &from, const ColumnType &to);

struct DataLossCheck {
    QString table;   // as the user knows it: "Orders", or "sales.Orders" outside dbo
    QString column;  // empty: the whole table is dropped
    QString change;  // what happens to it: "删除表", "删除列", "改为 varchar(10)"
    QString query;   // one count of the rows whose values would be lost, read-only
    bool operator==(const DataLossCheck &) const = default;
};

// qualifiedTable is the table as the query names it ("[db].dbo.[Orders]").
DataLossCheck tableDropCheck(const QString &qualifiedTable, const QString &table);
DataLossCheck columnDropCheck(const QString &qualifiedTable, const QString &table, const QString &column);
// None when the change keeps every value.
std::optional<DataLossCheck> typeChangeCheck(const QString &qualifiedTable, const QString &table, const QString &column,
                                             const ColumnType &from, const ColumnType &to);

// "varchar(10)", "decimal(18,4)", "nvarchar(max)", "int".
QString typeDeclaration(const ColumnType &type);

struct DataLoss {
    DataLossCheck check;
    qint64 rows = 0;
};

// The lines that name each loss with its number of rows, for the window's question and the
// command line's refusal.
QStringList dataLossLines(const QList<DataLoss> &losses);

}  // namespace dbsync::schema
