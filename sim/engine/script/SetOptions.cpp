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

// OnOnly: sqlsim always behaves as ON (truncation errors, NULL concatenation, new columns
// nullable by default). OffOnly: ON would change what statements return or whether
// they run at all (NOEXEC is carried out: it only stops statements from running).
const OnOffOption onOffOptions[] = {
    {"ansi_defaults", Takes::OnOnly},          {"ansi_null_dflt_off", Takes::OffOnly},
    {"ansi_null_dflt_on", Takes::OnOnly},      {"ansi_nulls", Takes::Both},
    {"ansi_padding", Takes::Both},             {"ansi_warnings", Takes::OnOnly},
    {"arithabort", Takes::Both},               {"arithignore", Takes::Both},
    {"concat_null_yields_null", Takes::OnOnly}, {"cursor_close_on_commit", Takes::Both},
    {"fmtonly", Takes::OffOnly},               {"forceplan", Takes::Both},
    {"implicit_transactions", Takes::Both},    {"nocount", Takes::Both},
    {"noexec", Takes::Both},                   {"numeric_roundabort", Takes::OffOnly},
    {"parseonly", Takes::OffOnly},             {"quoted_identifier", Takes::Both},
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

bool actsUnderNoexec(const Statement &stmt)
{
    return stmt.tokens[0].kw("set");
}

void execSet(Exec &x)
{
    const auto &t = x.stmt.tokens;
    // Under NOEXEC ON a SET is compiled only: an unknown option still fails, NOEXEC itself and the
    // parse-time QUOTED_IDENTIFIER take effect, every other option keeps its value.
    const bool compiling = x.session.noexec;
    std::size_t i = 1;
    if (compiling && (t[i].is(Tok::Variable) || t[i].kw("identity_insert") || t[i].kw("transaction") ||
                      isValueOption(t[i]))) {
        x.done();
        return;
    }
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
    for (std::size_t k = 0; k < options.size() && !compiling; ++k) {
        const bool refused = (on && options[k]->takes == Takes::OffOnly) || (!on && options[k]->takes == Takes::OnOnly) ||
                             (on && (names[k] == "STATISTICS PROFILE" || names[k] == "STATISTICS XML"));
        if (refused)
            notSupported("SET " + names[k] + (on ? " ON" : " OFF"));
    }
    for (const OnOffOption *o : options) {
        const std::string_view name = o->name;
        if (name == "noexec")
            x.session.noexec = on;
        if (name == "quoted_identifier")
            x.session.quotedIdentifierOff = !on;
        if (compiling)
            continue;
        if (name == "nocount")
            x.session.nocount = on;
        if (name == "xact_abort")
            x.session.xactAbort = on;
        if (name == "implicit_transactions")
            x.session.txn.implicitMode = on;
        if (name == "ansi_padding")
            x.session.ansiPaddingOff = !on;
        if (name == "ansi_nulls")
            x.session.ansiNullsOff = !on;
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
    // char, varchar, binary and varbinary columns made under ANSI_PADDING OFF trim what they
    // store; sqlsim's always keep it. Constraints added meanwhile are unaffected (generated
    // scripts add them after the last table's SET ANSI_PADDING OFF).
    const auto &t = x.stmt.tokens;
    if (x.session.ansiPaddingOff && (t[0].kw("create") || t[0].kw("alter")) && t[1].kw("table"))
        for (std::size_t k = 2; !t[k].is(Tok::End); ++k)
            if (t[k].isName() && (iequals(t[k].text, "char") || iequals(t[k].text, "varchar") ||
                                  iequals(t[k].text, "binary") || iequals(t[k].text, "varbinary")))
                notSupported("A " + lower(t[k].text) + " column made under SET ANSI_PADDING OFF");
    // ANSI_NULLS OFF changes only = and <> against a NULL literal (there are no variables):
    // such a comparison is refused, everything else runs as under ON. View and procedure bodies
    // are kept, not run.
    if (!x.session.ansiNullsOff || (t[0].kw("create") || t[0].kw("alter")))
        return;
    bool assignments = false;  // UPDATE's SET list: "= NULL" there assigns
    for (std::size_t k = 1; !t[k].is(Tok::End); ++k) {
        if (t[0].kw("update") && t[k].kw("set"))
            assignments = true;
        if (t[k].kw("where") || t[k].kw("from"))
            assignments = false;
        const bool comparison = t[k].op("=") || t[k].op("<>") || t[k].op("!=");
        if (comparison && !assignments && (t[k - 1].kw("null") || t[k + 1].kw("null")))
            notSupported("A comparison with NULL under SET ANSI_NULLS OFF");
    }
}

std::vector<Token> applyQuotedIdentifier(const SessionImpl &session, std::string_view sql, std::vector<Token> tokens)
{
    // Taken per batch: SQL Server applies the option when it parses, so a SET inside a batch
    // already counts for the statements after it; sqlsim counts it from the next batch.
    if (session.quotedIdentifierOff)
        for (Token &t : tokens)
            if (t.is(Tok::Quoted) && t.begin < sql.size() && sql[t.begin] == '"')
                t.kind = Tok::String;
    return tokens;
}

}  // namespace sqlsim
