#include "sim/engine/modules/BodyScan.h"

#include <set>

namespace sqlsim {

namespace {

// Words that end a table source, so never an alias.
bool clauseWord(const Token &t)
{
    static const char *const words[] = {
        "where", "join", "inner", "left", "right", "full", "outer", "cross", "on", "group", "order", "having",
        "union", "except", "intersect", "with", "option", "for", "select", "set", "from", "into", "values",
        "output", "when", "then", "else", "end", "and", "or", "pivot", "unpivot", "apply", "return", "begin",
        "if", "while", "declare", "insert", "update", "delete", "exec", "execute", "print", "raiserror",
        "commit", "rollback", "open", "close", "fetch", "deallocate", "merge", "using", "not", "go", "as",
        "tablesample", "default"};
    if (!t.is(Tok::Ident)) return false;
    for (const char *w : words)
        if (t.kw(w)) return true;
    return false;
}

// Words after which a FROM clause's comma list cannot go on.
bool endsFromList(const std::vector<Token> &t, std::size_t k)
{
    static const char *const words[] = {
        "where", "group", "order", "having", "union", "except", "intersect", "option", "for", "select", "insert",
        "update", "delete", "exec", "execute", "set", "if", "begin", "end", "return", "declare", "while", "when",
        "then", "else", "print", "raiserror", "commit", "rollback", "values", "output", "into", "merge"};
    if (t[k].is(Tok::End) || t[k].is(Tok::Semicolon)) return true;
    if (t[k].kw("with")) return !t[k + 1].is(Tok::LParen);  // WITH (NOLOCK) is a hint
    for (const char *w : words)
        if (t[k].kw(w)) return true;
    return false;
}

std::size_t skipParens(const std::vector<Token> &t, std::size_t i)
{
    int depth = 0;
    for (; !t[i].is(Tok::End); ++i) {
        if (t[i].is(Tok::LParen)) ++depth;
        if (t[i].is(Tok::RParen) && --depth == 0) return i + 1;
    }
    return i;
}

}  // namespace

std::size_t bodyStart(const std::vector<Token> &t, std::size_t i)
{
    int depth = 0;
    for (; !t[i].is(Tok::End); ++i) {
        if (t[i].is(Tok::LParen)) ++depth;
        if (t[i].is(Tok::RParen)) --depth;
        if (depth == 0 && t[i].kw("as") && !(i > 0 && t[i - 1].is(Tok::Variable)))
            return i + 1;
    }
    return 0;
}

bool schemaBound(const std::vector<Token> &t, std::size_t from, std::size_t body)
{
    bool inWith = false;
    int depth = 0;
    for (std::size_t k = from; k < body; ++k) {
        if (t[k].is(Tok::LParen)) ++depth;
        if (t[k].is(Tok::RParen)) --depth;
        if (depth == 0 && t[k].kw("with")) inWith = true;
        if (inWith && depth == 0 && t[k].kw("schemabinding")) return true;
    }
    return false;
}

std::vector<BodyRef> scanBody(const Statement &st, std::size_t body)
{
    const auto &t = st.tokens;
    std::set<std::string> ctes, aliases;
    for (std::size_t k = body; !t[k].is(Tok::End); ++k) {
        const bool afterWith = k > 0 && (t[k - 1].kw("with") || t[k - 1].is(Tok::Comma));
        if (afterWith && t[k].isName()) {
            std::size_t n = k + 1;
            if (t[n].is(Tok::LParen)) n = skipParens(t, n);
            if (t[n].kw("as") && t[n + 1].is(Tok::LParen)) ctes.insert(lower(t[k].text));
        }
    }
    std::vector<BodyRef> refs;
    std::set<std::string> seen;
    // Reads [db.][schema.]name at i; false when no name is there.
    const auto readRef = [&](std::size_t &i, BodyRef &r) {
        if (!t[i].isName() || clauseWord(t[i])) return false;
        const std::size_t start = i;
        std::vector<std::string> parts{t[i].text};
        ++i;
        while (t[i].is(Tok::Dot)) {
            ++i;
            if (t[i].is(Tok::Dot)) { parts.push_back(""); continue; }
            if (!t[i].isName()) return false;
            parts.push_back(t[i].text);
            ++i;
        }
        if (parts.size() > 3) return false;  // another server
        r.name = parts.back();
        if (parts.size() >= 2) r.schema = parts[parts.size() - 2];
        if (parts.size() == 3) r.database = parts[0];
        r.written = st.text.substr(t[start].begin - t[0].begin, t[i - 1].end - t[start].begin);
        return true;
    };
    const auto add = [&](BodyRef r) {
        const std::string n = lower(r.name);
        if (n.empty() || n[0] == '#') return;
        if (r.schema.empty() && r.database.empty() && (ctes.count(n) || n == "inserted" || n == "deleted")) return;
        const std::string key = lower(r.database) + "." + lower(r.schema) + "." + n;
        for (BodyRef &old : refs)
            if (lower(old.database) + "." + lower(old.schema) + "." + lower(old.name) == key) {
                old.source = old.source || r.source;
                return;
            }
        if (seen.insert(key).second) refs.push_back(std::move(r));
    };
    // A source: name [(arguments)] [[AS] alias]
    const auto source = [&](std::size_t i) {
        BodyRef r;
        r.source = true;
        if (!readRef(i, r)) return;
        if (t[i].is(Tok::LParen)) {  // a table-valued function
            r.call = true;
            i = skipParens(t, i);
        }
        add(r);
        if (t[i].kw("as")) ++i;
        if (t[i].isName() && !clauseWord(t[i])) aliases.insert(lower(t[i].text));
    };
    std::vector<std::pair<std::size_t, bool>> targets;  // UPDATE/DELETE targets: may be aliases
    for (std::size_t k = body; !t[k].is(Tok::End); ++k) {
        const Token &w = t[k];
        if (w.kw("from") || w.kw("join") || w.kw("using")) {
            if (w.kw("from") && k > 0 && t[k - 1].kw("delete")) {
                targets.push_back({k + 1, false});
                continue;
            }
            source(k + 1);
            if (!w.kw("from")) continue;
            // The comma list goes on past joins and their ON conditions.
            int depth = 0;
            for (std::size_t j = k + 1; depth >= 0 && !(depth == 0 && endsFromList(t, j)); ++j) {
                if (t[j].is(Tok::LParen)) ++depth;
                if (t[j].is(Tok::RParen)) --depth;
                if (depth == 0 && t[j].is(Tok::Comma)) source(j + 1);
            }
        } else if (w.kw("update") && !t[k + 1].kw("statistics") && !t[k + 1].is(Tok::LParen)) {
            targets.push_back({k + 1, false});
        } else if (w.kw("delete") && !t[k + 1].kw("from")) {
            targets.push_back({k + 1, false});
        } else if ((w.kw("insert") || w.kw("merge")) && !t[k + 1].is(Tok::LParen)) {
            targets.push_back({t[k + 1].kw("into") ? k + 2 : k + 1, false});
        } else if (w.kw("exec") || w.kw("execute")) {
            std::size_t i = k + 1;
            if (t[i].is(Tok::Variable) && t[i + 1].op("=")) i += 2;
            targets.push_back({i, true});
        } else if (w.isName() && t[k + 1].is(Tok::Dot) && t[k + 2].isName() && t[k + 3].is(Tok::LParen) &&
                   !(k > 0 && (t[k - 1].is(Tok::Dot) || t[k - 1].kw("from") || t[k - 1].kw("join") ||
                               t[k - 1].kw("into") || t[k - 1].kw("update") || t[k - 1].kw("insert") ||
                               t[k - 1].kw("merge") || t[k - 1].kw("exec") || t[k - 1].kw("execute") ||
                               t[k - 1].kw("delete")))) {
            BodyRef r;
            r.schema = w.text;
            r.name = t[k + 2].text;
            r.call = true;
            r.written = w.text + "." + t[k + 2].text;
            if (!aliases.count(lower(w.text))) add(r);
        }
    }
    for (auto [i, exec] : targets) {
        BodyRef r;
        r.exec = exec;
        if (!readRef(i, r)) continue;
        if (!exec && r.schema.empty() && aliases.count(lower(r.name))) continue;
        add(r);
    }
    return refs;
}

}  // namespace sqlsim
