// sqlsim: a SQL Server simulator for tests. See sim/README.md.
#include "sim/server/Cli.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

int main(int argc, char **argv)
{
#ifdef __GLIBC__
    // A query's rows are materialised before they are sent: keep the freed heap for the next
    // one instead of giving it back and faulting it in again (a third of a big answer's time).
    mallopt(M_MMAP_THRESHOLD, 256 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 512 * 1024 * 1024);
#endif
    const auto engine = sqlsim::Engine::create();
    return sqlsim::server::runSqlsim(argc, argv, *engine);
}
