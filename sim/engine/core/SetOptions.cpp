// SET options: accepted where sqlsim already behaves as the option asks, carried out where it
// can (NOCOUNT, XACT_ABORT), refused where the option would change results sqlsim cannot.
#include "sim/engine/core/Internal.h"

#include <cctype>

namespace sqlsim {

namespace {

// How sqlsim takes ON and OFF of each option.
enum class Takes { Both, OnOnly, OffOnly };

struct OnOffOption {
    const char *name;
    Takes takes;
};

// OnOnly: sqlsim always behaves as ON (ANSI NULL comparisons, truncation errors, "x" as a name,
// new columns nullable by default). OffOnly: ON would change what statements return or whether
// they run at all.
const OnOffOption onOffOptions[] = {
    {"ansi_defaults", Takes::OnOnly},          {"ansi_null_dflt_off", Takes::OffOnly},
    {"ansi_null_dflt_on", Takes::OnOnly},      {"ansi_nulls", Takes::OnOnly},
    {"ansi_padding", Takes::Both},             {"ansi_warnings", Takes::OnOnly},
    {"arithabort", Takes::Both},               {"arithignore", Takes::Both},
    {"concat_null_yields_null", Takes::OnOnly}, {"cursor_close_on_commit", Takes::Both},
    {"fmtonly", Takes::OffOnly},               {"forceplan", Takes::Both},
    {"implicit_transactions", Takes::Both},    {"nocount", Takes::Both},
    {"noexec", Takes::OffOnly},                {"numeric_roundabort", Takes::OffOnly},
    {"parseonly", Takes::OffOnly},             {"quoted_identifier", Takes::OnOnly},
    {"remote_proc_transactions", Takes::Both}, {"showplan_all", Takes::OffOnly},
    {"showplan_text", Takes::OffOnly},         {"showplan_xml", Takes::OffOnly},
    {"xact_abort", Takes::Both},               {"no_browsetable", Takes::Both},
    {"statistics", Takes::Both}};

const OnOffOption *findOnOff(const Token &t)
{
    for (const OnOffOption &o : onOffOptions)
        if (t.kw(o.name))
            return &o;
    return nullptr;
}

bool isValueOption(const Token &t)
{
    for (const char *name : {"textsize", "dateformat", "datefirst", "language", "lock_timeout",
                             "deadlock_priority", "rowcount", "query_governor_cost_limit", "context_info",
                             "fips_flagger"})
        if (t.kw(name))
            return true;
    return false;
}

std::string upper(std::string s)
{
    for (char &c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// SET name value: the values that change nothing sqlsim computes.
void setValue(const Token &option, const Token &value)
{
    if (value.is(Tok::End))
        syntaxError(value);
    if (value.is(Tok::Variable))
        notSupported("SET " + upper(option.text) + " from a variable");
    const std::string v = lower(value.text);
    const std::string shown = "SET " + upper(option.text) + " " + value.text;
    if (option.kw("dateformat") && v != "mdy")
        notSupported(shown + " (dates are read as us_english reads them)");
    if (option.kw("datefirst") && v != "7")
        notSupported(shown);
    if (option.kw("language") && v != "us_english" && v != "english")
        notSupported(shown);
    if (option.kw("rowcount") && v != "0")
        notSupported(shown);
    if (option.kw("fips_flagger") && v != "off")
        notSupported(shown);
}

}  // namespace

void execSet(Exec &x)
{
    const auto &t = x.stmt.tokens;
    std::size_t i = 1;
    if (t[i].is(Tok::Variable))
        notSupported("SET of a variable");
    if (t[i].kw("identity_insert"))
        return execSetIdentityInsert(x);
    if (t[i].kw("transaction")) {
        // SET TRANSACTION ISOLATION LEVEL ...: accepted, there is one writer at a time anyway.
        x.done();
        return;
    }
    if (isValueOption(t[i])) {
        std::size_t v = i + 1;
        if (t[i].kw("deadlock_priority") || t[i].kw("lock_timeout"))
            v += t[v].op("-") ? 1 : 0;
        setValue(t[i], t[v]);
        if (!t[v + 1].is(Tok::End))
            syntaxError(t[v + 1]);
        x.done();
        return;
    }
    std::vector<const OnOffOption *> options;
    std::vector<std::string> names;
    while (true) {
        if (!t[i].is(Tok::Ident))
            syntaxError(t[i]);
        const OnOffOption *o = findOnOff(t[i]);
        if (!o)
            throw SqlError(195, "'" + t[i].text + "' is not a recognized SET option.", 15, t[i].line);
        std::string name = upper(t[i].text);
        if (t[i].kw("statistics")) {
            ++i;  // STATISTICS IO|TIME|PROFILE|XML
            name += " " + upper(t[i].text);
        }
        options.push_back(o);
        names.push_back(name);
        ++i;
        if (t[i].is(Tok::Comma)) {
            ++i;
            continue;
        }
        break;
    }
    const bool on = t[i].kw("on");
    if (!on && !t[i].kw("off"))
        syntaxError(t[i]);
    if (!t[i + 1].is(Tok::End))
        syntaxError(t[i + 1]);
    for (std::size_t k = 0; k < options.size(); ++k) {
        const bool refused = (on && options[k]->takes == Takes::OffOnly) || (!on && options[k]->takes == Takes::OnOnly) ||
                             (on && (names[k] == "STATISTICS PROFILE" || names[k] == "STATISTICS XML"));
        if (refused)
            notSupported("SET " + names[k] + (on ? " ON" : " OFF"));
    }
    for (const OnOffOption *o : options) {
        const std::string_view name = o->name;
        if (name == "nocount")
            x.session.nocount = on;
        if (name == "xact_abort")
            x.session.xactAbort = on;
        if (name == "ansi_padding")
            x.session.ansiPaddingOff = !on;
    }
    x.done();
}

bool abortsOnError(const SessionImpl &session, const SqlError &e)
{
    // Under XACT_ABORT a run-time error ends the batch (RAISERROR's do not: it does not throw).
    return session.xactAbort && e.severity >= 11;
}

void guardOptions(Exec &x)
{
    // Columns made under ANSI_PADDING OFF trim what they store; sqlsim's always pad.
    const auto &t = x.stmt.tokens;
    if (x.session.ansiPaddingOff && (t[0].kw("create") || t[0].kw("alter")) && t[1].kw("table"))
        notSupported("Creating or changing a table under SET ANSI_PADDING OFF");
}

}  // namespace sqlsim
