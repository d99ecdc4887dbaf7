#pragma once
// The data source between a query data set and the grid: the grid watches it to learn which
// data set to show and when that data set's result or current row changes.

#include "db/AdoQuery.h"

#include <QObject>
#include <QPointer>

namespace dbsync {

class AdoDataSource : public QObject {
    Q_OBJECT
public:
    explicit AdoDataSource(AdoQuery *dataSet = nullptr, QObject *parent = nullptr);

    AdoQuery *dataSet() const { return m_dataSet; }
    void setDataSet(AdoQuery *dataSet);

signals:
    void dataSetChanged();
    // Relayed from the bound data set.
    void resultChanged();
    void currentRowChanged(int row);

private:
    QPointer<AdoQuery> m_dataSet;
};

}  // namespace dbsync
