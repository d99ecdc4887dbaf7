#pragma once
// The --log file: one JSON object per line, flushed per line, shared by all connections.
//   {"event":"batch","server":S,"conn":N,"db":D,"text":T}
//   {"event":"error"|"info","server":S,"conn":N,"number":N,"severity":N,"state":N,"text":T}
//   {"event":"login"|"login_failed"|"disconnect"|"fault"|"protocol_error", ...}

#include "sim/engine/Engine.h"

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sqlsim::server {

// A JSON string literal (quotes included); UTF-8 passes through, control characters escaped.
std::string jsonString(std::string_view utf8);

class EventLog {
public:
    EventLog() = default;  // logs nothing
    explicit EventLog(const std::string &path);  // throws std::runtime_error if it can't open
    ~EventLog();
    EventLog(const EventLog &) = delete;
    EventLog &operator=(const EventLog &) = delete;

    void batch(std::string_view server, int conn, std::string_view db, std::string_view text);
    void message(std::string_view server, int conn, const Message &m);
    // Any other event: fields are name and already-encoded JSON value.
    void event(std::string_view name, std::string_view server, int conn,
               const std::vector<std::pair<std::string, std::string>> &fields);

private:
    void writeLine(const std::string &line);
    std::mutex mutex_;
    std::FILE *file_ = nullptr;
};

}  // namespace sqlsim::server
