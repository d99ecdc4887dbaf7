// The address forms through the driver to sqlsim: a bare host reaches port 1433, host\INSTANCE
// the instance's port through the SQL Server Browser on UDP 1434. Both ports are fixed, so each
// case skips when its port is taken (a SQL Server, or this test running elsewhere).

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

std::unique_ptr<SqlsimProcess> start(const QList<SqlsimProcess::Server> &servers, const QStringList &more = {})
{
    try {
        return test::sqlsimBinary().isEmpty() ? nullptr : std::make_unique<SqlsimProcess>(servers, more);
    } catch (const std::exception &) {
        return nullptr;  // sqlsim says why on standard error
    }
}

// The name of the server the address reaches.
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
    const auto sim = start({{"plain", "sa", "sqlsim", {}, true, true, kDefaultSqlServerPort}});
    if (!sim)
        GTEST_SKIP() << "sqlsim cannot listen on TCP 127.0.0.1:1433";
    for (const char *address : {"127.0.0.1", " (local) ", "tcp:."})
        EXPECT_EQ(serverAt(address), "plain") << address;
}

TEST(AddressForms, NamedInstanceIsFoundThroughTheBrowser)
{
    const auto sim = start({{"named", "sa", "sqlsim", {}}, {"other", "sa", "sqlsim", {}}}, {"--browser", "127.0.0.1:1434"});
    if (!sim)
        GTEST_SKIP() << "sqlsim cannot listen on UDP 127.0.0.1:1434, where the driver asks for instances";
    const auto asked = [&sim] {
        QStringList names;
        for (const QJsonObject &event : sim->events())
            if (event.value("event").toString() == "browser" && event.value("answered").toBool())
                names << event.value("server").toString();
        return names;
    };
    EXPECT_EQ(serverAt("127.0.0.1\\NAMED"), "named");
    EXPECT_EQ(serverAt("tcp:127.0.0.1\\other"), "other");
    EXPECT_EQ(asked(), QStringList({"NAMED", "other"}));
    // A port given wins over the instance, without asking the Browser.
    EXPECT_EQ(serverAt(QStringLiteral("127.0.0.1\\other,%1").arg(sim->port("named"))), "named");
    EXPECT_EQ(asked().size(), 2);
}
