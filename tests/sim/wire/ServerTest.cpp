// The server in-process on the fake engine, spoken to with a bare TDS client: logins, DONE
// flags, packet sizes, attention, fault injection, bad input and the log.
#include "FakeEngine.h"
#include "TestClient.h"
#include "sim/server/Server.h"
#include "sim/tds/Rpc.h"
#include "sim/tds/Tokens.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <unistd.h>

using namespace sqlsim;
using namespace sqlsim::tds;
using namespace sqlsim::testing;

namespace {

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        logPath_ = ::testing::TempDir() + "sqlsim_wire_log_" + std::to_string(::getpid()) + ".jsonl";
        std::remove(logPath_.c_str());
        log_ = std::make_unique<server::EventLog>(logPath_);
        server_ = std::make_unique<server::Server>(*engine_, *log_);
        port_ = server_->listen("S1", 0);
        InstanceConfig config;
        config.name = "S1";
        engine_->addInstance(config);
        server_->start();
    }
    void TearDown() override
    {
        server_->stop();
        std::remove(logPath_.c_str());
    }
    std::unique_ptr<TestClient> loggedIn(std::uint32_t packetSize = 4096)
    {
        auto c = std::make_unique<TestClient>(port_);
        Login7Fields f;
        f.packetSize = packetSize;
        auto r = c->login(f);
        EXPECT_TRUE(r && r->loginAck);
        return c;
    }
    std::string logText()
    {
        std::ifstream in(logPath_);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::unique_ptr<Engine> engine_ = makeFakeEngine();
    std::string logPath_;
    std::unique_ptr<server::EventLog> log_;
    std::unique_ptr<server::Server> server_;
    std::uint16_t port_ = 0;
};

bool hasAttn(const Response &r)
{
    return !r.doneStatus.empty() && (r.doneStatus.back() & kDoneAttn);
}

}  // namespace

TEST_F(ServerTest, LoginAnswersAsSqlServer)
{
    TestClient c(port_);
    Login7Fields f;
    f.packetSize = 8192;
    const auto r = c.login(f);
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->loginAck);
    EXPECT_EQ(r->env.at(kEnvDatabase), "master");
    EXPECT_EQ(r->env.at(kEnvLanguage), "us_english");
    EXPECT_EQ(r->env.at(kEnvPacketSize), "8192");
    EXPECT_EQ(r->env.count(kEnvCollation), 1u);
    ASSERT_GE(r->messages.size(), 2u);
    EXPECT_EQ(r->messages[0].number, 5701);
    EXPECT_EQ(r->messages[0].text, "Changed database context to 'master'.");
    EXPECT_EQ(r->messages[0].procedure, "S1");  // the server name field
    EXPECT_EQ(r->messages[1].number, 5703);
    EXPECT_EQ(r->doneStatus, std::vector<std::uint16_t>{kDoneFinal});
}

TEST_F(ServerTest, FailedLoginsSendTheErrorsThenClose)
{
    {
        TestClient c(port_);
        Login7Fields f;
        f.password = "wrong";
        const auto r = c.login(f);
        ASSERT_TRUE(r);
        EXPECT_FALSE(r->loginAck);
        ASSERT_EQ(r->messages.size(), 1u);
        EXPECT_EQ(r->messages[0].number, 18456);
        EXPECT_EQ(r->messages[0].severity, 14);
        EXPECT_EQ(r->doneStatus, std::vector<std::uint16_t>{kDoneError});
        EXPECT_TRUE(c.waitClosed(5000));
    }
    TestClient c(port_);
    Login7Fields f;
    f.database = "nosuch";
    const auto r = c.login(f);
    ASSERT_TRUE(r);
    ASSERT_EQ(r->messages.size(), 2u);
    EXPECT_EQ(r->messages[0].number, 4060);
    EXPECT_EQ(r->messages[1].number, 18456);
    EXPECT_TRUE(c.waitClosed(5000));
}

TEST_F(ServerTest, DoneFlagsAcrossStatements)
{
    auto c = loggedIn();
    auto two = c->batch("twodone");
    ASSERT_TRUE(two);
    EXPECT_EQ(two->doneStatus, (std::vector<std::uint16_t>{kDoneMore, kDoneFinal}));

    auto err = c->batch("error");
    ASSERT_TRUE(err);
    EXPECT_EQ(err->errorNumber(), 208);
    EXPECT_EQ(err->doneStatus, std::vector<std::uint16_t>{kDoneError});

    auto use = c->batch("use fakedb");
    ASSERT_TRUE(use);
    EXPECT_EQ(use->env.at(kEnvDatabase), "fakedb");
    EXPECT_EQ(use->messages.at(0).number, 5701);

    auto unknown = c->batch("frobnicate");
    ASSERT_TRUE(unknown);
    EXPECT_EQ(unknown->errorNumber(), 102);
}

TEST_F(ServerTest, ResponsesRespectTheNegotiatedPacketSize)
{
    auto c = loggedIn(512);
    c->send(PacketType::SqlBatch, buildSqlBatch("echo:" + std::string(5000, 'y'), kTds74), 512);
    std::size_t largest = 0;
    auto payload = c->readMessage(&largest);
    ASSERT_TRUE(payload);
    EXPECT_EQ(largest, 512u);
    EXPECT_GT(payload->size(), 15000u);  // nvarchar and varchar copies
}

TEST_F(ServerTest, AttentionStopsARunningBatch)
{
    auto c = loggedIn();
    const auto start = std::chrono::steady_clock::now();
    c->send(PacketType::SqlBatch, buildSqlBatch("slow", kTds74));
    ::usleep(100 * 1000);
    c->send(PacketType::Attention, {});
    auto r = c->readResponse();
    ASSERT_TRUE(r);
    EXPECT_TRUE(hasAttn(*r));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    // The connection goes on serving.
    auto next = c->batch("twodone");
    ASSERT_TRUE(next);
    EXPECT_FALSE(hasAttn(*next));

    // An attention that arrives after the answer still gets its acknowledgement.
    c->send(PacketType::Attention, {});
    auto late = c->readResponse();
    ASSERT_TRUE(late);
    EXPECT_TRUE(hasAttn(*late));
}

TEST_F(ServerTest, FaultsFailStallAndDrop)
{
    auto control = loggedIn();
    auto armed = control->batch("exec sqlsim_fault 'fail', 1, 'TwoDone', 1205, 'Transaction was deadlocked.'");
    ASSERT_TRUE(armed);
    EXPECT_EQ(armed->errorNumber(), 0);

    auto other = loggedIn();
    auto failed = other->batch("twodone");
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->errorNumber(), 1205);
    EXPECT_EQ(failed->messages.at(0).text, "Transaction was deadlocked.");
    EXPECT_EQ(failed->doneStatus, std::vector<std::uint16_t>{kDoneError});
    auto again = other->batch("twodone");  // the count is used up
    ASSERT_TRUE(again);
    EXPECT_EQ(again->errorNumber(), 0);

    auto bad = control->batch("exec sqlsim_fault 'explode'");
    ASSERT_TRUE(bad);
    EXPECT_NE(bad->errorNumber(), 0);

    // A stall ends early on attention.
    ASSERT_TRUE(control->batch("exec sqlsim_fault 'stall', 1, 'twodone', 30"));
    const auto start = std::chrono::steady_clock::now();
    other->send(PacketType::SqlBatch, buildSqlBatch("twodone", kTds74));
    ::usleep(200 * 1000);
    other->send(PacketType::Attention, {});
    auto stalled = other->readResponse();
    ASSERT_TRUE(stalled);
    EXPECT_TRUE(hasAttn(*stalled));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

    // A short stall answers normally afterwards.
    ASSERT_TRUE(control->batch("exec sqlsim_fault 'stall', 1, 'twodone', 0.3"));
    auto late = other->batch("twodone");
    ASSERT_TRUE(late);
    EXPECT_EQ(late->doneStatus.size(), 2u);

    ASSERT_TRUE(control->batch("exec sqlsim_fault 'drop', 1, 'twodone'"));
    other->send(PacketType::SqlBatch, buildSqlBatch("twodone", kTds74));
    EXPECT_FALSE(other->readMessage());
    EXPECT_TRUE(control->batch("twodone"));
}

TEST_F(ServerTest, BadInputClosesOnlyThatConnection)
{
    auto good = loggedIn();

    std::mt19937 rng(7);
    Bytes garbage(1 << 20);
    for (auto &b : garbage)
        b = static_cast<std::uint8_t>(rng());
    garbage[0] = 0x12;  // a PRELOGIN header with an absurd length
    {
        TestClient c(port_);
        c.sendRaw(garbage);
        EXPECT_TRUE(c.waitClosed(5000));
    }
    {
        TestClient c(port_);
        Bytes login = buildLogin7(Login7Fields{});
        login[40] = 0xF0;  // user name offset far outside the record
        login[41] = 0xFF;
        c.send(PacketType::Login7, login);
        EXPECT_FALSE(c.readMessage());
    }
    {
        TestClient c(port_);  // a packet cut short, then the client goes away
        Bytes part = packetize(PacketType::Prelogin, buildPrelogin(0), 4096);
        part.resize(part.size() - 3);
        c.sendRaw(part);
    }
    {
        TestClient c(port_);  // a batch before any login
        c.send(PacketType::SqlBatch, buildSqlBatch("select 1", kTds74));
        EXPECT_FALSE(c.readMessage());
    }
    {
        auto c = loggedIn();  // garbage after a good login
        c->sendRaw(Bytes{0x01, 0x01, 0x00, 0x09, 0, 0, 1, 0, 0x41});  // odd-length batch text
        EXPECT_FALSE(c->readMessage());
    }
    auto r = good->batch("twodone");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->doneStatus.size(), 2u);
}

TEST_F(ServerTest, PreparedStatementsThroughRpc)
{
    auto c = loggedIn();
    const RpcArg handle{std::nullopt, std::nullopt, true};
    c->send(PacketType::Rpc, buildRpc(kSpPrepExec, {handle, {}, {std::string("twodone"), {}, false}}, kTds74));
    auto payload = c->readMessage();
    ASSERT_TRUE(payload);
    // DONEINPROC x2, RETURNSTATUS, RETURNVALUE (handle 1), DONEPROC
    const Bytes &p = *payload;
    ASSERT_EQ(p.size(), 13u * 2 + 5 + 18 + 13);
    EXPECT_EQ(p[0], kDoneInProc);
    EXPECT_EQ(p[1], kDoneMore);
    EXPECT_EQ(p[13], kDoneInProc);
    EXPECT_EQ(p[26], 0x79);
    EXPECT_EQ(p[31], 0xAC);
    EXPECT_EQ(p[45], 1);  // the handle's value
    EXPECT_EQ(p[49], kDoneProc);
    EXPECT_EQ(p[50], kDoneFinal);

    c->send(PacketType::Rpc, buildRpc(kSpExecute, {{std::nullopt, 1, false}}, kTds74));
    auto again = c->readMessage();
    ASSERT_TRUE(again);
    EXPECT_EQ(again->size(), 13u * 2 + 5 + 13);

    // Bound parameters are refused, not ignored.
    c->send(PacketType::Rpc, buildRpc(kSpExecuteSql, {{std::string("select @p"), {}, false},
                                                     {std::string("@p int"), {}, false},
                                                     {std::nullopt, 5, false}}, kTds74));
    auto refused = c->readMessage();
    ASSERT_TRUE(refused);
    EXPECT_EQ((*refused)[0], kError);

    c->send(PacketType::Rpc, buildRpc(kSpUnprepare, {{std::nullopt, 1, false}}, kTds74));
    ASSERT_TRUE(c->readMessage());
    c->send(PacketType::Rpc, buildRpc(kSpExecute, {{std::nullopt, 1, false}}, kTds74));
    auto gone = c->readMessage();
    ASSERT_TRUE(gone);
    EXPECT_EQ((*gone)[0], kError);
}

TEST_F(ServerTest, LogHasBatchesAndMessagesAsJsonLines)
{
    auto c = loggedIn();
    const std::string text = "select 1\r\n-- \xe4\xb8\xad\xe6\x96\x87 \"q\"\r\nerror";
    ASSERT_TRUE(c->batch(text));
    ASSERT_TRUE(c->batch("error"));
    c.reset();
    server_->stop();
    const std::string log = logText();
    EXPECT_NE(log.find("{\"event\":\"batch\",\"server\":\"S1\",\"conn\":"), std::string::npos);
    EXPECT_NE(log.find("\"db\":\"master\",\"text\":\"select 1\\r\\n-- \xe4\xb8\xad\xe6\x96\x87 \\\"q\\\"\\r\\nerror\"}"),
              std::string::npos);
    EXPECT_NE(log.find("\"event\":\"error\",\"server\":\"S1\""), std::string::npos);
    EXPECT_NE(log.find("\"number\":208,\"severity\":16,\"state\":1,\"text\":\"Invalid object name 'nosuch'.\""),
              std::string::npos);
    EXPECT_NE(log.find("\"number\":5701,\"severity\":0"), std::string::npos);
}
