#include "db/AdoConnection.h"

#include "db/ConnectionString.h"
#include "db/OdbcSupport.h"
#include "db/Operation.h"

#include <QFileInfo>
#include <memory>
#include <mutex>
#include <sqlext.h>
#include <utility>

namespace dbsync {

namespace {

OdbcDriverChoice installedDriver()
{
    static const std::optional<OdbcDriverChoice> choice =
        chooseOdbcDriver(registeredOdbcDrivers(), [](const QString &path) { return QFileInfo::exists(path); });
    if (!choice)
        throw DbError(QStringLiteral("No ODBC driver for SQL Server is installed "
                                     "(ODBC Driver 18 or 17 for SQL Server, or FreeTDS)."));
    return *choice;
}

}  // namespace

AdoConnection::~AdoConnection() { close(); }

namespace {

// A login and what it gives; the last one holding it releases a connection nobody took.
struct LoginJob {
    std::mutex mutex;
    SQLHDBC dbc = SQL_NULL_HDBC;

    ~LoginJob()
    {
        if (dbc != SQL_NULL_HDBC) {
            SQLDisconnect(dbc);
            SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        }
    }
};

void login(LoginJob &job, const QString &odbcString, int loginTimeout)
{
    SQLHDBC dbc = SQL_NULL_HDBC;
    odbc::check(SQLAllocHandle(SQL_HANDLE_DBC, odbc::environment(), &dbc), SQL_HANDLE_ENV,
                odbc::environment(), "SQLAllocHandle");
    try {
        odbc::check(SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT,
                                      reinterpret_cast<SQLPOINTER>(SQLULEN(loginTimeout)), 0),
                    SQL_HANDLE_DBC, dbc, "SQLSetConnectAttr");
        std::vector<SQLWCHAR> text = odbc::toSqlWChar(odbcString);
        SQLSMALLINT outLength = 0;
        odbc::check(SQLDriverConnectW(dbc, nullptr, text.data(), SQL_NTS, nullptr, 0, &outLength,
                                      SQL_DRIVER_NOPROMPT),
                    SQL_HANDLE_DBC, dbc, "SQLDriverConnect");
    } catch (...) {
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        throw;
    }
    const std::lock_guard lock(job.mutex);
    job.dbc = dbc;
}

}  // namespace

void AdoConnection::open()
{
    if (isOpen())
        return;
    const QString odbcString = m_parameters ? toOdbcConnectionString(*m_parameters, installedDriver())
                                            : toOdbcConnectionString(m_connectionString, installedDriver());
    auto job = std::make_shared<LoginJob>();
    Operation operation;
    operation.kind = OperationKind::Connect;
    operation.work = [job, odbcString, timeout = m_loginTimeout] { login(*job, odbcString, timeout); };
    runOperation(operation);
    const std::lock_guard lock(job->mutex);
    m_dbc = std::exchange(job->dbc, SQLHDBC(SQL_NULL_HDBC));
}

void AdoConnection::close()
{
    if (!isOpen())
        return;
    // A failed disconnect means the link is gone already; the handle is freed either way.
    SQLDisconnect(m_dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, m_dbc);
    m_dbc = SQL_NULL_HDBC;
}

SQLHDBC AdoConnection::release() { return std::exchange(m_dbc, SQLHDBC(SQL_NULL_HDBC)); }

SQLHDBC AdoConnection::handle() const
{
    if (!isOpen())
        throw DbError(QStringLiteral("Operation is not allowed when the object is closed."));
    return m_dbc;
}

}  // namespace dbsync
