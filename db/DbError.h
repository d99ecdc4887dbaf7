#pragma once
// The one error the data access layer raises. what() is the server's or driver's own
// message in UTF-8, without the driver's bracketed prefixes.

#include <QString>
#include <stdexcept>

namespace dbsync {

class DbError : public std::runtime_error {
public:
    explicit DbError(const QString &message, const QString &sqlState = {})
        : std::runtime_error(message.toStdString()), m_message(message), m_sqlState(sqlState) {}
    const QString &message() const { return m_message; }
    // The ODBC SQLSTATE of the record behind the message ("HYT00" for a time-out), or empty.
    const QString &sqlState() const { return m_sqlState; }

private:
    QString m_message;
    QString m_sqlState;
};

}  // namespace dbsync
