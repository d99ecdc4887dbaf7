#include "sim/engine/types/Types.h"
#include "sim/engine/catalog/Indexes.h"

#include "sim/engine/core/Internal.h"
#include "sim/engine/types/AliasTypes.h"

#include <algorithm>

namespace sqlsim {

const std::vector<SystemType> &systemTypes()
{
    // name, xtype, xusertype, length, xprec, xscale, prec, scale, sized, decimal, unicode, padded, variable
    static const std::vector<SystemType> types = {
        {"bigint", 127, 127, 8, 19, 0, 19, 0, false, false, false, false, false},
        {"binary", 173, 173, 8000, 0, 0, 8000, -1, true, false, false, true, false},
        {"bit", 104, 104, 1, 1, 0, 1, 0, false, false, false, false, false},
        {"char", 175, 175, 8000, 0, 0, 8000, -1, true, false, false, true, false},
        {"date", 40, 40, 3, 10, 0, 10, 0, false, false, false, false, false},
        {"datetime", 61, 61, 8, 23, 3, 23, 3, false, false, false, false, false},
        {"decimal", 106, 106, 17, 38, 38, 38, 38, false, true, false, false, false},
        {"float", 62, 62, 8, 53, 0, 53, -1, false, false, false, false, false},
        {"image", 34, 34, 16, 0, 0, 0, -1, false, false, false, false, false},
        {"int", 56, 56, 4, 10, 0, 10, 0, false, false, false, false, false},
        {"money", 60, 60, 8, 19, 4, 19, 4, false, false, false, false, false},
        {"nchar", 239, 239, 8000, 0, 0, 4000, -1, true, false, true, false, false},
        {"ntext", 99, 99, 16, 0, 0, 0, -1, false, false, true, false, false},
        {"numeric", 108, 108, 17, 38, 38, 38, 38, false, true, false, false, false},
        {"nvarchar", 231, 231, 8000, 0, 0, 4000, -1, true, false, true, false, true},
        {"real", 59, 59, 4, 24, 0, 24, -1, false, false, false, false, false},
        {"smalldatetime", 58, 58, 4, 16, 0, 16, 0, false, false, false, false, false},
        {"smallint", 52, 52, 2, 5, 0, 5, 0, false, false, false, false, false},
        {"smallmoney", 122, 122, 4, 10, 4, 10, 4, false, false, false, false, false},
        {"sql_variant", 98, 98, 8016, 0, 0, 0, -1, false, false, false, false, false},
        {"sysname", 231, 256, 256, 0, 0, 128, -1, false, false, true, false, true},
        {"text", 35, 35, 16, 0, 0, 0, -1, false, false, false, false, false},
        {"timestamp", 189, 189, 8, 0, 0, 8, -1, false, false, false, false, false},
        {"tinyint", 48, 48, 1, 3, 0, 3, 0, false, false, false, false, false},
        {"uniqueidentifier", 36, 36, 16, 0, 0, 16, -1, false, false, false, false, false},
        {"varbinary", 165, 165, 8000, 0, 0, 8000, -1, true, false, false, true, true},
        {"varchar", 167, 167, 8000, 0, 0, 8000, -1, true, false, false, true, true},
        {"xml", 241, 241, -1, 0, 0, -1, -1, false, false, true, false, false},
    };
    return types;
}

const SystemType *findSystemType(std::string_view name)
{
    for (const SystemType &t : systemTypes())
        if (iequals(t.name, name))
            return &t;
    return nullptr;
}

void seedSystemTypes(StoreConn &conn)
{
    StoreTxn txn(conn);
    for (const SystemType &t : systemTypes()) {
        const bool character = t.sized && !std::string_view(t.name).ends_with("binary");
        conn.run("INSERT INTO cat_systypes VALUES(?, ?, ?, ?, ?, ?, ?, 0, 0, 4, ?, ?, ?, ?, ?, ?, NULL, ?, ?, ?)",
                 {std::string(t.name), std::int64_t{t.xtype}, std::int64_t{t.variable ? 2 : 0},
                  std::int64_t{t.xusertype}, std::int64_t{t.length}, std::int64_t{t.xprec},
                  std::int64_t{t.xscale}, std::int64_t{0},
                  character || t.unicode ? Param{std::int64_t{872468488}} : Param{},
                  std::int64_t{t.xusertype < 256 ? t.xusertype : 19}, std::int64_t{t.variable ? 1 : 0},
                  std::int64_t{t.xusertype == 256 ? 0 : 1},  // sysname is NOT NULL
                  std::int64_t{t.xtype}, std::int64_t{t.prec},
                  t.scale < 0 ? Param{} : Param{std::int64_t{t.scale}},
                  character || t.unicode ? Param{std::string("SQL_Latin1_General_CP1_CI_AS")} : Param{}});
    }
    txn.commit();
}

void checkIdentifier(const std::string &name)
{
    std::size_t chars = 0;
    std::size_t cut = name.size();
    for (std::size_t k = 0; k < name.size(); ++k) {
        if ((static_cast<unsigned char>(name[k]) & 0xC0) != 0x80) {
            if (chars == 128) {
                cut = k;
                break;
            }
            ++chars;
        }
    }
    if (cut < name.size())
        throw SqlError(103, "The identifier that starts with '" + name.substr(0, cut) +
                                "' is too long. Maximum length is 128.", 15);
    if (name.empty())
        throw SqlError(1038, "An object or column name is missing or empty. For SELECT INTO statements, verify "
                             "each column has a name. For other statements, look for empty alias names. Aliases "
                             "defined as \"\" or [] are not allowed. Change the alias to a valid name.", 15);
}

ColumnShape readColumnType(const std::vector<Token> &t, std::size_t &i, int columnNumber, const std::string &columnName)
{
    if (!t[i].isName())
        syntaxError(t[i]);
    std::string typeName = t[i].text;
    // Schema-qualified system types (sys.int, dbo.sysname) name the same type.
    if (t[i + 1].is(Tok::Dot) && t[i + 2].isName()) {
        i += 2;
        typeName = t[i].text;
    }
    ++i;
    if (iequals(typeName, "double") && t[i].kw("precision")) {
        typeName = "float";
        ++i;
    }
    const std::string prefix = "Column, parameter, or variable #" + std::to_string(columnNumber) + ": ";
    const SystemType *type = findSystemType(typeName);
    if (auto alias = type ? std::nullopt : findAliasType(typeName))
        return *alias;
    if (!type)
        throw SqlError(2715, prefix + "Cannot find data type " + typeName + ".", 16);
    std::vector<std::string> args;
    if (t[i].is(Tok::LParen)) {
        ++i;
        while (true) {
            if (t[i].is(Tok::Number) || t[i].kw("max"))
                args.push_back(lower(t[i].text));
            else
                syntaxError(t[i]);
            ++i;
            if (t[i].is(Tok::Comma)) {
                ++i;
                continue;
            }
            if (!t[i].is(Tok::RParen))
                syntaxError(t[i]);
            ++i;
            break;
        }
    }
    ColumnShape s;
    s.type = type;
    const std::string name = type->name;
    if (name == "float" && !args.empty()) {
        const int n = std::atoi(args[0].c_str());
        if (n < 1 || n > 53)
            throw SqlError(2750, prefix + "Specified column precision " + args[0] +
                                     " is greater than the maximum precision of 53.", 16);
        if (n <= 24)
            s.type = type = findSystemType("real");
        args.clear();
    }
    if (type->sized) {
        if (args.size() > 1)
            syntaxError(t[i - 1]);
        int n = 1;
        if (!args.empty()) {
            if (args[0] == "max") {
                if (name == "char" || name == "nchar" || name == "binary")
                    throw SqlError(2716, prefix + "Cannot specify a column width on data type " + name + ".", 16);
                n = -1;
            } else {
                n = std::atoi(args[0].c_str());
                const int limit = type->unicode ? 4000 : 8000;
                if (n <= 0 || args[0].size() > 9 || n > limit)
                    throw SqlError(type->unicode ? 2717 : 131,
                                   type->unicode ? prefix + "Size (" + args[0] + ") given to the type '" + name +
                                                       "' exceeds the maximum allowed (4000)."
                                                 : "The size (" + args[0] + ") given to the column '" + columnName +
                                                       "' exceeds the maximum allowed for any data type (8000).",
                                   16);
            }
        }
        s.prec = n;
        s.length = n < 0 ? -1 : (type->unicode ? 2 * n : n);
        return s;
    }
    if (type->decimal) {
        if (args.size() > 2 || (!args.empty() && (args[0] == "max" || (args.size() == 2 && args[1] == "max"))))
            syntaxError(t[i - 1]);
        const int p = args.empty() ? 18 : std::atoi(args[0].c_str());
        const int sc = args.size() < 2 ? 0 : std::atoi(args[1].c_str());
        if (p < 1 || p > 38)
            throw SqlError(2750, prefix + "Specified column precision " + args[0] +
                                     " is greater than the maximum precision of 38.", 16);
        if (sc > p)
            throw SqlError(192, "The scale must be less than or equal to the precision.", 16);
        s.prec = s.xprec = p;
        s.scale = s.xscale = sc;
        s.length = p <= 9 ? 5 : p <= 19 ? 9 : p <= 28 ? 13 : 17;
        return s;
    }
    if (!args.empty())
        throw SqlError(2716, prefix + "Cannot specify a column width on data type " + name + ".", 16);
    s.length = type->length;
    s.prec = type->prec;
    s.xprec = type->xprec;
    s.xscale = type->xscale;
    if (type->scale >= 0)
        s.scale = type->scale;
    return s;
}

std::size_t skipExpression(const std::vector<Token> &t, std::size_t i)
{
    int depth = 0;
    for (; !t[i].is(Tok::End); ++i) {
        if (t[i].is(Tok::LParen)) ++depth;
        else if (t[i].is(Tok::RParen)) {
            if (depth == 0) break;
            --depth;
        } else if (depth == 0 && (t[i].is(Tok::Comma) || t[i].kw("constraint") || t[i].kw("primary") ||
                                  t[i].kw("references") || t[i].kw("not") || t[i].kw("null") ||
                                  t[i].kw("for") || t[i].kw("foreign") || t[i].kw("unique") ||
                                  t[i].kw("check") || t[i].kw("identity") || t[i].kw("with"))) {
            break;
        }
    }
    return i;
}

std::string normaliseDefault(const std::vector<Token> &t, std::size_t begin, std::size_t end)
{
    // Parentheses the author wrote around the whole expression are not kept.
    while (end - begin >= 2 && t[begin].is(Tok::LParen)) {
        int depth = 0;
        std::size_t close = begin;
        for (std::size_t k = begin; k < end; ++k) {
            if (t[k].is(Tok::LParen)) ++depth;
            if (t[k].is(Tok::RParen) && --depth == 0) {
                close = k;
                break;
            }
        }
        if (close != end - 1)
            break;
        ++begin;
        --end;
    }
    if (begin >= end)
        syntaxError(t[begin]);
    std::size_t k = begin;
    std::string sign;
    if (t[k].op("-") || t[k].op("+")) {
        sign = t[k].text == "-" ? "-" : "";
        ++k;
    }
    if (k + 1 == end && t[k].is(Tok::Number))
        return "((" + sign + t[k].text + "))";
    if (sign.empty() && k + 1 == end) {
        if (t[k].is(Tok::String)) return "('" + quoteString(t[k].text) + "')";
        if (t[k].is(Tok::NString)) return "(N'" + quoteString(t[k].text) + "')";
        if (t[k].kw("null")) return "(NULL)";
        if (t[k].is(Tok::Hex)) return "(0x" + t[k].text + ")";
        if (t[k].kw("current_timestamp")) return "(getdate())";
    }
    if (sign.empty() && k + 3 == end && t[k].is(Tok::Ident) && t[k + 1].is(Tok::LParen) && t[k + 2].is(Tok::RParen))
        return "(" + lower(t[k].text) + "())";
    // Anything else keeps the author's spelling inside one pair of parentheses.
    std::string text;
    for (std::size_t j = begin; j < end; ++j) {
        if (!text.empty() && !t[j].is(Tok::RParen) && !t[j].is(Tok::Comma) && !t[j - 1].is(Tok::LParen))
            text += ' ';
        if (t[j].is(Tok::String)) text += "'" + quoteString(t[j].text) + "'";
        else if (t[j].is(Tok::NString)) text += "N'" + quoteString(t[j].text) + "'";
        else if (t[j].is(Tok::Quoted)) text += "[" + t[j].text + "]";
        else if (t[j].is(Tok::Hex)) text += "0x" + t[j].text;
        else text += t[j].text;
    }
    return "(" + text + ")";
}

std::vector<std::string> readNameList(const std::vector<Token> &t, std::size_t &i)
{
    if (!t[i].is(Tok::LParen))
        syntaxError(t[i]);
    ++i;
    std::vector<std::string> names;
    while (true) {
        names.push_back(readName(t, i));
        if (t[i].kw("asc") || t[i].kw("desc"))
            ++i;
        if (t[i].is(Tok::Comma)) {
            ++i;
            continue;
        }
        if (!t[i].is(Tok::RParen))
            syntaxError(t[i]);
        ++i;
        return names;
    }
}

ForeignKeySpec readReferences(const std::vector<Token> &t, std::size_t &i)
{
    // REFERENCES [schema.]table [(cols)] [ON DELETE|UPDATE action]...
    ++i;
    ForeignKeySpec fk;
    fk.refTable = readName(t, i);
    while (t[i].is(Tok::Dot)) {
        ++i;
        fk.refTable = readName(t, i);
    }
    if (t[i].is(Tok::LParen))
        fk.refColumns = readNameList(t, i);
    while (t[i].kw("on") && (t[i + 1].kw("delete") || t[i + 1].kw("update"))) {
        int &action = t[i + 1].kw("delete") ? fk.onDelete : fk.onUpdate;
        i += 2;
        if (t[i].kw("no") && t[i + 1].kw("action")) { action = 0; i += 2; }
        else if (t[i].kw("cascade")) { action = 1; ++i; }
        else if (t[i].kw("set") && (t[i + 1].kw("null") || t[i + 1].kw("default"))) { action = t[i + 1].kw("null") ? 2 : 3; i += 2; }
        else syntaxError(t[i]);
    }
    if (t[i].kw("not") && t[i + 1].kw("for") && t[i + 2].kw("replication")) {
        fk.notForReplication = true;
        i += 3;
    }
    return fk;
}

CheckSpec readCheck(const std::vector<Token> &t, std::size_t &i, const std::string &name)
{
    CheckSpec c;
    c.name = name;
    ++i;
    if (t[i].kw("not") && t[i + 1].kw("for") && t[i + 2].kw("replication")) {
        c.notForReplication = true;
        i += 3;
    }
    if (!t[i].is(Tok::LParen)) syntaxError(t[i]);
    const std::size_t open = i++;
    for (int depth = 1; depth > 0; ++i) {
        if (t[i].is(Tok::End)) syntaxError(t[i]);
        if (t[i].is(Tok::LParen)) ++depth;
        if (t[i].is(Tok::RParen)) --depth;
    }
    if (i == open + 2) syntaxError(t[open + 1]);
    c.condition.assign(t.begin() + static_cast<std::ptrdiff_t>(open + 1), t.begin() + static_cast<std::ptrdiff_t>(i - 1));
    c.condition.push_back(t[i - 1]);
    c.condition.back().kind = Tok::End;
    return c;
}

ColumnSpec readColumnSpec(const std::vector<Token> &t, std::size_t &i, int columnNumber)
{
    ColumnSpec c;
    c.name = readName(t, i);
    checkIdentifier(c.name);
    if (t[i].kw("as"))
        notSupported("A computed column");
    c.shape = readColumnType(t, i, columnNumber, c.name);
    std::string constraintName;
    while (!t[i].is(Tok::End) && !t[i].is(Tok::Comma) && !t[i].is(Tok::RParen)) {
        if (t[i].kw("identity")) {
            ++i;
            c.identity = true;
            if (t[i].is(Tok::LParen)) {
                auto num = [&](std::size_t &k) {
                    bool neg = false;
                    if (t[k].op("-")) { neg = true; ++k; }
                    if (!t[k].is(Tok::Number)) syntaxError(t[k]);
                    const std::int64_t v = std::stoll(t[k].text);
                    ++k;
                    return neg ? -v : v;
                };
                ++i;
                c.seed = num(i);
                if (!t[i].is(Tok::Comma)) syntaxError(t[i]);
                ++i;
                c.increment = num(i);
                if (!t[i].is(Tok::RParen)) syntaxError(t[i]);
                ++i;
            }
            const std::string tn = c.shape.type->name;
            const bool integral = tn == "int" || tn == "bigint" || tn == "smallint" || tn == "tinyint" ||
                                  (c.shape.type->decimal && c.shape.scale.value_or(0) == 0);
            if (!integral)
                throw SqlError(2749, "Identity column '" + c.name + "' must be of data type int, bigint, smallint, "
                                     "tinyint, or decimal or numeric with a scale of 0, and constrained to be "
                                     "nonnullable.", 16);
        } else if (t[i].kw("not") && t[i + 1].kw("null")) {
            c.nullable = false;
            i += 2;
        } else if (t[i].kw("null")) {
            c.nullable = true;
            ++i;
        } else if (t[i].kw("collate")) {
            i += 2;
        } else if (t[i].kw("constraint")) {
            ++i;
            constraintName = readName(t, i);
            checkIdentifier(constraintName);
            continue;
        } else if (t[i].kw("default")) {
            const std::size_t b = ++i;
            i = skipExpression(t, i);
            if (i == b)
                syntaxError(t[i]);
            c.defaultText = normaliseDefault(t, b, i);
            c.defaultName = constraintName;
        } else if (t[i].kw("with") && t[i + 1].kw("values")) {
            c.withValues = true;
            i += 2;
        } else if (t[i].kw("primary") && t[i + 1].kw("key")) {
            i += 2;
            PrimaryKeySpec pk;
            pk.name = constraintName;
            pk.columns = {c.name};
            if (t[i].kw("clustered") || t[i].kw("nonclustered")) {
                pk.clustered = t[i].kw("clustered");
                pk.clusterWritten = true;
                ++i;
            }
            readStorage(t, i, &pk.options, false);
            c.primaryKey = pk;
        } else if (t[i].kw("unique")) {
            ++i;
            PrimaryKeySpec uq;
            uq.name = constraintName;
            uq.columns = {c.name};
            uq.unique = true;
            uq.clustered = false;
            if (t[i].kw("clustered") || t[i].kw("nonclustered")) {
                uq.clustered = t[i].kw("clustered");
                uq.clusterWritten = true;
                ++i;
            }
            readStorage(t, i, &uq.options, false);
            c.uniqueKey = uq;
        } else if (t[i].kw("references") || (t[i].kw("foreign") && t[i + 1].kw("key") && t[i + 2].kw("references"))) {
            if (t[i].kw("foreign")) i += 2;
            ForeignKeySpec fk = readReferences(t, i);
            fk.name = constraintName;
            fk.columns = {c.name};
            c.foreignKey = fk;
        } else if (t[i].kw("check")) {
            c.checks.push_back(readCheck(t, i, constraintName));
            c.checks.back().column = c.name;
        } else if (t[i].kw("rowguidcol") || t[i].kw("sparse")) {
            notSupported("A " + lower(t[i].text) + " column constraint");
        } else {
            syntaxError(t[i]);
        }
        constraintName.clear();
    }
    if (!c.nullable && c.shape.notNullType)
        c.nullable = false;  // an alias type's nullability, when the column states none
    if (c.identity && c.nullable.value_or(false))
        throw SqlError(8147, "Could not create IDENTITY attribute on nullable column '" + c.name + "'.", 16);
    return c;
}

}  // namespace sqlsim
