#pragma once
// One executed batch on a connection: runs the text with the statement's own time-out, reads
// a result into a ResultSet (or hands its rows to a visitor) and walks on through the batch's further results, raising the
// first error any of them carries.

#include "db/ResultSet.h"
#include "db/RowVisitor.h"

#include <QString>
#include <sql.h>

namespace dbsync::odbc {

class Statement {
public:
    // timeoutSeconds 0 means no limit.
    Statement(SQLHDBC connection, int timeoutSeconds);
    ~Statement();
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    void execute(const QString &sql);
    // True when the current result has columns (a row set, possibly empty).
    bool currentHasColumns();
    ResultSet fetchCurrent();
    // Hands the current result's rows to visitor as they are fetched, storing none.
    void visitCurrent(RowVisitor &visitor);
    // Moves to the next result; false when the batch is done.
    bool nextResult();
    // Reads past every remaining result, so that errors raised late in the batch surface.
    void drain();

    // For SQLCancel from another thread while a call runs.
    SQLHSTMT handle() const { return m_stmt; }

private:
    SQLHDBC m_connection;
    SQLHSTMT m_stmt = SQL_NULL_HSTMT;
};

}  // namespace dbsync::odbc
