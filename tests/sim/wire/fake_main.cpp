// sqlsim on the fake engine, for the wire tests that drive a real client.
#include "FakeEngine.h"
#include "sim/server/Cli.h"

int main(int argc, char **argv)
{
    const auto engine = sqlsim::testing::makeFakeEngine();
    return sqlsim::server::runSqlsim(argc, argv, *engine);
}
