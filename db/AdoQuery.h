#pragma once
// A query data set: SQL text as lines, run on its connection with its own time-out. open()
// reads the whole result and stands on the first row; rows are then walked forward or
// reached by bookmark (the row's position).

#include "db/ResultSet.h"
#include "db/RowVisitor.h"

#include <QList>
#include <QObject>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <utility>

namespace dbsync {

class AdoConnection;

class AdoQuery : public QObject {
    Q_OBJECT
public:
    explicit AdoQuery(AdoConnection *connection = nullptr, int commandTimeout = 30, QObject *parent = nullptr);

    AdoConnection *connection() const { return m_connection; }
    void setConnection(AdoConnection *connection) { m_connection = connection; }
    int commandTimeout() const { return m_commandTimeout; }
    void setCommandTimeout(int seconds) { m_commandTimeout = seconds; }

    // The text takes effect on the next open() or execSQL().
    const QStringList &sql() const { return m_sql; }
    void setSql(const QStringList &lines) { m_sql = lines; }
    void clearSql() { m_sql.clear(); }
    void addSql(const QString &line) { m_sql.append(line); }
    // The lines joined by CR LF, as the server receives them.
    QString sqlText() const { return m_sql.join(QStringLiteral("\r\n")); }

    // Runs the text and keeps its first row set. Throws DbError (the query then stays closed),
    // also when the text returns no row set.
    void open();
    // Opens them at the same time, each on its own connection, so that two servers answer at
    // once; as open() for each (closed ones stay closed when any fails).
    static void openTogether(const QList<AdoQuery *> &queries);
    // As open() and openTogether(), keeping every row set of the batch, in order (empty ones
    // too; results without columns are passed over): several queries in one round trip.
    void openAll();
    static void openAllTogether(const QList<AdoQuery *> &queries);
    // As openAllTogether(), but every row set's rows go to the query's visitor as they are
    // fetched, on the thread fetching them, and none is kept: the queries stay closed. The
    // work shares the visitors, as it may outlive a cancelled wait.
    using Visit = std::pair<AdoQuery *, std::shared_ptr<RowVisitor>>;
    static void visitAllTogether(const QList<Visit> &queries);
    // Opens on a result the tool made itself (a comparison joined from two servers' answers)
    // as if the text had returned it; the text is kept but not run.
    void openOn(ResultSet result);
    void close();
    bool isOpen() const { return m_open; }

    // The open result; an empty one when closed.
    const ResultSet &result() const { return m_result; }
    // After openAll(): every row set, the first being result(); after open() only that one.
    const QList<ResultSet> &results() const { return m_results; }
    int currentRow() const { return m_row; }
    bool eof() const { return !m_open || m_row >= m_result.rowCount(); }
    void next();
    // Makes the row at that position current. Throws DbError for a position outside the result.
    void moveToBookmark(int row);

    // The current row's value of that field (null: an invalid QVariant), or its text (null
    // gives ""). Throws DbError when closed, at the end, or for an unknown field.
    QVariant fieldByName(const QString &name) const;
    QString fieldText(const QString &name) const;

    // Runs the text as one batch that returns no rows; rows and messages that come back are
    // discarded, and errors anywhere in the batch raise DbError.
    void execSQL();

signals:
    void resultChanged();
    void currentRowChanged(int row);

private:
    AdoConnection *m_connection;
    int m_commandTimeout;
    static void openEach(const QList<AdoQuery *> &queries, bool all);

    QStringList m_sql;
    ResultSet m_result;
    QList<ResultSet> m_results;
    bool m_open = false;
    int m_row = 0;
};

}  // namespace dbsync
