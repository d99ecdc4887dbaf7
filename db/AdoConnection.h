#pragma once
// A connection to one server, set up from the OLE DB connection string the window builds.
// Opening never prompts; the login waits at most loginTimeout() seconds.

#include "db/ConnectionString.h"

#include <QString>
#include <optional>
#include <sql.h>

namespace dbsync {

class AdoConnection {
public:
    explicit AdoConnection(int commandTimeout = 30) : m_commandTimeout(commandTimeout) {}
    ~AdoConnection();
    AdoConnection(const AdoConnection &) = delete;
    AdoConnection &operator=(const AdoConnection &) = delete;

    const QString &connectionString() const { return m_connectionString; }
    // A string is read by the OLE DB rules when the connection opens.
    void setConnectionString(const QString &oleDbConnectionString)
    {
        m_connectionString = oleDbConnectionString;
        m_parameters.reset();
    }
    // The string built from the values; the values themselves go to the driver, so one that
    // holds a ";" or a quote arrives whole instead of breaking the string.
    void setConnectionParameters(const ConnectionParameters &parameters)
    {
        m_connectionString = buildConnectionString(parameters);
        m_parameters = parameters;
    }

    int loginTimeout() const { return m_loginTimeout; }
    void setLoginTimeout(int seconds) { m_loginTimeout = seconds; }
    // Kept for the role's settings; queries and commands use their own time-outs.
    int commandTimeout() const { return m_commandTimeout; }
    void setCommandTimeout(int seconds) { m_commandTimeout = seconds; }

    // Translates the string for the installed ODBC driver and connects. Throws DbError with the
    // server's or driver's text; the connection then stays closed. A cancelled login is left to
    // end alone and its connection is discarded.
    void open();
    // Disconnects. A link the server already dropped counts as closed too, so that reopening
    // after a lost connection always works.
    void close();
    bool isOpen() const { return m_dbc != SQL_NULL_HDBC; }

    // The live handle, for the statements of queries and commands. Throws DbError when closed.
    SQLHDBC handle() const;
    // Gives the live handle up without disconnecting; the connection is closed from then on and
    // the caller disconnects and frees the handle (null when closed).
    SQLHDBC release();

private:
    QString m_connectionString;
    std::optional<ConnectionParameters> m_parameters;
    int m_loginTimeout = 15;
    int m_commandTimeout;
    SQLHDBC m_dbc = SQL_NULL_HDBC;
};

}  // namespace dbsync
