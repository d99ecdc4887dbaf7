#include "db/ResultSet.h"

#include <stdexcept>

namespace dbsync {

namespace {

// Field names compare without regard to case, as lookups by name do.
int indexOfName(const QStringList &names, const QString &name)
{
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (names[i].compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return -1;
}

}  // namespace

ResultSet::ResultSet(const QStringList &columnNames)
{
    m_fieldNames.reserve(columnNames.size());
    for (qsizetype i = 0; i < columnNames.size(); ++i) {
        const QString base = columnNames[i].isEmpty() ? QStringLiteral("COLUMN%1").arg(i + 1)
                                                      : columnNames[i];
        QString name = base;
        for (int n = 1; indexOfName(m_fieldNames, name) >= 0; ++n)
            name = base + QLatin1Char('_') + QString::number(n);
        m_fieldNames.append(name);
    }
}

void ResultSet::appendRow(QVector<QVariant> values)
{
    if (values.size() != m_fieldNames.size())
        throw std::invalid_argument("Row has " + std::to_string(values.size()) + " values for "
                                    + std::to_string(m_fieldNames.size()) + " fields");
    QVariant *row = appendNullRow();
    for (qsizetype i = 0; i < values.size(); ++i)
        row[i] = std::move(values[i]);
}

QVariant *ResultSet::appendNullRow()
{
    const qsizetype start = m_cells.size();
    m_cells.resize(start + m_fieldNames.size());
    ++m_rowCount;
    return m_cells.data() + start;
}

void ResultSet::reserveRows(int rows)
{
    m_cells.reserve(qsizetype(rows) * m_fieldNames.size());
}

int ResultSet::fieldIndex(const QString &name) const
{
    return indexOfName(m_fieldNames, name);
}

const QVariant &ResultSet::value(int row, int column) const
{
    if (row < 0 || row >= rowCount())
        throw std::out_of_range("Row " + std::to_string(row) + " is out of range");
    if (column < 0 || column >= fieldCount())
        throw std::out_of_range("Column " + std::to_string(column) + " is out of range");
    return m_cells[qsizetype(row) * m_fieldNames.size() + column];
}

const QVariant &ResultSet::value(int row, const QString &fieldName) const
{
    const int column = fieldIndex(fieldName);
    if (column < 0)
        throw std::runtime_error("Field '" + fieldName.toStdString() + "' not found");
    return value(row, column);
}

QString ResultSet::text(int row, const QString &fieldName) const
{
    const QVariant &v = value(row, fieldName);
    return v.isNull() ? QString() : v.toString();
}

}  // namespace dbsync
