#pragma once
// A command object: one command text run on its connection with its own time-out; whatever
// comes back (rows, counts, informational messages) is discarded.

#include <QString>

namespace dbsync {

class AdoConnection;

class AdoCommand {
public:
    explicit AdoCommand(AdoConnection *connection = nullptr, int commandTimeout = 30)
        : m_connection(connection), m_commandTimeout(commandTimeout) {}

    AdoConnection *connection() const { return m_connection; }
    void setConnection(AdoConnection *connection) { m_connection = connection; }
    int commandTimeout() const { return m_commandTimeout; }
    void setCommandTimeout(int seconds) { m_commandTimeout = seconds; }
    const QString &commandText() const { return m_commandText; }
    void setCommandText(const QString &text) { m_commandText = text; }

    // Throws DbError with the server's text when any part of the batch fails.
    void execute();

private:
    AdoConnection *m_connection;
    int m_commandTimeout;
    QString m_commandText;
};

}  // namespace dbsync
