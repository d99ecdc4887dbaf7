// EXEC of the system procedures sqlsim knows, sp_configure and RECONFIGURE.
#include "sim/engine/core/Internal.h"
#include "sim/engine/catalog/Procedures.h"
#include "sim/engine/types/AliasTypes.h"

#include <algorithm>

namespace sqlsim {

std::vector<ProcArg> parseProcArgs(const std::vector<Token> &t, std::size_t i)
{
    std::vector<ProcArg> args;
    while (!t[i].is(Tok::End)) {
        ProcArg a;
        if (t[i].is(Tok::Variable) && t[i + 1].op("=")) {
            a.name = lower(t[i].text);
            i += 2;
        }
        bool negative = false;
        if (t[i].op("-")) {
            negative = true;
            ++i;
        }
        const Token &v = t[i];
        if (v.is(Tok::String) || v.is(Tok::NString) || (v.isName() && !v.kw("null")))
            a.value = v.text;
        else if (v.kw("null"))
            a.value = std::monostate{};
        else if (v.is(Tok::Number))
            a.value = v.text.find_first_of(".eE") == std::string::npos
                          ? Param{static_cast<std::int64_t>(std::stoll(v.text)) * (negative ? -1 : 1)}
                          : Param{std::stod(v.text) * (negative ? -1 : 1)};
        else
            syntaxError(v);
        a.token = v;
        args.push_back(std::move(a));
        ++i;
        if (t[i].is(Tok::Comma)) {
            ++i;
            if (t[i].is(Tok::End))
                syntaxError(t[i]);
        } else if (!t[i].is(Tok::End)) {
            syntaxError(t[i]);
        }
    }
    return args;
}

std::optional<std::string> argText(const ProcArg &a)
{
    if (auto *s = std::get_if<std::string>(&a.value))
        return *s;
    if (auto *n = std::get_if<std::int64_t>(&a.value))
        return std::to_string(*n);
    return std::nullopt;
}

namespace {

[[noreturn]] void noPermission()
{
    throw SqlError(15247, "User does not have permission to perform this action.", 16);
}

void listOptions(Exec &x, const std::vector<ConfigOption> &options)
{
    std::vector<Column> cols = {
        {"name", {TypeId::NVarChar, 35, 0, 0}, false},
        {"minimum", {TypeId::Int, 0, 0, 0}, true},
        {"maximum", {TypeId::Int, 0, 0, 0}, true},
        {"config_value", {TypeId::Int, 0, 0, 0}, true},
        {"run_value", {TypeId::Int, 0, 0, 0}, true},
    };
    std::vector<Row> rows;
    for (const ConfigOption &o : options)
        rows.push_back({o.name, o.minimum, o.maximum, o.config, o.run});
    x.sink.resultSet(cols, rows);
    x.done(static_cast<std::int64_t>(rows.size()));
}

}  // namespace

void execConfigure(Exec &x, std::size_t argStart)
{
    const auto args = parseProcArgs(x.stmt.tokens, argStart);
    if (args.size() > 2)
        throw SqlError(8144, "Procedure or function sp_configure has too many arguments specified.", 16);
    Instance &inst = x.session.instance();
    std::unique_lock lock(inst.mu);
    const bool advanced = std::any_of(inst.options.begin(), inst.options.end(), [](const ConfigOption &o) {
        return o.name == "show advanced options" && o.run != 0;
    });
    std::vector<ConfigOption> visible;
    for (const ConfigOption &o : inst.options)
        if (advanced || !o.advanced)
            visible.push_back(o);
    std::sort(visible.begin(), visible.end(),
              [](const ConfigOption &a, const ConfigOption &b) { return lower(a.name) < lower(b.name); });
    if (args.empty()) {
        lock.unlock();
        listOptions(x, visible);
        return;
    }
    const std::string wanted = argText(args[0]).value_or("");
    // An exact name wins; otherwise the name may be any unique part of one.
    std::vector<ConfigOption> found;
    for (const ConfigOption &o : visible)
        if (iequals(o.name, wanted))
            found = {o};
    if (found.empty())
        for (const ConfigOption &o : visible)
            if (lower(o.name).find(lower(wanted)) != std::string::npos)
                found.push_back(o);
    if (found.empty())
        throw SqlError(15123, "The configuration option '" + wanted +
                                  "' does not exist, or it may be an advanced option.", 16);
    if (found.size() > 1)
        throw SqlError(15124, "The configuration option '" + wanted + "' is not unique.", 16);
    const ConfigOption chosen = found.front();
    if (args.size() == 1) {
        lock.unlock();
        listOptions(x, {chosen});
        return;
    }
    if (!x.session.login().sysadmin)
        noPermission();
    std::optional<std::int64_t> converted;
    if (const auto *n = std::get_if<std::int64_t>(&args[1].value)) {
        converted = *n;
    } else if (const auto *text = std::get_if<std::string>(&args[1].value)) {
        // A quoted number converts to int, as SQL Server converts the parameter.
        const bool digits = !text->empty() && text->find_first_not_of("0123456789") == std::string::npos;
        if (digits && text->size() <= 10)
            converted = std::stoll(*text);
    }
    if (!converted)
        throw SqlError(8114, "Error converting data type varchar to int.", 16);
    const std::int64_t *value = &*converted;
    if (*value < chosen.minimum || *value > chosen.maximum)
        throw SqlError(15129, "'" + std::to_string(*value) + "' is not a valid value for configuration option '" +
                                  chosen.name + "'.", 16);
    std::int64_t old = 0;
    for (ConfigOption &o : inst.options)
        if (o.name == chosen.name) {
            old = o.config;
            o.config = *value;
        }
    lock.unlock();
    x.info(15457, "Configuration option '" + chosen.name + "' changed from " + std::to_string(old) + " to " +
                      std::to_string(*value) + ". Run the RECONFIGURE statement to install.");
    x.done();
}

void execReconfigure(Exec &x)
{
    const auto &t = x.stmt.tokens;
    std::size_t i = 1;
    if (t[i].kw("with")) {
        if (!t[i + 1].kw("override"))
            syntaxError(t[i + 1]);
        i += 2;
    }
    if (!t[i].is(Tok::End))
        syntaxError(t[i]);
    if (!x.session.login().sysadmin)
        throw SqlError(5812, "You do not have permission to run the RECONFIGURE statement.", 14);
    Instance &inst = x.session.instance();
    {
        std::lock_guard lock(inst.mu);
        for (ConfigOption &o : inst.options)
            o.run = o.config;
    }
    x.done();
}

void execExec(Exec &x)
{
    const auto &t = x.stmt.tokens;
    std::size_t i = x.stmt.tokens.front().kw("exec") || x.stmt.tokens.front().kw("execute") ? 1 : 0;
    if (t[i].is(Tok::LParen) || t[i].is(Tok::String) || t[i].is(Tok::NString))
        notSupported("EXEC of a dynamic SQL string");
    if (t[i].is(Tok::Variable))
        notSupported("EXEC with a return value");
    std::vector<std::string> parts{readName(t, i)};
    while (t[i].is(Tok::Dot)) {
        ++i;
        if (t[i].is(Tok::Dot))
            continue;
        parts.push_back(readName(t, i));
    }
    const std::string proc = lower(parts.back());
    if (proc == "sp_configure")
        return execConfigure(x, i);
    if (proc == "sp_executesql")
        return execExecuteSql(x, i);
    if (proc == "sp_addextendedproperty" || proc == "sp_updateextendedproperty" ||
        proc == "sp_dropextendedproperty")
        return execExtendedProperty(x, proc, parseProcArgs(t, i));
    if (proc == "sp_addtype")
        return execAddType(x, parseProcArgs(t, i));
    if (proc == "sp_droptype")
        notSupported("sp_droptype");
    if (proc == "sp_rename")
        return execRename(x, parseProcArgs(t, i));
    if (proc == "sp_ms_marksystemobject")
        return execMarkSystemObject(x, parseProcArgs(t, i));
    if (userProcedureExists(x, parts.back()))
        notSupported("Running a stored procedure (" + parts.back() + ")");
    throw SqlError(2812, "Could not find stored procedure '" + parts.back() + "'.", 16);
}

}  // namespace sqlsim
