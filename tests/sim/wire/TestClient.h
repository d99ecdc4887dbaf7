#pragma once
// A bare TDS client over a socket for the in-process server tests; it reads the simple
// tokens (messages, ENVCHANGE, LOGINACK, DONE) and skips nothing it does not understand.

#include "sim/engine/Engine.h"
#include "sim/tds/Packet.h"
#include "sim/tds/Requests.h"

#include <map>
#include <optional>

namespace sqlsim::testing {

struct Response {
    std::vector<Message> messages;
    std::vector<std::uint16_t> doneStatus;
    std::vector<std::uint64_t> doneCounts;
    std::map<int, std::string> env;  // last new value per ENVCHANGE type
    bool loginAck = false;
    std::size_t largestPacket = 0;
    int errorNumber() const;  // first error's number, 0 when none
};

class TestClient {
public:
    explicit TestClient(std::uint16_t port);
    ~TestClient();
    TestClient(const TestClient &) = delete;
    TestClient &operator=(const TestClient &) = delete;

    void sendRaw(const tds::Bytes &bytes);
    void send(tds::PacketType type, const tds::Bytes &payload, std::size_t packetSize = 4096);
    // One whole response message; nothing when the server closed the connection.
    std::optional<tds::Bytes> readMessage(std::size_t *largestPacket = nullptr);
    std::optional<Response> readResponse();
    // PRELOGIN, then LOGIN7; the login's response.
    std::optional<Response> login(const tds::Login7Fields &fields = {});
    std::optional<Response> batch(const std::string &sql);
    // True when the server closes the connection within the time.
    bool waitClosed(int milliseconds);

private:
    int fd_ = -1;
};

Response parseResponse(const tds::Bytes &payload);

}  // namespace sqlsim::testing
