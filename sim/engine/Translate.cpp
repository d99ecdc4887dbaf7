#include "sim/engine/Translate.h"

#include "sim/engine/SqlFunctions.h"

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

bool isWord(const Token &t, const char *const *words, std::size_t n)
{
    for (std::size_t k = 0; k < n; ++k)
        if (t.kw(words[k]))
            return true;
    return false;
}

// Words of an expression that SQLite reads as T-SQL does.
const char *const exprKeywords[] = {"case", "when", "then", "else", "end", "and", "or", "not", "in",
                                    "exists", "is", "null", "like", "between", "as", "distinct",
                                    "asc", "desc", "by", "all", "any", "some", "escape", "select",
                                    "from", "where", "group", "order", "having", "union", "on",
                                    "join", "left", "right", "full", "inner", "outer", "cross"};

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

namespace {

// One element of a translated expression, before arithmetic and comparisons are resolved.
struct Piece {
    enum Kind { Operand, Arith, Compare, Other } kind = Other;
    enum What { Plain, Str, Num, Column, Computed } what = Plain;
    std::string sql;
    std::string qualifier, column;  // of a Column
    std::string text;               // of a Str: the value; of a Num: the digits
    bool unicode = false;
    bool glue = false;  // no blank before it
};

bool isArithOp(const std::string &o)
{
    return o == "+" || o == "-" || o == "*" || o == "/" || o == "%" || o == "&" || o == "|" || o == "^" || o == "~";
}

bool isCompareOp(const std::string &o)
{
    return o == "=" || o == "<>" || o == "!=" || o == "<" || o == ">" || o == "<=" || o == ">=" || o == "!<" || o == "!>";
}

std::string binaryCall(const std::string &op, const std::string &a, const std::string &b)
{
    const char *fn = op == "+" ? "ss_add" : op == "-" ? "ss_sub" : op == "*" ? "ss_mul" : op == "/" ? "ss_div"
                   : op == "%" ? "ss_mod" : op == "&" ? "ss_band" : op == "|" ? "ss_bor" : "ss_bxor";
    const std::string call = std::string(fn) + "(" + a + ", " + b + ")";
    return op == "+" ? "(" + call + " COLLATE SSCI)" : call;  // + may concatenate strings
}

std::string failCall(int number, bool aborts, const std::string &text)
{
    return "ss_fail(" + std::to_string(number) + ", " + (aborts ? "1" : "0") + ", " + sqlString(text) + ")";
}

// A string literal compared with a column of the declared type, as SQL Server converts it:
// the literal converted, or a call that fails with SQL Server's error when a row is compared.
std::optional<std::string> literalForColumn(const std::string &decl, const Piece &lit)
{
    const std::string d = lower(decl);
    auto starts = [&](const char *p) { return d.rfind(p, 0) == 0; };
    const std::string from = lit.unicode ? "nvarchar" : "varchar";
    if (starts("int") || starts("bigint") || starts("smallint") || starts("tinyint") || starts("bit")) {
        std::string_view t = lit.text;
        std::int64_t v = 0;
        const bool word = starts("bit") && (iequals(t, "true") || iequals(t, "false"));
        if (word) return std::string(iequals(t, "true") ? "1" : "0");
        if (integerText(t, &v)) return std::to_string(v);
        std::string type = d.substr(0, d.find_first_of(" ("));
        return failCall(245, true, "Conversion failed when converting the " + from + " value '" + lit.text +
                                       "' to data type " + type + ".");
    }
    if (starts("decimal") || starts("numeric") || starts("money") || starts("smallmoney") || starts("float") ||
        starts("real")) {
        const bool floating = starts("float") || starts("real");
        double v = 0;
        if (floating ? floatText(lit.text, &v) : decimalText(lit.text, &v)) {
            std::string t(lit.text);
            t.erase(0, t.find_first_not_of(" \t"));
            t.erase(t.find_last_not_of(" \t") + 1);
            return t;
        }
        return failCall(8114, true, "Error converting data type " + from + " to " + (floating ? "float" : "numeric") + ".");
    }
    if (starts("datetime") || starts("smalldatetime") || starts("date")) {
        std::string normal;
        if (datetimeText(lit.text, &normal))
            return sqlString(starts("date") && !starts("datetime") ? normal.substr(0, 10) : normal);
        return failCall(241, true, "Conversion failed when converting date and/or time from character string.");
    }
    return std::nullopt;
}

bool textualDecl(const std::string &decl)
{
    const std::string d = lower(decl);
    return d.find("char") != std::string::npos || d.find("text") != std::string::npos || d == "sysname";
}

}  // namespace

std::string Translator::columnDecl(const std::string &qualifier, const std::string &column)
{
    const std::string key = lower(qualifier) + "." + lower(column);
    if (auto found = declCache_.find(key); found != declCache_.end())
        return found->second;
    std::string decl;
    for (auto scope = scopes_.rbegin(); scope != scopes_.rend() && decl.empty(); ++scope) {
        for (const auto &[name, sql] : scope->sources) {
            if (!qualifier.empty() && !iequals(name, qualifier))
                continue;
            try {
                StoreStmt probe(x_.session.store().raw(), "SELECT " + quoteIdent(name) + "." + quoteIdent(column) +
                                                              " FROM " + sql + " AS " + quoteIdent(name) + " LIMIT 0");
                if (const char *d = sqlite3_column_decltype(probe.raw(), 0))
                    decl = d;
                break;
            } catch (const StoreError &) {
                // Not a column of this source; the query reports a column that is nowhere.
            }
        }
    }
    declCache_.emplace(key, decl);
    return decl;
}

std::string Translator::caseExpr(std::size_t begin, std::size_t end)
{
    // CASE [x] WHEN a THEN b ... [ELSE c] END, each part translated on its own.
    std::string out = "CASE";
    std::size_t segStart = begin + 1;
    int depth = 0;
    for (std::size_t k = begin + 1; k < end; ++k) {
        if (t_[k].is(Tok::LParen)) {
            k = matchParen(k);
            continue;
        }
        if (t_[k].kw("case")) ++depth;
        if (t_[k].kw("end") && depth > 0) {
            --depth;
            continue;
        }
        if (depth == 0 && (t_[k].kw("when") || t_[k].kw("then") || t_[k].kw("else") || t_[k].kw("end"))) {
            if (k > segStart)
                out += " " + expr(segStart, k);
            out += " " + std::string(t_[k].kw("when") ? "WHEN" : t_[k].kw("then") ? "THEN" : t_[k].kw("else") ? "ELSE" : "END");
            segStart = k + 1;
        }
    }
    return out;
}

std::string Translator::expr(std::size_t begin, std::size_t end)
{
    std::vector<Piece> pieces;
    auto operand = [&](std::string sql, Piece::What what = Piece::Computed) {
        Piece p;
        p.kind = Piece::Operand;
        p.what = what;
        p.sql = std::move(sql);
        pieces.push_back(std::move(p));
    };
    auto other = [&](std::string sql, bool glue = false) {
        Piece p;
        p.sql = std::move(sql);
        p.glue = glue;
        pieces.push_back(std::move(p));
    };
    for (std::size_t k = begin; k < end; ++k) {
        const Token &t = t_[k];
        switch (t.kind) {
        case Tok::LParen: {
            const std::size_t close = matchParen(k);
            if (t_[k + 1].kw("select"))
                operand("(" + query(k + 1, close) + ")");
            else
                operand("(" + expr(k + 1, close) + ")");
            k = close;
            break;
        }
        case Tok::Ident:
        case Tok::Quoted: {
            if (auto rewritten = inSubquery(k, end)) {
                operand(rewritten->first);
                k = rewritten->second;
                break;
            }
            const bool keyword = t.is(Tok::Ident) && !t_[k + 1].is(Tok::Dot) && isWord(t, exprKeywords, std::size(exprKeywords));
            if (t.is(Tok::Ident) && t_[k + 1].is(Tok::LParen) && k + 1 < end && !isWord(t, exprKeywords, std::size(exprKeywords))) {
                std::size_t j = k;
                operand(function(j));
                k = j - 1;
            } else if (t.is(Tok::Ident) && (t.kw("system_user") || t.kw("current_user"))) {
                operand(sqlString(x_.session.login().user) + " COLLATE SSCI");
            } else if (t.is(Tok::Ident) && t.kw("current_timestamp")) {
                operand("strftime('%Y-%m-%d %H:%M:%f', 'now', 'localtime')");
            } else if (keyword && t.kw("case")) {
                int depth = 0;
                std::size_t e = k;
                for (; e < end; ++e) {
                    if (t_[e].is(Tok::LParen)) {
                        e = matchParen(e);
                        continue;
                    }
                    if (t_[e].kw("case")) ++depth;
                    if (t_[e].kw("end") && --depth == 0) break;
                }
                if (e >= end)
                    syntaxError(t_[end]);
                operand(caseExpr(k, e + 1));
                k = e;
            } else if (keyword && t.kw("null")) {
                operand("NULL");
            } else if (keyword) {
                other(lower(t.text));
            } else {
                // name, a.name, db.schema.t.name, a.*
                Piece p;
                p.kind = Piece::Operand;
                p.what = Piece::Column;
                std::vector<std::string> parts{t.text};
                p.sql = quoteIdent(t.text);
                while (k + 2 < end && t_[k + 1].is(Tok::Dot) && (t_[k + 2].isName() || t_[k + 2].op("*"))) {
                    if (t_[k + 2].op("*")) {
                        p.sql += ".*";
                        p.what = Piece::Plain;
                        k += 2;
                        break;
                    }
                    parts.push_back(t_[k + 2].text);
                    p.sql += "." + quoteIdent(t_[k + 2].text);
                    k += 2;
                }
                p.column = parts.back();
                if (parts.size() >= 2) p.qualifier = parts[parts.size() - 2];
                pieces.push_back(std::move(p));
            }
            break;
        }
        case Tok::String:
        case Tok::NString: {
            // A literal compares under the server's collation, as a column would.
            Piece p;
            p.kind = Piece::Operand;
            p.what = Piece::Str;
            p.text = t.text;
            p.unicode = t.is(Tok::NString);
            p.sql = sqlString(t.text) + " COLLATE SSCI";
            pieces.push_back(std::move(p));
            break;
        }
        case Tok::Number: {
            Piece p;
            p.kind = Piece::Operand;
            p.what = Piece::Num;
            p.text = t.text;
            p.sql = t.text;
            pieces.push_back(std::move(p));
            break;
        }
        case Tok::Hex: {
            const bool compared = (k > begin && t_[k - 1].is(Tok::Op)) || (k + 1 < end && t_[k + 1].is(Tok::Op));
            if (compared && !t.text.empty() && t.text.size() <= 15)
                operand(std::to_string(std::stoll(t.text, nullptr, 16)), Piece::Num);
            else
                operand("X'" + (t.text.size() % 2 ? "0" + t.text : t.text) + "'");
            break;
        }
        case Tok::Variable:
            if (t.text.rfind("@@", 0) == 0)
                operand(variable(t));
            else
                throw SqlError(137, "Must declare the scalar variable \"" + t.text + "\".", 15).aborting();
            break;
        case Tok::Op: {
            Piece p;
            p.sql = t.text == "!<" ? ">=" : t.text == "!>" ? "<=" : t.text;
            p.kind = isCompareOp(t.text) ? Piece::Compare : isArithOp(t.text) ? Piece::Arith : Piece::Other;
            pieces.push_back(std::move(p));
            break;
        }
        case Tok::Comma:
            other(",", true);
            break;
        case Tok::Dot:
            other(".", true);
            break;
        case Tok::RParen:
        case Tok::Semicolon:
        case Tok::End:
            syntaxError(t);
        }
    }
    if (pieces.empty())
        syntaxError(t_[begin]);

    // Arithmetic chains by T-SQL's precedence (unary, then * / %, then + - & ^ | from the left),
    // through functions that convert, concatenate and fail as SQL Server does.
    std::vector<Piece> folded;
    for (std::size_t i = 0; i < pieces.size();) {
        const bool startsChain = pieces[i].kind == Piece::Operand ||
                                 (pieces[i].kind == Piece::Arith && (pieces[i].sql == "-" || pieces[i].sql == "+" || pieces[i].sql == "~") &&
                                  (folded.empty() || folded.back().kind != Piece::Operand));
        if (!startsChain) {
            folded.push_back(pieces[i++]);
            continue;
        }
        std::vector<Piece> operands;
        std::vector<std::string> ops;
        std::size_t j = i;
        bool complete = true;
        while (true) {
            std::vector<std::string> unary;
            while (j < pieces.size() && pieces[j].kind == Piece::Arith &&
                   (pieces[j].sql == "-" || pieces[j].sql == "+" || pieces[j].sql == "~"))
                unary.push_back(pieces[j++].sql);
            if (j >= pieces.size() || pieces[j].kind != Piece::Operand) {
                complete = false;
                break;
            }
            Piece v = pieces[j++];
            for (auto u = unary.rbegin(); u != unary.rend(); ++u) {
                if (*u == "+") continue;
                if (*u == "-" && v.what == Piece::Num && v.sql.front() != '-') {
                    v.sql = "-" + v.sql;
                    v.text = v.sql;
                    continue;
                }
                v.sql = (*u == "-" ? "ss_neg(" : "ss_bnot(") + v.sql + ")";
                v.what = Piece::Computed;
            }
            operands.push_back(std::move(v));
            if (j < pieces.size() && pieces[j].kind == Piece::Arith && pieces[j].sql != "~") {
                ops.push_back(pieces[j++].sql);
                continue;
            }
            break;
        }
        if (!complete) {
            if (j >= pieces.size() && ops.empty() && operands.empty()) {  // count(*) and the like
                folded.push_back(pieces[i++]);
                continue;
            }
            syntaxError(t_[end]);
        }
        if (ops.empty()) {
            folded.push_back(std::move(operands.front()));
            i = j;
            continue;
        }
        // * / % first, then the rest from the left.
        std::vector<std::string> terms{operands[0].sql};
        std::vector<std::string> lowOps;
        for (std::size_t n = 0; n < ops.size(); ++n) {
            if (ops[n] == "*" || ops[n] == "/" || ops[n] == "%") {
                terms.back() = binaryCall(ops[n], terms.back(), operands[n + 1].sql);
            } else {
                lowOps.push_back(ops[n]);
                terms.push_back(operands[n + 1].sql);
            }
        }
        std::string sql = terms[0];
        for (std::size_t n = 0; n < lowOps.size(); ++n)
            sql = binaryCall(lowOps[n], sql, terms[n + 1]);
        Piece p;
        p.kind = Piece::Operand;
        p.what = Piece::Computed;
        p.sql = sql;
        folded.push_back(std::move(p));
        i = j;
    }

    // Comparisons whose operands SQLite would compare by storage class rather than convert.
    for (std::size_t i = 0; i + 2 < folded.size(); ++i) {
        Piece &l = folded[i], &op = folded[i + 1], &r = folded[i + 2];
        if (l.kind != Piece::Operand || op.kind != Piece::Compare || r.kind != Piece::Operand)
            continue;
        auto columnAgainstLiteral = [&](Piece &col, Piece &lit) {
            const std::string decl = columnDecl(col.qualifier, col.column);
            if (auto converted = literalForColumn(decl, lit)) {
                lit.sql = *converted;
                return true;
            }
            return false;
        };
        bool viaCompare = false;
        if (l.what == Piece::Column && r.what == Piece::Str) {
            columnAgainstLiteral(l, r);
        } else if (r.what == Piece::Column && l.what == Piece::Str) {
            columnAgainstLiteral(r, l);
        } else if ((l.what == Piece::Column && r.what == Piece::Num) || (r.what == Piece::Column && l.what == Piece::Num)) {
            // A character column against a number converts each value to the number's type.
            const Piece &col = l.what == Piece::Column ? l : r;
            viaCompare = textualDecl(columnDecl(col.qualifier, col.column));
        } else if ((l.what == Piece::Str) != (r.what == Piece::Str) &&
                   (l.what == Piece::Str ? r.what : l.what) != Piece::Column &&
                   (l.what == Piece::Str ? r.what : l.what) != Piece::Plain) {
            viaCompare = true;  // a string against a number or a computed value
        }
        if (viaCompare) {
            Piece p;
            p.kind = Piece::Operand;
            p.what = Piece::Computed;
            p.sql = "ss_cmp(" + l.sql + ", " + r.sql + ") " + op.sql + " 0";
            folded[i] = std::move(p);
            folded.erase(folded.begin() + static_cast<std::ptrdiff_t>(i) + 1, folded.begin() + static_cast<std::ptrdiff_t>(i) + 3);
        }
    }

    std::string out;
    for (const Piece &p : folded) {
        if (!out.empty() && !p.glue && out.back() != '(' && out.back() != '.')
            out += ' ';
        out += p.sql;
    }
    return out;
}

}  // namespace sqlsim
