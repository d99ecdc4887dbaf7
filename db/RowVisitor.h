#pragma once
// Rows handed over as they are fetched, for readers that build their own structures and
// would only copy a ResultSet's cells once more (the catalogue of a large schema).

#include "db/ResultSet.h"

#include <QString>
#include <QStringList>
#include <QStringView>
#include <QVariant>

namespace dbsync {

// The row at hand; holds only during the visitor's call. Values are those a ResultSet would
// store: number() and text() convert as QVariant::toLongLong() and toString() would.
class FetchedRow {
public:
    virtual ~FetchedRow() = default;
    virtual QVariant value(int column) const = 0;
    virtual bool isNull(int column) const { return value(column).isNull(); }
    virtual qint64 number(int column) const { return value(column).toLongLong(); }
    // Null gives the empty text.
    virtual QString text(int column) const { return value(column).toString(); }
    // A text value where the row holds it, without a copy, for readers that keep one copy of
    // texts that repeat; holds only during the call. False for null and for other values.
    virtual bool textView(int column, QStringView &view) const
    {
        Q_UNUSED(column);
        Q_UNUSED(view);
        return false;
    }
};

class RowVisitor {
public:
    virtual ~RowVisitor() = default;
    // A row set begins; its names as ResultSet gives them (unique, none empty).
    virtual void begin(const QStringList &fieldNames) = 0;
    virtual void row(const FetchedRow &row) = 0;
    // The row set is done.
    virtual void end() {}
};

// A ResultSet's rows, for a visitor that also takes stored results.
class StoredRow : public FetchedRow {
public:
    StoredRow(const ResultSet &result, int row) : m_result(result), m_row(row) {}
    void moveTo(int row) { m_row = row; }
    QVariant value(int column) const override { return m_result.value(m_row, column); }
    bool isNull(int column) const override { return m_result.value(m_row, column).isNull(); }
    qint64 number(int column) const override;
    QString text(int column) const override { return m_result.value(m_row, column).toString(); }
    bool textView(int column, QStringView &view) const override;

private:
    const ResultSet &m_result;
    int m_row;
};

// Hands every row of result to visitor, between begin() and end().
void visitRows(const ResultSet &result, RowVisitor &visitor);

}  // namespace dbsync
