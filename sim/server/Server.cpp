#include "sim/server/Server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sqlsim::server {

Server::~Server()
{
    stop();
}

std::uint16_t Server::listen(const std::string &instance, std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 || ::listen(fd, 128) != 0) {
        const std::string why = std::strerror(errno);
        ::close(fd);
        throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port) + " for " +
                                 instance + ": " + why);
    }
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len);
    Listener &l = listeners_.emplace_back();
    l.context.reset(new InstanceContext{instance, engine_, log_, {}});
    l.fd = fd;
    return ntohs(addr.sin_port);
}

void Server::start()
{
    for (Listener &l : listeners_)
        if (!l.thread.joinable())
            l.thread = std::thread([this, &l] { acceptLoop(l); });
}

void Server::acceptLoop(Listener &l)
{
    while (!stopping_) {
        const int fd = ::accept4(l.fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (stopping_)
                break;
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            // Out of descriptors or memory: wait for connections to end rather than spin.
            log_.event("accept_error", l.context->name, 0, {{"text", jsonString(std::strerror(errno))}});
            ::usleep(100 * 1000);
            continue;
        }
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::lock_guard lock(l.mutex);
        l.connections.remove_if([](const std::unique_ptr<Connection> &c) { return c->finished(); });
        if (stopping_) {
            ::close(fd);
            break;
        }
        l.connections.push_back(std::make_unique<Connection>(fd, ++nextConnectionId_, *l.context));
        l.connections.back()->start();
    }
}

void Server::stop()
{
    stopping_ = true;
    for (Listener &l : listeners_) {
        if (l.fd >= 0)
            ::shutdown(l.fd, SHUT_RDWR);
        if (l.thread.joinable())
            l.thread.join();
        if (l.fd >= 0)
            ::close(l.fd);
        l.fd = -1;
        std::lock_guard lock(l.mutex);
        for (auto &c : l.connections)
            c->stop();
        l.connections.clear();
    }
}

}  // namespace sqlsim::server
