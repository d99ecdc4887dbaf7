// Times the column comparison query over two databases of N tables with 15 columns each,
// for growing N, to show how it scales. Not a test: run sqlsim_engine_bench [max tables].
#include "ToolQueries.h"

#include "sim/engine/Engine.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

class Sink : public sqlsim::BatchSink {
public:
    void resultSet(const std::vector<sqlsim::Column> &, const std::vector<sqlsim::Row> &rows) override { count = rows.size(); }
    void message(const sqlsim::Message &m) override
    {
        if (m.isError()) error = m.text;
    }
    void databaseChanged(const std::string &, const std::string &) override {}
    void statementDone(std::optional<std::int64_t>, bool) override {}
    bool cancelled() const override { return false; }
    std::size_t count = 0;
    std::string error;
};

void run(sqlsim::Session &s, const std::string &sql, Sink &sink)
{
    s.executeBatch(sql, sink);
    if (!sink.error.empty()) {
        std::fprintf(stderr, "error: %s\n", sink.error.c_str());
        std::exit(1);
    }
}

std::string table(int n, bool target)
{
    std::string sql = "create table t" + std::to_string(n) + " (id int identity(1,1) primary key";
    for (int c = 1; c < 15; ++c) {
        sql += ", c" + std::to_string(c);
        // Every tenth table differs in one column on the target.
        if (target && n % 10 == 0 && c == 3) sql += " bigint";
        else if (c % 3 == 0) sql += " varchar(50) null";
        else if (c % 3 == 1) sql += " decimal(18,2) default 0";
        else sql += " int not null";
    }
    return sql + ")";
}

}  // namespace

int main(int argc, char **argv)
{
    const int maxTables = argc > 1 ? std::atoi(argv[1]) : 2000;
    std::printf("tables  rows  seconds\n");
    double first = 0;
    int firstN = 0;
    for (int n = 200; n <= maxTables; n *= 2) {
        auto engine = sqlsim::Engine::create();
        sqlsim::InstanceConfig a;
        a.name = "target";
        a.databases = {"tdb"};
        engine->addInstance(a);
        engine->setInstancePort("target", 14331);
        sqlsim::InstanceConfig b;
        b.name = "sample";
        b.databases = {"sdb"};
        engine->addInstance(b);
        engine->setInstancePort("sample", 14332);
        auto t = engine->login("target", {"sa", "sqlsim", "tdb", "", ""}).session;
        auto s = engine->login("sample", {"sa", "sqlsim", "sdb", "", ""}).session;
        for (int k = 0; k < n; ++k) {
            Sink a1, a2;
            run(*s, table(k, false), a1);
            run(*t, table(k, true), a2);
        }
        Sink en;
        run(*t, "exec sp_configure'show advanced options',1 reconfigure "
                "exec sp_configure'Ad Hoc Distributed Queries',1 reconfigure", en);
        const std::string db = sqlsim::test::remoteDbPrefix("127.0.0.1,14332", "sa", "sqlsim", "sdb");
        const std::string query = sqlsim::test::columnQuery(db + ".dbo.", db, "tdb");
        Sink sink;
        const auto start = std::chrono::steady_clock::now();
        run(*t, query, sink);
        const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!firstN) {
            first = secs;
            firstN = n;
        }
        std::printf("%6d %5zu  %.3f  (x%.1f for x%.1f tables)\n", n, sink.count, secs, secs / first,
                    static_cast<double>(n) / firstN);
        std::fflush(stdout);
        if (n < maxTables && n * 2 > maxTables) n = maxTables / 2;
    }
    return 0;
}
