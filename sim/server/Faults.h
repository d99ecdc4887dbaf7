#pragma once
// Fault injection for reliability tests. A control batch on any connection of an instance
//   exec sqlsim_fault 'fail',  N, 'pattern', number, 'text' [, severity]
//   exec sqlsim_fault 'stall', N, 'pattern', seconds
//   exec sqlsim_fault 'drop',  N, 'pattern'
//   exec sqlsim_fault 'clear'
// arms a fault for the next N batches of that instance whose text contains the pattern
// (case-insensitive; '' matches every batch). Control batches themselves never match.

#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace sqlsim::server {

struct Fault {
    enum class Kind { Fail, Stall, Drop } kind = Kind::Fail;
    int remaining = 1;
    std::string pattern;
    int number = 50000;
    int severity = 16;
    std::string text;
    double seconds = 0;
};

struct FaultCommand {
    bool clear = false;
    Fault fault;
};

class FaultSyntaxError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Returns nothing when the batch is not a sqlsim_fault call; throws FaultSyntaxError when it
// is one with arguments that do not fit.
std::optional<FaultCommand> parseFaultCommand(std::string_view sql);

// True when the text contains the pattern, ignoring ASCII case.
bool faultMatches(std::string_view pattern, std::string_view text);

// The armed faults of one instance; thread-safe.
class FaultTable {
public:
    void apply(const FaultCommand &command);
    // The first armed fault that matches the batch, counted down by one.
    std::optional<Fault> take(std::string_view batchText);

private:
    std::mutex mutex_;
    std::vector<Fault> faults_;
};

}  // namespace sqlsim::server
