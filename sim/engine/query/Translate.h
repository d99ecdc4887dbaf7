#pragma once
// Translates a T-SQL SELECT into SQLite over the catalogue store.

#include "sim/engine/core/Internal.h"

namespace sqlsim {

// The same release as the front end's LOGINACK (15.0.2000).
inline constexpr const char *kProductVersion = "15.0.2000.5";
inline constexpr const char *kVersionText =
    "Microsoft SQL Server 2019 (RTM) - 15.0.2000.5 (X64) \n\tSep 24 2019 13:48:23 \n\t"
    "Copyright (C) 2019 Microsoft Corporation\n\tDeveloper Edition (64-bit) on Windows Server 2019 "
    "Standard 10.0 <X64> (Build 17763: ) (sqlsim)\n";

// Where a multi-part name leads: a database of some instance.
struct ResolvedDb {
    std::shared_ptr<Instance> instance;
    Database db;
    bool remote = false;
};

class Translator {
public:
    explicit Translator(Exec &x);
    // Translates tokens [begin, end) holding one query (SELECT ... [UNION ...]).
    std::string query(std::size_t begin, std::size_t end);

    // A table name at tokens[i] (OPENDATASOURCE(...).a.b.c, a..c, [a].b.c, c); advances i.
    struct NameRef {
        std::vector<std::string> parts;  // server, database, schema, object; empty when omitted
        std::string written;             // as the statement wrote it, for messages
        std::optional<ResolvedDb> remote;
    };
    NameRef readTableName(std::size_t &i);
    // One expression at tokens [begin, end), for statements that compute values row by row.
    std::string expression(std::size_t begin, std::size_t end) { return expr(begin, end); }
    // The same over one table source (its alias and SQL), so that literals convert to its columns' types.
    std::string expressionOver(std::size_t begin, std::size_t end, const std::string &alias, const std::string &source)
    {
        scopes_.push_back({{alias}, {{alias, source}}});
        try {
            std::string out = expr(begin, end);
            scopes_.pop_back();
            return out;
        } catch (...) {
            scopes_.pop_back();
            throw;
        }
    }

    // Statements to run before the query (temp tables it reads) and temp tables to drop after.
    const std::vector<std::string> &prelude() const { return prelude_; }
    const std::vector<std::string> &temps() const { return temps_; }
    // Declared types of computed columns SQL Server types from an operand (isnull).
    const std::map<std::string, std::string> &typeHints() const { return typeHints_; }
    ResolvedDb resolveDatabase(const NameRef &name);

private:
    std::string selectCore(std::size_t &i, std::size_t end);
    std::string fromClause(std::size_t &i, std::size_t end);
    std::string tableSource(std::size_t &i, std::size_t end, bool keep = false);
    std::optional<std::string> keepDerived(const std::string &inner);
    std::string expr(std::size_t begin, std::size_t end);
    std::string caseExpr(std::size_t begin, std::size_t end);
    // The declared type of a column a query names ("int", "nvarchar(128)"; empty when unknown).
    std::string columnDecl(const std::string &qualifier, const std::string &column);
    std::map<std::string, std::string> declCache_;
    std::string function(std::size_t &i);
    std::string variable(const Token &t);
    std::string tableSql(const NameRef &name);
    std::optional<std::pair<std::string, std::size_t>> inSubquery(std::size_t k, std::size_t end);
    bool isColumnRef(std::size_t begin, std::size_t end) const;
    std::size_t matchParen(std::size_t open) const;
    std::size_t clauseEnd(std::size_t i, std::size_t end, std::initializer_list<const char *> stops) const;
    ResolvedDb openDataSource(std::size_t &i);

    Exec &x_;
    const std::vector<Token> &t_;
    struct Scope {
        std::vector<std::string> aliases;  // table sources of one SELECT
        std::vector<std::pair<std::string, std::string>> sources;  // alias, its SQL
    };
    std::map<std::string, std::string> typeHints_;  // column name (lower case) -> declared type
    void noteIsnullType(std::size_t begin, std::size_t end, const std::string &alias);
    std::vector<Scope> scopes_;
    std::vector<std::string> prelude_;
    std::vector<std::string> temps_;
};

std::string quoteIdent(std::string_view name);
// SQLite's complaint about a translated query, as SQL Server would word it.
SqlError mapStoreError(const std::string &what);
std::string sqlString(std::string_view value);

}  // namespace sqlsim
