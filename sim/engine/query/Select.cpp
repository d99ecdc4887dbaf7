// SELECT: translated to SQLite and run on the session's store connection.
#include "sim/engine/catalog/Catalog.h"
#include "sim/engine/query/Translate.h"

#include <cstdio>
#include <cstdlib>
#include <regex>

namespace sqlsim {

SqlError mapStoreError(const std::string &what)
{
    static const std::regex noColumn(R"(no such column: (?:[^.]*\.)?(.+))");
    static const std::regex ambiguous(R"(ambiguous column name: (?:[^.]*\.)?(.+))");
    static const std::regex noFunction(R"(no such function: (.+))");
    static const std::regex nearToken(R"re(near "([^"]*)": syntax error)re");
    std::smatch m;
    // Raised by sqlsim's own functions (SqlFunctions.h) with SQL Server's number and text.
    static const std::regex raised(R"(sqlsim-error\|(\d+)\|([as])\|([\s\S]*))");
    if (std::regex_search(what, m, raised)) {
        SqlError e(std::stoi(m[1].str()), m[3].str(), 16);
        return m[2].str() == "a" ? e.aborting() : e;
    }
    if (std::regex_search(what, m, noColumn))
        return SqlError(207, "Invalid column name '" + m[1].str() + "'.", 16).aborting();
    if (std::regex_search(what, m, ambiguous))
        return SqlError(209, "Ambiguous column name '" + m[1].str() + "'.", 16).aborting();
    if (std::regex_search(what, m, noFunction))
        return SqlError(195, "'" + m[1].str() + "' is not a recognized built-in function name.", 15).aborting();
    if (std::regex_search(what, m, nearToken))
        return SqlError(102, "Incorrect syntax near '" + m[1].str() + "'.", 15).aborting();
    return SqlError(50000, "This query is not supported by sqlsim (" + what + ").", 16);
}

namespace {

// Finds INTO at the top level of the first select list.
std::optional<std::size_t> topLevelInto(const std::vector<Token> &t)
{
    int depth = 0;
    for (std::size_t k = 1; k < t.size(); ++k) {
        if (t[k].is(Tok::LParen)) ++depth;
        if (t[k].is(Tok::RParen)) --depth;
        if (depth != 0) continue;
        if (t[k].kw("into")) return k;
        if (t[k].kw("from") || t[k].kw("where") || t[k].kw("union")) return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace

void execSelect(Exec &x)
{
    const auto &t = x.stmt.tokens;
    for (std::size_t k = 1; k + 1 < t.size() && !t[k].kw("from"); ++k)
        if (t[k].is(Tok::Variable) && t[k].text.rfind("@@", 0) != 0 && t[k + 1].op("="))
            notSupported("Assigning a variable in SELECT");
    if (auto into = topLevelInto(t)) {
        execSelectInto(x, *into);
        return;
    }
    Translator tr(x);
    StoreConn &store = x.session.store();
    // Temp tables of the translation go with the statement, whatever happens.
    struct DropTemps {
        StoreConn &store;
        const Translator &tr;
        ~DropTemps()
        {
            for (const std::string &t : tr.temps()) {
                try {
                    store.exec("DROP TABLE IF EXISTS temp." + t);
                } catch (const StoreError &) {
                    // The connection is closing or broken; the temp table goes with it.
                }
            }
        }
    } dropTemps{store, tr};
    QueryResult result;
    try {
        const std::string sql = tr.query(0, x.stmt.end());
        // SQLSIM_TRACE_SQL=1 shows each translation on stderr, for debugging.
        if (std::getenv("SQLSIM_TRACE_SQL"))
            std::fprintf(stderr, "sqlsim: %s\n", sql.c_str());
        for (const std::string &step : tr.prelude())
            store.exec(step);
        result = runQuery(store, sql, &x.sink, tr.typeHints());
    } catch (const StoreError &e) {
        throw mapStoreError(e.what());
    }
    x.sink.resultSet(result.columns, result.rows);
    x.done(static_cast<std::int64_t>(result.rows.size()));
}

}  // namespace sqlsim
