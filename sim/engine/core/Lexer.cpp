#include "sim/engine/core/Lexer.h"

#include <algorithm>
#include <cctype>

namespace sqlsim {

std::string lower(std::string_view s)
{
    std::string out(s);
    for (char &c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool iequals(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string quoteString(std::string_view s)
{
    std::string out;
    for (char c : s) {
        out += c;
        if (c == '\'')
            out += '\'';
    }
    return out;
}

bool Token::kw(std::string_view word) const
{
    return kind == Tok::Ident && iequals(text, word);
}

namespace {

bool identStart(unsigned char c)
{
    return std::isalpha(c) || c == '_' || c == '#' || c >= 0x80;
}

bool identPart(unsigned char c)
{
    return std::isalnum(c) || c == '_' || c == '#' || c == '@' || c == '$' || c >= 0x80;
}

std::string excerpt(std::string_view sql, std::size_t from)
{
    return std::string(sql.substr(from));
}

}  // namespace

std::vector<Token> tokenize(std::string_view sql)
{
    std::vector<Token> out;
    std::size_t i = 0;
    const std::size_t n = sql.size();
    int line = 1;
    auto at = [&](std::size_t k) -> unsigned char { return k < n ? static_cast<unsigned char>(sql[k]) : 0; };
    auto push = [&](Tok kind, std::string text, std::size_t b, std::size_t e, int ln) {
        out.push_back(Token{kind, std::move(text), b, e, ln});
    };
    while (i < n) {
        const unsigned char c = at(i);
        if (c == '\n') { ++line; ++i; continue; }
        if (std::isspace(c)) { ++i; continue; }
        if (c == '-' && at(i + 1) == '-') {
            while (i < n && sql[i] != '\n') ++i;
            continue;
        }
        if (c == '/' && at(i + 1) == '*') {
            int depth = 0;
            const int startLine = line;
            while (i < n) {
                if (at(i) == '/' && at(i + 1) == '*') { ++depth; i += 2; continue; }
                if (at(i) == '*' && at(i + 1) == '/') { --depth; i += 2; if (depth == 0) break; continue; }
                if (at(i) == '\n') ++line;
                ++i;
            }
            if (depth != 0)
                throw SqlError(113, "Missing end comment mark '*/'.", 15, startLine);
            continue;
        }
        const std::size_t b = i;
        const int ln = line;
        const bool nstring = (c == 'N' || c == 'n') && at(i + 1) == '\'';
        if (c == '\'' || nstring) {
            if (nstring) ++i;
            ++i;
            std::string value;
            bool closed = false;
            while (i < n) {
                if (sql[i] == '\'') {
                    if (at(i + 1) == '\'') { value += '\''; i += 2; continue; }
                    ++i; closed = true; break;
                }
                if (sql[i] == '\n') ++line;
                value += sql[i++];
            }
            if (!closed)
                throw SqlError(105, "Unclosed quotation mark after the character string '" + value + "'.", 15, ln);
            push(nstring ? Tok::NString : Tok::String, std::move(value), b, i, ln);
            continue;
        }
        if (c == '[' || c == '"') {
            const char close = c == '[' ? ']' : '"';
            ++i;
            std::string value;
            bool closed = false;
            while (i < n) {
                if (sql[i] == close) {
                    if (at(i + 1) == static_cast<unsigned char>(close)) { value += close; i += 2; continue; }
                    ++i; closed = true; break;
                }
                if (sql[i] == '\n') ++line;
                value += sql[i++];
            }
            if (!closed)
                throw SqlError(105, "Unclosed quotation mark after the character string '" + value + "'.", 15, ln);
            push(Tok::Quoted, std::move(value), b, i, ln);
            continue;
        }
        if (c == '0' && (at(i + 1) == 'x' || at(i + 1) == 'X')) {
            i += 2;
            while (std::isxdigit(at(i))) ++i;
            push(Tok::Hex, std::string(sql.substr(b + 2, i - b - 2)), b, i, ln);
            continue;
        }
        if (std::isdigit(c) || (c == '.' && std::isdigit(at(i + 1)))) {
            while (std::isdigit(at(i))) ++i;
            if (at(i) == '.') { ++i; while (std::isdigit(at(i))) ++i; }
            if ((at(i) == 'e' || at(i) == 'E') &&
                (std::isdigit(at(i + 1)) || ((at(i + 1) == '+' || at(i + 1) == '-') && std::isdigit(at(i + 2))))) {
                i += 2;
                while (std::isdigit(at(i))) ++i;
            }
            push(Tok::Number, std::string(sql.substr(b, i - b)), b, i, ln);
            continue;
        }
        if (c == '@') {
            ++i;
            if (at(i) == '@') ++i;
            while (i < n && identPart(at(i))) ++i;
            push(Tok::Variable, std::string(sql.substr(b, i - b)), b, i, ln);
            continue;
        }
        if (identStart(c)) {
            while (i < n && identPart(at(i))) ++i;
            push(Tok::Ident, std::string(sql.substr(b, i - b)), b, i, ln);
            continue;
        }
        switch (c) {
        case ',': push(Tok::Comma, ",", b, ++i, ln); continue;
        case '(': push(Tok::LParen, "(", b, ++i, ln); continue;
        case ')': push(Tok::RParen, ")", b, ++i, ln); continue;
        case '.': push(Tok::Dot, ".", b, ++i, ln); continue;
        case ';': push(Tok::Semicolon, ";", b, ++i, ln); continue;
        default: break;
        }
        static const char *twoChar[] = {"<>", "!=", "<=", ">=", "!<", "!>"};
        bool matched = false;
        for (const char *op : twoChar) {
            if (sql.substr(i, 2) == op) {
                push(Tok::Op, op, b, i + 2, ln);
                i += 2;
                matched = true;
                break;
            }
        }
        if (matched) continue;
        if (std::string_view("=<>+-*/%&|^~").find(static_cast<char>(c)) != std::string_view::npos) {
            push(Tok::Op, std::string(1, static_cast<char>(c)), b, i + 1, ln);
            ++i;
            continue;
        }
        throw SqlError(102, "Incorrect syntax near '" + excerpt(sql, i).substr(0, 1) + "'.", 15, ln);
    }
    out.push_back(Token{Tok::End, "", n, n, line});
    return out;
}

namespace {

const char *const starters[] = {
    "select", "insert", "update", "delete", "set", "use", "exec", "execute", "create", "alter",
    "drop", "declare", "backup", "restore", "reconfigure", "print", "if", "while", "begin",
    "commit", "rollback", "save", "dbcc", "grant", "revoke", "deny", "truncate", "waitfor",
    "raiserror", "return", "with", "checkpoint", "merge", "open", "fetch", "close", "deallocate", "goto",
    "break", "continue", "bulk", "kill", "shutdown", "readtext", "writetext", "updatetext", "setuser",
    "revert"};

bool isStarter(const Token &t)
{
    if (t.kind != Tok::Ident)
        return false;
    for (const char *s : starters)
        if (iequals(t.text, s))
            return true;
    return false;
}

// Whether the token at k may begin a new statement inside one whose first token is head.
bool splitsHere(const std::vector<Token> &tokens, std::size_t first, std::size_t k)
{
    const Token &head = tokens[first];
    const Token &t = tokens[k];
    const Token &prev = tokens[k - 1];
    if (prev.kw("on") && (t.kw("delete") || t.kw("update")))
        return false;  // ON DELETE / ON UPDATE of a foreign key
    if ((prev.kw("delete") || prev.kw("update")) && t.kw("set"))
        return false;  // ... SET NULL / SET DEFAULT
    if (prev.kw("for") || prev.kw("union") || prev.kw("all") ||
        prev.kw("except") || prev.kw("intersect") || prev.kw("as") || prev.kw("exists"))
        return false;
    if (head.kw("insert") && (t.kw("select") || t.kw("exec") || t.kw("execute") || t.kw("with")))
        return false;
    if (head.kw("merge"))
        return false;  // MERGE runs to its semicolon, which it must have
    if (head.kw("update") && t.kw("set") && !tokens[first + 1].kw("statistics"))
        return false;
    if (head.kw("alter") && (t.kw("drop") || t.kw("set") ||
                             (t.kw("alter") && k + 1 < tokens.size() && tokens[k + 1].kw("column"))))
        return false;
    if (head.kw("with") && (t.kw("select") || t.kw("insert") || t.kw("update") || t.kw("delete")))
        return false;
    // DROP <kind> IF EXISTS, ALTER TABLE ... DROP COLUMN|CONSTRAINT IF EXISTS
    if (t.kw("if") && tokens[k + 1].kw("exists"))
        for (const char *kind : {"table", "view", "procedure", "proc", "database", "function", "trigger", "type",
                                 "index", "column", "constraint", "schema", "synonym", "sequence", "default",
                                 "rule", "statistics"})
            if (prev.kw(kind))
                return false;
    if (t.kw("with") && !(k + 1 < tokens.size() && tokens[k + 1].isName() && k + 2 < tokens.size() &&
                          (tokens[k + 2].kw("as") || tokens[k + 2].is(Tok::LParen))))
        return false;
    if ((t.kw("begin") || t.kw("commit") || t.kw("rollback") || t.kw("save")) && head.kw("begin") &&
        k == first + 1)
        return false;
    return true;
}

bool runsToEnd(const std::vector<Token> &tokens, std::size_t first)
{
    const Token &head = tokens[first];
    if (!(head.kw("create") || head.kw("alter")))
        return false;
    const Token &what = tokens[first + 1];
    return what.kw("view") || what.kw("proc") || what.kw("procedure") || what.kw("function") ||
           what.kw("trigger");
}

}  // namespace

std::size_t Statement::end() const
{
    std::size_t k = 0;
    while (k < tokens.size() && !tokens[k].is(Tok::End)) ++k;
    return k;
}

namespace {

// BEGIN opens a block unless it begins a transaction, TRY/CATCH or a dialog.
bool opensBlock(const std::vector<Token> &tokens, std::size_t k)
{
    const Token &next = tokens[k + 1];
    return !(next.kw("tran") || next.kw("transaction") || next.kw("distributed") || next.kw("try") ||
             next.kw("catch") || next.kw("dialog") || next.kw("conversation"));
}

}  // namespace

std::vector<Statement> splitStatements(std::string_view sql, const std::vector<Token> &tokens)
{
    std::vector<Statement> out;
    std::size_t first = 0;
    int depth = 0;
    int cases = 0;  // open CASE expressions: their END and ELSE are not the batch's
    auto flush = [&](std::size_t endIdx) {
        if (endIdx > first) {
            Statement st;
            st.tokens.assign(tokens.begin() + static_cast<std::ptrdiff_t>(first),
                             tokens.begin() + static_cast<std::ptrdiff_t>(endIdx));
            // Several End tokens, so that looking a few tokens ahead never leaves the vector.
            for (int pad = 0; pad < 6; ++pad)
                st.tokens.push_back(Token{Tok::End, "", tokens[endIdx - 1].end, tokens[endIdx - 1].end,
                                          tokens[endIdx - 1].line});
            st.text = std::string(sql.substr(tokens[first].begin, tokens[endIdx - 1].end - tokens[first].begin));
            st.line = tokens[first].line;
            out.push_back(std::move(st));
        }
    };
    for (std::size_t k = 0; k < tokens.size(); ++k) {
        const Token &t = tokens[k];
        if (t.is(Tok::End)) {
            flush(k);
            break;
        }
        if (k == first && runsToEnd(tokens, first)) {
            // The body belongs to the statement, semicolons and all.
            std::size_t last = tokens.size() - 1;
            first = k;
            flush(last);
            return out;
        }
        if (t.is(Tok::LParen)) ++depth;
        if (t.is(Tok::RParen) && depth > 0) --depth;
        if (t.kw("case")) ++cases;
        if (t.is(Tok::Semicolon) && depth == 0) {
            flush(k);
            first = k + 1;
            continue;
        }
        // Control flow words stand alone: BEGIN and END of a block, ELSE. END TRY / END CATCH
        // stay one statement.
        const bool blockEnd = t.kw("end") && cases == 0 && depth == 0;
        if (t.kw("end") && cases > 0) --cases;
        if ((blockEnd && !(tokens[k + 1].kw("try") || tokens[k + 1].kw("catch"))) ||
            (t.kw("else") && cases == 0 && depth == 0) || (t.kw("begin") && depth == 0 && opensBlock(tokens, k))) {
            flush(k);
            first = k;
            flush(k + 1);
            first = k + 1;
            continue;
        }
        if (k > first && depth == 0 && isStarter(t) && splitsHere(tokens, first, k)) {
            flush(k);
            first = k;
            if (runsToEnd(tokens, first)) {
                flush(tokens.size() - 1);
                return out;
            }
        }
    }
    return out;
}

namespace {

// A line "GO", "GO n" or either with a trailing -- comment: how often the batch before it
// runs (0: not a GO line).
int goLine(std::string_view line)
{
    if (line.size() < 2 || !iequals(line.substr(0, 2), "go"))
        return 0;
    line.remove_prefix(2);
    if (const auto comment = line.find("--"); comment != std::string_view::npos)
        line = line.substr(0, comment);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.remove_suffix(1);
    if (line.empty())
        return 1;
    if (!std::isspace(static_cast<unsigned char>(line.front())))
        return 0;  // "gone", "go_table"
    while (std::isspace(static_cast<unsigned char>(line.front()))) line.remove_prefix(1);
    int count = 0;
    for (char c : line) {
        if (!std::isdigit(static_cast<unsigned char>(c)) || count > 100000)
            return 0;
        count = count * 10 + (c - '0');
    }
    return count;
}

}  // namespace

std::vector<std::string> splitScript(std::string_view script)
{
    if (script.starts_with("\xEF\xBB\xBF"))
        script.remove_prefix(3);  // a UTF-8 byte order mark, as editors save scripts
    std::vector<std::string> batches;
    std::string current;
    std::size_t pos = 0;
    auto isBlank = [](std::string_view s) {
        return std::all_of(s.begin(), s.end(), [](char c) { return std::isspace(static_cast<unsigned char>(c)); });
    };
    while (pos <= script.size()) {
        std::size_t nl = script.find('\n', pos);
        const bool last = nl == std::string_view::npos;
        std::string_view line = script.substr(pos, last ? std::string_view::npos : nl - pos);
        std::string_view trimmed = line;
        while (!trimmed.empty() && std::isspace(static_cast<unsigned char>(trimmed.front()))) trimmed.remove_prefix(1);
        while (!trimmed.empty() && std::isspace(static_cast<unsigned char>(trimmed.back()))) trimmed.remove_suffix(1);
        if (const int repeat = goLine(trimmed)) {
            if (!isBlank(current))
                batches.insert(batches.end(), static_cast<std::size_t>(repeat), current);
            current.clear();
        } else {
            current += line;
            if (!last) current += '\n';
        }
        if (last) break;
        pos = nl + 1;
    }
    if (!isBlank(current))
        batches.push_back(current);
    return batches;
}

}  // namespace sqlsim
