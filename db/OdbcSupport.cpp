#include "db/OdbcSupport.h"

#include "db/ConnectionString.h"

#include <QRegularExpression>

namespace dbsync {

QString stripDriverPrefixes(const QString &message)
{
    static const QRegularExpression prefix(QStringLiteral("^\\[([^\\]]*)\\]"));
    QString rest = message;
    for (;;) {
        const auto match = prefix.match(rest);
        if (!match.hasMatch())
            break;
        const QString inner = match.captured(1);
        const bool isDriver = inner == QLatin1String("FreeTDS") || inner == QLatin1String("SQL Server")
            || inner == QLatin1String("unixODBC") || inner == QLatin1String("Driver Manager")
            || inner == QLatin1String("Microsoft") || inner.contains(QLatin1String("ODBC"))
            || inner.contains(QLatin1String("Driver"));
        if (!isDriver)
            break;
        rest = rest.mid(match.capturedLength());
    }
    return rest;
}

QList<OdbcDriverInfo> registeredOdbcDrivers()
{
    QList<OdbcDriverInfo> drivers;
    SQLCHAR name[512];
    SQLCHAR attributes[4096];
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT attributesLength = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (odbc::succeeded(SQLDrivers(odbc::environment(), direction, name, sizeof name, &nameLength,
                                      attributes, sizeof attributes, &attributesLength))) {
        direction = SQL_FETCH_NEXT;
        OdbcDriverInfo info;
        info.name = QString::fromUtf8(reinterpret_cast<const char *>(name));
        // Attributes come as "key=value\0key=value\0\0", possibly cut short.
        const qsizetype length = qBound(qsizetype(0), qsizetype(attributesLength), qsizetype(sizeof attributes) - 1);
        const QByteArray list(reinterpret_cast<const char *>(attributes), length);
        for (const QByteArray &item : list.split('\0')) {
            const QString attribute = QString::fromUtf8(item);
            if (attribute.startsWith(QLatin1String("Driver="), Qt::CaseInsensitive))
                info.libraryPath = attribute.mid(7);
        }
        drivers.append(info);
    }
    return drivers;
}

}  // namespace dbsync

namespace dbsync::odbc {

bool succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

SQLHENV environment()
{
    static const SQLHENV env = [] {
        SQLHENV handle = SQL_NULL_HENV;
        if (!succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &handle)))
            throw DbError(QStringLiteral("The ODBC driver manager could not be initialised."));
        check(SQLSetEnvAttr(handle, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
              SQL_HANDLE_ENV, handle, "SQLSetEnvAttr");
        return handle;
    }();
    return env;
}

std::vector<SQLWCHAR> toSqlWChar(const QString &text)
{
    static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "SQLWCHAR must be UTF-16");
    std::vector<SQLWCHAR> buffer(size_t(text.size()) + 1, 0);
    for (qsizetype i = 0; i < text.size(); ++i)
        buffer[size_t(i)] = text[i].unicode();
    return buffer;
}

QString fromSqlWChar(const SQLWCHAR *text, qsizetype length)
{
    // fromUtf16 reads a leading byte order mark (and drops it); any other text is copied as
    // is, which the plain constructor does without the decoder's overhead.
    if (length > 0 && (text[0] == 0xFEFF || text[0] == 0xFFFE))
        return QString::fromUtf16(reinterpret_cast<const char16_t *>(text), length);
    return QString(reinterpret_cast<const QChar *>(text), length);
}

std::vector<DiagRecord> diagnostics(SQLSMALLINT handleType, SQLHANDLE handle)
{
    std::vector<DiagRecord> records;
    for (SQLSMALLINT i = 1;; ++i) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLGetDiagRecW(handleType, handle, i, state, &native, nullptr, 0, &length);
        if (!succeeded(rc))
            break;
        std::vector<SQLWCHAR> text(size_t(length) + 1, 0);
        rc = SQLGetDiagRecW(handleType, handle, i, state, &native, text.data(),
                            SQLSMALLINT(text.size()), &length);
        if (!succeeded(rc))
            break;
        records.push_back({fromSqlWChar(state, 5), native,
                           fromSqlWChar(text.data(), qMin<qsizetype>(length, qsizetype(text.size()) - 1))});
    }
    return records;
}

DbError errorFrom(const std::vector<DiagRecord> &records, const QString &fallback)
{
    // FreeTDS ranks records by severity, so a failed login (18456, severity 14) comes before
    // the reason the server sent first, such as 4060 for a database that does not exist.
    constexpr SQLINTEGER kLoginFailed = 18456;
    for (const auto &record : records)
        if (record.nativeError != 0 && record.nativeError != kLoginFailed
            && !record.sqlState.startsWith(QLatin1String("01")))
            for (const auto &earlier : records)
                if (&earlier != &record && earlier.nativeError == kLoginFailed)
                    return DbError(stripDriverPrefixes(record.message), record.sqlState, record.nativeError);
    for (const auto &record : records)
        if (!record.sqlState.startsWith(QLatin1String("01")))
            return DbError(stripDriverPrefixes(record.message), record.sqlState, record.nativeError);
    if (!records.empty())
        return DbError(stripDriverPrefixes(records.front().message), records.front().sqlState,
                       records.front().nativeError);
    return DbError(fallback);
}

void check(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, const char *call)
{
    if (succeeded(rc))
        return;
    if (rc == SQL_INVALID_HANDLE)
        throw DbError(QStringLiteral("%1: invalid handle").arg(QLatin1String(call)));
    throw errorFrom(diagnostics(handleType, handle), QStringLiteral("%1 failed").arg(QLatin1String(call)));
}

}  // namespace dbsync::odbc
