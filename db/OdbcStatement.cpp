#include "db/OdbcStatement.h"

#include "db/OdbcSupport.h"

#include <sqlext.h>

#include <algorithm>
#include <cstring>
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
    SQLSMALLINT type = 0;
    SQLULEN size = 0;
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

QVariant decimalValue(const QString &text, SQLSMALLINT scale)
{
    if (scale == 0) {
        bool ok = false;
        const qlonglong whole = text.toLongLong(&ok);
        if (ok)
            return whole;
    }
    return text.toDouble();
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
        return isNull ? QVariant() : decimalValue(text, info.scale);
    }
    case Fetch::Text: {
        bool isNull = false;
        return readText(stmt, column, isNull);
    }
    }
    return {};
}

// Characters a value of the column takes as text at most, or 0 when that is unknown or large
// (long and MAX types, sql_variant, xml): such a column is read in pieces instead of bound.
SQLULEN boundChars(const ColumnInfo &c)
{
    constexpr SQLULEN kMaxBound = 4000;
    switch (c.type) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
        return c.size <= kMaxBound ? c.size : 0;  // a byte or a UTF-16 unit gives at most one unit
    case SQL_BINARY:
    case SQL_VARBINARY:
        return c.size <= kMaxBound / 2 ? 2 * c.size : 0;  // as hex
    case SQL_DECIMAL:
    case SQL_NUMERIC:
        return c.size + 3;  // sign, point and a leading zero
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP:
    case SQL_DATE:
    case SQL_TIME:
    case SQL_TIMESTAMP:
    case SQL_GUID:
    case -154:  // SQL_SS_TIME2
    case -155:  // SQL_SS_TIMESTAMPOFFSET
        return c.size <= 64 ? c.size + 8 : 0;
    default:
        return 0;
    }
}

// One column's share of a block of rows bound for SQLFetch.
struct BoundColumn {
    SQLUSMALLINT number = 0;
    SQLSMALLINT cType = SQL_C_WCHAR;
    SQLLEN width = 0;  // bytes a row
    std::vector<SQLBIGINT> buffer;  // 8-byte aligned, for numbers and text alike
    std::vector<SQLLEN> indicators;
};

// Column-wise binding of the current result for fetching rows in blocks; unbinds and sets the
// block size back to one row when done, as the statement's later results expect.
class BlockFetch {
public:
    BlockFetch(SQLHDBC connection, SQLHSTMT stmt, const std::vector<ColumnInfo> &columns)
        : m_stmt(stmt), m_columns(columns)
    {
        SQLUINTEGER extensions = 0;
        if (!succeeded(SQLGetInfo(connection, SQL_GETDATA_EXTENSIONS, &extensions, sizeof extensions, nullptr)))
            extensions = 0;
        // SQLGetData may read only columns after the bound ones unless the driver allows any.
        const bool anyColumn = (extensions & SQL_GD_ANY_COLUMN) != 0;
        bool unboundSeen = false;
        SQLLEN rowBytes = 0;
        m_bound.assign(columns.size(), -1);
        m_pieces.resize(columns.size());
        for (std::size_t i = 0; i < columns.size(); ++i) {
            const ColumnInfo &c = columns[i];
            BoundColumn b;
            b.number = SQLUSMALLINT(i + 1);
            if (c.kind == Fetch::Integer) {
                b.cType = SQL_C_SBIGINT;
                b.width = sizeof(SQLBIGINT);
            } else if (c.kind == Fetch::Real) {
                b.cType = SQL_C_DOUBLE;
                b.width = sizeof(SQLDOUBLE);
            } else if (const SQLULEN chars = boundChars(c); chars > 0 && (anyColumn || !unboundSeen)) {
                b.width = SQLLEN((chars + 1) * sizeof(SQLWCHAR) + 7) / 8 * 8;
            } else {
                unboundSeen = true;
                m_unbound.push_back(i);
                continue;
            }
            rowBytes += b.width;
            m_bound[i] = int(m_boundColumns.size());
            m_boundColumns.push_back(std::move(b));
        }
        // Blocks of about 256 KB; one row at a time when some columns are read in pieces, since
        // reading those out of a block needs SQLSetPos, which forward-only cursors may lack.
        m_rows = m_unbound.empty() ? SQLULEN(std::clamp<SQLLEN>(SQLLEN(262144) / std::max<SQLLEN>(rowBytes, 1), 1, 512)) : 1;
        for (BoundColumn &b : m_boundColumns) {
            b.buffer.resize(std::size_t(b.width / 8) * m_rows);
            b.indicators.resize(m_rows);
            check(SQLBindCol(stmt, b.number, b.cType, b.buffer.data(), b.width, b.indicators.data()),
                  SQL_HANDLE_STMT, stmt, "SQLBindCol");
        }
        setAttr(SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(m_rows));
        setAttr(SQL_ATTR_ROWS_FETCHED_PTR, &m_fetched);
    }

    ~BlockFetch()
    {
        SQLFreeStmt(m_stmt, SQL_UNBIND);
        SQLSetStmtAttr(m_stmt, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
        SQLSetStmtAttr(m_stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(SQLULEN(1)), 0);
    }
    BlockFetch(const BlockFetch &) = delete;
    BlockFetch &operator=(const BlockFetch &) = delete;

    // Fetches the next block and hands its rows to visitor; false at the end of the rows.
    bool next(RowVisitor &visitor)
    {
        m_fetched = 0;
        const SQLRETURN rc = SQLFetch(m_stmt);
        if (rc == SQL_NO_DATA)
            return false;
        check(rc, SQL_HANDLE_STMT, m_stmt, "SQLFetch");
        for (SQLULEN r = 0; r < m_fetched; ++r) {
            m_row = r;
            // Read in pieces after the bound values, in column order.
            for (std::size_t i : m_unbound)
                m_pieces[i] = readValue(m_stmt, SQLUSMALLINT(i + 1), m_columns[i]);
            visitor.row(m_rowView);
        }
        return true;
    }

private:
    void setAttr(SQLINTEGER attribute, SQLPOINTER value)
    {
        check(SQLSetStmtAttr(m_stmt, attribute, value, 0), SQL_HANDLE_STMT, m_stmt, "SQLSetStmtAttr");
    }

    // The current row as the visitor sees it.
    class Row : public FetchedRow {
    public:
        explicit Row(const BlockFetch &fetch) : f(fetch) {}
        QVariant value(int column) const override
        {
            const int b = f.m_bound[std::size_t(column)];
            return b < 0 ? f.m_pieces[std::size_t(column)] : f.boundValue(std::size_t(b), std::size_t(column));
        }
        bool isNull(int column) const override
        {
            const int b = f.m_bound[std::size_t(column)];
            return b < 0 ? f.m_pieces[std::size_t(column)].isNull()
                         : f.m_boundColumns[std::size_t(b)].indicators[f.m_row] == SQL_NULL_DATA;
        }
        qint64 number(int column) const override
        {
            const int b = f.m_bound[std::size_t(column)];
            if (b >= 0 && f.m_boundColumns[std::size_t(b)].cType == SQL_C_SBIGINT) {
                const BoundColumn &c = f.m_boundColumns[std::size_t(b)];
                SQLBIGINT value = 0;
                if (c.indicators[f.m_row] != SQL_NULL_DATA)
                    std::memcpy(&value, f.cell(c), sizeof value);
                return value;
            }
            return value(column).toLongLong();
        }
        QString text(int column) const override
        {
            const int b = f.m_bound[std::size_t(column)];
            if (b >= 0 && f.m_boundColumns[std::size_t(b)].cType == SQL_C_WCHAR
                && f.m_columns[std::size_t(column)].kind == Fetch::Text) {
                const BoundColumn &c = f.m_boundColumns[std::size_t(b)];
                return c.indicators[f.m_row] == SQL_NULL_DATA ? QString() : f.boundText(c, f.m_columns[std::size_t(column)]);
            }
            return value(column).toString();
        }
        bool textView(int column, QStringView &view) const override
        {
            const int b = f.m_bound[std::size_t(column)];
            if (b < 0 || f.m_boundColumns[std::size_t(b)].cType != SQL_C_WCHAR
                || f.m_columns[std::size_t(column)].kind != Fetch::Text)
                return false;
            const BoundColumn &c = f.m_boundColumns[std::size_t(b)];
            const SQLLEN indicator = c.indicators[f.m_row];
            if (indicator == SQL_NULL_DATA || indicator == SQL_NO_TOTAL || indicator > c.width - SQLLEN(sizeof(SQLWCHAR)))
                return false;  // null, or text() reports the fault
            const auto *chars = reinterpret_cast<const char16_t *>(f.cell(c));
            if (indicator > 0 && (chars[0] == 0xFEFF || chars[0] == 0xFFFE))
                return false;  // as text() reads it
            view = QStringView(chars, qsizetype(indicator / SQLLEN(sizeof(SQLWCHAR))));
            return true;
        }

    private:
        const BlockFetch &f;
    };

    const char *cell(const BoundColumn &b) const
    {
        return reinterpret_cast<const char *>(b.buffer.data()) + SQLLEN(m_row) * b.width;
    }

    QString boundText(const BoundColumn &b, const ColumnInfo &info) const
    {
        // Sized from the column's description, so a longer value is the driver's fault; it is
        // reported rather than shown cut short.
        const SQLLEN indicator = b.indicators[m_row];
        if (indicator == SQL_NO_TOTAL || indicator > b.width - SQLLEN(sizeof(SQLWCHAR)))
            throw DbError(QStringLiteral("The value of column %1 is longer than its type allows.").arg(info.name));
        return fromSqlWChar(reinterpret_cast<const SQLWCHAR *>(cell(b)), qsizetype(indicator / SQLLEN(sizeof(SQLWCHAR))));
    }

    QVariant boundValue(std::size_t bound, std::size_t column) const
    {
        const BoundColumn &b = m_boundColumns[bound];
        if (b.indicators[m_row] == SQL_NULL_DATA)
            return {};
        if (b.cType == SQL_C_SBIGINT) {
            SQLBIGINT value = 0;
            std::memcpy(&value, cell(b), sizeof value);
            return qlonglong(value);
        }
        if (b.cType == SQL_C_DOUBLE) {
            SQLDOUBLE value = 0;
            std::memcpy(&value, cell(b), sizeof value);
            return double(value);
        }
        const ColumnInfo &info = m_columns[column];
        const QString text = boundText(b, info);
        return info.kind == Fetch::Decimal ? decimalValue(text, info.scale) : QVariant(text);
    }

    SQLHSTMT m_stmt;
    const std::vector<ColumnInfo> &m_columns;
    std::vector<BoundColumn> m_boundColumns;
    std::vector<int> m_bound;  // per column: its BoundColumn, or -1 when read in pieces
    std::vector<std::size_t> m_unbound;
    std::vector<QVariant> m_pieces;  // per column: the value read in pieces, for the current row
    SQLULEN m_rows = 1;
    SQLULEN m_fetched = 0;
    SQLULEN m_row = 0;
    Row m_rowView{*this};
};

}  // namespace

Statement::Statement(SQLHDBC connection, int timeoutSeconds) : m_connection(connection)
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

void Statement::visitCurrent(RowVisitor &visitor)
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
        info.type = type;
        info.size = size;
        info.scale = digits;
        names << info.name;
    }
    visitor.begin(ResultSet(names).fieldNames());
    BlockFetch fetch(m_connection, m_stmt, columns);
    while (fetch.next(visitor)) {
    }
    visitor.end();
}

ResultSet Statement::fetchCurrent()
{
    struct Store : RowVisitor {
        ResultSet result;
        void begin(const QStringList &fieldNames) override { result = ResultSet(fieldNames); }
        void row(const FetchedRow &row) override
        {
            QVariant *cells = result.appendNullRow();
            for (int i = 0; i < result.fieldCount(); ++i)
                cells[i] = row.value(i);
        }
    } store;
    visitCurrent(store);
    return std::move(store.result);
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
