#pragma once
// The result of one query as the tool sees it: named fields and rows of variant values.
// Values are null (an invalid QVariant), text (QString) or numbers (qlonglong or double).

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

namespace dbsync {

class ResultSet {
public:
    ResultSet() = default;
    // Names as the server sent them. A repeated name gets "_1", "_2", ... until it is free;
    // a column without a name is called "COLUMN" followed by its 1-based position.
    explicit ResultSet(const QStringList &columnNames);

    const QStringList &fieldNames() const { return m_fieldNames; }
    int fieldCount() const { return int(m_fieldNames.size()); }
    int rowCount() const { return m_rowCount; }

    void appendRow(QVector<QVariant> values);  // throws std::invalid_argument on a wrong width
    // Appends a row of nulls and gives its fieldCount() values to fill in place; the pointer
    // holds until the next append.
    QVariant *appendNullRow();
    void reserveRows(int rows);

    // Field names match without regard to case. fieldIndex gives -1 for an unknown name;
    // value() throws std::runtime_error naming the field.
    int fieldIndex(const QString &name) const;
    const QVariant &value(int row, int column) const;
    const QVariant &value(int row, const QString &fieldName) const;
    // As text: null gives the empty text.
    QString text(int row, const QString &fieldName) const;

private:
    QStringList m_fieldNames;
    // Row after row in one block: no allocation per row, and 30,000 rows of 27 fields stay
    // small enough for a big listing.
    QVector<QVariant> m_cells;
    int m_rowCount = 0;
};

}  // namespace dbsync
