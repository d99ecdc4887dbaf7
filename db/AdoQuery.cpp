#include "db/AdoQuery.h"

#include "db/AdoConnection.h"
#include "db/DbError.h"
#include "db/OdbcStatement.h"
#include "db/StatementOperation.h"

#include <memory>
#include <utility>
#include <vector>

namespace dbsync {

namespace {

AdoConnection &usable(AdoConnection *connection)
{
    if (!connection)
        throw DbError(QStringLiteral("Missing Connection or ConnectionString"));
    return *connection;
}

}  // namespace

AdoQuery::AdoQuery(AdoConnection *connection, int commandTimeout, QObject *parent)
    : QObject(parent), m_connection(connection), m_commandTimeout(commandTimeout)
{
}

void AdoQuery::open()
{
    openEach({this}, false);
}

void AdoQuery::openTogether(const QList<AdoQuery *> &queries)
{
    openEach(queries, false);
}

void AdoQuery::openAll()
{
    openEach({this}, true);
}

void AdoQuery::openAllTogether(const QList<AdoQuery *> &queries)
{
    openEach(queries, true);
}

void AdoQuery::visitAllTogether(const QList<Visit> &queries)
{
    std::vector<StatementRun> runs;
    for (const Visit &visit : queries) {
        AdoQuery *query = visit.first;
        runs.push_back({&usable(query->m_connection), query->m_commandTimeout,
                        [visitor = visit.second, text = query->sqlText()](odbc::Statement &statement) {
                            statement.execute(text);
                            bool rows = false;
                            do {
                                if (statement.currentHasColumns()) {
                                    statement.visitCurrent(*visitor);
                                    rows = true;
                                }
                            } while (statement.nextResult());
                            if (!rows)
                                throw DbError(QStringLiteral("CommandText does not return a result set"));
                        }});
    }
    if (!runs.empty())
        runStatementsTogether(std::move(runs), OperationKind::Query);
}

void AdoQuery::openEach(const QList<AdoQuery *> &queries, bool all)
{
    std::vector<StatementRun> runs;
    std::vector<std::pair<AdoQuery *, std::shared_ptr<QList<ResultSet>>>> opening;
    for (AdoQuery *query : queries) {
        if (query->m_open)
            continue;
        auto sets = std::make_shared<QList<ResultSet>>();
        runs.push_back({&usable(query->m_connection), query->m_commandTimeout,
                        [sets, all, text = query->sqlText()](odbc::Statement &statement) {
                            statement.execute(text);
                            do {
                                if (statement.currentHasColumns()) {
                                    sets->append(statement.fetchCurrent());
                                    if (!all)
                                        break;
                                }
                            } while (statement.nextResult());
                            statement.drain();
                        }});
        opening.emplace_back(query, sets);
    }
    if (runs.empty())
        return;
    runStatementsTogether(std::move(runs), OperationKind::Query);
    for (const auto &[query, sets] : opening)
        if (sets->isEmpty())
            throw DbError(QStringLiteral("CommandText does not return a result set"));
    for (const auto &[query, sets] : opening) {
        query->m_result = sets->front();
        query->m_results = std::move(*sets);
        query->m_open = true;
        query->m_row = 0;
        emit query->resultChanged();
        emit query->currentRowChanged(query->m_row);
    }
}

void AdoQuery::openOn(ResultSet result)
{
    close();
    m_result = std::move(result);
    m_results = {m_result};
    m_open = true;
    m_row = 0;
    emit resultChanged();
    emit currentRowChanged(m_row);
}

void AdoQuery::close()
{
    if (!m_open)
        return;
    m_open = false;
    m_result = ResultSet();
    m_results.clear();
    m_row = 0;
    emit resultChanged();
}

void AdoQuery::next()
{
    if (eof())
        return;
    ++m_row;
    emit currentRowChanged(m_row);
}

void AdoQuery::moveToBookmark(int row)
{
    if (!m_open || row < 0 || row >= m_result.rowCount())
        throw DbError(QStringLiteral("Bookmark is invalid."));
    m_row = row;
    emit currentRowChanged(m_row);
}

QVariant AdoQuery::fieldByName(const QString &name) const
{
    if (!m_open)
        throw DbError(QStringLiteral("Operation is not allowed when the object is closed."));
    const int column = m_result.fieldIndex(name);
    if (column < 0)
        throw DbError(QStringLiteral("Field '%1' not found").arg(name));
    if (eof())
        throw DbError(QStringLiteral("Either BOF or EOF is True, or the current record has been deleted. "
                                     "Requested operation requires a current record."));
    return m_result.value(m_row, column);
}

QString AdoQuery::fieldText(const QString &name) const
{
    const QVariant value = fieldByName(name);
    return value.isValid() ? value.toString() : QString();
}

void AdoQuery::execSQL()
{
    runStatement(usable(m_connection), m_commandTimeout, OperationKind::Execute,
                 [text = sqlText()](odbc::Statement &statement) {
                     statement.execute(text);
                     statement.drain();
                 });
}

}  // namespace dbsync
