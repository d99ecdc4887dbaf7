#include "sim/server/Response.h"

#include <cerrno>
#include <sys/socket.h>

namespace sqlsim::server {

Message infoMessage(int number, int state, std::string text)
{
    Message m;
    m.number = number;
    m.state = state;
    m.severity = 0;
    m.text = std::move(text);
    return m;
}

Message errorMessage(int number, std::string text, int severity)
{
    Message m;
    m.number = number;
    m.severity = severity;
    m.text = std::move(text);
    return m;
}

bool sendAll(int fd, const std::uint8_t *data, std::size_t n)
{
    while (n > 0) {
        const ssize_t put = ::send(fd, data, n, MSG_NOSIGNAL);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        data += put;
        n -= static_cast<std::size_t>(put);
    }
    return true;
}

}  // namespace sqlsim::server
