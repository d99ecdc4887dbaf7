#include "app/ResultGrid.h"

#include "db/AdoDataSource.h"
#include "db/ResultSet.h"

#include <QHeaderView>
#include <QItemSelectionModel>

#include <algorithm>
#include <stdexcept>
#include <string>

namespace dbsync {

void ResultTableModel::setResult(const ResultSet *result)
{
    beginResetModel();
    m_result = result;
    endResetModel();
}

int ResultTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !m_result ? 0 : m_result->rowCount();
}

int ResultTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() || !m_result ? 0 : m_result->fieldCount();
}

QVariant ResultTableModel::data(const QModelIndex &index, int role) const
{
    if (!m_result || !index.isValid())
        return {};
    const QVariant &value = m_result->value(index.row(), index.column());
    switch (role) {
    case Qt::DisplayRole:
        return value.isValid() ? QVariant(value.toString()) : QVariant();
    case Qt::TextAlignmentRole: {
        const int type = value.metaType().id();
        const bool number = type == QMetaType::LongLong || type == QMetaType::Int
                            || type == QMetaType::Double;
        return QVariant::fromValue(Qt::AlignVCenter | (number ? Qt::AlignRight : Qt::AlignLeft));
    }
    default:
        return {};
    }
}

QVariant ResultTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || !m_result)
        return {};
    if (orientation == Qt::Horizontal)
        return section < m_result->fieldCount() ? QVariant(m_result->fieldNames()[section])
                                                : QVariant();
    return QVariant(QString());  // the indicator column carries no numbers
}

ResultGrid::ResultGrid(QWidget *parent) : QTableView(parent), m_model(this)
{
    setModel(&m_model);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    horizontalHeader()->setSectionsMovable(true);
    horizontalHeader()->setHighlightSections(false);
    verticalHeader()->setDefaultSectionSize(18);
    verticalHeader()->setFixedWidth(12);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { m_selectedRows.reset(); });
    connect(&m_model, &QAbstractItemModel::modelReset, this, [this] { m_selectedRows.reset(); });
}

void ResultGrid::setDataSource(AdoDataSource *source)
{
    for (const QMetaObject::Connection &c : std::as_const(m_sourceConnections))
        disconnect(c);
    m_sourceConnections.clear();
    m_source = source;
    if (source) {
        m_sourceConnections = {
            connect(source, &AdoDataSource::dataSetChanged, this, &ResultGrid::showDataSet),
            connect(source, &AdoDataSource::resultChanged, this, &ResultGrid::showDataSet),
            connect(source, &AdoDataSource::currentRowChanged, this, [this](int row) {
                // Walking past the last row (end of data) leaves the grid where it was.
                if (row >= 0 && row < m_model.rowCount())
                    setCurrentRow(row);
            }),
        };
    }
    showDataSet();
}

void ResultGrid::showDataSet()
{
    const AdoQuery *query = m_source ? m_source->dataSet() : nullptr;
    showResult(query && query->isOpen() ? &query->result() : nullptr);
}

void ResultGrid::showResult(const ResultSet *result)
{
    selectionModel()->clear();
    m_model.setResult(result);
    selectionModel()->clear();
    // Columns are made anew for each result: field order and default widths, whatever the
    // user did to the previous result's columns.
    QHeaderView *header = horizontalHeader();
    for (int logical = 0; logical < header->count(); ++logical) {
        header->moveSection(header->visualIndex(logical), logical);
        header->resizeSection(logical, header->defaultSectionSize());
    }
}

void ResultGrid::setColumnWidthAt(int position, int width)
{
    if (position < 0 || position >= m_model.columnCount())
        throw std::out_of_range("Grid column " + std::to_string(position) + " does not exist");
    setColumnWidth(position, width);
}

QVector<int> ResultGrid::selectedRowPositions() const
{
    if (!m_selectedRows) {
        QVector<int> rows;
        for (const QItemSelectionRange &range : selectionModel()->selection()) {
            for (int row = range.top(); row <= range.bottom(); ++row)
                rows.append(row);
        }
        std::sort(rows.begin(), rows.end());
        rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
        m_selectedRows = std::move(rows);
    }
    return *m_selectedRows;
}

int ResultGrid::selectionCount() const
{
    return int(selectedRowPositions().size());
}

int ResultGrid::selectionItem(int i) const
{
    const QVector<int> rows = selectedRowPositions();
    if (i < 0 || i >= rows.size())
        throw std::out_of_range("Selection item " + std::to_string(i) + " does not exist");
    return rows[i];
}

void ResultGrid::setCurrentRow(int row)
{
    if (row < 0 || row >= m_model.rowCount())
        throw std::out_of_range("Result row " + std::to_string(row) + " does not exist");
    const int column = std::max(currentIndex().column(), 0);
    const QModelIndex index = m_model.index(row, column);
    // A synchronisation walks a thousand rows in one go: scroll once, to where it ends, when
    // the window next gets to it, rather than blitting the view for every row.
    const bool autoScrolls = hasAutoScroll();
    setAutoScroll(false);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    setAutoScroll(autoScrolls);
    if (!m_scrollPending) {
        m_scrollPending = true;
        QMetaObject::invokeMethod(this, [this] {
            m_scrollPending = false;
            if (currentIndex().isValid())
                scrollTo(currentIndex());
        }, Qt::QueuedConnection);
    }
}

int ResultGrid::currentRow() const
{
    return currentIndex().row();
}

}  // namespace dbsync
