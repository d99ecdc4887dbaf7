// BEGIN, COMMIT, ROLLBACK and SAVE TRANSACTION, @@TRANCOUNT's nesting, and what a statement
// inside a transaction does when it fails.
#include "sim/engine/transactions/Transactions.h"

#include "sim/engine/core/Internal.h"

#include <sqlite3.h>

namespace sqlsim {

namespace {

bool isTranWord(const Token &t)
{
    return t.kw("tran") || t.kw("transaction");
}

// An optional transaction or savepoint name at t[i]; names held in variables are refused.
std::string optionalName(const std::vector<Token> &t, std::size_t &i)
{
    if (t[i].is(Tok::Variable))
        notSupported("A transaction name held in a variable");
    if (t[i].is(Tok::End) || t[i].kw("with"))
        return {};
    return readName(t, i);
}

void expectEnd(const std::vector<Token> &t, std::size_t i)
{
    if (t[i].kw("with"))
        notSupported("WITH on a transaction statement");
    if (!t[i].is(Tok::End))
        syntaxError(t[i]);
}

void open(SessionImpl &s, BatchSink *sink, const std::string &name)
{
    // Deferred: the store's write lock is taken by the first write, so a transaction that only
    // reads (a driver's manual-commit mode keeps one open) holds no one up.
    s.store().exec("BEGIN");
    TransactionState &tx = s.txn;
    tx.count = 1;
    tx.name = name;
    tx.savepoints.clear();
    ++tx.generation;
    tx.descriptor = (static_cast<std::uint64_t>(s.spid()) << 32) | (tx.generation & 0xffffffffu);
    if (sink)
        sink->transactionChanged(BatchSink::Transaction::Begin, tx.descriptor);
}

void close(SessionImpl &s, BatchSink *sink, bool commit)
{
    TransactionState &tx = s.txn;
    const std::uint64_t descriptor = tx.descriptor;
    tx.count = 0;
    tx.name.clear();
    tx.savepoints.clear();
    tx.descriptor = 0;
    try {
        s.store().exec(commit ? "COMMIT" : "ROLLBACK");
    } catch (const StoreError &e) {
        if (commit)  // SQLite kept nothing: the transaction is gone either way
            throw SqlError(50000, std::string("sqlsim's store could not commit the transaction: ") + e.what(), 16);
    }
    if (sink)
        sink->transactionChanged(commit ? BatchSink::Transaction::Commit : BatchSink::Transaction::Rollback,
                                 descriptor);
}

// Statements that open a transaction under IMPLICIT_TRANSACTIONS ON. A SELECT opens one
// only when it reads a table.
bool opensImplicitly(const Statement &st)
{
    const Token &h = st.tokens.front();
    for (const char *k : {"alter", "create", "delete", "deny", "drop", "fetch", "grant", "insert", "open",
                          "revoke", "truncate", "update", "begin"})
        if (h.kw(k))
            return !(h.kw("begin") && !isTranWord(st.tokens[1]));
    if (h.kw("select"))
        for (const Token &t : st.tokens)
            if (t.kw("from"))
                return true;
    return false;
}

bool isTransactionStatement(const Statement &st)
{
    const auto &t = st.tokens;
    return t[0].kw("commit") || t[0].kw("rollback") || (t[0].kw("save") && isTranWord(t[1])) ||
           (t[0].kw("begin") && isTranWord(t[1]));
}

}  // namespace

void execBeginTransaction(Exec &x)
{
    const auto &t = x.stmt.tokens;
    if (t[1].kw("distributed"))
        notSupported("BEGIN DISTRIBUTED TRANSACTION");
    if (!isTranWord(t[1]))
        notSupported("The " + t[0].text + " " + t[1].text + " statement");
    std::size_t i = 2;
    const std::string name = optionalName(t, i);
    expectEnd(t, i);
    TransactionState &tx = x.session.txn;
    if (tx.count == 0 && tx.implicitMode)
        open(x.session, &x.sink, {});  // the implicit transaction, then this one inside it
    if (tx.count == 0)
        open(x.session, &x.sink, name);
    else
        ++tx.count;  // a nested BEGIN only counts; its name means nothing
    x.done();
}

void execCommit(Exec &x)
{
    const auto &t = x.stmt.tokens;
    std::size_t i = 1;
    if (t[i].kw("work")) {
        ++i;
    } else if (isTranWord(t[i])) {
        ++i;
        (void)optionalName(t, i);  // COMMIT ignores the name
    }
    expectEnd(t, i);
    TransactionState &tx = x.session.txn;
    if (tx.count == 0)
        throw SqlError(3902, "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.", 16);
    if (tx.count > 1)
        --tx.count;
    else
        close(x.session, &x.sink, true);
    x.done();
}

void execRollback(Exec &x)
{
    const auto &t = x.stmt.tokens;
    std::size_t i = 1;
    std::string name;
    if (t[i].kw("work")) {
        ++i;
    } else if (isTranWord(t[i])) {
        ++i;
        name = optionalName(t, i);
    }
    expectEnd(t, i);
    TransactionState &tx = x.session.txn;
    if (tx.count == 0)
        throw SqlError(3903, "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION.", 16);
    if (!name.empty() && name != tx.name) {
        // A savepoint: the latest of that name; the count stays.
        for (std::size_t k = tx.savepoints.size(); k-- > 0;)
            if (tx.savepoints[k].name == name) {
                x.session.store().exec("ROLLBACK TO \"" + tx.savepoints[k].storeName + "\"");
                tx.savepoints.resize(k + 1);
                x.done();
                return;
            }
        throw SqlError(6401, "Cannot roll back " + name + ". No transaction or savepoint of that name was found.", 16);
    }
    close(x.session, &x.sink, false);
    x.done();
}

void execSaveTransaction(Exec &x)
{
    const auto &t = x.stmt.tokens;
    if (!isTranWord(t[1]))
        syntaxError(t[1]);
    std::size_t i = 2;
    const std::string name = optionalName(t, i);
    if (name.empty())
        syntaxError(t[i]);
    expectEnd(t, i);
    TransactionState &tx = x.session.txn;
    if (tx.count == 0)
        throw SqlError(628, "Cannot issue SAVE TRANSACTION when there is no active transaction.", 16);
    const std::string storeName = "sqlsim_save_" + std::to_string(++tx.nextSavepoint);
    x.session.store().exec("SAVEPOINT \"" + storeName + "\"");
    tx.savepoints.push_back({name, storeName});
    x.done();
}

void rollbackTransaction(SessionImpl &session, BatchSink *sink)
{
    if (session.txn.count > 0)
        close(session, sink, false);
}

void refuseInTransaction(Exec &x)
{
    if (x.session.txn.count == 0)
        return;
    const auto &t = x.stmt.tokens;
    for (const char *verb : {"create", "drop", "alter"})
        if (t[0].kw(verb) && t[1].kw("database"))
            throw SqlError(226, lower(verb) == "create" ? "CREATE DATABASE statement not allowed within multi-statement transaction."
                                : lower(verb) == "drop" ? "DROP DATABASE statement not allowed within multi-statement transaction."
                                                        : "ALTER DATABASE statement not allowed within multi-statement transaction.",
                           16);
    if (t[0].kw("backup") || t[0].kw("restore")) {
        Message m;
        m.number = 3021;
        m.severity = 16;
        m.text = "Cannot perform a backup or restore operation within a transaction.";
        m.line = x.stmt.line;
        x.sink.message(m);
        throw SqlError(3013, std::string(t[0].kw("backup") ? "BACKUP" : "RESTORE") + " DATABASE is terminating abnormally.",
                       16);
    }
    if (t[0].kw("reconfigure"))
        throw SqlError(574, "CONFIG statement cannot be used inside a user transaction.", 16);
    for (std::size_t k = 0; k < 6 && !t[k].is(Tok::End); ++k)
        if (t[k].kw("sp_configure") && (k == 0 || t[0].kw("exec") || t[0].kw("execute")))
            throw SqlError(15002, "The procedure 'sys.sp_configure' cannot be executed within a transaction.", 16);
    if (t[0].kw("checkpoint"))
        notSupported("CHECKPOINT inside a transaction");
}

StatementScope::StatementScope(SessionImpl &session, BatchSink &sink, const Statement &stmt)
    : session_(session), sink_(sink), stmt_(stmt)
{
}

void StatementScope::enter()
{
    if (isTransactionStatement(stmt_))
        return;  // they end or mark the transaction themselves
    if (session_.txn.count == 0 && session_.txn.implicitMode && opensImplicitly(stmt_))
        open(session_, &sink_, {});
    if (session_.txn.count == 0)
        return;
    session_.store().exec("SAVEPOINT sqlsim_statement");
    active_ = true;
    generation_ = session_.txn.generation;
}

void StatementScope::succeeded()
{
    if (active_ && session_.txn.count > 0 && session_.txn.generation == generation_)
        session_.store().exec("RELEASE sqlsim_statement");
    active_ = false;
    // An attention under XACT_ABORT ends the transaction even after a statement that ran.
    if (sink_.cancelled() && session_.xactAbort)
        rollbackTransaction(session_, &sink_);
}

void StatementScope::undoStatement()
{
    if (active_ && session_.txn.count > 0 && session_.txn.generation == generation_) {
        try {
            session_.store().exec("ROLLBACK TO sqlsim_statement");
            session_.store().exec("RELEASE sqlsim_statement");
        } catch (const StoreError &) {
            rollbackTransaction(session_, &sink_);  // SQLite lost the savepoint: undo everything
        }
    }
    active_ = false;
}

void StatementScope::failed(const SqlError &e)
{
    undoStatement();
    // Deadlock victims and fatal errors lose the transaction whatever XACT_ABORT says.
    if ((session_.xactAbort && e.severity >= 11) || e.number == 1205 || e.severity >= 20)
        rollbackTransaction(session_, &sink_);
}

SqlError StatementScope::failedStore(const StoreError &e)
{
    const int code = sqlite3_extended_errcode(session_.store().raw());
    undoStatement();
    if (code == SQLITE_BUSY)  // another session's transaction kept the store past the busy time-out
        return SqlError(1222, "Lock request time out period exceeded.", 16);
    rollbackTransaction(session_, &sink_);
    if (code == SQLITE_BUSY_SNAPSHOT)  // this transaction read what another one has since changed
        return SqlError(1205, "Transaction (Process ID " + std::to_string(session_.spid()) +
                                  ") was deadlocked on lock resources with another process and has been chosen "
                                  "as the deadlock victim. Rerun the transaction.", 13);
    return SqlError(50000, std::string("sqlsim's catalogue store failed: ") + e.what(), 16);
}

void StatementScope::cancelled()
{
    undoStatement();
    if (session_.xactAbort)
        rollbackTransaction(session_, &sink_);
}

}  // namespace sqlsim

namespace sqlsim {

void SessionImpl::attention(BatchSink &sink)
{
    if (xactAbort)
        rollbackTransaction(*this, &sink);
}

SessionImpl::~SessionImpl()
{
    // A connection that closes, or drops, with a transaction open loses it.
    try {
        rollbackTransaction(*this, nullptr);
    } catch (...) {
        // Closing the store connection rolls back what is left.
    }
}

}  // namespace sqlsim
