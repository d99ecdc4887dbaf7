#include "sim/server/Browser.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sqlsim::server {

namespace {

std::string record(const BrowserInstance &i)
{
    return "ServerName;SQLSIM;InstanceName;" + i.name + ";IsClustered;No;Version;15.0.2000.5;tcp;" +
           std::to_string(i.port) + ";;";
}

}  // namespace

std::optional<std::string> browserAnswer(std::string_view request, const std::vector<BrowserInstance> &instances)
{
    if (request.empty())
        return std::nullopt;
    std::string data;
    if (request[0] == 0x02 || request[0] == 0x03) {
        for (const auto &i : instances)
            data += record(i);
    } else if (request[0] == 0x04) {
        // The name is at most 32 bytes; clients end it with a NUL byte or not.
        std::string_view name = request.substr(1);
        if (const auto nul = name.find('\0'); nul != std::string_view::npos)
            name = name.substr(0, nul);
        for (const auto &i : instances)
            if (i.name.size() == name.size() && ::strncasecmp(i.name.data(), name.data(), name.size()) == 0)
                data = record(i);
    }
    if (data.empty() || data.size() > 0xFFFF)
        return std::nullopt;
    std::string answer(1, '\x05');
    answer += static_cast<char>(data.size() & 0xFF);
    answer += static_cast<char>(data.size() >> 8);
    return answer + data;
}

Browser::~Browser()
{
    stop();
}

std::uint16_t Browser::listen(std::uint16_t port)
{
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0)
        throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        const std::string why = std::strerror(errno);
        ::close(fd_);
        fd_ = -1;
        throw std::runtime_error("cannot listen on UDP 127.0.0.1:" + std::to_string(port) + " for the browser: " + why);
    }
    socklen_t len = sizeof addr;
    ::getsockname(fd_, reinterpret_cast<sockaddr *>(&addr), &len);
    return ntohs(addr.sin_port);
}

void Browser::start(std::vector<BrowserInstance> instances)
{
    instances_ = std::move(instances);
    if (fd_ >= 0 && !thread_.joinable())
        thread_ = std::thread([this] { loop(); });
}

void Browser::loop()
{
    char buffer[2048];
    while (!stopping_) {
        // Polled, so that stop() is seen without a datagram to wake us.
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        sockaddr_in from{};
        socklen_t fromLen = sizeof from;
        const ssize_t n = ::recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&from), &fromLen);
        if (n <= 0)
            continue;
        const std::string_view request(buffer, static_cast<std::size_t>(n));
        const auto answer = browserAnswer(request, instances_);
        std::string name = request[0] == 0x04 ? std::string(request.substr(1)) : std::string();
        if (const auto nul = name.find('\0'); nul != std::string::npos)
            name.resize(nul);
        log_.event("browser", name, 0,
                   {{"request", std::to_string(static_cast<unsigned char>(request[0]))},
                    {"answered", answer ? "true" : "false"}});
        if (answer)
            ::sendto(fd_, answer->data(), answer->size(), 0, reinterpret_cast<sockaddr *>(&from), fromLen);
    }
}

void Browser::stop()
{
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

}  // namespace sqlsim::server
