#pragma once
// One client connection: a reader thread that keeps taking packets off the socket (so an
// attention is seen while a batch runs) and the connection's own thread that logs in and
// answers requests in order.

#include "sim/engine/Engine.h"
#include "sim/server/EventLog.h"
#include "sim/server/Faults.h"
#include "sim/tds/Packet.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

namespace sqlsim::server {

class ResponseSink;

// What connections of one instance share.
struct InstanceContext {
    std::string name;
    Engine &engine;
    EventLog &log;
    FaultTable faults;
};

class Connection {
public:
    Connection(int fd, int id, InstanceContext &instance);
    ~Connection();  // stops and joins
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    void start();
    // Ends the connection from outside (server shutdown): unblocks both threads.
    void stop();
    bool finished() const { return finished_; }

private:
    struct Incoming {
        std::optional<tds::Request> message;  // none: the socket closed or sent garbage
        int attentionSeq = 0;
    };

    void run();
    void readLoop();
    std::optional<Incoming> next();
    bool login();
    void serve();
    void answerBatch(const tds::Request &message);
    void answerRpc(const tds::Request &message);
    // Runs one statement text (a batch, or what an RPC executes) into the sink.
    void runText(const std::string &text, ResponseSink &sink);
    void answerAttention(int seq);
    void answerUnsupported(const char *what);
    void stall(double seconds);
    void sendMessage(tds::PacketType type, const tds::Bytes &payload);
    void close();
    bool attentionPending() const { return attentionsReceived_ > attentionsAnswered_; }
    std::uint16_t spid() const;

    int fd_;
    int id_;
    InstanceContext &instance_;
    std::unique_ptr<Session> session_;
    std::map<std::int32_t, std::string> prepared_;  // sp_prepare handles
    std::int32_t nextHandle_ = 1;
    std::uint32_t tdsVersion_ = 0;
    std::size_t packetSize_ = tds::kDefaultPacketSize;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Incoming> queue_;
    std::atomic<bool> readerDone_{false};
    std::size_t queuedBytes_ = 0;
    bool closed_ = false;  // fd_ released; guarded by mutex_
    std::atomic<int> attentionsReceived_{0};
    int attentionsAnswered_ = 0;
    std::atomic<bool> broken_{false};  // the socket failed or was shut down
    std::atomic<bool> finished_{false};

    std::thread thread_;
    std::thread reader_;

    friend class ResponseSink;
    friend class PacketStream;
};

}  // namespace sqlsim::server
