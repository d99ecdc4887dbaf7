#include "sim/server/Connection.h"

#include "sim/server/Response.h"

#include "sim/tds/Requests.h"
#include "sim/tds/Rpc.h"
#include "sim/tds/Tokens.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <sys/socket.h>
#include <unistd.h>

namespace sqlsim::server {

using namespace sqlsim::tds;

namespace {

constexpr std::size_t kMaxMessageSize = 64u << 20;  // one request
constexpr std::size_t kMaxQueuedBytes = 64u << 20;  // requests read ahead of the answers

bool readExact(int fd, std::uint8_t *data, std::size_t n)
{
    while (n > 0) {
        const ssize_t got = ::recv(fd, data, n, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        data += got;
        n -= static_cast<std::size_t>(got);
    }
    return true;
}

std::uint32_t negotiateVersion(std::uint32_t asked)
{
    for (std::uint32_t v : {kTds74, kTds73B, kTds73A, kTds72, kTds71})
        if (asked >= v)
            return v;
    return asked == kTds71Rev0 ? kTds71Rev0 : 0;
}

}  // namespace

Connection::Connection(int fd, int id, InstanceContext &instance)
    : fd_(fd), id_(id), instance_(instance)
{
}

Connection::~Connection()
{
    stop();
    if (thread_.joinable())
        thread_.join();
}

void Connection::start()
{
    thread_ = std::thread([this] { run(); });
}

void Connection::stop()
{
    std::lock_guard lock(mutex_);
    broken_ = true;
    if (!closed_)
        ::shutdown(fd_, SHUT_RDWR);
    wake_.notify_all();
}

std::uint16_t Connection::spid() const
{
    return session_ ? static_cast<std::uint16_t>(session_->spid()) : 0;
}

void Connection::run()
{
    reader_ = std::thread([this] { readLoop(); });
    try {
        if (login())
            serve();
    } catch (const std::exception &e) {
        instance_.log.event("protocol_error", instance_.name, id_, {{"text", jsonString(e.what())}});
    }
    close();
    // The session goes with its connection: an open transaction is rolled back now, not when
    // the connection is reaped.
    session_.reset();
    instance_.log.event("disconnect", instance_.name, id_, {});
    finished_ = true;
}

void Connection::close()
{
    {
        std::lock_guard lock(mutex_);
        ::shutdown(fd_, SHUT_RDWR);
    }
    if (reader_.joinable())
        reader_.join();
    std::lock_guard lock(mutex_);
    ::close(fd_);
    closed_ = true;
}

void Connection::readLoop()
{
    MessageAssembler assembler(kMaxMessageSize);
    try {
        std::uint8_t header[kHeaderSize];
        Bytes body;
        while (readExact(fd_, header, sizeof header)) {
            const PacketHeader h = parseHeader(header);
            body.resize(h.length - kHeaderSize);
            if (!readExact(fd_, body.data(), body.size()))
                break;
            std::optional<tds::Request> m = assembler.add(h, body);
            if (!m)
                continue;
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return queuedBytes_ < kMaxQueuedBytes || broken_; });
            int seq = 0;
            if (m->type == PacketType::Attention)
                seq = ++attentionsReceived_;
            queuedBytes_ += m->payload.size();
            queue_.push_back(Incoming{std::move(m), seq});
            wake_.notify_all();
        }
    } catch (const ProtocolError &e) {
        instance_.log.event("protocol_error", instance_.name, id_, {{"text", jsonString(e.what())}});
        std::lock_guard lock(mutex_);
        broken_ = true;
        ::shutdown(fd_, SHUT_RDWR);
    }
    std::lock_guard lock(mutex_);
    readerDone_ = true;
    queue_.push_back(Incoming{});
    wake_.notify_all();
}

std::optional<Connection::Incoming> Connection::next()
{
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [&] { return !queue_.empty(); });
    Incoming in = std::move(queue_.front());
    if (!in.message) {
        queue_.front() = Incoming{};  // the end stays for any later call
        return std::nullopt;
    }
    queue_.pop_front();
    queuedBytes_ -= in.message->payload.size();
    wake_.notify_all();
    return in;
}

void Connection::sendMessage(PacketType type, const Bytes &payload)
{
    PacketStream out(*this, type);
    out.writer().append(payload);
    out.finish();
}

bool Connection::login()
{
    std::optional<Incoming> in = next();
    if (!in)
        return false;
    if (in->message->type == PacketType::Prelogin) {
        parsePrelogin(in->message->payload);
        sendMessage(PacketType::TabularResult, buildPreloginResponse());
        in = next();
        if (!in)
            return false;
    }
    if (in->message->type != PacketType::Login7)
        throw ProtocolError("expected LOGIN7, got packet type " +
                            std::to_string(static_cast<int>(in->message->type)));
    const Login7 l = parseLogin7(in->message->payload);
    tdsVersion_ = negotiateVersion(l.tdsVersion);
    Writer w;
    auto refuse = [&](const std::vector<Message> &messages) {
        for (const Message &m : messages) {
            writeMessage(w, m, instance_.name, tdsVersion_ ? tdsVersion_ : kTds71);
            instance_.log.message(instance_.name, id_, m);
        }
        writeDone(w, kDone, kDoneError, 0, 0, tdsVersion_ ? tdsVersion_ : kTds71);
        sendMessage(PacketType::TabularResult, w.bytes());
        instance_.log.event("login_failed", instance_.name, id_, {{"user", jsonString(l.userName)}});
        return false;
    };
    if (!tdsVersion_)
        return refuse({errorMessage(18456, "Login failed for user '" + l.userName +
                                        "'. sqlsim speaks TDS 7.1 to 7.4 only.", 14)});
    packetSize_ = l.packetSize == 0 ? kDefaultPacketSize
                                    : std::clamp<std::size_t>(l.packetSize, kMinPacketSize, kMaxPacketSize);

    LoginRequest request{l.userName, l.password, l.database, l.appName, l.hostName};
    LoginOutcome outcome = instance_.engine.login(instance_.name, request);
    if (!outcome.session) {
        if (outcome.messages.empty())
            outcome.messages.push_back(errorMessage(18456, "Login failed for user '" + l.userName + "'.", 14));
        return refuse(outcome.messages);
    }
    session_ = std::move(outcome.session);
    const std::string db = session_->currentDatabase();
    std::vector<Message> messages;
    messages.push_back(infoMessage(5701, 2, "Changed database context to '" + db + "'."));
    messages.push_back(infoMessage(5703, 1, "Changed language setting to us_english."));
    for (Message &m : outcome.messages)
        if (m.number != 5701 && m.number != 5703)
            messages.push_back(std::move(m));

    writeEnvChange(w, kEnvDatabase, db, "master");
    writeMessage(w, messages[0], instance_.name, tdsVersion_);
    writeCollationChange(w);
    writeEnvChange(w, kEnvLanguage, "us_english", "");
    for (std::size_t i = 1; i < messages.size(); ++i)
        writeMessage(w, messages[i], instance_.name, tdsVersion_);
    writeLoginAck(w, tdsVersion_);
    writeEnvChange(w, kEnvPacketSize, std::to_string(packetSize_), std::to_string(kDefaultPacketSize));
    writeDone(w, kDone, kDoneFinal, 0, 0, tdsVersion_);
    sendMessage(PacketType::TabularResult, w.bytes());
    for (const Message &m : messages)
        instance_.log.message(instance_.name, id_, m);
    instance_.log.event("login", instance_.name, id_,
                        {{"user", jsonString(l.userName)}, {"db", jsonString(db)},
                         {"app", jsonString(l.appName)}, {"spid", std::to_string(session_->spid())},
                         {"packet_size", std::to_string(packetSize_)}});
    return !broken_;
}

void Connection::serve()
{
    while (!broken_) {
        std::optional<Incoming> in = next();
        if (!in)
            return;
        switch (in->message->type) {
        case PacketType::SqlBatch:
            answerBatch(*in->message);
            break;
        case PacketType::Attention:
            answerAttention(in->attentionSeq);
            break;
        case PacketType::Rpc:
            answerRpc(*in->message);
            break;
        case PacketType::TransactionManager:
            // Run as the T-SQL it stands for; distributed transactions are refused.
            if (auto sql = tds::transactionRequestSql(in->message->payload, tdsVersion_)) {
                ResponseSink sink(*this);
                runText(*sql, sink);
                sink.finish();
            } else {
                answerUnsupported("distributed transaction requests");
            }
            break;
        case PacketType::BulkLoad:
            answerUnsupported("bulk load");
            break;
        default:
            throw ProtocolError("unexpected packet type " +
                                std::to_string(static_cast<int>(in->message->type)) + " after login");
        }
    }
}

void Connection::answerUnsupported(const char *what)
{
    ResponseSink sink(*this);
    sink.message(errorMessage(50000, std::string(what) + " are not supported by sqlsim."));
    sink.statementDone(std::nullopt, true);
    sink.finish();
}

void Connection::answerAttention(int seq)
{
    if (seq <= attentionsAnswered_)
        return;  // already acknowledged at the end of the batch it cancelled
    attentionsAnswered_ = seq;
    Writer w;
    writeDone(w, kDone, kDoneAttn, 0, 0, tdsVersion_);
    sendMessage(PacketType::TabularResult, w.bytes());
}

void Connection::stall(double seconds)
{
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(seconds));
    std::unique_lock lock(mutex_);
    wake_.wait_until(lock, deadline, [&] { return attentionPending() || broken_ || readerDone_; });
}

void Connection::answerBatch(const tds::Request &message)
{
    const std::string text = parseSqlBatch(message.payload, tdsVersion_);
    ResponseSink sink(*this);
    runText(text, sink);
    sink.finish();
}

void Connection::runText(const std::string &text, ResponseSink &sink)
{
    instance_.log.batch(instance_.name, id_, session_->currentDatabase(), text);
    std::optional<FaultCommand> command;
    try {
        command = parseFaultCommand(text);
    } catch (const FaultSyntaxError &e) {
        sink.message(errorMessage(50000, e.what()));
        sink.statementDone(std::nullopt, true);
        return;
    }
    if (command) {
        instance_.faults.apply(*command);
        instance_.log.event("fault_armed", instance_.name, id_, {{"text", jsonString(text)}});
        sink.statementDone(std::nullopt, false);
        return;
    }
    if (std::optional<Fault> fault = instance_.faults.take(text)) {
        static constexpr const char *kKinds[] = {"fail", "stall", "drop"};
        instance_.log.event("fault", instance_.name, id_,
                            {{"kind", jsonString(kKinds[static_cast<int>(fault->kind)])}});
        switch (fault->kind) {
        case Fault::Kind::Fail:
            sink.message(errorMessage(fault->number, fault->text, fault->severity));
            sink.statementDone(std::nullopt, true);
            return;
        case Fault::Kind::Drop:
            stop();
            return;
        case Fault::Kind::Stall:
            stall(fault->seconds);
            if (sink.cancelled()) {
                session_->attention(sink);
                return;
            }
            break;
        }
    }
    try {
        session_->executeBatch(text, sink);
    } catch (const std::exception &e) {
        sink.message(errorMessage(50000, std::string("sqlsim internal error: ") + e.what()));
        sink.statementDone(std::nullopt, true);
    }
}

}  // namespace sqlsim::server
