#pragma once
// A BatchSink that keeps everything a batch produced, and a session helper for the tests.

#include "sim/engine/Engine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sqlsim::test {

struct ResultSet {
    std::vector<Column> columns;
    std::vector<Row> rows;
};

struct Done {
    std::optional<std::int64_t> rows;
    bool error = false;
};

class Recorder : public BatchSink {
public:
    void resultSet(const std::vector<Column> &columns, const std::vector<Row> &rows) override
    {
        results.push_back({columns, rows});
        events.push_back("result");
    }
    void message(const Message &m) override
    {
        messages.push_back(m);
        events.push_back("msg " + std::to_string(m.number));
    }
    void databaseChanged(const std::string &oldName, const std::string &newName) override
    {
        changes.emplace_back(oldName, newName);
        events.push_back("db " + newName);
    }
    void statementDone(std::optional<std::int64_t> rows, bool error) override
    {
        dones.push_back({rows, error});
        events.push_back(error ? "done error" : "done");
    }
    bool cancelled() const override { return false; }

    std::vector<int> errorNumbers() const
    {
        std::vector<int> out;
        for (const Message &m : messages)
            if (m.isError()) out.push_back(m.number);
        return out;
    }
    const Message *firstError() const
    {
        for (const Message &m : messages)
            if (m.isError()) return &m;
        return nullptr;
    }

    std::vector<ResultSet> results;
    std::vector<Message> messages;
    std::vector<std::pair<std::string, std::string>> changes;
    std::vector<Done> dones;
    std::vector<std::string> events;
};

inline std::string text(const Value &v)
{
    if (auto *s = std::get_if<std::string>(&v)) return *s;
    if (auto *i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
    if (std::holds_alternative<std::monostate>(v)) return "NULL";
    if (auto *d = std::get_if<double>(&v)) return std::to_string(*d);
    return "?";
}

// Column of one result set as texts, NULL for null.
inline std::vector<std::string> column(const ResultSet &rs, std::size_t index)
{
    std::vector<std::string> out;
    for (const Row &r : rs.rows) out.push_back(text(r.at(index)));
    return out;
}

// An engine with instances and logged-in sessions.
class EngineFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        engine = Engine::create();
        InstanceConfig a;
        a.name = "alpha";
        a.port = 14331;
        a.databases = {"shop", "crm"};
        a.logins = {{"sa", "sqlsim", true}, {"reader", "pw", false}};
        engine->addInstance(a);
        InstanceConfig b;
        b.name = "beta";
        b.port = 14332;
        engine->addInstance(b);
    }

    std::unique_ptr<Session> connect(const std::string &instance = "alpha", const std::string &user = "sa",
                                     const std::string &password = "sqlsim", const std::string &db = "")
    {
        LoginOutcome out = engine->login(instance, {user, password, db, "test", "host"});
        if (!out.session) ADD_FAILURE() << "login failed: " << (out.messages.empty() ? "" : out.messages[0].text);
        return std::move(out.session);
    }

    Recorder run(Session &s, std::string_view sql)
    {
        Recorder r;
        s.executeBatch(sql, r);
        return r;
    }

    // Runs sql and fails the test on any error.
    Recorder ok(Session &s, std::string_view sql)
    {
        Recorder r = run(s, sql);
        if (const Message *m = r.firstError()) ADD_FAILURE() << "error " << m->number << ": " << m->text << "\nin: " << sql;
        return r;
    }

    std::unique_ptr<Engine> engine;
};

}  // namespace sqlsim::test
