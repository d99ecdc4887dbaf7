#include "workflow/ListingText.h"

#include "db/ResultSet.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace dbsync::workflow {

namespace {

QString cell(const QString &value, QChar separator)
{
    if (!value.contains(separator) && !value.contains(QLatin1Char('"')) && !value.contains(QLatin1Char('\n'))
        && !value.contains(QLatin1Char('\r')))
        return value;
    QString quoted = value;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString line(const QStringList &values, QChar separator)
{
    QStringList cells;
    for (const QString &v : values)
        cells.append(cell(v, separator));
    return cells.join(separator);
}

QJsonValue jsonValue(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return QJsonValue::Null;
    switch (value.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
        return QJsonValue(value.toLongLong());
    case QMetaType::Double:
        return QJsonValue(value.toDouble());
    default:
        return QJsonValue(value.toString());
    }
}

}  // namespace

QString delimitedText(const ResultSet &result, const QList<int> &positions, ListingFormat format)
{
    const QChar separator = format == ListingFormat::Csv ? QLatin1Char(',') : QLatin1Char('\t');
    const QString eol = format == ListingFormat::Csv ? QStringLiteral("\r\n") : QStringLiteral("\n");
    QString out = line(result.fieldNames(), separator) + eol;
    for (int row : positions) {
        QStringList values;
        for (const QString &name : result.fieldNames())
            values.append(result.text(row, name));
        out += line(values, separator) + eol;
    }
    return out;
}

QByteArray jsonText(const ResultSet &result, const QList<int> &positions)
{
    QJsonArray fields;
    for (const QString &name : result.fieldNames())
        fields.append(name);
    QJsonArray rows;
    for (int row : positions) {
        QJsonArray values;
        for (int column = 0; column < result.fieldCount(); ++column)
            values.append(jsonValue(result.value(row, column)));
        rows.append(values);
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("fields"), fields}, {QStringLiteral("rows"), rows}})
        .toJson(QJsonDocument::Indented);
}

QList<int> allRows(const ResultSet &result)
{
    QList<int> rows;
    for (int i = 0; i < result.rowCount(); ++i)
        rows.append(i);
    return rows;
}

QList<int> chooseRows(const ResultSet &listing, ListingKind kind, const QStringList &codes,
                      const QStringList &objects)
{
    const bool tables = kind == ListingKind::Tables;
    const auto inList = [](const QStringList &list, const QString &value, Qt::CaseSensitivity cs) {
        for (const QString &entry : list)
            if (entry.trimmed().compare(value.trimmed(), cs) == 0)
                return true;
        return false;
    };
    QList<int> rows;
    for (int i = 0; i < listing.rowCount(); ++i) {
        const QString code = listing.text(i, tables ? QStringLiteral("比较结果") : QStringLiteral("匹配情况"));
        if (!codes.isEmpty() && !inList(codes, code, Qt::CaseSensitive))
            continue;
        if (!objects.isEmpty()) {
            const bool named =
                tables ? inList(objects, listing.text(i, QStringLiteral("表名1")), Qt::CaseInsensitive)
                             || inList(objects, listing.text(i, QStringLiteral("表名2")), Qt::CaseInsensitive)
                       : inList(objects, listing.text(i, QStringLiteral("对象名称")), Qt::CaseInsensitive)
                             || (kind != ListingKind::Routines
                                 && inList(objects, listing.text(i, QStringLiteral("表名")), Qt::CaseInsensitive));
            if (!named)
                continue;
        }
        rows.append(i);
    }
    return rows;
}

}  // namespace dbsync::workflow
