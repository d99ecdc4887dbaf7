#include "sim/server/EventLog.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace sqlsim::server {

std::string jsonString(std::string_view utf8)
{
    std::string out = "\"";
    for (char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (u < 0x20 || u == 0x7F) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", u);
                out += buf;
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

EventLog::EventLog(const std::string &path) : file_(std::fopen(path.c_str(), "a"))
{
    if (!file_)
        throw std::runtime_error("cannot open log file " + path + ": " + std::strerror(errno));
}

EventLog::~EventLog()
{
    if (file_)
        std::fclose(file_);
}

void EventLog::writeLine(const std::string &line)
{
    if (!file_)
        return;
    std::lock_guard lock(mutex_);
    std::fputs(line.c_str(), file_);
    std::fputc('\n', file_);
    std::fflush(file_);
}

void EventLog::batch(std::string_view server, int conn, std::string_view db, std::string_view text)
{
    event("batch", server, conn, {{"db", jsonString(db)}, {"text", jsonString(text)}});
}

void EventLog::message(std::string_view server, int conn, const Message &m)
{
    event(m.isError() ? "error" : "info", server, conn,
          {{"number", std::to_string(m.number)},
           {"severity", std::to_string(m.severity)},
           {"state", std::to_string(m.state)},
           {"text", jsonString(m.text)}});
}

void EventLog::event(std::string_view name, std::string_view server, int conn,
                     const std::vector<std::pair<std::string, std::string>> &fields)
{
    if (!file_)
        return;
    std::string line = "{\"event\":" + jsonString(name) + ",\"server\":" + jsonString(server) +
                       ",\"conn\":" + std::to_string(conn);
    for (const auto &[key, value] : fields)
        line += "," + jsonString(key) + ":" + value;
    line += "}";
    writeLine(line);
}

}  // namespace sqlsim::server
