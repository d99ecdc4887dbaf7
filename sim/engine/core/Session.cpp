#include "sim/engine/core/Internal.h"
#include "sim/engine/catalog/Procedures.h"
#include "sim/engine/modules/Modules.h"

namespace sqlsim {

SessionImpl::SessionImpl(std::shared_ptr<Instance> inst, const LoginSpec &login, std::string database, int spid)
    : inst_(std::move(inst)), login_(login), database_(std::move(database)), spid_(spid)
{
}

std::string SessionImpl::currentDatabase() const
{
    return database_;
}

void SessionImpl::setDatabase(const std::string &name)
{
    database_ = name;
}

StoreConn &SessionImpl::store()
{
    if (!store_)
        store_ = std::make_unique<StoreConn>(inst_->engine->storePath());
    return *store_;
}

void Exec::info(int number, const std::string &text, int state) const
{
    Message m;
    m.number = number;
    m.severity = 0;
    m.state = state;
    m.text = text;
    m.line = stmt.line;
    sink.message(m);
}

void Exec::done(std::optional<std::int64_t> rows) const
{
    sink.statementDone(session.nocount ? std::nullopt : rows, false);
}

std::string readName(const std::vector<Token> &tokens, std::size_t &i)
{
    if (!tokens[i].isName())
        syntaxError(tokens[i]);
    return tokens[i++].text;
}

namespace {

// Reserved words: SQL Server reports a syntax error at one of them as 156.
const char *const reservedWords[] = {
    "add", "all", "alter", "and", "any", "as", "asc", "backup", "begin", "between", "by", "cascade", "case",
    "check", "clustered", "column", "commit", "constraint", "create", "cross", "database", "declare",
    "default", "delete", "desc", "distinct", "drop", "else", "end", "exec", "execute", "exists", "foreign",
    "from", "full", "grant", "group", "having", "identity", "if", "in", "index", "inner", "insert", "into",
    "is", "join", "key", "left", "like", "nonclustered", "not", "null", "of", "on", "or", "order", "outer",
    "primary", "print", "proc", "procedure", "reconfigure", "references", "right", "rollback", "select",
    "set", "table", "then", "to", "top", "tran", "transaction", "union", "unique", "update", "use", "values",
    "view", "when", "where", "while", "with"};

}  // namespace

void syntaxError(const Token &near)
{
    if (near.is(Tok::End))
        throw SqlError(102, "Incorrect syntax near the end of the statement.", 15, near.line);
    if (near.is(Tok::Ident))
        for (const char *w : reservedWords)
            if (near.kw(w))
                throw SqlError(156, "Incorrect syntax near the keyword '" + near.text + "'.", 15, near.line);
    throw SqlError(102, "Incorrect syntax near '" + near.text + "'.", 15, near.line);
}

void notSupported(const std::string &what)
{
    throw SqlError(50000, what + " is not supported by sqlsim.", 16);
}

void failPair(Exec &x, const SqlError &first, const SqlError &second)
{
    Message m;
    m.number = first.number;
    m.severity = first.severity;
    m.text = first.what();
    m.line = x.stmt.line;
    x.sink.message(m);
    throw second;
}

namespace {

const char *const onOffOptions[] = {
    "ansi_defaults", "ansi_null_dflt_off", "ansi_null_dflt_on", "ansi_nulls", "ansi_padding",
    "ansi_warnings", "arithabort", "arithignore", "concat_null_yields_null",
    "cursor_close_on_commit", "fmtonly", "forceplan", "implicit_transactions", "nocount", "noexec",
    "numeric_roundabort", "parseonly", "quoted_identifier", "remote_proc_transactions",
    "showplan_all", "showplan_text", "showplan_xml", "xact_abort", "fips_flagger",
    "no_browsetable", "nocount", "statistics"};

const char *const valueOptions[] = {"textsize", "dateformat", "datefirst", "language", "lock_timeout",
                                    "deadlock_priority", "rowcount", "query_governor_cost_limit",
                                    "context_info", "identity_insert"};

bool inList(const Token &t, const char *const *list, std::size_t n)
{
    for (std::size_t k = 0; k < n; ++k)
        if (t.kw(list[k]))
            return true;
    return false;
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
    if (inList(t[i], valueOptions, std::size(valueOptions))) {
        if (t[i + 1].is(Tok::End))
            syntaxError(t[i + 1]);
        x.done();
        return;
    }
    bool nocount = false;
    while (true) {
        if (!t[i].is(Tok::Ident))
            syntaxError(t[i]);
        if (!inList(t[i], onOffOptions, std::size(onOffOptions)))
            throw SqlError(195, "'" + t[i].text + "' is not a recognized SET option.", 15, t[i].line);
        if (t[i].kw("statistics")) {
            ++i;  // STATISTICS IO|TIME|PROFILE|XML
        }
        if (t[i].kw("nocount"))
            nocount = true;
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
    if (nocount)
        x.session.nocount = on;
    x.done();
}

void execUse(Exec &x)
{
    const auto &t = x.stmt.tokens;
    std::size_t i = 1;
    const std::string name = readName(t, i);
    if (!t[i].is(Tok::End))
        syntaxError(t[i]);
    auto db = x.session.instance().findDatabase(name);
    if (!db)
        throw SqlError(911, "Database '" + name + "' does not exist. Make sure that the name is entered correctly.");
    const std::string old = x.session.currentDatabase();
    x.session.setDatabase(db->name);
    x.sink.databaseChanged(old, db->name);
    x.info(5701, "Changed database context to '" + db->name + "'.");
    x.done();
}

namespace {

void execPrint(Exec &x)
{
    const auto &t = x.stmt.tokens;
    if (!(t[1].is(Tok::String) || t[1].is(Tok::NString) || t[1].is(Tok::Number)) || !t[2].is(Tok::End))
        notSupported("PRINT of an expression");
    x.info(0, t[1].text);
    x.done();
}

// IF @@TRANCOUNT > 0 COMMIT|ROLLBACK, as ODBC drivers send it: sqlsim never has a transaction
// open, so the condition is false and nothing runs.
void execIf(Exec &x)
{
    const auto &t = x.stmt.tokens;
    if (t[1].is(Tok::Variable) && iequals(t[1].text, "@@trancount") && t[2].op(">") && t[3].is(Tok::Number) &&
        t[3].text == "0" && (t[4].kw("commit") || t[4].kw("rollback"))) {
        x.done();
        return;
    }
    notSupported("The IF statement");
}

using Handler = void (*)(Exec &);

struct Route {
    const char *head;
    Handler handler;
};

const Route routes[] = {
    {"select", execSelect},   {"set", execSet},       {"use", execUse},
    {"exec", execExec},       {"execute", execExec},  {"reconfigure", execReconfigure},
    {"create", execCreate},   {"alter", execAlter},   {"drop", execDrop},
    {"print", execPrint},     {"backup", execBackup},   {"if", execIf},
    {"insert", execInsert},   {"update", execUpdate},   {"delete", execDelete},
    {"truncate", execTruncate}, {"enable", execTriggerToggle}, {"disable", execTriggerToggle},
};

const char *const knownUnsupported[] = {"declare", "while", "begin",
                                        "commit", "rollback", "save", "dbcc", "grant", "revoke", "deny",
                                        "waitfor", "raiserror", "return", "restore", "with"};

bool isKnownHead(const Token &head)
{
    for (const Route &r : routes)
        if (head.kw(r.head))
            return true;
    for (const char *k : knownUnsupported)
        if (head.kw(k))
            return true;
    return false;
}

Handler routeFor(const Statement &st, bool first)
{
    const Token &head = st.tokens.front();
    for (const Route &r : routes)
        if (head.kw(r.head))
            return r.handler;
    for (const char *k : knownUnsupported)
        if (head.kw(k))
            return [](Exec &x) { notSupported("The " + x.stmt.tokens.front().text + " statement"); };
    // A batch may start with a procedure name and no EXEC.
    if (first && head.isName())
        return [](Exec &x) { execExec(x); };
    return nullptr;
}

}  // namespace

void SessionImpl::executeBatch(std::string_view sql, BatchSink &sink)
{
    auto report = [&](const SqlError &e) {
        Message m;
        m.number = e.number;
        m.severity = e.severity;
        m.state = e.state;
        m.text = e.what();
        m.line = e.line;
        sink.message(m);
        if (e.terminated) {
            Message t;
            t.number = 3621;
            t.severity = 0;
            t.state = 0;
            t.text = "The statement has been terminated.";
            t.line = e.line;
            sink.message(t);
        }
        sink.statementDone(std::nullopt, true);
    };
    std::vector<Statement> statements;
    std::vector<Handler> handlers;
    try {
        const std::vector<Token> tokens = tokenize(sql);
        int depth = 0;
        for (const Token &t : tokens) {
            depth += t.is(Tok::LParen) ? 1 : t.is(Tok::RParen) ? -1 : 0;
            if (depth > 128)  // deeper nesting would only exhaust the translator's stack
                throw SqlError(191, "Some part of your SQL statement is nested too deeply. Rewrite the query or "
                                    "break it up into smaller queries.", 15, t.line);
        }
        statements = splitStatements(sql, tokens);
        for (std::size_t k = 0; k < statements.size(); ++k) {
            Handler h = routeFor(statements[k], k == 0);
            if (!h)
                syntaxError(statements[k].tokens.front());
            const Token &head = statements[k].tokens.front();
            if (k == 0 && head.isName() && !head.kw("exec") && !head.kw("execute") &&
                !isKnownHead(head))
                (void)parseProcArgs(statements[k].tokens, 1);  // a procedure call must parse
            handlers.push_back(h);
        }
    } catch (const SqlError &e) {
        // A batch that does not parse runs no statement at all.
        report(e);
        return;
    }
    if (statements.empty()) {
        sink.statementDone(std::nullopt, false);
        return;
    }
    for (std::size_t k = 0; k < statements.size(); ++k) {
        Exec x{*this, sink, statements[k], sql, k};
        try {
            handlers[k](x);
        } catch (SqlError &e) {
            if (e.line == 1)
                e.line = statements[k].line;
            report(e);
            if (e.abortsBatch)
                return;
        } catch (const StoreError &e) {
            report(SqlError(50000, std::string("sqlsim's catalogue store failed: ") + e.what(), 16));
            return;
        } catch (const Cancelled &) {
            return;
        }
        if (sink.cancelled())
            return;
    }
}

}  // namespace sqlsim
