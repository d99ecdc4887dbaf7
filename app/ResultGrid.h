#pragma once
// DBGrid1: shows the current comparison result, one column per field titled with the field's
// name, and lets the user select several rows. Later commands read the selection as row
// positions in result order and move the current row as they walk it.

#include <QAbstractTableModel>
#include <QMetaObject>
#include <QPointer>
#include <QTableView>

#include <optional>

namespace dbsync {

class AdoDataSource;
class ResultSet;

// Read-only table over a result set the caller owns; nullptr is the closed, empty result.
class ResultTableModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setResult(const ResultSet *result);
    const ResultSet *result() const { return m_result; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    const ResultSet *m_result = nullptr;
};

class ResultGrid : public QTableView {
public:
    explicit ResultGrid(QWidget *parent = nullptr);

    // Binds the grid to a data source: it shows the data set's result whenever that is opened
    // or closed, and its current row follows the data set's. nullptr unbinds (empty grid).
    void setDataSource(AdoDataSource *source);

    // Shows a new result (nullptr: closed) and always empties the selection. The result must
    // outlive its showing: call showResult again before destroying or changing it.
    void showResult(const ResultSet *result);
    const ResultSet *result() const { return m_model.result(); }

    // Width in pixels of the column at a 0-based position; throws std::out_of_range past the
    // last column.
    void setColumnWidthAt(int position, int width);

    // Selected rows as positions in result order, each row once, whatever order they were
    // selected in. selectionItem throws std::out_of_range for i outside 0..count-1.
    int selectionCount() const;
    int selectionItem(int i) const;
    QVector<int> selectedRowPositions() const;

    // The data set moved to this row: the current row follows; the selection stays as it is.
    void setCurrentRow(int row);
    int currentRow() const;

private:
    void showDataSet();

    ResultTableModel m_model;
    // The selection's rows in result order, made once per change of the selection: a walk
    // asks for every item in turn.
    mutable std::optional<QVector<int>> m_selectedRows;
    bool m_scrollPending = false;
    QPointer<AdoDataSource> m_source;
    QList<QMetaObject::Connection> m_sourceConnections;
};

}  // namespace dbsync
