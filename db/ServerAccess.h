#pragma once
// The connect and list commands without their window: the parameter fields as texts in,
// the six input checks, reopening the connections and filling the two database lists.

#include "db/ConnectionString.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace dbsync {

class AdoConnection;
class AdoQuery;

// The texts of the eight parameter fields, exactly as typed.
struct ServerFields {
    QString EIP, EUser, EPassword, ComboBox1;   // sample server
    QString Edit2, Edit3, MaskEdit1, ComboBox2; // target server
};

enum class ParameterField { EIP, EUser, EPassword, ComboBox1, Edit2, Edit3, MaskEdit1, ComboBox2 };

struct InputCheckFailure {
    QString message;
    std::optional<ParameterField> focus;  // none: the focus stays where it is
};

// The first of the six checks both commands start with that fails, if any.
std::optional<InputCheckFailure> checkServerFields(const ServerFields &fields);

// The values of the three connections, from the trimmed server, login and password fields;
// the target database name goes in as typed.
ConnectionParameters sampleServerParameters(const ServerFields &fields);
ConnectionParameters targetServerParameters(const ServerFields &fields);
ConnectionParameters targetDatabaseParameters(const ServerFields &fields);

// Their connection strings.
QString sampleServerConnectionString(const ServerFields &fields);
QString targetServerConnectionString(const ServerFields &fields);
QString targetDatabaseConnectionString(const ServerFields &fields);

// "select name from master..sysdatabases " (one trailing blank).
QString databaseListQuery();

// Closes the connection if it is open, sets the string (or the values), opens it.
void reopenConnection(AdoConnection &connection, const QString &connectionString);
void reopenConnection(AdoConnection &connection, const ConnectionParameters &parameters);

// After the checks: reopens the sample server, target server and target database connections
// in that order. An error ends it where it happens; what was done stays done.
void connectServers(const ServerFields &fields, AdoConnection &sampleServer, AdoConnection &targetServer,
                    AdoConnection &targetDatabase);

// The two database lists of the window, which the list command fills. Clearing keeps the text
// the box shows.
class DatabaseLists {
public:
    virtual ~DatabaseLists() = default;
    virtual void clearSample() = 0;
    virtual void clearTarget() = 0;
    virtual void appendSample(const QString &name) = 0;
    virtual void appendTarget(const QString &name) = 0;
};

// Closes the query, sets the list query as its only line and opens it; gives the "name"
// values in server order.
QStringList readDatabaseList(AdoQuery &query);

// After the checks: reopens the two server connections, lists the sample server's databases
// into both lists, then the target server's into the target list.
void listDatabases(const ServerFields &fields, AdoConnection &sampleServer, AdoConnection &targetServer,
                   AdoQuery &sampleList, AdoQuery &targetList, DatabaseLists &lists);

}  // namespace dbsync
