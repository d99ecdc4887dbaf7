#include "sim/engine/query/Translate.h"

#include "sim/engine/functions/SqlFunctions.h"
#include "sim/engine/query/Words.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>

// Expressions: operands, operators, CASE, functions and variables.

namespace sqlsim {

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
