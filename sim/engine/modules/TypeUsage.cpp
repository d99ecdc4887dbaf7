// Who still uses an alias type, for DROP TYPE: table columns, parameters and return types
// (sys.parameters), and what module bodies declare or convert to. Bodies are scanned, not parsed.
#include "sim/engine/modules/Modules.h"

#include <algorithm>

namespace sqlsim {

namespace {

// Words that start a statement: a declaration's initial value ends before one.
bool startsStatement(const Token &t)
{
    static const char *const words[] = {"select", "insert", "update", "delete", "merge", "set", "if", "while",
                                        "begin", "end", "return", "exec", "execute", "declare", "print",
                                        "raiserror", "throw", "fetch", "open", "close", "deallocate", "with",
                                        "goto", "waitfor", "truncate", "create", "drop", "alter", "commit",
                                        "rollback", "save", "else", "break", "continue"};
    return std::any_of(std::begin(words), std::end(words), [&](const char *w) { return t.kw(w); });
}

class TypeScan {
public:
    TypeScan(const std::vector<Token> &t, std::string_view name) : t_(t), name_(name) {}

    bool run()
    {
        std::vector<std::string> openers;  // the word before each open parenthesis
        for (std::size_t k = 0; !t_[k].is(Tok::End); ++k) {
            const Token &tok = t_[k];
            if (tok.is(Tok::LParen)) {
                openers.push_back(k > 0 && t_[k - 1].is(Tok::Ident) ? lower(t_[k - 1].text) : "");
                if ((openers.back() == "convert" || openers.back() == "try_convert") && typeAt(k + 1)) return true;
            } else if (tok.is(Tok::RParen)) {
                if (!openers.empty()) openers.pop_back();
            } else if (tok.kw("as") && !openers.empty() &&
                       (openers.back() == "cast" || openers.back() == "try_cast") && typeAt(k + 1)) {
                return true;
            } else if (tok.kw("declare") && declarations(k + 1)) {
                return true;
            } else if (tok.is(Tok::Variable)) {
                // RETURNS @t TABLE (...)
                std::size_t j = k + 1;
                if (t_[j].kw("as")) ++j;
                if (t_[j].kw("table") && t_[j + 1].is(Tok::LParen) && tableColumns(j + 1)) return true;
            }
        }
        return false;
    }

private:
    // [dbo.]name at k, and not the first part of a longer name.
    bool typeAt(std::size_t k) const
    {
        if (!t_[k].isName()) return false;
        if (t_[k + 1].is(Tok::Dot)) {
            if (!iequals(t_[k].text, "dbo")) return false;
            k += 2;
            if (!t_[k].isName()) return false;
        }
        return iequals(t_[k].text, name_) && !t_[k + 1].is(Tok::Dot);
    }

    // DECLARE @a [AS] type [= value], @t [AS] TABLE (...), ...
    bool declarations(std::size_t k) const
    {
        while (t_[k].is(Tok::Variable)) {
            ++k;
            if (t_[k].kw("as")) ++k;
            if (t_[k].kw("table") && t_[k + 1].is(Tok::LParen)) {
                if (tableColumns(k + 1)) return true;
            } else if (typeAt(k)) {
                return true;
            }
            // Past the rest of this declarator: a comma outside parentheses starts the next one.
            int depth = 0;
            for (++k; !t_[k].is(Tok::End); ++k) {
                if (t_[k].is(Tok::LParen)) ++depth;
                else if (t_[k].is(Tok::RParen) && --depth < 0) return false;
                else if (depth == 0 && (t_[k].is(Tok::Semicolon) || startsStatement(t_[k]))) return false;
                else if (depth == 0 && t_[k].is(Tok::Comma)) break;
            }
            if (t_[k].is(Tok::End)) return false;
            ++k;
        }
        return false;
    }

    // ( column type ..., CONSTRAINT|PRIMARY KEY|... ) opened at k.
    bool tableColumns(std::size_t k) const
    {
        int depth = 0;
        bool itemStart = true;
        for (; !t_[k].is(Tok::End); ++k) {
            if (t_[k].is(Tok::LParen) && ++depth == 1) continue;
            if (t_[k].is(Tok::RParen) && --depth == 0) return false;
            if (depth == 1 && t_[k].is(Tok::Comma)) {
                itemStart = true;
                continue;
            }
            if (depth == 1 && itemStart) {
                itemStart = false;
                // A computed column (name AS expression) has no type; a constraint no name.
                if (t_[k].isName() && !t_[k + 1].kw("as") && typeAt(k + 1)) return true;
            }
        }
        return false;
    }

    const std::vector<Token> &t_;
    std::string_view name_;
};

}  // namespace

bool moduleUsesType(const std::string &definition, std::string_view typeName)
{
    std::vector<Token> tokens;
    try {
        tokens = tokenize(definition);
    } catch (const SqlError &) {
        return true;  // a body sqlsim cannot read might use the type: refusing is the safer answer
    }
    if (tokens.empty() || !tokens.back().is(Tok::End)) tokens.push_back(Token{});
    return TypeScan(tokens, typeName).run();
}

std::optional<std::string> typeUsedBy(const Catalog &cat, std::int64_t xusertype, const std::string &typeName)
{
    const std::int64_t dbk = cat.database().dbk;
    // The earliest object that uses the type, whichever way it does.
    StoreStmt st(cat.store().raw(),
                 "SELECT o.id, o.name FROM cat_sysobjects o WHERE o.dbk = ?1 AND (o.id IN (SELECT id FROM "
                 "cat_syscolumns WHERE dbk = ?1 AND xusertype = ?2) OR o.id IN (SELECT object_id FROM cat_parameters "
                 "WHERE dbk = ?1 AND user_type_id = ?2)) ORDER BY o.id LIMIT 1");
    st.bind(1, dbk).bind(2, xusertype);
    std::optional<std::pair<std::int64_t, std::string>> first;
    if (st.step()) first.emplace(st.intAt(0), st.textAt(1));
    StoreStmt modules(cat.store().raw(), "SELECT o.id, o.name, m.definition FROM cat_sql_modules m JOIN "
                                         "cat_sysobjects o ON o.dbk = m.dbk AND o.id = m.object_id WHERE m.dbk = ? "
                                         "ORDER BY o.id");
    modules.bind(1, dbk);
    while (modules.step()) {
        if (first && modules.intAt(0) > first->first) break;
        if (moduleUsesType(modules.textAt(2), typeName)) {
            first.emplace(modules.intAt(0), modules.textAt(1));
            break;
        }
    }
    if (!first) return std::nullopt;
    return first->second;
}

}  // namespace sqlsim
