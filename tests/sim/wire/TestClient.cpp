#include "TestClient.h"

#include "sim/tds/Tokens.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace sqlsim::testing {

using namespace sqlsim::tds;

int Response::errorNumber() const
{
    for (const auto &m : messages)
        if (m.isError())
            return m.number;
    return 0;
}

TestClient::TestClient(std::uint16_t port)
{
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd_ < 0 || ::connect(fd_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0)
        throw std::runtime_error("cannot connect to port " + std::to_string(port));
    timeval tv{10, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
}

TestClient::~TestClient()
{
    ::close(fd_);
}

void TestClient::sendRaw(const Bytes &bytes)
{
    std::size_t at = 0;
    while (at < bytes.size()) {
        const ssize_t n = ::send(fd_, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
        if (n <= 0)
            return;  // the server may close on bad input; the test looks at that
        at += static_cast<std::size_t>(n);
    }
}

void TestClient::send(PacketType type, const Bytes &payload, std::size_t packetSize)
{
    sendRaw(packetize(type, payload, packetSize));
}

namespace {

bool readExact(int fd, std::uint8_t *p, std::size_t n)
{
    while (n > 0) {
        const ssize_t got = ::recv(fd, p, n, 0);
        if (got <= 0)
            return false;
        p += got;
        n -= static_cast<std::size_t>(got);
    }
    return true;
}

}  // namespace

std::optional<Bytes> TestClient::readMessage(std::size_t *largestPacket)
{
    Bytes out;
    for (;;) {
        std::uint8_t header[kHeaderSize];
        if (!readExact(fd_, header, sizeof header))
            return std::nullopt;
        const PacketHeader h = parseHeader(header);
        if (largestPacket)
            *largestPacket = std::max<std::size_t>(*largestPacket, h.length);
        const std::size_t at = out.size();
        out.resize(at + h.length - kHeaderSize);
        if (!readExact(fd_, out.data() + at, h.length - kHeaderSize))
            return std::nullopt;
        if (h.status & kStatusEom)
            return out;
    }
}

std::optional<Response> TestClient::readResponse()
{
    std::size_t largest = 0;
    auto payload = readMessage(&largest);
    if (!payload)
        return std::nullopt;
    Response r = parseResponse(*payload);
    r.largestPacket = largest;
    return r;
}

std::optional<Response> TestClient::login(const Login7Fields &fields)
{
    send(PacketType::Prelogin, buildPrelogin(kEncryptOff));
    if (!readMessage())
        return std::nullopt;
    send(PacketType::Login7, buildLogin7(fields));
    return readResponse();
}

std::optional<Response> TestClient::batch(const std::string &sql)
{
    send(PacketType::SqlBatch, buildSqlBatch(sql, kTds74));
    return readResponse();
}

bool TestClient::waitClosed(int milliseconds)
{
    pollfd p{fd_, POLLIN, 0};
    while (::poll(&p, 1, milliseconds) > 0) {
        std::uint8_t buf[4096];
        const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        if (n <= 0)
            return true;
    }
    return false;
}

Response parseResponse(const Bytes &payload)
{
    Response r;
    Reader in(payload);
    while (in.remaining() > 0) {
        const std::uint8_t token = in.u8();
        if (token == kDone || token == kDoneProc || token == kDoneInProc) {
            r.doneStatus.push_back(in.le16());
            in.le16();
            r.doneCounts.push_back(in.le64());
            continue;
        }
        const std::uint16_t length = in.le16();
        Reader body(in.take(length));
        if (token == kError || token == kInfo) {
            Message m;
            m.number = static_cast<int>(body.le32());
            m.state = body.u8();
            m.severity = body.u8();
            m.text = utf16leToUtf8(body.take(std::size_t{body.le16()} * 2));
            m.procedure = utf16leToUtf8(body.take(std::size_t{body.u8()} * 2));  // server name
            r.messages.push_back(m);
        } else if (token == kEnvChange) {
            const int type = body.u8();
            const std::size_t n = body.u8();
            r.env[type] = type == kEnvCollation ? std::string(n, 'c') : utf16leToUtf8(body.take(n * 2));
        } else if (token == kLoginAck) {
            r.loginAck = true;
        } else {
            throw std::runtime_error("test client cannot read token " + std::to_string(token));
        }
    }
    return r;
}

}  // namespace sqlsim::testing
