#include "db/CrossServer.h"

#include "db/AdoCommand.h"
#include "db/ConnectionString.h"
#include "db/ServerAccess.h"
#include "db/SqlQuote.h"

namespace dbsync {

QStringList enablingStatements()
{
    return {QStringLiteral("exec sp_configure'show advanced options',1"), QStringLiteral("reconfigure"),
            QStringLiteral("exec sp_configure'Ad Hoc Distributed Queries',1"), QStringLiteral("reconfigure")};
}

void runEnablingStep(AdoCommand &command)
{
    for (const QString &statement : enablingStatements()) {
        command.setCommandText(statement);
        command.execute();
    }
}

QString remoteDatabasePrefix(const QString &address, const QString &login, const QString &password,
                             const QString &database)
{
    const auto inLiteral = [](const QString &value) { return quoteStringLiteralContent(oleDbValue(value)); };
    return QStringLiteral("OPENDATASOURCE('SQLOLEDB','Data Source=") + inLiteral(address)
        + QStringLiteral(";User ID=") + inLiteral(login) + QStringLiteral(";Password=") + inLiteral(password)
        + QStringLiteral("'") + QStringLiteral(").") + quoteIdentifier(database);
}

QString remoteDatabasePrefix(const ServerFields &f)
{
    return remoteDatabasePrefix(f.EIP, f.EUser, f.EPassword, f.ComboBox1);
}

QString remoteSchemaPrefix(const QString &address, const QString &login, const QString &password,
                           const QString &database)
{
    return remoteDatabasePrefix(address, login, password, database) + QStringLiteral(".dbo.");
}

QString remoteSchemaPrefix(const ServerFields &f)
{
    return remoteSchemaPrefix(f.EIP, f.EUser, f.EPassword, f.ComboBox1);
}

}  // namespace dbsync
