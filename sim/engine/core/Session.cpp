#include "sim/engine/core/Internal.h"
#include "sim/engine/catalog/Procedures.h"
#include "sim/engine/script/ControlFlow.h"
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

void Exec::error(const SqlError &e) const
{
    Message m;
    m.number = e.number;
    m.severity = e.severity;
    m.text = e.what();
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

using Handler = void (*)(Exec &);

struct Route {
    const char *head;
    Handler handler;
};

const Route routes[] = {
    {"select", execSelect},   {"set", execSet},       {"use", execUse},
    {"exec", execExec},       {"execute", execExec},  {"reconfigure", execReconfigure},
    {"create", execCreate},   {"alter", execAlter},   {"drop", execDrop},
    {"print", execPrint},     {"backup", execBackup},
    {"insert", execInsert},   {"update", execUpdate},   {"delete", execDelete},
    {"truncate", execTruncate}, {"raiserror", execRaiserror}, {"checkpoint", execCheckpoint},
    {"enable", execTriggerToggle}, {"disable", execTriggerToggle},
    {"begin", execBeginTransaction}, {"commit", execCommit}, {"rollback", execRollback},
    {"save", execSaveTransaction},
};

const char *const knownUnsupported[] = {"declare", "while", "dbcc",
                                        "grant", "revoke", "deny", "waitfor", "return", "restore", "with",
                                        "merge", "open", "fetch", "close", "deallocate", "goto", "break",
                                        "continue", "bulk", "kill", "shutdown", "readtext", "writetext",
                                        "updatetext", "setuser", "revert", "throw"};

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
    if (head.kw("update") && st.tokens[1].kw("statistics"))
        return execUpdateStatistics;
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
    std::vector<FlowNode> plan;
    try {
        const std::vector<Token> tokens = applyQuotedIdentifier(*this, sql, tokenize(sql));
        int depth = 0;
        for (const Token &t : tokens) {
            depth += t.is(Tok::LParen) ? 1 : t.is(Tok::RParen) ? -1 : 0;
            if (depth > 128)  // deeper nesting would only exhaust the translator's stack
                throw SqlError(191, "Some part of your SQL statement is nested too deeply. Rewrite the query or "
                                    "break it up into smaller queries.", 15, t.line);
        }
        statements = splitStatements(sql, tokens);
        for (std::size_t k = 0; k < statements.size(); ++k) {
            if (isFlowStatement(statements[k])) {
                handlers.push_back(nullptr);
                continue;
            }
            Handler h = routeFor(statements[k], k == 0);
            if (!h)
                syntaxError(statements[k].tokens.front());
            const Token &head = statements[k].tokens.front();
            if (k == 0 && head.isName() && !head.kw("exec") && !head.kw("execute") &&
                !isKnownHead(head))
                (void)parseProcArgs(statements[k].tokens, 1);  // a procedure call must parse
            handlers.push_back(h);
        }
        plan = planFlow(statements);
    } catch (const SqlError &e) {
        // A batch that does not parse runs no statement at all.
        report(e);
        return;
    }
    if (statements.empty()) {
        sink.statementDone(std::nullopt, false);
        return;
    }
    auto attempt = [&](std::size_t k, const std::function<void(Exec &)> &body) {
        // NOEXEC ON: the batch parsed, which is all SQL Server's compilation would report here.
        if (noexec && !actsUnderNoexec(statements[k])) {
            sink.statementDone(std::nullopt, false);
            return Step::Compiled;
        }
        Exec x{*this, sink, statements[k], sql, k};
        StatementScope scope(*this, sink, statements[k]);
        try {
            scope.enter();
            refuseInTransaction(x);
            body(x);
            scope.succeeded();
        } catch (SqlError &e) {
            if (e.line == 1)
                e.line = statements[k].line;
            scope.failed(e);
            report(e);
            if (e.abortsBatch || abortsOnError(*this, e))
                return Step::Stop;
            return sink.cancelled() ? Step::Stop : Step::Failed;
        } catch (const StoreError &e) {
            report(scope.failedStore(e));
            return Step::Stop;
        } catch (const Cancelled &) {
            scope.cancelled();
            return Step::Stop;
        }
        return sink.cancelled() ? Step::Stop : Step::Ran;
    };
    runFlow(plan, FlowSteps{[&](std::size_t k) {
                                return attempt(k, [&](Exec &x) {
                                    guardOptions(x);
                                    handlers[k](x);
                                });
                            },
                            [&](std::size_t k, bool &holds) {
                                return attempt(k, [&](Exec &x) {
                                    guardOptions(x);
                                    holds = evalCondition(x);
                                });
                            }});
}

}  // namespace sqlsim
