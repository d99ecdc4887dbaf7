#pragma once
// sqlsim's command line and the process around the servers: start, ready file, signals.

#include "sim/engine/Engine.h"

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace sqlsim::server {

struct Options {
    std::vector<InstanceConfig> instances;                  // in --server order
    std::vector<std::pair<std::string, std::string>> inits;  // instance, script file
    std::string logFile;
    std::string readyFile;
    std::optional<std::uint16_t> browserPort;  // --browser: the SQL Server Browser's UDP port
    bool exitWithParent = false;  // tests: never outlive the process that started us
};

class UsageError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// Parses the arguments after the program name. Throws UsageError with a message to show.
Options parseOptions(const std::vector<std::string> &args);

extern const char *const kUsage;

// Runs sqlsim on the given engine until SIGTERM or SIGINT. Returns the exit code.
int runSqlsim(int argc, char **argv, Engine &engine);

}  // namespace sqlsim::server
