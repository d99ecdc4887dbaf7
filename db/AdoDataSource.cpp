#include "db/AdoDataSource.h"

namespace dbsync {

AdoDataSource::AdoDataSource(AdoQuery *dataSet, QObject *parent) : QObject(parent) { setDataSet(dataSet); }

void AdoDataSource::setDataSet(AdoQuery *dataSet)
{
    if (m_dataSet == dataSet)
        return;
    if (m_dataSet)
        disconnect(m_dataSet, nullptr, this, nullptr);
    m_dataSet = dataSet;
    if (m_dataSet) {
        connect(m_dataSet, &AdoQuery::resultChanged, this, &AdoDataSource::resultChanged);
        connect(m_dataSet, &AdoQuery::currentRowChanged, this, &AdoDataSource::currentRowChanged);
    }
    emit dataSetChanged();
}

}  // namespace dbsync
