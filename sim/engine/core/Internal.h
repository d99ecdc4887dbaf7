#pragma once
// Shared state of the engine: instances, their databases and configuration, sessions.
//
// How a batch runs: Lexer tokenizes it and splits it into statements; Session routes each
// statement by its first keyword to a handler (Ddl, Databases, Procedures, Backup, Select).
// The catalogue of every database of every instance lives in one SQLite file (Store), in
// tables that mirror SQL Server's catalogue views, keyed by a database key; DDL writes those
// rows (Catalog), and a SELECT is translated to SQLite over them (Translate*), so the tool's
// queries, OPENDATASOURCE reads of another instance included, run as one SQLite query.
// Each session has its own SQLite connection: readers never wait, writers take turns.

#include "sim/engine/Engine.h"
#include "sim/engine/core/Lexer.h"
#include "sim/engine/core/Store.h"
#include "sim/engine/transactions/Transactions.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace sqlsim {

struct Database {
    std::string name;
    int dbid = 0;
    std::int64_t dbk = 0;  // key of its rows in the store
};

struct ConfigOption {
    std::string name;
    std::int64_t minimum = 0;
    std::int64_t maximum = 1;
    std::int64_t config = 0;  // set by sp_configure
    std::int64_t run = 0;     // in effect since the last reconfigure
    bool advanced = false;
};

class EngineImpl;

struct Instance {
    EngineImpl *engine = nullptr;
    std::int64_t key = 0;
    InstanceConfig config;
    std::vector<LoginSpec> logins;
    std::atomic<int> nextSpid{51};

    mutable std::mutex mu;  // guards what follows
    std::vector<Database> databases;
    int nextDbid = 5;
    std::vector<ConfigOption> options;

    std::optional<Database> findDatabase(std::string_view name) const;
    std::vector<Database> databaseList() const;
    bool adHocQueriesEnabled() const;
    bool advancedOptionsShown() const;
    const LoginSpec *findLogin(std::string_view user) const;
};

// What a statement may ask of the engine beyond its own instance.
class EngineImpl : public Engine {
public:
    EngineImpl();
    ~EngineImpl() override;
    void addInstance(const InstanceConfig &config) override;
    void setInstancePort(const std::string &instance, std::uint16_t port) override;
    void runScript(const std::string &instance, std::string_view script) override;
    LoginOutcome login(const std::string &instance, const LoginRequest &request) override;

    std::shared_ptr<Instance> findInstance(std::string_view name) const;
    // An instance named by a client's Data Source: "host,port", "name", "host\name".
    std::shared_ptr<Instance> resolveDataSource(std::string_view dataSource) const;
    const std::string &storePath() const { return storePath_; }
    std::int64_t newDatabaseKey() { return nextDbk_++; }

private:
    std::string dir_;
    std::string storePath_;
    std::unique_ptr<StoreConn> admin_;
    std::mutex adminMu_;
    mutable std::mutex mu_;
    std::map<std::string, std::shared_ptr<Instance>> instances_;  // by lower-case name
    std::atomic<std::int64_t> nextDbk_{1};
    std::atomic<std::int64_t> nextInstanceKey_{1};
};

// Creates a database's rows in the store (name list and catalogue); the caller holds inst.mu.
Database addDatabase(Instance &inst, StoreConn &conn, const std::string &name);
void removeDatabase(Instance &inst, StoreConn &conn, const Database &db);
void seedSystemTypes(StoreConn &conn);

class SessionImpl : public Session {
public:
    SessionImpl(std::shared_ptr<Instance> inst, const LoginSpec &login, std::string database, int spid);
    ~SessionImpl() override;  // rolls back an open transaction
    void executeBatch(std::string_view sql, BatchSink &sink) override;
    std::string currentDatabase() const override;
    int spid() const override { return spid_; }
    void attention(BatchSink &sink) override;

    Instance &instance() { return *inst_; }
    const LoginSpec &login() const { return login_; }
    StoreConn &store();
    void setDatabase(const std::string &name);
    bool nocount = false;
    bool xactAbort = false;       // SET XACT_ABORT ON: a run-time error ends the batch
    bool ansiPaddingOff = false;  // SET ANSI_PADDING OFF
    bool ansiNullsOff = false;    // SET ANSI_NULLS OFF
    bool quotedIdentifierOff = false;  // SET QUOTED_IDENTIFIER OFF: "..." is a string
    bool noexec = false;          // SET NOEXEC ON: statements are compiled, not run
    // SET IDENTITY_INSERT: the one table of the session that takes explicit identity values.
    struct IdentityInsert {
        std::int64_t dbk = 0;
        std::int64_t table = 0;
        std::string database;  // the table's name is read when needed: sp_rename may change it
    };
    std::optional<IdentityInsert> identityInsert;
    TransactionState txn;

private:
    std::shared_ptr<Instance> inst_;
    LoginSpec login_;
    std::string database_;
    int spid_;
    std::unique_ptr<StoreConn> store_;
};

// One statement being run; handlers throw SqlError.
struct Exec {
    SessionImpl &session;
    BatchSink &sink;
    const Statement &stmt;
    std::string_view batchText;
    std::size_t index = 0;  // position of the statement in its batch

    void info(int number, const std::string &text, int state = 1) const;
    // Sends an error at the statement's line and lets the statement go on: for statements
    // that act on several objects and report each failure on its own.
    void error(const SqlError &e) const;
    void done(std::optional<std::int64_t> rows = std::nullopt) const;
};

// Statement handlers, one family per file.
void execSet(Exec &x);
void execUse(Exec &x);
void execConfigure(Exec &x, std::size_t argStart);
void execReconfigure(Exec &x);
void execCreateDatabase(Exec &x);
void execDropDatabase(Exec &x);
void execSelect(Exec &x);
void execExec(Exec &x);
void execCreate(Exec &x);
void execAlter(Exec &x);
void execDrop(Exec &x);
void execBackup(Exec &x);
void execInsert(Exec &x);
void execUpdate(Exec &x);
void execDelete(Exec &x);
void execTruncate(Exec &x);
void execSetIdentityInsert(Exec &x);
void execRaiserror(Exec &x);
void execCheckpoint(Exec &x);
void execUpdateStatistics(Exec &x);
// EXEC sp_executesql with a literal statement and no parameters; args start at tokens[i].
void execExecuteSql(Exec &x, std::size_t i);
// Under SET NOEXEC ON the one statement that still reaches its handler: SET, which is compiled
// there (unknown options fail) and changes only NOEXEC and the parse-time QUOTED_IDENTIFIER.
bool actsUnderNoexec(const Statement &stmt);
// Whether a statement's error ends its batch under the session's options (XACT_ABORT).
bool abortsOnError(const SessionImpl &session, const SqlError &e);
// Refuses a statement the session's options would make behave otherwise (ANSI_PADDING OFF,
// ANSI_NULLS OFF).
void guardOptions(Exec &x);
// Under QUOTED_IDENTIFIER OFF, "..." tokens of a batch become strings.
std::vector<Token> applyQuotedIdentifier(const SessionImpl &session, std::string_view sql, std::vector<Token> tokens);

// Reads a possibly bracketed name at tokens[i]; advances i.
std::string readName(const std::vector<Token> &tokens, std::size_t &i);
[[noreturn]] void syntaxError(const Token &near);
[[noreturn]] void notSupported(const std::string &what);
// Reports first, then fails with second (SQL Server's "see previous errors" pairs).
[[noreturn]] void failPair(Exec &x, const SqlError &first, const SqlError &second);

}  // namespace sqlsim
