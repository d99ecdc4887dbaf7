#include "sim/engine/query/Translate.h"

#include "sim/engine/functions/SqlFunctions.h"
#include "sim/engine/query/Words.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>

namespace sqlsim {

namespace {

// Joins pieces; "literal" + temporary std::string trips a false -Wrestrict in GCC 12 at -O3.
std::string cat(std::initializer_list<std::string_view> pieces)
{
    std::size_t n = 0;
    for (std::string_view p : pieces)
        n += p.size();
    std::string out;
    out.reserve(n);
    for (std::string_view p : pieces)
        out += p;
    return out;
}

}  // namespace

std::string quoteIdent(std::string_view name)
{
    std::string out = "\"";
    for (char c : name) {
        out += c;
        if (c == '"')
            out += '"';
    }
    return out + "\"";
}

std::string sqlString(std::string_view value)
{
    return cat({"'", quoteString(value), "'"});
}

namespace {

const char *const clauseWords[] = {"from", "into", "where", "group", "having", "order", "union",
                                   "except", "intersect", "option", "for"};

const char *const joinWords[] = {"join", "inner", "left", "right", "full", "cross", "outer", "on",
                                 "where", "group", "having", "order", "union", "except", "intersect",
                                 "option", "with", "as"};


}  // namespace

Translator::Translator(Exec &x) : x_(x), t_(x.stmt.tokens) {}

std::size_t Translator::matchParen(std::size_t open) const
{
    int depth = 0;
    for (std::size_t k = open; k < t_.size(); ++k) {
        if (t_[k].is(Tok::LParen)) ++depth;
        if (t_[k].is(Tok::RParen) && --depth == 0) return k;
        if (t_[k].is(Tok::End)) break;
    }
    syntaxError(t_.back());
}

std::size_t Translator::clauseEnd(std::size_t i, std::size_t end, std::initializer_list<const char *> stops) const
{
    for (std::size_t k = i; k < end; ++k) {
        if (t_[k].is(Tok::LParen)) {
            k = matchParen(k);
            continue;
        }
        for (const char *s : stops)
            if (t_[k].kw(s))
                return k;
    }
    return end;
}

std::string Translator::query(std::size_t begin, std::size_t end)
{
    std::string out;
    std::size_t i = begin;
    while (i < end) {
        if (!t_[i].kw("select"))
            syntaxError(t_[i]);
        out += selectCore(i, end);
        if (i < end && (t_[i].kw("union") || t_[i].kw("except") || t_[i].kw("intersect"))) {
            out += cat({" ", lower(t_[i].text)});
            ++i;
            if (i < end && t_[i].kw("all")) {
                out += " ALL";
                ++i;
            }
            out += " ";
            continue;
        }
        if (i < end)
            syntaxError(t_[i]);
    }
    return out;
}

std::string Translator::selectCore(std::size_t &i, std::size_t end)
{
    std::string out = "SELECT ";
    ++i;
    if (t_[i].kw("distinct") || t_[i].kw("all"))
        out += lower(t_[i++].text) + " ";
    std::string limit;
    if (t_[i].kw("top")) {
        ++i;
        if (t_[i].is(Tok::LParen) && t_[i + 1].is(Tok::Number) && t_[i + 2].is(Tok::RParen)) {
            limit = t_[i + 1].text;
            i += 3;
        } else if (t_[i].is(Tok::Number)) {
            limit = t_[i++].text;
        } else {
            syntaxError(t_[i]);
        }
        if (t_[i].kw("percent"))
            notSupported("TOP ... PERCENT");
    }
    // Select list: items separated by commas, up to the first clause word.
    const std::size_t listEnd = clauseEnd(i, end, {"from", "into", "where", "group", "having", "order", "union",
                                                   "except", "intersect", "option"});
    if (listEnd == i)
        syntaxError(t_[i]);
    // The FROM clause first, so that the select list and WHERE know its aliases.
    scopes_.push_back({});
    struct PopScope {
        std::vector<Scope> &s;
        ~PopScope() { s.pop_back(); }
    } popScope{scopes_};
    std::size_t after = listEnd;
    std::string from;
    if (after < end && t_[after].kw("into"))
        notSupported("SELECT ... INTO in this form");
    if (after < end && t_[after].kw("from"))
        from = fromClause(after, end);
    bool firstItem = true;
    std::size_t itemStart = i;
    for (std::size_t k = i; k <= listEnd; ++k) {
        if (k < listEnd && t_[k].is(Tok::LParen)) {
            k = matchParen(k);
            continue;
        }
        if (k < listEnd && !t_[k].is(Tok::Comma))
            continue;
        if (k == itemStart)
            syntaxError(t_[k]);
        std::size_t eb = itemStart, ee = k;
        std::string alias;
        if ((t_[eb].isName() || t_[eb].is(Tok::String)) && t_[eb + 1].op("=") && eb + 2 < ee) {
            alias = t_[eb].text;
            eb += 2;
        } else if (ee - eb >= 2 && (t_[ee - 1].is(Tok::String) || t_[ee - 1].isName()) &&
                   (t_[ee - 2].kw("as") ||
                    (t_[ee - 1].is(Tok::String) && !t_[ee - 2].is(Tok::Op) && !t_[ee - 2].is(Tok::LParen) &&
                     !t_[ee - 2].is(Tok::Comma) && !t_[ee - 2].kw("like") && !t_[ee - 2].kw("escape")) ||
                    (t_[ee - 1].isName() && !t_[ee - 2].is(Tok::Dot) && !t_[ee - 2].is(Tok::Op) &&
                     !t_[ee - 2].kw("case") && !t_[ee - 2].kw("when") && !t_[ee - 2].kw("then") &&
                     !t_[ee - 2].kw("else") && !t_[ee - 2].kw("and") && !t_[ee - 2].kw("or") &&
                     !t_[ee - 2].kw("not") && !t_[ee - 2].kw("is") && !t_[ee - 1].kw("end") &&
                     !t_[ee - 1].kw("null")))) {
            alias = t_[ee - 1].text;
            ee -= t_[ee - 2].kw("as") ? 2 : 1;
        }
        out += firstItem ? "" : ", ";
        out += expr(eb, ee);
        if (!alias.empty())
            noteIsnullType(eb, ee, alias);
        if (!alias.empty())
            out += cat({" AS ", quoteIdent(alias)});
        else if (!isColumnRef(eb, ee))
            out += " AS \"\"";  // SQL Server leaves an expression's column unnamed
        firstItem = false;
        itemStart = k + 1;
    }
    i = after;
    out += from;
    while (i < end) {
        const Token &c = t_[i];
        if (c.kw("where") || c.kw("having")) {
            const std::size_t e = clauseEnd(i + 1, end, {"group", "having", "order", "union", "except",
                                                         "intersect", "option"});
            out += cat({" ", lower(c.text), " ", expr(i + 1, e)});
            i = e;
        } else if ((c.kw("group") || c.kw("order")) && t_[i + 1].kw("by")) {
            const std::size_t e = clauseEnd(i + 2, end, {"having", "order", "union", "except", "intersect",
                                                         "option"});
            out += cat({" ", lower(c.text), " BY ", expr(i + 2, e)});
            i = e;
        } else if (c.kw("option")) {
            i = matchParen(i + 1) + 1;  // query hints change nothing here
        } else {
            break;
        }
    }
    if (!limit.empty())
        out += " LIMIT " + limit;
    return out;
}

std::optional<std::pair<std::string, std::size_t>> Translator::inSubquery(std::size_t k, std::size_t end)
{
    // column IN (SELECT c FROM ... [WHERE ...]) becomes EXISTS (SELECT 1 FROM ... WHERE ... AND c = column):
    // SQLite would build the subquery's whole list for every outer row.
    if (k > 0 && t_[k - 1].is(Tok::Dot))
        return std::nullopt;
    std::size_t refEnd = k + 1;
    std::string qualifier;
    std::string column = t_[k].text;
    if (t_[k + 1].is(Tok::Dot) && t_[k + 2].isName()) {
        qualifier = t_[k].text;
        column = t_[k + 2].text;
        refEnd = k + 3;
    }
    if (refEnd + 2 >= end || !t_[refEnd].kw("in") || !t_[refEnd + 1].is(Tok::LParen) || !t_[refEnd + 2].kw("select"))
        return std::nullopt;
    if (qualifier.empty()) {
        if (scopes_.empty() || scopes_.back().aliases.size() != 1)
            return std::nullopt;
        qualifier = scopes_.back().aliases.front();
    }
    const std::size_t close = matchParen(refEnd + 1);
    std::size_t i = refEnd + 3;
    if (t_[i].kw("distinct")) ++i;
    if (t_[i].kw("top")) return std::nullopt;
    const std::size_t itemEnd = clauseEnd(i, close, {"from", "where", "group", "having", "order", "union", "except",
                                                     "intersect", "into"});
    if (itemEnd == i || itemEnd >= close || !t_[itemEnd].kw("from"))
        return std::nullopt;
    for (std::size_t j = i; j < itemEnd; ++j) {
        if (t_[j].is(Tok::LParen)) j = matchParen(j);
        else if (t_[j].is(Tok::Comma)) return std::nullopt;
    }
    scopes_.push_back({});
    struct PopScope {
        std::vector<Scope> &s;
        ~PopScope() { s.pop_back(); }
    } popScope{scopes_};
    std::size_t j = itemEnd;
    const std::string from = fromClause(j, close);
    for (const std::string &a : scopes_.back().aliases)
        if (iequals(a, qualifier))
            return std::nullopt;  // the inner alias would hide the outer column
    std::string where;
    if (j < close && t_[j].kw("where")) {
        const std::size_t we = clauseEnd(j + 1, close, {"group", "having", "order", "union", "except", "intersect"});
        if (we != close)
            return std::nullopt;
        where = cat({"(", expr(j + 1, we), ") AND "});
    } else if (j != close) {
        return std::nullopt;
    }
    const std::string sql = "EXISTS (SELECT 1" + from + " WHERE " + where + expr(i, itemEnd) + " = " +
                            quoteIdent(qualifier) + "." + quoteIdent(column) + ")";
    return std::make_pair(sql, close);
}

bool Translator::isColumnRef(std::size_t b, std::size_t e) const
{
    // name, a.name, db..t.name, a.*, *
    if (e == b + 1)
        return t_[b].isName() || t_[b].op("*");
    for (std::size_t k = b; k < e; ++k) {
        const bool wantName = (k - b) % 2 == 0;
        if (wantName && !(t_[k].isName() || (k + 1 == e && t_[k].op("*"))))
            return false;
        if (!wantName && !t_[k].is(Tok::Dot))
            return false;
    }
    return (e - b) % 2 == 1;
}

std::string Translator::fromClause(std::size_t &i, std::size_t end)
{
    std::string out = " FROM ";
    ++i;
    out += tableSource(i, end);
    while (i < end) {
        const Token &c = t_[i];
        if (c.is(Tok::Comma)) {
            ++i;
            out += cat({", ", tableSource(i, end)});
            continue;
        }
        std::string join;
        std::size_t k = i;
        while (k < end && (t_[k].kw("inner") || t_[k].kw("left") || t_[k].kw("right") || t_[k].kw("full") ||
                           t_[k].kw("cross") || t_[k].kw("outer")))
            join += lower(t_[k++].text) + " ";
        if (k >= end || !t_[k].kw("join")) {
            if (!join.empty())
                syntaxError(t_[k]);
            break;
        }
        i = k + 1;
        // The right side of a FULL or RIGHT join is kept in an indexed temp table:
        // SQLite would scan it once per row of the left side.
        const bool keep = join.find("full") != std::string::npos || join.find("right") != std::string::npos;
        const std::size_t tempsBefore = temps_.size();
        out += " " + join + "JOIN " + tableSource(i, end, keep);
        if (join.rfind("cross", 0) == 0)
            continue;
        if (!t_[i].kw("on"))
            syntaxError(t_[i]);
        std::size_t e = i + 1;
        for (; e < end; ++e) {
            if (t_[e].is(Tok::LParen)) {
                e = matchParen(e);
                continue;
            }
            if (t_[e].is(Tok::Comma) || t_[e].kw("join") || t_[e].kw("inner") || t_[e].kw("left") ||
                t_[e].kw("right") || t_[e].kw("full") || t_[e].kw("cross") || isWord(t_[e], clauseWords, std::size(clauseWords)))
                break;
        }
        out += cat({" ON ", expr(i + 1, e)});
        if (temps_.size() > tempsBefore) {
            // Index the kept table on the columns the join condition reads from it.
            const std::string alias = scopes_.back().aliases.back();
            std::string cols;
            for (std::size_t k2 = i + 1; k2 + 2 < e; ++k2)
                if (t_[k2].isName() && iequals(t_[k2].text, alias) && t_[k2 + 1].is(Tok::Dot) && t_[k2 + 2].isName())
                    cols += (cols.empty() ? "" : ", ") + quoteIdent(t_[k2 + 2].text);
            if (!cols.empty())
                prelude_.push_back("CREATE INDEX temp." + temps_.back() + "_ix ON " + temps_.back() + "(" + cols + ")");
        }
        i = e;
    }
    return out;
}

void Translator::noteIsnullType(std::size_t b, std::size_t e, const std::string &alias)
{
    // isnull(q.c, ...) has the type of q.c, as SQL Server types it; SQLite forgets it.
    if (e - b < 5 || !t_[b].kw("isnull") || !t_[b + 1].is(Tok::LParen) || matchParen(b + 1) != e - 1)
        return;
    std::string qualifier, column;
    std::size_t k = b + 2;
    if (t_[k].isName() && t_[k + 1].is(Tok::Dot) && t_[k + 2].isName()) {
        qualifier = t_[k].text;
        column = t_[k + 2].text;
        k += 3;
    } else if (t_[k].isName()) {
        column = t_[k].text;
        ++k;
    } else {
        return;
    }
    if (!t_[k].is(Tok::Comma) || scopes_.empty())
        return;
    for (const auto &[name, sql] : scopes_.back().sources) {
        if (!qualifier.empty() ? !iequals(name, qualifier) : scopes_.back().sources.size() != 1)
            continue;
        try {
            StoreStmt probe(x_.session.store().raw(), "SELECT " + quoteIdent(name) + "." + quoteIdent(column) +
                                                          " FROM " + sql + " AS " + quoteIdent(name));
            if (const char *decl = sqlite3_column_decltype(probe.raw(), 0))
                typeHints_.emplace(lower(alias), decl);
        } catch (const StoreError &) {
            // The query itself will report what is wrong with the column.
        }
        return;
    }
}

std::optional<std::string> Translator::keepDerived(const std::string &inner)
{
    std::optional<StoreStmt> probeHolder;
    try {
        probeHolder.emplace(x_.session.store().raw(), "SELECT * FROM (" + inner + ")");
    } catch (const StoreError &) {
        return std::nullopt;  // it reads the outer query's columns: it cannot stand alone
    }
    StoreStmt &probe = *probeHolder;
    const int n = sqlite3_column_count(probe.raw());
    std::string cols;
    std::vector<std::string> seen;
    for (int c = 0; c < n; ++c) {
        const char *name = sqlite3_column_name(probe.raw(), c);
        const char *decl = sqlite3_column_decltype(probe.raw(), c);
        const std::string colName = name ? name : "";
        for (const std::string &other : seen)
            if (iequals(other, colName))
                return std::nullopt;  // a temp table cannot repeat a column name
        seen.push_back(colName);
        auto hint = typeHints_.find(lower(colName));
        if (!decl && hint != typeHints_.end())
            decl = hint->second.c_str();
        cols += (c ? ", " : "") + quoteIdent(colName) + (decl ? std::string(" ") + decl : "") + " COLLATE SSCI";
    }
    const std::string name = cat({"sqlsim_kept_", std::to_string(temps_.size() + 1)});
    prelude_.push_back("CREATE TEMP TABLE " + name + " (" + cols + ")");
    prelude_.push_back("INSERT INTO temp." + name + " SELECT * FROM (" + inner + ")");
    temps_.push_back(name);
    return "temp." + name;
}

std::string Translator::tableSource(std::size_t &i, std::size_t end, bool keep)
{
    std::string out;
    std::string defaultAlias;
    if (t_[i].is(Tok::LParen)) {
        const std::size_t close = matchParen(i);
        if (t_[i + 1].kw("select")) {
            const std::string inner = query(i + 1, close);
            std::optional<std::string> kept = keep ? keepDerived(inner) : std::nullopt;
            out = kept ? *kept : "(" + inner + ")";
        } else
            notSupported("A parenthesised join");
        i = close + 1;
    } else {
        NameRef name = readTableName(i);
        out = tableSql(name);
        defaultAlias = name.parts.back();
    }
    if (i < end && t_[i].kw("with") && t_[i + 1].is(Tok::LParen))
        i = matchParen(i + 1) + 1;  // table hints
    std::string alias;
    if (i < end && t_[i].kw("as")) {
        ++i;
        alias = readName(t_, i);
    } else if (i < end && t_[i].isName() && !isWord(t_[i], joinWords, std::size(joinWords))) {
        alias = t_[i++].text;
    } else {
        alias = defaultAlias;
    }
    if (!alias.empty()) {
        scopes_.back().sources.emplace_back(alias, out);
        out += cat({" AS ", quoteIdent(alias)});
        scopes_.back().aliases.push_back(alias);
    } else {
        throw SqlError(102, "Incorrect syntax near ')'.", 15, t_[i > 0 ? i - 1 : 0].line);
    }
    if (i < end && t_[i].is(Tok::LParen) && t_[i + 1].kw("nolock"))
        i = matchParen(i) + 1;
    return out;
}

}  // namespace sqlsim
