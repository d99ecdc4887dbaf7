#pragma once
// User transactions. A session's open transaction is one SQLite transaction on its own store
// connection (BEGIN IMMEDIATE: other writers wait, readers see what was committed); each
// statement inside it runs under a savepoint so that a failing statement alone is undone, and
// SAVE TRANSACTION is a savepoint of its own.

#include <cstdint>
#include <string>
#include <vector>

namespace sqlsim {

class SessionImpl;
class BatchSink;
struct Exec;
struct SqlError;
struct Statement;
struct StoreError;

struct TransactionState {
    int count = 0;               // @@TRANCOUNT
    std::string name;            // the outermost BEGIN TRANSACTION's name
    struct Savepoint {
        std::string name;        // as the user wrote it (case-sensitive)
        std::string storeName;   // the SQLite savepoint
    };
    std::vector<Savepoint> savepoints;
    std::uint64_t descriptor = 0;  // the TDS transaction descriptor of the open transaction
    std::uint64_t generation = 0;  // counts transactions opened, so a statement knows its own
    int nextSavepoint = 0;
    bool implicitMode = false;     // SET IMPLICIT_TRANSACTIONS ON
};

void execBeginTransaction(Exec &x);
void execCommit(Exec &x);
void execRollback(Exec &x);
void execSaveTransaction(Exec &x);

// Rolls the whole transaction back, if one is open (XACT_ABORT, a closing connection).
void rollbackTransaction(SessionImpl &session, BatchSink *sink);

// Refuses, inside a transaction, what SQL Server refuses there or what sqlsim keeps outside
// its store (database lists, configuration, backups).
void refuseInTransaction(Exec &x);

// Brackets one statement: opens the implicit transaction where IMPLICIT_TRANSACTIONS asks for
// one, and undoes the statement alone (or the whole transaction) when it fails.
class StatementScope {
public:
    StatementScope(SessionImpl &session, BatchSink &sink, const Statement &stmt);
    void enter();
    void succeeded();
    // An error: the statement is undone; the transaction too under XACT_ABORT or for an
    // error that dooms it.
    void failed(const SqlError &e);
    // A failure of the store: a lock time-out, a deadlock (the transaction is lost) or worse.
    SqlError failedStore(const StoreError &e);
    void cancelled();

private:
    void undoStatement();
    SessionImpl &session_;
    BatchSink &sink_;
    const Statement &stmt_;
    bool active_ = false;
    std::uint64_t generation_ = 0;
};

}  // namespace sqlsim
