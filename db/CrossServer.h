#pragma once
// What lets the target server read the sample database: the enabling statements for ad hoc
// distributed queries, and the OPENDATASOURCE prefixes built from the sample-side fields.

#include <QString>
#include <QStringList>

namespace dbsync {

class AdoCommand;
struct ServerFields;

// "exec sp_configure'show advanced options',1", "reconfigure",
// "exec sp_configure'Ad Hoc Distributed Queries',1", "reconfigure".
QStringList enablingStatements();

// Runs the four statements one after another on the command (the target database
// connection's), each as its own command text; the first error ends the step.
void runEnablingStep(AdoCommand &command);

// OPENDATASOURCE('SQLOLEDB','Data Source=S;User ID=L;Password=W').D, the values as typed.
// Inside the literal a value's single quotes are doubled (and a value that would break the
// provider string is put in its double quotes); D is written as an identifier.
QString remoteDatabasePrefix(const QString &address, const QString &login, const QString &password,
                             const QString &database);
QString remoteDatabasePrefix(const ServerFields &fields);
// The database prefix followed by ".dbo.".
QString remoteSchemaPrefix(const QString &address, const QString &login, const QString &password,
                           const QString &database);
QString remoteSchemaPrefix(const ServerFields &fields);

}  // namespace dbsync
