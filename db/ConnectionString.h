#pragma once
// Connection strings: the OLE DB text the window builds for each connection, and its
// translation into the ODBC connection string that opens the same server here.

#include <QList>
#include <QString>
#include <functional>
#include <optional>
#include <utility>

namespace dbsync {

// Removes leading and trailing blanks and control characters (codes up to 32), as the
// connection strings and the backup name want their fields.
QString trimBlanksAndControls(const QString &text);

// The values a connection string carries.
struct ConnectionParameters {
    QString password;
    QString login;
    std::optional<QString> initialCatalog;
    QString address;  // "host", "host,port" or "host\\instance", maybe after "tcp:"
};

// SQL Server's port for the default instance, which a bare host means.
inline constexpr int kDefaultSqlServerPort = 1433;

// A server address split as SQL Server's clients read it: "tcp:" dropped, a port after the last
// ",", an instance after the "\\" of the host; "." and "(local)" are the loopback address.
struct ServerAddress {
    QString host;
    QString port;      // empty when none is given
    QString instance;  // empty for the default instance
};
ServerAddress parseServerAddress(const QString &address);

// "Provider=SQLOLEDB.1;Persist Security Info=True;;Password=" + password + ";User ID=" + login
// [+ ";Initial Catalog=" + catalog] + ";Data Source=" + address. Values go in as given.
QString buildConnectionString(const QString &password, const QString &login,
                              const std::optional<QString> &initialCatalog, const QString &address);
QString buildConnectionString(const ConnectionParameters &parameters);

// Splits an OLE DB connection string into keyword/value pairs by the OLE DB rules: pairs
// separated by ";", empty elements allowed, keywords without regard to case, values unquoted
// and trimmed, or quoted with ' or " (the quote doubled inside). Throws DbError on a malformed
// string, with the provider's text.
QList<std::pair<QString, QString>> parseOleDbConnectionString(const QString &connectionString);

struct OdbcDriverInfo {
    QString name;        // the registered name, as odbcinst lists it
    QString libraryPath; // its Driver= attribute; may be empty
};

// How the chosen driver is named in an ODBC connection string, and which dialect it speaks.
struct OdbcDriverChoice {
    enum class Kind { Microsoft, FreeTds };
    Kind kind = Kind::FreeTds;
    QString driver;  // registered name, or a library path when FreeTDS is not registered
};

// Microsoft's "ODBC Driver 18 for SQL Server", then 17, then FreeTDS by its registered name
// ("FreeTDS" or any registration whose library is libtdsodbc), then the tdsodbc library found
// by fileExists among the usual paths. Empty when there is none.
std::optional<OdbcDriverChoice> chooseOdbcDriver(const QList<OdbcDriverInfo> &registered,
                                                 const std::function<bool(const QString &)> &fileExists);

// The drivers unixODBC has registered (SQLDrivers).
QList<OdbcDriverInfo> registeredOdbcDrivers();

// The values of an OLE DB string the provider accepts (Provider, Persist Security Info,
// Password, User ID, Initial Catalog, Data Source). Throws DbError for any other.
ConnectionParameters parametersFromConnectionString(const QString &oleDbConnectionString);

// The ODBC connection string for the given driver: the address becomes the server and port (1433
// for a bare host, the instance's own through the SQL Server Browser for "host\\instance"), login,
// password and initial catalog their ODBC keywords; values are braced where ODBC needs it, so
// every value reaches the driver whole.
QString toOdbcConnectionString(const ConnectionParameters &parameters, const OdbcDriverChoice &driver);
QString toOdbcConnectionString(const QString &oleDbConnectionString, const OdbcDriverChoice &driver);

// A value as an OLE DB connection string takes it: as it is, or in double quotes (doubled
// inside) when it holds ";" or starts with a quote, which would otherwise end or open it.
QString oleDbValue(const QString &value);

// A value as the ODBC driver wants it: as it is, or braced when it holds ";", starts with "{"
// or has leading or trailing blanks. Microsoft's drivers take "}}" for a "}" inside braces;
// FreeTDS takes the braced text as it is up to the first "};", so a value holding "};"
// throws DbError for it.
QString odbcValue(const QString &value, OdbcDriverChoice::Kind kind);

}  // namespace dbsync
