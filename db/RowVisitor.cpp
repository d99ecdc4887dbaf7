#include "db/RowVisitor.h"

namespace dbsync {

qint64 StoredRow::number(int column) const
{
    // Numbers are stored as qlonglong: read in place, without the conversions' dispatch.
    const QVariant &v = m_result.value(m_row, column);
    return v.typeId() == QMetaType::LongLong ? *static_cast<const qlonglong *>(v.constData()) : v.toLongLong();
}

bool StoredRow::textView(int column, QStringView &view) const
{
    const QVariant &v = m_result.value(m_row, column);
    if (v.typeId() != QMetaType::QString)
        return false;
    view = *static_cast<const QString *>(v.constData());
    return true;
}

void visitRows(const ResultSet &result, RowVisitor &visitor)
{
    visitor.begin(result.fieldNames());
    StoredRow row(result, 0);
    for (int r = 0; r < result.rowCount(); ++r) {
        row.moveTo(r);
        visitor.row(row);
    }
    visitor.end();
}

}  // namespace dbsync
