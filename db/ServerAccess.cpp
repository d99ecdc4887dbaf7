#include "db/ServerAccess.h"

#include "db/AdoConnection.h"
#include "db/AdoQuery.h"
#include "db/ConnectionString.h"

namespace dbsync {

std::optional<InputCheckFailure> checkServerFields(const ServerFields &f)
{
    using F = ParameterField;
    if (f.EIP.isEmpty())
        return InputCheckFailure{QStringLiteral("上级IP地址！"), F::EIP};
    if (f.EUser.isEmpty())
        return InputCheckFailure{QStringLiteral("请添写用户名！"), F::EUser};
    if (f.EPassword.isEmpty())
        return InputCheckFailure{QStringLiteral("请添写密码！"), std::nullopt};
    if (f.Edit2.isEmpty())
        return InputCheckFailure{QStringLiteral("请添写本地IP地址！"), F::Edit2};
    if (f.Edit3.isEmpty())
        return InputCheckFailure{QStringLiteral("请添写用户名！"), F::Edit3};
    if (f.ComboBox2.isEmpty())
        return InputCheckFailure{QStringLiteral("请添写帐套名称！"), F::ComboBox2};
    return std::nullopt;
}

ConnectionParameters sampleServerParameters(const ServerFields &f)
{
    return {trimBlanksAndControls(f.EPassword), trimBlanksAndControls(f.EUser), std::nullopt,
            trimBlanksAndControls(f.EIP)};
}

ConnectionParameters targetServerParameters(const ServerFields &f)
{
    return {trimBlanksAndControls(f.MaskEdit1), trimBlanksAndControls(f.Edit3), std::nullopt,
            trimBlanksAndControls(f.Edit2)};
}

ConnectionParameters targetDatabaseParameters(const ServerFields &f)
{
    return {trimBlanksAndControls(f.MaskEdit1), trimBlanksAndControls(f.Edit3), f.ComboBox2,
            trimBlanksAndControls(f.Edit2)};
}

QString sampleServerConnectionString(const ServerFields &f) { return buildConnectionString(sampleServerParameters(f)); }
QString targetServerConnectionString(const ServerFields &f) { return buildConnectionString(targetServerParameters(f)); }
QString targetDatabaseConnectionString(const ServerFields &f)
{
    return buildConnectionString(targetDatabaseParameters(f));
}

QString databaseListQuery() { return QStringLiteral("select name from master..sysdatabases "); }

void reopenConnection(AdoConnection &connection, const QString &connectionString)
{
    if (connection.isOpen())
        connection.close();
    connection.setConnectionString(connectionString);
    connection.open();
}

void reopenConnection(AdoConnection &connection, const ConnectionParameters &parameters)
{
    if (connection.isOpen())
        connection.close();
    connection.setConnectionParameters(parameters);
    connection.open();
}

void connectServers(const ServerFields &fields, AdoConnection &sampleServer, AdoConnection &targetServer,
                    AdoConnection &targetDatabase)
{
    reopenConnection(sampleServer, sampleServerParameters(fields));
    reopenConnection(targetServer, targetServerParameters(fields));
    reopenConnection(targetDatabase, targetDatabaseParameters(fields));
}

QStringList readDatabaseList(AdoQuery &query)
{
    query.close();
    query.clearSql();
    query.addSql(databaseListQuery());
    query.open();
    QStringList names;
    for (; !query.eof(); query.next())
        names << query.fieldText(QStringLiteral("name"));
    return names;
}

void listDatabases(const ServerFields &fields, AdoConnection &sampleServer, AdoConnection &targetServer,
                   AdoQuery &sampleList, AdoQuery &targetList, DatabaseLists &lists)
{
    reopenConnection(sampleServer, sampleServerParameters(fields));
    reopenConnection(targetServer, targetServerParameters(fields));
    const QStringList sampleNames = readDatabaseList(sampleList);
    lists.clearSample();
    lists.clearTarget();
    for (const QString &name : sampleNames) {
        lists.appendSample(name);
        lists.appendTarget(name);
    }
    const QStringList targetNames = readDatabaseList(targetList);
    lists.clearTarget();
    for (const QString &name : targetNames)
        lists.appendTarget(name);
}

}  // namespace dbsync
