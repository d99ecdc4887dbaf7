#include "schema/DataLoss.h"

#include "db/SqlQuote.h"

#include <QStringList>

namespace dbsync::schema {

namespace {

bool is(const QString &name, const char *type)
{
    return name.compare(QLatin1String(type), Qt::CaseInsensitive) == 0;
}

int rankIn(const QString &name, std::initializer_list<const char *> ladder)
{
    int rank = 0;
    for (const char *type : ladder) {
        if (is(name, type))
            return rank;
        ++rank;
    }
    return -1;
}

bool isCharacter(const QString &name)
{
    return rankIn(name, {"char", "varchar", "nchar", "nvarchar"}) >= 0;
}

bool isUnicode(const QString &name)
{
    return is(name, "nchar") || is(name, "nvarchar");
}

bool isBinary(const QString &name)
{
    return is(name, "binary") || is(name, "varbinary");
}

// Room for the length: MAX holds everything; a fixed type pads, which keeps the value.
bool roomFor(int from, int to)
{
    return to == -1 || (from != -1 && to >= from);
}

QString shownColumn(const QString &table, const QString &column)
{
    return table + QLatin1Char('.') + column;
}

QString count(const QString &qualifiedTable, const QString &where = {})
{
    return QStringLiteral("select count(*) from ") + qualifiedTable + (where.isEmpty() ? QString() : QStringLiteral(" where ") + where);
}

}  // namespace

bool keepsEveryValue(const ColumnType &from, const ColumnType &to)
{
    if (is(from.name, "decimal") || is(from.name, "numeric"))
        return (is(to.name, "decimal") || is(to.name, "numeric")) && to.scale >= from.scale
               && to.length - to.scale >= from.length - from.scale;
    if (isCharacter(from.name) && isCharacter(to.name))
        return (isUnicode(to.name) || !isUnicode(from.name)) && roomFor(from.length, to.length);
    if (isBinary(from.name) && isBinary(to.name))
        return roomFor(from.length, to.length);
    const int fromInteger = rankIn(from.name, {"tinyint", "smallint", "int", "bigint"});
    const int toInteger = rankIn(to.name, {"tinyint", "smallint", "int", "bigint"});
    if (fromInteger >= 0)
        return toInteger >= fromInteger;
    const int fromTime = rankIn(from.name, {"smalldatetime", "datetime", "datetime2"});
    const int toTime = rankIn(to.name, {"smalldatetime", "datetime", "datetime2"});
    if (fromTime >= 0 && toTime >= 0)
        return toTime > fromTime || (toTime == fromTime && (toTime != 2 || to.scale >= from.scale));
    if (is(from.name, "date"))
        return is(to.name, "date") || toTime >= 1;
    if (is(from.name, "time") || is(from.name, "datetimeoffset"))
        return to.name.compare(from.name, Qt::CaseInsensitive) == 0 && to.scale >= from.scale;
    if (is(from.name, "real"))
        return is(to.name, "real") || is(to.name, "float");
    return from.name.compare(to.name, Qt::CaseInsensitive) == 0;
}

QString typeDeclaration(const ColumnType &type)
{
    const QString name = type.name.toLower();
    if (is(name, "decimal") || is(name, "numeric"))
        return QStringLiteral("%1(%2,%3)").arg(name).arg(type.length).arg(type.scale);
    if (isCharacter(name) || isBinary(name))
        return type.length == -1 ? name + QStringLiteral("(max)") : QStringLiteral("%1(%2)").arg(name).arg(type.length);
    if (is(name, "time") || is(name, "datetime2") || is(name, "datetimeoffset"))
        return QStringLiteral("%1(%2)").arg(name).arg(type.scale);
    return name;
}

DataLossCheck tableDropCheck(const QString &qualifiedTable, const QString &table)
{
    return {table, QString(), QStringLiteral("删除表"), count(qualifiedTable)};
}

DataLossCheck columnDropCheck(const QString &qualifiedTable, const QString &table, const QString &column)
{
    return {table, column, QStringLiteral("删除列"), count(qualifiedTable, quoteIdentifier(column) + QStringLiteral(" is not null"))};
}

std::optional<DataLossCheck> typeChangeCheck(const QString &qualifiedTable, const QString &table, const QString &column,
                                             const ColumnType &from, const ColumnType &to)
{
    if (keepsEveryValue(from, to))
        return std::nullopt;
    const QString name = quoteIdentifier(column);
    // A shorter character type cuts only the values longer than it; any other change may
    // alter every stored value.
    const bool shorter = isCharacter(from.name) && isCharacter(to.name) && to.length != -1
                         && (isUnicode(to.name) || !isUnicode(from.name));
    const QString where = shorter ? QStringLiteral("len(%1) > %2").arg(name).arg(to.length) : name + QStringLiteral(" is not null");
    return DataLossCheck{table, column, QStringLiteral("改为 ") + typeDeclaration(to), count(qualifiedTable, where)};
}

QStringList dataLossLines(const QList<DataLoss> &losses)
{
    QStringList lines;
    for (const DataLoss &loss : losses) {
        const DataLossCheck &c = loss.check;
        if (c.column.isEmpty())
            lines << QStringLiteral("表 %1：%2，表中有 %3 行数据").arg(c.table, c.change).arg(loss.rows);
        else if (c.change == QStringLiteral("删除列"))
            lines << QStringLiteral("列 %1：%2，有 %3 行的值不为空").arg(shownColumn(c.table, c.column), c.change).arg(loss.rows);
        else
            lines << QStringLiteral("列 %1：%2，有 %3 行的值可能改变或被截断").arg(shownColumn(c.table, c.column), c.change).arg(loss.rows);
    }
    return lines;
}

}  // namespace dbsync::schema
