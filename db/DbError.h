#pragma once
// The one error the data access layer raises. what() is the server's or driver's own
// message in UTF-8, without the driver's bracketed prefixes.

#include <QString>
#include <stdexcept>

namespace dbsync {

class DbError : public std::runtime_error {
public:
    explicit DbError(const QString &message, const QString &sqlState = {}, int nativeError = 0)
        : std::runtime_error(message.toStdString()), m_message(message), m_sqlState(sqlState),
          m_nativeError(nativeError) {}
    const QString &message() const { return m_message; }
    // The ODBC SQLSTATE of the record behind the message ("HYT00" for a time-out), or empty.
    const QString &sqlState() const { return m_sqlState; }
    // The server's error number (7403, 15247, ...), or 0 for the driver's own errors.
    int nativeError() const { return m_nativeError; }

private:
    QString m_message;
    QString m_sqlState;
    int m_nativeError;
};

}  // namespace dbsync
