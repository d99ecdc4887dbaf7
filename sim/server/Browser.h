#pragma once
// The SQL Server Browser ([MC-SQLR]) on a UDP port: tells a client the TCP port of an instance
// by its name, so that "host\INSTANCE" reaches a named instance.

#include "sim/server/EventLog.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace sqlsim::server {

struct BrowserInstance {
    std::string name;
    std::uint16_t port = 0;
};

// The SVR_RESP datagram for one request: CLNT_UCAST_INST (0x04 and a name) gives that
// instance's record, CLNT_BCAST_EX and CLNT_UCAST_EX (0x02, 0x03) every instance's. Nothing for
// an unknown instance or any other request, which the real Browser leaves unanswered too.
std::optional<std::string> browserAnswer(std::string_view request, const std::vector<BrowserInstance> &instances);

class Browser {
public:
    explicit Browser(EventLog &log) : log_(log) {}
    ~Browser();
    Browser(const Browser &) = delete;
    Browser &operator=(const Browser &) = delete;

    // Binds UDP 127.0.0.1:port (0 picks a free one); returns the port. Throws
    // std::runtime_error when the port cannot be had.
    std::uint16_t listen(std::uint16_t port);
    void start(std::vector<BrowserInstance> instances);
    void stop();

private:
    void loop();

    EventLog &log_;
    std::vector<BrowserInstance> instances_;
    int fd_ = -1;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
};

}  // namespace sqlsim::server
