#include "FakeEngine.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>

namespace sqlsim::testing {

namespace {

Message makeMessage(int number, int severity, std::string text, int state = 1)
{
    Message m;
    m.number = number;
    m.severity = severity;
    m.state = state;
    m.text = std::move(text);
    return m;
}

Column col(std::string name, TypeId id, int length = 0, int precision = 0, int scale = 0)
{
    return Column{std::move(name), ColumnType{id, length, precision, scale}, true};
}

class FakeSession : public Session {
public:
    explicit FakeSession(std::string db, int spid) : db_(std::move(db)), spid_(spid) {}

    std::string currentDatabase() const override { return db_; }
    int spid() const override { return spid_; }

    void executeBatch(std::string_view sql, BatchSink &sink) override
    {
        std::string text(sql);  // clients may add a line break
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
            text.pop_back();
        if (text == "types")
            return types(sink);
        if (text == "multi") {
            sink.resultSet({col("a", TypeId::Int)}, {{std::int64_t{1}}, {std::int64_t{2}}});
            sink.statementDone(2, false);
            sink.message(makeMessage(50001, 0, "between the sets"));
            sink.resultSet({col("b", TypeId::NVarChar, 10)}, {{std::string("x")}});
            sink.statementDone(1, false);
            sink.statementDone(3, false);
            return;
        }
        if (text == "twodone") {
            sink.statementDone(std::nullopt, false);
            sink.statementDone(std::nullopt, false);
            return;
        }
        if (text == "error") {
            sink.message(makeMessage(208, 16, "Invalid object name 'nosuch'."));
            sink.statementDone(std::nullopt, true);
            return;
        }
        if (text == "use fakedb" || text == "use master") {
            const std::string next = text.substr(4);
            sink.databaseChanged(db_, next);
            db_ = next;
            sink.message(makeMessage(5701, 0, "Changed database context to '" + next + "'.", 1));
            sink.statementDone(std::nullopt, false);
            return;
        }
        if (text == "slow") {
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (!sink.cancelled() && std::chrono::steady_clock::now() < end)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            sink.statementDone(std::nullopt, false);
            return;
        }
        if (text.rfind("echo:", 0) == 0) {
            const std::string body = text.substr(5);
            sink.resultSet({col("n", TypeId::NVarChar, -1), col("v", TypeId::VarChar, -1)},
                           {{body, body}});
            sink.statementDone(1, false);
            return;
        }
        if (text.rfind("rows ", 0) == 0) {
            const int n = std::stoi(text.substr(5));
            std::vector<Row> rows;
            for (int i = 0; i < n; ++i)
                rows.push_back({std::int64_t{i}, std::string("row ") + std::to_string(i)});
            sink.resultSet({col("i", TypeId::Int), col("s", TypeId::NVarChar, 100)}, rows);
            sink.statementDone(n, false);
            return;
        }
        sink.message(makeMessage(102, 15, "Incorrect syntax near '" + text.substr(0, 20) + "'."));
        sink.statementDone(std::nullopt, true);
    }

private:
    static void types(BatchSink &sink)
    {
        const std::vector<Column> cols = {
            col("i", TypeId::Int), col("si", TypeId::SmallInt), col("ti", TypeId::TinyInt),
            col("bi", TypeId::BigInt), col("b", TypeId::Bit), col("nv", TypeId::NVarChar, 50),
            col("v", TypeId::VarChar, 50), col("nvmax", TypeId::NVarChar, -1),
            col("vmax", TypeId::VarChar, -1), col("dt", TypeId::DateTime),
            col("dec", TypeId::Decimal, 0, 10, 2), col("num", TypeId::Numeric, 0, 38, 0),
            col("var_int", TypeId::SqlVariant), col("var_text", TypeId::SqlVariant),
            col("var_dec", TypeId::SqlVariant), col("var_dt", TypeId::SqlVariant),
            col("f", TypeId::Float), col("r", TypeId::Real), col("m", TypeId::Money),
            col("d", TypeId::Date), col("g", TypeId::UniqueIdentifier),
            col("vb", TypeId::VarBinary, 20), col("c", TypeId::Char, 5), col("nc", TypeId::NChar, 3),
            col("sdt", TypeId::SmallDateTime)};
        const std::string longText(9000, 'x');
        const Row values = {
            std::int64_t{-2147483647 - 1}, std::int64_t{-32768}, std::int64_t{255},
            std::int64_t{9223372036854775807LL}, std::int64_t{1},
            std::string("\xe4\xb8\xad\xe6\x96\x87 r\xc3\xa9sum\xc3\xa9"),  // 中文 résumé
            std::string("caf\xc3\xa9 \xe2\x82\xac"),                         // café €
            longText + "\xe4\xb8\xad", longText,
            DateTimeValue{45000, 300 * 3661 + 150},  // 2023-03-17 01:01:01.500
            DecimalValue{"-12345678.90"}, DecimalValue{"12345678901234567890123456789012345678"},
            std::int64_t{42}, std::string("\xe5\x8f\x98"), DecimalValue{"3.25"},
            DateTimeValue{0, 0}, 1.5, 0.25, DecimalValue{"-1234.5678"},
            DateTimeValue{45000, 0}, std::string("6F9619FF-8B86-D011-B42D-00C04FC964FF"),
            BinaryValue{{0xDE, 0xAD, 0xBE, 0xEF}}, std::string("ab"), std::string("\xe4\xb8\xad"),
            DateTimeValue{45000, 300 * 60 * 90}};
        sink.resultSet(cols, {values, Row(cols.size())});
        sink.statementDone(2, false);
    }

    std::string db_;
    int spid_;
};

class FakeEngine : public Engine {
public:
    void addInstance(const InstanceConfig &config) override
    {
        std::lock_guard lock(mutex_);
        instances_.insert(config.name);
    }
    void setInstancePort(const std::string &, std::uint16_t) override {}
    void runScript(const std::string &, std::string_view script) override
    {
        if (script.find("fail") != std::string_view::npos)
            throw std::runtime_error("Incorrect syntax near 'fail'.");
    }
    LoginOutcome login(const std::string &instance, const LoginRequest &request) override
    {
        {
            std::lock_guard lock(mutex_);
            if (!instances_.count(instance))
                throw std::runtime_error("no instance " + instance);
        }
        LoginOutcome out;
        if (request.user != "sa" || request.password != "sqlsim") {
            out.messages.push_back(makeMessage(18456, 14, "Login failed for user '" + request.user + "'."));
            return out;
        }
        const std::string db = request.database.empty() ? "master" : request.database;
        if (db != "master" && db != "fakedb") {
            out.messages.push_back(makeMessage(
                4060, 11, "Cannot open database \"" + db + "\" requested by the login. The login failed."));
            out.messages.push_back(makeMessage(18456, 14, "Login failed for user '" + request.user + "'."));
            return out;
        }
        out.session = std::make_unique<FakeSession>(db, ++spids_);
        return out;
    }

private:
    std::mutex mutex_;
    std::set<std::string> instances_;
    std::atomic<int> spids_{50};
};

}  // namespace

std::unique_ptr<Engine> makeFakeEngine()
{
    return std::make_unique<FakeEngine>();
}

}  // namespace sqlsim::testing
