// Functions and @@variables of a translated query.
#include "sim/engine/Translate.h"

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
    if (v == "@@langid" || v == "@@trancount" || v == "@@error" || v == "@@nestlevel" || v == "@@rowcount" ||
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
    const std::string args = close > open + 1 ? expr(open + 1, close) : "";
    Instance &inst = x_.session.instance();
    if (name == "isnull")
        return "(ifnull(" + args + ") COLLATE SSCI)";
    if (name == "len")
        return "length(rtrim(" + args + "))";
    if (name == "getdate" || name == "current_timestamp" || name == "sysdatetime")
        return "strftime('%Y-%m-%d %H:%M:%f', 'now', 'localtime')";
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
        if (!(t_[open + 1].is(Tok::String) || t_[open + 1].is(Tok::NString)) || close != open + 2)
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
               " AND name = " + sqlString(parts.back()) + ")";
    }
    if (name == "substring") return "substr(" + args + ")";
    if (name == "upper" || name == "lower" || name == "ltrim" || name == "rtrim" || name == "count" ||
        name == "max" || name == "min" || name == "sum" || name == "avg" || name == "abs" || name == "coalesce" ||
        name == "nullif" || name == "replace" || name == "round")
        return name + "(" + args + ")";
    if (name == "cast") {
        // CAST(expr AS type[(n)]): SQLite needs only the type's affinity.
        std::size_t as = open + 1;
        int depth = 0;
        for (; as < close; ++as) {
            if (t_[as].is(Tok::LParen)) ++depth;
            if (t_[as].is(Tok::RParen)) --depth;
            if (depth == 0 && t_[as].kw("as")) break;
        }
        if (as >= close || !t_[as + 1].isName())
            syntaxError(t_[as < close ? as : close]);
        return "CAST(" + expr(open + 1, as) + " AS " + castType(t_[as + 1].text) + ")";
    }
    if (name == "convert") {
        if (!t_[open + 1].isName() || close <= open + 2)
            syntaxError(t_[open + 1]);
        std::size_t comma = open + 2;
        if (t_[comma].is(Tok::LParen))
            comma = matchParen(comma) + 1;
        if (!t_[comma].is(Tok::Comma))
            syntaxError(t_[comma]);
        std::size_t valueEnd = comma + 1;
        int depth = 0;
        for (; valueEnd < close; ++valueEnd) {
            if (t_[valueEnd].is(Tok::LParen)) ++depth;
            if (t_[valueEnd].is(Tok::RParen)) --depth;
            if (depth == 0 && t_[valueEnd].is(Tok::Comma)) break;
        }
        return "CAST(" + expr(comma + 1, valueEnd) + " AS " + castType(t_[open + 1].text) + ")";
    }
    throw SqlError(195, "'" + t_[open - 1].text + "' is not a recognized built-in function name.", 15).aborting();
}

}  // namespace sqlsim
