#pragma once
// The SQLite file behind every instance of one engine: the database lists and the
// catalogue rows of every database, keyed by a database key (dbk) unique in the engine.
// Each session has its own connection (WAL), so readers do not wait for one another.

#include "sim/engine/Engine.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace sqlsim {

// A failure of SQLite itself, not of the T-SQL being run.
struct StoreError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The client sent an attention: the batch stops without a message, the front end answers it.
struct Cancelled {};

using Param = std::variant<std::monostate, std::int64_t, double, std::string, BinaryValue>;

class StoreStmt {
public:
    StoreStmt(sqlite3 *db, std::string_view sql);
    // Borrows a prepared statement kept by its connection; it is reset, not finalized, after use.
    StoreStmt(sqlite3 *db, sqlite3_stmt *borrowed);
    ~StoreStmt();
    StoreStmt(const StoreStmt &) = delete;
    StoreStmt &operator=(const StoreStmt &) = delete;
    StoreStmt &bind(int index, const Param &value);
    bool step();  // true while a row is available
    void reset();  // ready to run again, bindings cleared
    std::int64_t intAt(int col) const;
    std::string textAt(int col) const;
    bool nullAt(int col) const;
    sqlite3_stmt *raw() const { return stmt_; }

private:
    sqlite3 *db_;
    sqlite3_stmt *stmt_ = nullptr;
    bool owned_ = true;
};

class StoreConn {
public:
    explicit StoreConn(const std::string &path);
    ~StoreConn();
    StoreConn(const StoreConn &) = delete;
    StoreConn &operator=(const StoreConn &) = delete;
    void exec(std::string_view sql);
    void run(std::string_view sql, const std::vector<Param> &params = {});
    std::int64_t scalarInt(std::string_view sql, const std::vector<Param> &params = {});
    sqlite3 *raw() const { return db_; }
    // Rows the last INSERT, UPDATE or DELETE changed.
    std::int64_t changes() const;

private:
    // Catalogue writes repeat the same few statements for every column; preparing each
    // once per connection keeps building large catalogues fast.
    sqlite3_stmt *prepared(std::string_view sql);

    sqlite3 *db_ = nullptr;
    std::map<std::string, sqlite3_stmt *, std::less<>> prepared_;
};

// Holds BEGIN IMMEDIATE .. COMMIT; rolls back unless committed.
class StoreTxn {
public:
    explicit StoreTxn(StoreConn &conn);
    ~StoreTxn();
    void commit();

private:
    StoreConn &conn_;
    bool nested_;
    bool done_ = false;
};

// Creates the tables of a new store.
void createStoreSchema(StoreConn &conn);

// The result of a translated query, typed as SQL Server would type it where the
// store's declared column types tell, otherwise from the values.
struct QueryResult {
    std::vector<Column> columns;
    std::vector<Row> rows;
};
QueryResult runQuery(StoreConn &conn, const std::string &sql, const BatchSink *sink,
                     const std::map<std::string, std::string> &typeHints = {});

// Parses a declared type such as "nvarchar(128)" or "sql_variant blob".
ColumnType parseDeclType(std::string_view decl);
// SQL Server's datetime from "YYYY-MM-DD HH:MM:SS[.fff]".
DateTimeValue parseDateTime(std::string_view text);
std::string nowText();

}  // namespace sqlsim
