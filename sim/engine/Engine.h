#pragma once
// The contract between sqlsim's TDS front end (sim/tds, sim/server) and its SQL engine
// (sim/engine). The front end owns sockets, packets, tokens, the log and fault injection;
// the engine owns everything a batch means: logins, databases, configuration, catalogue.
// All texts are UTF-8.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace sqlsim {

enum class TypeId {
    Int, SmallInt, TinyInt, BigInt, Bit, Float, Real, Decimal, Numeric, Money,
    Char, VarChar, NChar, NVarChar, Text, NText,
    DateTime, SmallDateTime, Date,
    UniqueIdentifier, VarBinary, SqlVariant
};

struct ColumnType {
    TypeId id = TypeId::Int;
    int length = 0;     // characters for character types, bytes for binary; -1 = MAX
    int precision = 0;  // decimal / numeric
    int scale = 0;
};

struct Column {
    std::string name;
    ColumnType type;
    bool nullable = true;
};

struct DecimalValue {
    std::string text;  // plain decimal text such as "-12.50"
};

struct DateTimeValue {
    std::int32_t days = 0;        // days since 1900-01-01
    std::uint32_t ticks300 = 0;   // 1/300 s since midnight, as the datetime type stores it
};

struct BinaryValue {
    std::vector<std::uint8_t> bytes;
};

// Null, integer, float, text, decimal, datetime or binary. For a sql_variant column the
// front end derives the base type from the alternative held (text is sent as nvarchar).
using Value = std::variant<std::monostate, std::int64_t, double, std::string, DecimalValue,
                           DateTimeValue, BinaryValue>;

using Row = std::vector<Value>;

struct Message {
    int number = 0;
    int state = 1;
    int severity = 16;   // 0..10 informational (INFO token), 11 and above an error (ERROR token)
    std::string text;
    std::string procedure;
    int line = 1;
    bool isError() const { return severity > 10; }
};

// Receives what one batch produces, in order.
class BatchSink {
public:
    virtual ~BatchSink() = default;
    virtual void resultSet(const std::vector<Column> &columns, const std::vector<Row> &rows) = 0;
    virtual void message(const Message &message) = 0;
    virtual void databaseChanged(const std::string &oldName, const std::string &newName) = 0;
    // Ends one statement: the DONE (or DONEINPROC) token. rowCount is set when the
    // statement counts rows; error when it failed.
    virtual void statementDone(std::optional<std::int64_t> rowCount, bool error) = 0;
    // True once the client has sent an attention; long work should stop early.
    virtual bool cancelled() const = 0;
    // A transaction began, committed or rolled back (TDS ENVCHANGE 8, 9, 10).
    enum class Transaction { Begin, Commit, Rollback };
    virtual void transactionChanged(Transaction, std::uint64_t /*descriptor*/) {}
};

struct LoginRequest {
    std::string user;
    std::string password;
    std::string database;     // empty: the login's default (master)
    std::string appName;
    std::string hostName;
};

class Session {
public:
    virtual ~Session() = default;
    virtual void executeBatch(std::string_view sql, BatchSink &sink) = 0;
    virtual std::string currentDatabase() const = 0;
    virtual int spid() const = 0;
    // The client cancelled a batch before it ran (an attention during a stall).
    virtual void attention(BatchSink &) {}
};

struct LoginSpec {
    std::string user;
    std::string password;
    bool sysadmin = true;
};

struct InstanceConfig {
    std::string name;
    std::string host = "127.0.0.1";
    std::uint16_t port = 0;            // set once the front end listens
    std::vector<LoginSpec> logins;     // empty: sa / sqlsim, sysadmin
    std::vector<std::string> databases;
    std::string backupDir;             // stands for the server's C:\ drive
    bool oledbProviders = true;        // false: no SQLOLEDB, as on SQL Server on Linux (7403)
};

struct LoginOutcome {
    std::unique_ptr<Session> session;  // null when the login failed
    std::vector<Message> messages;     // errors on failure; informational messages on success
};

// All server instances of one process; thread-safe.
class Engine {
public:
    static std::unique_ptr<Engine> create();
    virtual ~Engine() = default;
    virtual void addInstance(const InstanceConfig &config) = 0;
    virtual void setInstancePort(const std::string &instance, std::uint16_t port) = 0;
    // Runs a T-SQL script as the first sysadmin login; batches are separated by lines that
    // hold only GO. Throws std::runtime_error with the first error's text.
    virtual void runScript(const std::string &instance, std::string_view script) = 0;
    virtual LoginOutcome login(const std::string &instance, const LoginRequest &request) = 0;
};

}  // namespace sqlsim
