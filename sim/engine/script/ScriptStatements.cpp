// Statements that scripts carry besides DDL and rows: RAISERROR, CHECKPOINT, UPDATE STATISTICS
// and EXEC sp_executesql of a literal statement.
#include "sim/engine/catalog/Catalog.h"
#include "sim/engine/catalog/Procedures.h"
#include "sim/engine/core/Internal.h"

#include <algorithm>

namespace sqlsim {

namespace {

bool isText(const Token &t) { return t.is(Tok::String) || t.is(Tok::NString); }

// A literal argument of RAISERROR: a number (with an optional sign) or a string.
const Token &literalArg(const std::vector<Token> &t, std::size_t &i, bool &negative)
{
    negative = t[i].op("-");
    if (negative || t[i].op("+"))
        ++i;
    if (t[i].is(Tok::Variable))
        notSupported("RAISERROR with a variable");
    if (!(t[i].is(Tok::Number) || isText(t[i]) || t[i].kw("null")))
        notSupported("RAISERROR with an expression");
    return t[i++];
}

// RAISERROR's printf-like message: %s, %d, %i, %u and %% with the arguments given.
std::string formatMessage(const std::string &format, const std::vector<std::string> &args)
{
    std::string out;
    std::size_t next = 0;
    for (std::size_t k = 0; k < format.size(); ++k) {
        if (format[k] != '%') {
            out += format[k];
            continue;
        }
        const char spec = k + 1 < format.size() ? format[k + 1] : '\0';
        if (spec == '%') {
            out += '%';
        } else if (spec == 's' || spec == 'd' || spec == 'i' || spec == 'u') {
            out += next < args.size() ? args[next] : "(null)";
            ++next;
        } else {
            notSupported("RAISERROR's format '%" + std::string(1, spec) + "'");
        }
        ++k;
    }
    return out;
}

}  // namespace

void execRaiserror(Exec &x)
{
    const auto &t = x.stmt.tokens;
    std::size_t i = 1;
    const bool parens = t[i].is(Tok::LParen);
    if (!parens)
        notSupported("RAISERROR without parentheses");
    ++i;
    if (!isText(t[i]))
        notSupported("RAISERROR with a message number or variable");
    const std::string format = t[i++].text;
    std::vector<std::pair<std::string, bool>> values;  // text, negative
    while (t[i].is(Tok::Comma)) {
        ++i;
        bool negative = false;
        const Token &v = literalArg(t, i, negative);
        values.emplace_back((negative ? "-" : "") + (v.kw("null") ? std::string("(null)") : v.text), negative);
    }
    if (!t[i].is(Tok::RParen))
        syntaxError(t[i]);
    ++i;
    if (values.size() < 2)
        syntaxError(t[i - 1]);
    bool log = false;
    if (t[i].kw("with")) {
        do {
            ++i;
            if (t[i].kw("log"))
                log = true;
            else if (t[i].kw("seterror"))
                notSupported("RAISERROR WITH SETERROR");
            else if (!t[i].kw("nowait"))
                syntaxError(t[i]);
            ++i;
        } while (t[i].is(Tok::Comma));
    }
    if (!t[i].is(Tok::End))
        syntaxError(t[i]);
    int severity = 0, state = 0;
    try {
        severity = std::stoi(values[0].first);
        state = std::stoi(values[1].first);
    } catch (const std::exception &) {
        notSupported("RAISERROR with a severity or state that is not a number");
    }
    // The documented clamps: severity into 0..25, a negative state is 1.
    severity = std::clamp(severity, 0, 25);
    state = state < 0 ? 1 : state;
    if (state > 255)
        notSupported("RAISERROR with a state beyond 255");
    if (severity > 18 && !(log && x.session.login().sysadmin))
        throw SqlError(2754, "Error severity levels greater than 18 can only be specified by members of the "
                             "sysadmin role, using the WITH LOG option.", 16);
    if (severity > 19)
        notSupported("RAISERROR with severity 20 or more (it ends the connection)");
    std::vector<std::string> args;
    for (std::size_t k = 2; k < values.size(); ++k)
        args.push_back(values[k].first);
    Message m;
    m.number = 50000;
    m.severity = severity;
    m.state = state;
    m.text = formatMessage(format, args);
    m.line = x.stmt.line;
    x.sink.message(m);
    // An error of RAISERROR does not end the batch, not even under XACT_ABORT.
    x.sink.statementDone(std::nullopt, severity > 10);
}

void execCheckpoint(Exec &x)
{
    const auto &t = x.stmt.tokens;
    const std::size_t i = t[1].is(Tok::Number) ? 2 : 1;
    if (!t[i].is(Tok::End))
        syntaxError(t[i]);
    x.done();
}

// UPDATE STATISTICS t [ix | (ix, ...)] [WITH ...]: sqlsim keeps no statistics, so it only
// checks the names.
void execUpdateStatistics(Exec &x)
{
    const auto &t = x.stmt.tokens;
    std::size_t i = 2;
    const std::size_t start = i;
    const ObjectName name = readObjectName(t, i);
    const Database db = resolveDdlDatabase(x, name);
    Catalog cat(x.session.store(), db);
    const auto obj = cat.findObject(name.name);
    if (!obj || obj->xtype != "U")
        throw SqlError(208, "Invalid object name '" +
                                x.stmt.text.substr(t[start].begin - t[0].begin, t[i - 1].end - t[start].begin) + "'.",
                       16);
    std::vector<std::string> indexes;
    if (t[i].isName() && !t[i].kw("with")) {
        indexes.push_back(t[i++].text);
    } else if (t[i].is(Tok::LParen)) {
        do {
            ++i;
            indexes.push_back(readName(t, i));
        } while (t[i].is(Tok::Comma));
        if (!t[i].is(Tok::RParen))
            syntaxError(t[i]);
        ++i;
    }
    for (const std::string &ix : indexes)
        if (x.session.store().scalarInt("SELECT count(*) FROM cat_sysindexes WHERE dbk = ? AND id = ? AND name = ?",
                                        {db.dbk, obj->id, ix}) == 0)
            throw SqlError(2767, "Could not locate statistics '" + ix + "' in the system catalogs.", 16);
    if (t[i].kw("with")) {
        // FULLSCAN, SAMPLE n PERCENT|ROWS, RESAMPLE, NORECOMPUTE, ALL|COLUMNS|INDEX: nothing to do.
        ++i;
        while (!t[i].is(Tok::End))
            ++i;
    }
    if (!t[i].is(Tok::End))
        syntaxError(t[i]);
    x.done();
}

void execExecuteSql(Exec &x, std::size_t i)
{
    const auto &t = x.stmt.tokens;
    for (std::size_t k = i; !t[k].is(Tok::End); ++k)
        if (t[k].is(Tok::Variable) && !t[k + 1].op("="))
            notSupported("sp_executesql of a variable");
    const auto args = parseProcArgs(t, i);
    if (args.size() > 1)
        notSupported("sp_executesql with parameters");
    if (args.empty() || !args[0].token.is(Tok::NString))
        throw SqlError(214, "Procedure expects parameter '@statement' of type 'ntext/nchar/nvarchar'.", 16);
    // The statement runs as a batch of its own, on the same session.
    x.session.executeBatch(args[0].token.text, x.sink);
    x.done();
}

}  // namespace sqlsim
