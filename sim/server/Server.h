#pragma once
// The listening side: one loopback socket per instance, one Connection per client.

#include "sim/server/Connection.h"

#include <list>
#include <memory>

namespace sqlsim::server {

class Server {
public:
    Server(Engine &engine, EventLog &log) : engine_(engine), log_(log) {}
    ~Server();
    Server(const Server &) = delete;
    Server &operator=(const Server &) = delete;

    // Binds 127.0.0.1:port (0 picks a free port) and listens; returns the port.
    // Throws std::runtime_error when the port cannot be had.
    std::uint16_t listen(const std::string &instance, std::uint16_t port);
    // Starts accepting on every listening instance.
    void start();
    // Stops accepting, ends every connection and waits for their threads.
    void stop();

private:
    struct Listener {
        std::unique_ptr<InstanceContext> context;
        int fd = -1;
        std::thread thread;
        std::mutex mutex;
        std::list<std::unique_ptr<Connection>> connections;
    };
    void acceptLoop(Listener &listener);

    Engine &engine_;
    EventLog &log_;
    std::list<Listener> listeners_;
    std::atomic<bool> stopping_{false};
    std::atomic<int> nextConnectionId_{0};
};

}  // namespace sqlsim::server
