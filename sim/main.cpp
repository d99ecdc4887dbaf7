// sqlsim: a SQL Server simulator for tests. See sim/README.md.
#include "sim/server/Cli.h"

int main(int argc, char **argv)
{
    const auto engine = sqlsim::Engine::create();
    return sqlsim::server::runSqlsim(argc, argv, *engine);
}
