#include "db/AdoCommand.h"

#include "db/AdoConnection.h"
#include "db/DbError.h"
#include "db/OdbcStatement.h"

namespace dbsync {

void AdoCommand::execute()
{
    if (!m_connection)
        throw DbError(QStringLiteral("Missing Connection or ConnectionString"));
    odbc::Statement statement(m_connection->handle(), m_commandTimeout);
    statement.execute(m_commandText);
    statement.drain();
}

}  // namespace dbsync
