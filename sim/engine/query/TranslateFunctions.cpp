// Functions and @@variables of a translated query.
#include "sim/engine/query/Translate.h"

#include "sim/engine/functions/SqlFunctions.h"
#include "sim/engine/modules/Modules.h"
#include "sim/engine/types/AliasTypes.h"

namespace sqlsim {

namespace {

std::string serverProperty(const Instance &inst, const std::string &name)
{
    const std::string n = lower(name);
    if (n == "productversion") return sqlString(kProductVersion);
    if (n == "productlevel") return "'RTM'";
    if (n == "edition") return "'Developer Edition (64-bit)'";
    if (n == "engineedition") return "3";
    if (n == "servername" || n == "machinename") return sqlString(inst.config.name);
    if (n == "collation") return "'SQL_Latin1_General_CP1_CI_AS'";
    if (n == "isclustered" || n == "isfulltextinstalled" || n == "isintegratedsecurityonly" ||
        n == "issingleuser")
        return "0";
    return "NULL";
}

std::string castType(std::string_view type)
{
    const std::string t = lower(type);
    if (t.find("int") != std::string::npos || t == "bit") return "INTEGER";
    if (t.find("char") != std::string::npos || t.find("text") != std::string::npos || t == "sysname" ||
        t.find("date") != std::string::npos || t == "uniqueidentifier")
        return "TEXT";
    if (t == "float" || t == "real") return "REAL";
    if (t.find("binary") != std::string::npos || t == "image") return "BLOB";
    return "NUMERIC";
}

// The types ss_cast converts to with SQL Server's rules; others keep SQLite's affinity.
bool convertedType(const std::string &t)
{
    static const char *const types[] = {"tinyint", "smallint", "int", "bigint", "bit", "char", "varchar", "nchar",
                                        "nvarchar", "decimal", "numeric", "money", "smallmoney", "float", "real",
                                        "datetime", "date", "smalldatetime", "sysname"};
    for (const char *x : types)
        if (t == x) return true;
    return false;
}

// Top-level commas of the argument list (open, close).
std::size_t argumentCount(const std::vector<Token> &t, std::size_t open, std::size_t close)
{
    if (close == open + 1) return 0;
    std::size_t n = 1;
    int depth = 0;
    for (std::size_t k = open + 1; k < close; ++k) {
        if (t[k].is(Tok::LParen)) ++depth;
        if (t[k].is(Tok::RParen)) --depth;
        if (depth == 0 && t[k].is(Tok::Comma)) ++n;
    }
    return n;
}

}  // namespace

std::string Translator::variable(const Token &t)
{
    const std::string v = lower(t.text);
    Instance &inst = x_.session.instance();
    if (v == "@@version") return sqlString(kVersionText);
    if (v == "@@spid") return std::to_string(x_.session.spid());
    if (v == "@@servername") return sqlString(inst.config.name);
    if (v == "@@servicename") return "'MSSQLSERVER'";
    if (v == "@@language") return "'us_english'";
    if (v == "@@microsoftversion") return "251660240";
    if (v == "@@max_precision") return "38";
    if (v == "@@textsize") return "2147483647";
    if (v == "@@datefirst") return "7";
    if (v == "@@lock_timeout") return "-1";
    if (v == "@@max_connections") return "32767";
    if (v == "@@trancount") return std::to_string(x_.session.txn.count);
    if (v == "@@langid" || v == "@@error" || v == "@@nestlevel" || v == "@@rowcount" ||
        v == "@@procid" || v == "@@fetch_status")
        return "0";
    if (v == "@@identity") return "NULL";
    if (v == "@@options") return "5496";
    throw SqlError(137, "Must declare the scalar variable \"" + t.text + "\".", 15).aborting();
}

std::string Translator::function(std::size_t &i)
{
    const std::string name = lower(t_[i].text);
    const std::size_t open = i + 1;
    const std::size_t close = matchParen(open);
    i = close + 1;
    // CAST and CONVERT hold a type, not an expression list.
    const std::string args = close > open + 1 && name != "cast" && name != "convert" ? expr(open + 1, close) : "";
    Instance &inst = x_.session.instance();
    if (name == "isnull")
        return "(ifnull(" + args + ") COLLATE SSCI)";
    if (name == "len")
        return "length(rtrim(" + args + "))";
    if (name == "getdate" || name == "current_timestamp" || name == "sysdatetime")
        return "strftime('%Y-%m-%d %H:%M:%f', 'now', 'localtime')";
    if (name == "newid" && close == open + 1)  // a version 4 GUID, new for every row
        return "(hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || substr(hex(randomblob(2)), 2) || '-' || "
               "substr('89AB', 1 + (random() & 3), 1) || substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6)))";
    if (name == "db_name" && close == open + 1)
        return sqlString(x_.session.currentDatabase());
    if (name == "db_id" && close == open + 1) {
        auto db = inst.findDatabase(x_.session.currentDatabase());
        return std::to_string(db ? db->dbid : 0);
    }
    if (name == "user_name" || name == "suser_sname" || name == "suser_name" || name == "original_login")
        return sqlString(name == "user_name" ? (x_.session.login().sysadmin ? "dbo" : x_.session.login().user)
                                             : x_.session.login().user);
    if (name == "serverproperty") {
        if (!(t_[open + 1].is(Tok::String) || t_[open + 1].is(Tok::NString)) || close != open + 2)
            notSupported("SERVERPROPERTY of an expression");
        return serverProperty(inst, t_[open + 1].text);
    }
    if (name == "object_id") {
        // OBJECT_ID('name' [, 'type'])
        const bool typed = close == open + 4 && t_[open + 2].is(Tok::Comma) &&
                           (t_[open + 3].is(Tok::String) || t_[open + 3].is(Tok::NString));
        if (!(t_[open + 1].is(Tok::String) || t_[open + 1].is(Tok::NString)) || (close != open + 2 && !typed))
            notSupported("OBJECT_ID of an expression");
        std::vector<std::string> parts;
        std::string_view rest = t_[open + 1].text;
        while (true) {
            const auto dot = rest.find('.');
            std::string part(rest.substr(0, dot));
            if (part.size() >= 2 && part.front() == '[' && part.back() == ']')
                part = part.substr(1, part.size() - 2);
            parts.push_back(part);
            if (dot == std::string_view::npos) break;
            rest.remove_prefix(dot + 1);
        }
        const std::string dbName = parts.size() >= 3 ? parts[parts.size() - 3] : x_.session.currentDatabase();
        auto db = inst.findDatabase(dbName);
        if (!db)
            return "NULL";
        return "(SELECT id FROM cat_sysobjects WHERE dbk = " + std::to_string(db->dbk) +
               " AND name = " + sqlString(parts.back()) +
               (typed ? " AND trim(xtype) = " + sqlString(t_[open + 3].text) : std::string()) + ")";
    }
    if (name == "object_name" || name == "schema_name" || name == "type_name" || name == "objectproperty") {
        std::vector<std::string> argSql;
        for (std::size_t b = open + 1, k = b, depth = 0; close > open + 1 && k <= close; ++k) {
            if (t_[k].is(Tok::LParen)) ++depth;
            if (t_[k].is(Tok::RParen) && k < close) --depth;
            if (k == close || (depth == 0 && t_[k].is(Tok::Comma))) {
                argSql.push_back(expr(b, k));
                b = k + 1;
            }
        }
        auto db = inst.findDatabase(x_.session.currentDatabase());
        if (std::string sql = metadataFunction(name, argSql, db ? db->dbk : 0); !sql.empty())
            return sql;
        throw SqlError(174, "The " + name + " function requires a different number of arguments.", 15);
    }
    const std::size_t argc = argumentCount(t_, open, close);
    if (name == "substring") {
        if (argc != 3)
            throw SqlError(174, "The substring function requires 3 argument(s).", 15);
        return "(ss_substring(" + args + ") COLLATE SSCI)";
    }
    if (name == "round") {
        if (argc != 2 && argc != 3)
            throw SqlError(174, "The round function requires 2 to 3 arguments.", 15);
        return "ss_round(" + args + ")";
    }
    // Their results compare under the server's collation, as their arguments would.
    if (name == "upper" || name == "lower" || name == "ltrim" || name == "rtrim" || name == "coalesce" ||
        name == "nullif" || name == "replace" || name == "max" || name == "min")
        return "(" + name + "(" + args + ") COLLATE SSCI)";
    if (name == "count" || name == "sum" || name == "avg" || name == "abs")
        return name + "(" + args + ")";
    if (name == "cast" || name == "convert") {
        // CAST(expr AS type[(n[, s])]) and CONVERT(type[(n[, s])], expr[, style]).
        std::size_t typeAt = 0, valueBegin = 0, valueEnd = 0, styleAt = 0;
        if (name == "cast") {
            std::size_t as = open + 1;
            int depth = 0;
            for (; as < close; ++as) {
                if (t_[as].is(Tok::LParen)) ++depth;
                if (t_[as].is(Tok::RParen)) --depth;
                if (depth == 0 && t_[as].kw("as")) break;
            }
            if (as >= close || !t_[as + 1].isName())
                syntaxError(t_[as < close ? as : close]);
            typeAt = as + 1;
            if (t_[typeAt + 1].is(Tok::Dot) && iequals(t_[typeAt].text, "dbo")) typeAt += 2;
            valueBegin = open + 1;
            valueEnd = as;
        } else {
            if (!t_[open + 1].isName() || close <= open + 2)
                syntaxError(t_[open + 1]);
            typeAt = open + 1;
            if (t_[typeAt + 1].is(Tok::Dot) && iequals(t_[typeAt].text, "dbo")) typeAt += 2;
            std::size_t comma = typeAt + 1;
            if (t_[comma].is(Tok::LParen))
                comma = matchParen(comma) + 1;
            if (!t_[comma].is(Tok::Comma))
                syntaxError(t_[comma]);
            valueBegin = comma + 1;
            valueEnd = valueBegin;
            int depth = 0;
            for (; valueEnd < close; ++valueEnd) {
                if (t_[valueEnd].is(Tok::LParen)) ++depth;
                if (t_[valueEnd].is(Tok::RParen)) --depth;
                if (depth == 0 && t_[valueEnd].is(Tok::Comma)) break;
            }
            if (valueEnd < close)
                styleAt = valueEnd + 1;
        }
        if (valueEnd <= valueBegin)
            syntaxError(t_[valueBegin]);
        std::string type = lower(t_[typeAt].text);
        if (type == "sysname") type = "nvarchar";
        // Length (30 when not given, as CAST and CONVERT default), precision and scale.
        int length = 30, precision = 18, scale = 0;
        if (!findSystemType(type)) {
            // An alias type of the current database converts as its base type.
            const Database db = *x_.session.instance().findDatabase(x_.session.currentDatabase());
            AliasTypeScope aliasTypes(x_.session.store(), db);
            if (const auto alias = findAliasType(t_[typeAt].text)) {
                type = alias->type->name;
                length = alias->length == -1 || !alias->type->unicode ? alias->length : alias->length / 2;
                precision = alias->xprec;
                scale = alias->xscale;
            }
        }
        const std::string value = expr(valueBegin, valueEnd);
        if (!convertedType(type))
            return "CAST(" + value + " AS " + castType(type) + ")";
        if (t_[typeAt + 1].is(Tok::LParen)) {
            const Token &a = t_[typeAt + 2];
            if (a.kw("max")) length = -1;
            else if (a.is(Tok::Number)) length = precision = std::atoi(a.text.c_str());
            else syntaxError(a);
            if (t_[typeAt + 3].is(Tok::Comma) && t_[typeAt + 4].is(Tok::Number))
                scale = std::atoi(t_[typeAt + 4].text.c_str());
        }
        int style = 0;
        if (styleAt) {
            if (!t_[styleAt].is(Tok::Number) || styleAt + 1 != close)
                notSupported("CONVERT with a style that is not a number");
            style = std::atoi(t_[styleAt].text.c_str());
        }
        // A datetime source prints in CONVERT's styles; whether it is one shows from its origin.
        bool fromDatetime = false;
        const Token &v = t_[valueBegin];
        if (valueEnd == valueBegin + 3 && v.is(Tok::Ident) && t_[valueBegin + 1].is(Tok::LParen) &&
            (v.kw("getdate") || v.kw("sysdatetime")))
            fromDatetime = true;
        else if (valueEnd == valueBegin + 1 && v.kw("current_timestamp"))
            fromDatetime = true;
        else if (isColumnRef(valueBegin, valueEnd) && v.isName()) {
            const std::string column = t_[valueEnd - 1].text;
            const std::string qualifier = valueEnd - valueBegin >= 3 ? t_[valueEnd - 3].text : "";
            fromDatetime = lower(columnDecl(qualifier, column)).find("date") != std::string::npos;
        }
        if (style != 0 && !fromDatetime)
            notSupported("CONVERT with a style of a value that is not a datetime");
        const bool text = type.find("char") != std::string::npos;
        return std::string(text ? "(" : "") + "ss_cast(" + value + ", '" + type + "', " + std::to_string(length) + ", " +
               std::to_string(precision) + ", " + std::to_string(scale) + ", " + std::to_string(style) + ", " +
               (fromDatetime ? "1" : "0") + ")" + (text ? " COLLATE SSCI)" : "");
    }
    throw SqlError(195, "'" + t_[open - 1].text + "' is not a recognized built-in function name.", 15).aborting();
}

}  // namespace sqlsim
