#include "db/AdoCommand.h"

#include "db/AdoConnection.h"
#include "db/DbError.h"
#include "db/OdbcStatement.h"
#include "db/StatementOperation.h"

namespace dbsync {

void AdoCommand::execute()
{
    if (!m_connection)
        throw DbError(QStringLiteral("Missing Connection or ConnectionString"));
    runStatement(*m_connection, m_commandTimeout, OperationKind::Execute,
                 [text = m_commandText](odbc::Statement &statement) {
                     statement.execute(text);
                     statement.drain();
                 });
}

}  // namespace dbsync
