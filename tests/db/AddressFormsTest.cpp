// The address forms through the driver to sqlsim: a bare host reaches port 1433, host\INSTANCE
// the instance's port through the SQL Server Browser on UDP 1434. Both ports are fixed, so each
// case skips when the port is taken (another SQL Server, or the same test running elsewhere).

#include "db/AdoConnection.h"
#include "db/AdoQuery.h"
#include "db/ConnectionString.h"
#include "tests/db/QtPrinters.h"
#include "tests/db/SqlsimProcess.h"

#include <QJsonObject>
#include <gtest/gtest.h>
#include <memory>

using namespace dbsync;
using dbsync::test::SqlsimProcess;

namespace {

std::unique_ptr<SqlsimProcess> startOrSkipReason(const QList<SqlsimProcess::Server> &servers,
                                                 const QStringList &more, std::string &skip)
{
    if (test::sqlsimBinary().isEmpty()) {
        skip = "sqlsim is not built";
        return nullptr;
    }
    try {
        return std::make_unique<SqlsimProcess>(servers, more);
    } catch (const std::exception &e) {
        skip = std::string("sqlsim could not take its fixed port: ") + e.what();
        return nullptr;
    }
}

// The server name the address reaches.
QString serverAt(const QString &address)
{
    AdoConnection connection;
    connection.setConnectionString(buildConnectionString("sqlsim", "sa", std::nullopt, address));
    connection.open();
    AdoQuery query(&connection);
    query.addSql("select @@servername as name");
    query.open();
    return query.fieldText("name");
}

}  // namespace

TEST(AddressForms, BareHostConnectsToPort1433)
{
    std::string skip;
    SqlsimProcess::Server plain{"plain", "sa", "sqlsim", {}};
    plain.port = kDefaultSqlServerPort;
    const auto sim = startOrSkipReason({plain}, {}, skip);
    if (!sim)
        GTEST_SKIP() << "TCP 127.0.0.1:1433 is not free: " << skip;
    for (const char *address : {"127.0.0.1", " (local) ", "tcp:.", "127.0.0.1,1433"})
        EXPECT_EQ(serverAt(address), "plain") << address;
}

TEST(AddressForms, NamedInstanceIsFoundThroughTheBrowser)
{
    std::string skip;
    const auto sim = startOrSkipReason({{"named", "sa", "sqlsim", {}}, {"other", "sa", "sqlsim", {}}}, {"--browser", "127.0.0.1:1434"}, skip);
    if (!sim)
        GTEST_SKIP() << "UDP 127.0.0.1:1434, where the driver asks for instances, is not free: " << skip;
    EXPECT_EQ(serverAt("127.0.0.1\\NAMED"), "named");
    EXPECT_EQ(serverAt("tcp:127.0.0.1\\other"), "other");
    // The driver asked the Browser by name and took the port it was told.
    const auto asked = [&sim] {
        QStringList names;
        for (const QJsonObject &event : sim->events())
            if (event.value("event").toString() == "browser" && event.value("answered").toBool())
                names << event.value("server").toString();
        return names;
    };
    EXPECT_EQ(asked(), QStringList({"NAMED", "other"}));
    // A port given wins over the instance: the Browser is not asked.
    EXPECT_EQ(serverAt(QStringLiteral("127.0.0.1\\other,%1").arg(sim->port("named"))), "named");
    EXPECT_EQ(asked().size(), 2);
}
