#include "sim/engine/constraints/CheckText.h"

#include "sim/engine/core/Internal.h"
#include "sim/engine/types/AliasTypes.h"

#include <algorithm>

namespace sqlsim {

namespace {

struct Node {
    enum Kind { Leaf, Func, Neg, BitNot, Arith, Compare, Like, IsNull, Not, And, Or, Case } kind = Leaf;
    std::string text;  // a leaf as printed, an operator, a function's name
    std::vector<Node> kids;
    bool constant = false;  // a number or binary constant: printed in parentheses
    bool negated = false;   // IS NOT NULL
    bool caseOperand = false;  // CASE x WHEN ...: kids[0] is x
    bool caseElse = false;     // the last kid is the ELSE value
};

Node make(Node::Kind kind, std::string text, std::vector<Node> kids)
{
    Node n;
    n.kind = kind;
    n.text = std::move(text);
    n.kids = std::move(kids);
    return n;
}

SqlError subquery()
{
    return SqlError(1046, "Subqueries are not allowed in this context. Only scalar expressions are allowed.", 15);
}

// SQL Server writes a date part by its full name.
std::string datePart(const std::string &word)
{
    static const std::pair<const char *, const char *> names[] = {
        {"yy", "year"}, {"yyyy", "year"}, {"qq", "quarter"}, {"q", "quarter"}, {"mm", "month"}, {"m", "month"},
        {"dy", "dayofyear"}, {"y", "dayofyear"}, {"dd", "day"}, {"d", "day"}, {"wk", "week"}, {"ww", "week"},
        {"dw", "weekday"}, {"w", "weekday"}, {"hh", "hour"}, {"mi", "minute"}, {"n", "minute"}, {"ss", "second"},
        {"s", "second"}, {"ms", "millisecond"}, {"mcs", "microsecond"}, {"ns", "nanosecond"}};
    const std::string w = lower(word);
    for (const auto &[abbr, full] : names)
        if (w == abbr) return full;
    return w;
}

bool condition(const Node &n)
{
    switch (n.kind) {
    case Node::Compare: case Node::Like: case Node::IsNull: return true;
    case Node::Not: return condition(n.kids[0]);
    case Node::And: case Node::Or: return condition(n.kids[0]) && condition(n.kids[1]);
    default: return false;
    }
}

class Parser {
public:
    Parser(const std::vector<Token> &t, const std::vector<std::string> &columns) : t_(t), columns_(columns) {}

    Node parse()
    {
        Node n = orExpr();
        if (!peek().is(Tok::End)) syntaxError(peek());
        if (!condition(n))
            throw SqlError(4145, "An expression of non-boolean type specified in a context where a condition is "
                                 "expected, near ')'.", 15);
        return n;
    }
    std::vector<std::string> used, functions;

private:
    const Token &peek(std::size_t k = 0) const { return t_[std::min(i_ + k, t_.size() - 1)]; }
    void expect(Tok kind)
    {
        if (!peek().is(kind)) syntaxError(peek());
        ++i_;
    }
    void expectWord(const char *word)
    {
        if (!peek().kw(word)) syntaxError(peek());
        ++i_;
    }

    Node orExpr()
    {
        Node l = andExpr();
        while (peek().kw("or")) {
            ++i_;
            l = make(Node::Or, "", {l, andExpr()});
        }
        return l;
    }
    Node andExpr()
    {
        Node l = notExpr();
        while (peek().kw("and")) {
            ++i_;
            l = make(Node::And, "", {l, notExpr()});
        }
        return l;
    }
    Node notExpr()
    {
        if (peek().kw("not")) {
            ++i_;
            return make(Node::Not, "", {notExpr()});
        }
        return predicate();
    }
    static Node compare(const char *op, const Node &a, const Node &b) { return make(Node::Compare, op, {a, b}); }

    Node predicate()
    {
        if (peek().kw("exists")) throw subquery();
        Node l = additive();
        bool negate = false;
        if (peek().kw("not") && (peek(1).kw("like") || peek(1).kw("in") || peek(1).kw("between"))) {
            negate = true;
            ++i_;
        }
        const Token &t = peek();
        if (t.is(Tok::Op) && (t.text == "=" || t.text == "<>" || t.text == "!=" || t.text == "<" || t.text == ">" ||
                              t.text == "<=" || t.text == ">=" || t.text == "!<" || t.text == "!>")) {
            const std::string op = t.text == "!=" ? "<>" : t.text == "!<" ? ">=" : t.text == "!>" ? "<=" : t.text;
            ++i_;
            if (peek().kw("all") || peek().kw("any") || peek().kw("some")) throw subquery();
            return make(Node::Compare, op, {l, additive()});
        }
        if (t.kw("like")) {
            ++i_;
            Node n = make(Node::Like, "", {l, additive()});
            if (peek().kw("escape")) {
                ++i_;
                n.kids.push_back(additive());
            }
            return negate ? make(Node::Not, "", {n}) : n;
        }
        if (t.kw("between")) {
            ++i_;
            Node low = additive();
            expectWord("and");
            Node high = additive();
            return negate ? make(Node::Or, "", {compare("<", l, low), compare(">", l, high)})
                          : make(Node::And, "", {compare(">=", l, low), compare("<=", l, high)});
        }
        if (t.kw("in")) {
            ++i_;
            expect(Tok::LParen);
            if (peek().kw("select")) throw subquery();
            std::vector<Node> items{additive()};
            while (peek().is(Tok::Comma)) {
                ++i_;
                items.push_back(additive());
            }
            expect(Tok::RParen);
            // SQL Server lists the values last first.
            Node acc = compare(negate ? "<>" : "=", l, items.back());
            for (std::size_t k = items.size() - 1; k-- > 0;)
                acc = make(negate ? Node::And : Node::Or, "", {acc, compare(negate ? "<>" : "=", l, items[k])});
            return acc;
        }
        if (negate) syntaxError(peek());
        if (t.kw("is")) {
            ++i_;
            Node n = make(Node::IsNull, "", {l});
            if (peek().kw("not")) {
                n.negated = true;
                ++i_;
            }
            expectWord("null");
            return n;
        }
        return l;
    }

    Node additive()
    {
        Node l = multiplicative();
        while (peek().is(Tok::Op) && (peek().text == "+" || peek().text == "-" || peek().text == "&" ||
                                      peek().text == "^" || peek().text == "|")) {
            const std::string op = peek().text;
            ++i_;
            l = make(Node::Arith, op, {l, multiplicative()});
        }
        return l;
    }
    Node multiplicative()
    {
        Node l = unary();
        while (peek().op("*") || peek().op("/") || peek().op("%")) {
            const std::string op = peek().text;
            ++i_;
            l = make(Node::Arith, op, {l, unary()});
        }
        return l;
    }
    Node unary()
    {
        if (peek().op("-") || peek().op("+") || peek().op("~")) {
            const std::string op = peek().text;
            ++i_;
            Node v = unary();
            if (op == "+") return v;
            if (op == "-" && v.constant && v.text.front() != '-' && v.text.rfind("0x", 0) != 0) {
                v.text = "-" + v.text;
                return v;
            }
            return make(op == "-" ? Node::Neg : Node::BitNot, op, {v});
        }
        return primary();
    }

    Node leaf(std::string text, bool constant = false)
    {
        ++i_;
        Node n = make(Node::Leaf, std::move(text), {});
        n.constant = constant;
        return n;
    }

    Node primary()
    {
        const Token &t = peek();
        switch (t.kind) {
        case Tok::Number: return leaf(t.text, true);
        case Tok::String: return leaf("'" + quoteString(t.text) + "'");
        case Tok::NString: return leaf("N'" + quoteString(t.text) + "'");
        case Tok::Hex: return leaf("0x" + t.text, true);
        case Tok::Variable:
            if (t.text.rfind("@@", 0) == 0) notSupported("A system variable in a check constraint");
            throw SqlError(137, "Must declare the scalar variable \"" + t.text + "\".", 15);
        case Tok::LParen: {
            ++i_;
            if (peek().kw("select")) throw subquery();
            Node n = orExpr();
            expect(Tok::RParen);
            return n;
        }
        case Tok::Ident:
        case Tok::Quoted: break;
        default: syntaxError(t);
        }
        if (t.is(Tok::Ident) && t.kw("null")) return leaf("NULL");
        if (t.is(Tok::Ident) && t.kw("case")) return caseExpr();
        if (t.is(Tok::Ident) && (t.kw("current_timestamp"))) {
            functions.push_back("getdate");
            return leaf("getdate()");
        }
        if (peek(1).is(Tok::Dot)) {
            if (peek(3).is(Tok::LParen)) notSupported("A user-defined function in a check constraint");
            notSupported("A qualified column name in a check constraint");
        }
        if (t.is(Tok::Ident) && peek(1).is(Tok::LParen)) return call();
        for (const std::string &c : columns_) {
            if (!iequals(c, t.text)) continue;
            if (std::find(used.begin(), used.end(), c) == used.end()) used.push_back(c);
            return leaf("[" + c + "]");
        }
        throw SqlError(207, "Invalid column name '" + t.text + "'.", 16);
    }

    // type[(n[,s])] of CAST and CONVERT, as SQL Server prints it: [varchar](10).
    std::string typeName()
    {
        if (!peek().isName()) syntaxError(peek());
        // DROP TYPE does not look into checks, so none may convert to an alias type.
        if (peek(1).is(Tok::Dot) || (!findSystemType(lower(peek().text)) && findAliasType(peek().text)))
            notSupported("CAST or CONVERT to an alias type in a CHECK constraint");
        std::string type = "[" + lower(peek().text) + "]";
        ++i_;
        if (peek().is(Tok::LParen)) {
            ++i_;
            type += "(";
            while (!peek().is(Tok::RParen)) {
                if (peek().is(Tok::Comma)) type += ",";
                else if (peek().is(Tok::Number) || peek().kw("max")) type += lower(peek().text);
                else syntaxError(peek());
                ++i_;
            }
            ++i_;
            type += ")";
        }
        return type;
    }

    Node call()
    {
        const std::string name = lower(peek().text);
        i_ += 2;
        Node n = make(Node::Func, name, {});
        if (name == "cast") {
            Node value = additive();
            expectWord("as");
            n.text = "CONVERT";
            n.kids = {make(Node::Leaf, typeName(), {}), value};
        } else if (name == "convert") {
            n.text = "CONVERT";
            n.kids.push_back(make(Node::Leaf, typeName(), {}));
            while (peek().is(Tok::Comma)) {
                ++i_;
                n.kids.push_back(additive());
            }
        } else if (name == "iif") {
            // SQL Server keeps IIF as the CASE it stands for.
            Node cond = orExpr();
            expect(Tok::Comma);
            Node a = additive();
            expect(Tok::Comma);
            Node b = additive();
            expect(Tok::RParen);
            Node c = make(Node::Case, "", {cond, a, b});
            c.caseElse = true;
            return c;
        } else {
            functions.push_back(name);
            const bool part = name == "dateadd" || name == "datediff" || name == "datediff_big" ||
                              name == "datepart" || name == "datename" || name == "datetrunc";
            if (!peek().is(Tok::RParen)) {
                if (part && peek().is(Tok::Ident)) {
                    n.kids.push_back(make(Node::Leaf, datePart(peek().text), {}));
                    ++i_;
                } else {
                    n.kids.push_back(additive());
                }
                while (peek().is(Tok::Comma)) {
                    ++i_;
                    n.kids.push_back(additive());
                }
            }
        }
        expect(Tok::RParen);
        return n;
    }

    Node caseExpr()
    {
        ++i_;
        Node n = make(Node::Case, "", {});
        if (!peek().kw("when")) {
            n.caseOperand = true;
            n.kids.push_back(additive());
        }
        while (peek().kw("when")) {
            ++i_;
            n.kids.push_back(n.caseOperand ? additive() : orExpr());
            expectWord("then");
            n.kids.push_back(additive());
        }
        if (n.kids.size() < 2 + (n.caseOperand ? 1u : 0u)) syntaxError(peek());
        if (peek().kw("else")) {
            ++i_;
            n.kids.push_back(additive());
            n.caseElse = true;
        }
        expectWord("end");
        return n;
    }

    const std::vector<Token> &t_;
    const std::vector<std::string> &columns_;
    std::size_t i_ = 0;
};

std::string print(const Node &n);

std::string wrapped(const Node &n, bool wrap)
{
    return wrap ? "(" + print(n) + ")" : print(n);
}

std::string print(const Node &n)
{
    switch (n.kind) {
    case Node::Leaf: return n.constant ? "(" + n.text + ")" : n.text;
    case Node::Func: {
        std::string out = n.text + "(";
        for (std::size_t k = 0; k < n.kids.size(); ++k) out += (k ? "," : "") + print(n.kids[k]);
        return out + ")";
    }
    case Node::Neg:
    case Node::BitNot: return n.text + wrapped(n.kids[0], n.kids[0].kind == Node::Arith);
    // An operand that is itself an operation keeps parentheses, as SQL Server prints it.
    case Node::Arith:
        return wrapped(n.kids[0], n.kids[0].kind == Node::Arith) + n.text + wrapped(n.kids[1], n.kids[1].kind == Node::Arith);
    case Node::Compare: return print(n.kids[0]) + n.text + print(n.kids[1]);
    case Node::Like:
        return print(n.kids[0]) + " like " + print(n.kids[1]) + (n.kids.size() > 2 ? " escape " + print(n.kids[2]) : "");
    case Node::IsNull: return print(n.kids[0]) + (n.negated ? " IS NOT NULL" : " IS NULL");
    case Node::Not:
        return "NOT " + wrapped(n.kids[0], n.kids[0].kind == Node::And || n.kids[0].kind == Node::Or);
    case Node::And:
        return wrapped(n.kids[0], n.kids[0].kind == Node::Or) + " AND " +
               wrapped(n.kids[1], n.kids[1].kind == Node::Or || n.kids[1].kind == Node::And);
    case Node::Or: return print(n.kids[0]) + " OR " + wrapped(n.kids[1], n.kids[1].kind == Node::Or);
    case Node::Case: {
        std::string out = "case";
        std::size_t k = 0;
        if (n.caseOperand) out += " " + print(n.kids[k++]);
        const std::size_t pairsEnd = n.kids.size() - (n.caseElse ? 1 : 0);
        for (; k + 1 < pairsEnd; k += 2)
            out += " when " + print(n.kids[k]) + " then " + print(n.kids[k + 1]);
        if (n.caseElse) out += " else " + print(n.kids.back());
        return out + " end";
    }
    }
    return {};
}

}  // namespace

CheckText normaliseCheck(const std::vector<Token> &tokens, const std::vector<std::string> &tableColumns)
{
    Parser p(tokens, tableColumns);
    const Node root = p.parse();
    return {"(" + print(root) + ")", p.used, p.functions};
}

}  // namespace sqlsim
