#include "db/OdbcStatement.h"

#include "db/OdbcSupport.h"

#include <sqlext.h>
#include <vector>

namespace dbsync::odbc {

namespace {

constexpr SQLSMALLINT kSqlVariant = -150;  // SQL_SS_VARIANT of the SQL Server drivers

enum class Fetch { Integer, Real, Decimal, Text };

Fetch fetchKind(SQLSMALLINT type)
{
    switch (type) {
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
        return Fetch::Integer;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
        return Fetch::Real;
    case SQL_DECIMAL:
    case SQL_NUMERIC:
        return Fetch::Decimal;
    case kSqlVariant:
    default:
        return Fetch::Text;  // character, MAX, date and time, binary (as hex), sql_variant
    }
}

struct ColumnInfo {
    QString name;
    Fetch kind = Fetch::Text;
    SQLSMALLINT scale = 0;
};

// Reads one column of the current row in pieces, so long and MAX values arrive whole.
QVariant readText(SQLHSTMT stmt, SQLUSMALLINT column, bool &isNull)
{
    constexpr SQLLEN kChars = 2048;
    std::vector<SQLWCHAR> buffer(kChars);
    const SQLLEN bufferBytes = kChars * SQLLEN(sizeof(SQLWCHAR));
    QString text;
    isNull = false;
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(stmt, column, SQL_C_WCHAR, buffer.data(), bufferBytes, &indicator);
        if (rc == SQL_NO_DATA)
            break;
        check(rc, SQL_HANDLE_STMT, stmt, "SQLGetData");
        if (indicator == SQL_NULL_DATA) {
            isNull = true;
            return {};
        }
        const bool truncated = indicator == SQL_NO_TOTAL || indicator >= bufferBytes;
        const qsizetype chars = truncated ? kChars - 1 : qsizetype(indicator / SQLLEN(sizeof(SQLWCHAR)));
        text += fromSqlWChar(buffer.data(), chars);
        if (rc == SQL_SUCCESS || !truncated)
            break;
    }
    return text;
}

QVariant readValue(SQLHSTMT stmt, SQLUSMALLINT column, const ColumnInfo &info)
{
    SQLLEN indicator = 0;
    switch (info.kind) {
    case Fetch::Integer: {
        SQLBIGINT value = 0;
        check(SQLGetData(stmt, column, SQL_C_SBIGINT, &value, sizeof value, &indicator), SQL_HANDLE_STMT,
              stmt, "SQLGetData");
        return indicator == SQL_NULL_DATA ? QVariant() : QVariant(qlonglong(value));
    }
    case Fetch::Real: {
        SQLDOUBLE value = 0;
        check(SQLGetData(stmt, column, SQL_C_DOUBLE, &value, sizeof value, &indicator), SQL_HANDLE_STMT,
              stmt, "SQLGetData");
        return indicator == SQL_NULL_DATA ? QVariant() : QVariant(double(value));
    }
    case Fetch::Decimal: {
        bool isNull = false;
        const QString text = readText(stmt, column, isNull).toString();
        if (isNull)
            return {};
        bool ok = false;
        if (info.scale == 0) {
            const qlonglong whole = text.toLongLong(&ok);
            if (ok)
                return whole;
        }
        return text.toDouble();
    }
    case Fetch::Text: {
        bool isNull = false;
        return readText(stmt, column, isNull);
    }
    }
    return {};
}

}  // namespace

Statement::Statement(SQLHDBC connection, int timeoutSeconds)
{
    check(SQLAllocHandle(SQL_HANDLE_STMT, connection, &m_stmt), SQL_HANDLE_DBC, connection, "SQLAllocHandle");
    const SQLRETURN rc = SQLSetStmtAttr(m_stmt, SQL_ATTR_QUERY_TIMEOUT,
                                        reinterpret_cast<SQLPOINTER>(SQLULEN(qMax(timeoutSeconds, 0))), 0);
    if (!succeeded(rc)) {
        const DbError error = errorFrom(diagnostics(SQL_HANDLE_STMT, m_stmt), QStringLiteral("SQLSetStmtAttr failed"));
        SQLFreeHandle(SQL_HANDLE_STMT, m_stmt);
        throw error;
    }
}

Statement::~Statement() { SQLFreeHandle(SQL_HANDLE_STMT, m_stmt); }

void Statement::execute(const QString &sql)
{
    std::vector<SQLWCHAR> text = toSqlWChar(sql);
    const SQLRETURN rc = SQLExecDirectW(m_stmt, text.data(), SQLINTEGER(sql.size()));
    if (rc != SQL_NO_DATA)  // a statement that touched no rows
        check(rc, SQL_HANDLE_STMT, m_stmt, "SQLExecDirect");
}

bool Statement::currentHasColumns()
{
    SQLSMALLINT count = 0;
    check(SQLNumResultCols(m_stmt, &count), SQL_HANDLE_STMT, m_stmt, "SQLNumResultCols");
    return count > 0;
}

ResultSet Statement::fetchCurrent()
{
    SQLSMALLINT count = 0;
    check(SQLNumResultCols(m_stmt, &count), SQL_HANDLE_STMT, m_stmt, "SQLNumResultCols");
    std::vector<ColumnInfo> columns(size_t(count > 0 ? count : 0));
    QStringList names;
    for (SQLUSMALLINT i = 1; i <= SQLUSMALLINT(count); ++i) {
        SQLWCHAR name[512];
        SQLSMALLINT nameLength = 0;
        SQLSMALLINT type = 0;
        SQLULEN size = 0;
        SQLSMALLINT digits = 0;
        SQLSMALLINT nullable = 0;
        check(SQLDescribeColW(m_stmt, i, name, SQLSMALLINT(std::size(name)), &nameLength, &type, &size, &digits,
                              &nullable),
              SQL_HANDLE_STMT, m_stmt, "SQLDescribeCol");
        ColumnInfo &info = columns[i - 1];
        info.name = fromSqlWChar(name, qMin<qsizetype>(nameLength, qsizetype(std::size(name)) - 1));
        info.kind = fetchKind(type);
        info.scale = digits;
        names << info.name;
    }
    ResultSet result(names);
    for (;;) {
        const SQLRETURN rc = SQLFetch(m_stmt);
        if (rc == SQL_NO_DATA)
            break;
        check(rc, SQL_HANDLE_STMT, m_stmt, "SQLFetch");
        QVector<QVariant> row;
        row.reserve(qsizetype(columns.size()));
        for (SQLUSMALLINT i = 1; i <= SQLUSMALLINT(count); ++i)
            row.append(readValue(m_stmt, i, columns[i - 1]));
        result.appendRow(std::move(row));
    }
    return result;
}

bool Statement::nextResult()
{
    const SQLRETURN rc = SQLMoreResults(m_stmt);
    if (rc == SQL_NO_DATA)
        return false;
    check(rc, SQL_HANDLE_STMT, m_stmt, "SQLMoreResults");
    return true;
}

void Statement::drain()
{
    while (nextResult()) {
    }
}

}  // namespace dbsync::odbc
