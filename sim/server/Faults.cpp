#include "sim/server/Faults.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <variant>

namespace sqlsim::server {

namespace {

using Arg = std::variant<std::string, double>;

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

char lower(char c)
{
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

// Consumes a word (case-insensitive) followed by a blank or the end.
bool consumeWord(std::string_view &s, std::string_view word)
{
    if (s.size() < word.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (lower(s[i]) != word[i])
            return false;
    if (s.size() > word.size() && !isSpace(s[word.size()]) && s[word.size()] != '\'')
        return false;
    s.remove_prefix(word.size());
    return true;
}

void skipSpace(std::string_view &s)
{
    while (!s.empty() && isSpace(s.front()))
        s.remove_prefix(1);
}

std::vector<Arg> parseArgs(std::string_view s)
{
    std::vector<Arg> args;
    skipSpace(s);
    while (!s.empty()) {
        if (s.front() == '\'' || ((s.front() == 'N' || s.front() == 'n') && s.size() > 1 && s[1] == '\'')) {
            if (s.front() != '\'')
                s.remove_prefix(1);
            s.remove_prefix(1);
            std::string text;
            for (;;) {
                if (s.empty())
                    throw FaultSyntaxError("sqlsim_fault: unclosed quotation mark");
                if (s.front() == '\'') {
                    if (s.size() > 1 && s[1] == '\'') {
                        text += '\'';
                        s.remove_prefix(2);
                        continue;
                    }
                    s.remove_prefix(1);
                    break;
                }
                text += s.front();
                s.remove_prefix(1);
            }
            args.emplace_back(std::move(text));
        } else {
            std::size_t n = 0;
            while (n < s.size() && !isSpace(s[n]) && s[n] != ',' && s[n] != ';')
                ++n;
            double value = 0;
            const auto [end, ec] = std::from_chars(s.data(), s.data() + n, value);
            if (n == 0 || ec != std::errc() || end != s.data() + n || !std::isfinite(value))
                throw FaultSyntaxError("sqlsim_fault: argument " + std::to_string(args.size() + 1) +
                                       " is neither a quoted text nor a number");
            args.emplace_back(value);
            s.remove_prefix(n);
        }
        skipSpace(s);
        if (s.empty())
            break;
        if (s.front() == ';') {
            s.remove_prefix(1);
            skipSpace(s);
            if (!s.empty())
                throw FaultSyntaxError("sqlsim_fault must be the only statement of its batch");
            break;
        }
        if (s.front() != ',')
            throw FaultSyntaxError("sqlsim_fault: expected a comma between arguments");
        s.remove_prefix(1);
        skipSpace(s);
    }
    return args;
}

const std::string &textArg(const std::vector<Arg> &args, std::size_t i, const char *what)
{
    if (i >= args.size() || !std::holds_alternative<std::string>(args[i]))
        throw FaultSyntaxError(std::string("sqlsim_fault: argument ") + std::to_string(i + 1) +
                               " must be the " + what + " as a quoted text");
    return std::get<std::string>(args[i]);
}

double numberArg(const std::vector<Arg> &args, std::size_t i, const char *what, bool whole)
{
    if (i >= args.size() || !std::holds_alternative<double>(args[i]))
        throw FaultSyntaxError(std::string("sqlsim_fault: argument ") + std::to_string(i + 1) +
                               " must be the " + what + " as a number");
    const double v = std::get<double>(args[i]);
    if (whole && (v != std::floor(v) || std::fabs(v) > 2147483647.0))
        throw FaultSyntaxError(std::string("sqlsim_fault: the ") + what + " must be a whole number");
    return v;
}

}  // namespace

std::optional<FaultCommand> parseFaultCommand(std::string_view sql)
{
    std::string_view s = sql;
    skipSpace(s);
    if (!consumeWord(s, "execute") && !consumeWord(s, "exec"))
        return std::nullopt;
    skipSpace(s);
    if (!consumeWord(s, "sqlsim_fault"))
        return std::nullopt;
    const std::vector<Arg> args = parseArgs(s);
    FaultCommand cmd;
    std::string action = textArg(args, 0, "action ('fail', 'stall', 'drop' or 'clear')");
    std::transform(action.begin(), action.end(), action.begin(), lower);
    std::size_t expected = 0;
    if (action == "clear") {
        cmd.clear = true;
        expected = 1;
    } else {
        Fault &f = cmd.fault;
        const double count = numberArg(args, 1, "batch count", true);
        if (count < 1)
            throw FaultSyntaxError("sqlsim_fault: the batch count must be at least 1");
        f.remaining = static_cast<int>(count);
        f.pattern = textArg(args, 2, "pattern");
        if (action == "fail") {
            f.kind = Fault::Kind::Fail;
            f.number = static_cast<int>(numberArg(args, 3, "error number", true));
            f.text = textArg(args, 4, "error text");
            expected = 5;
            if (args.size() > 5) {
                f.severity = static_cast<int>(numberArg(args, 5, "severity", true));
                if (f.severity < 11 || f.severity > 25)
                    throw FaultSyntaxError("sqlsim_fault: the severity must be 11 to 25");
                expected = 6;
            }
        } else if (action == "stall") {
            f.kind = Fault::Kind::Stall;
            f.seconds = numberArg(args, 3, "seconds", false);
            if (f.seconds < 0 || f.seconds > 3600)
                throw FaultSyntaxError("sqlsim_fault: the seconds must be 0 to 3600");
            expected = 4;
        } else if (action == "drop") {
            f.kind = Fault::Kind::Drop;
            expected = 3;
        } else {
            throw FaultSyntaxError("sqlsim_fault: unknown action '" + action +
                                   "'; use 'fail', 'stall', 'drop' or 'clear'");
        }
    }
    if (args.size() > expected)
        throw FaultSyntaxError("sqlsim_fault: too many arguments for '" + action + "'");
    return cmd;
}

bool faultMatches(std::string_view pattern, std::string_view text)
{
    if (pattern.empty())
        return true;
    auto it = std::search(text.begin(), text.end(), pattern.begin(), pattern.end(),
                          [](char a, char b) { return lower(a) == lower(b); });
    return it != text.end();
}

void FaultTable::apply(const FaultCommand &command)
{
    std::lock_guard lock(mutex_);
    if (command.clear)
        faults_.clear();
    else
        faults_.push_back(command.fault);
}

std::optional<Fault> FaultTable::take(std::string_view batchText)
{
    std::lock_guard lock(mutex_);
    for (auto it = faults_.begin(); it != faults_.end(); ++it) {
        if (!faultMatches(it->pattern, batchText))
            continue;
        Fault hit = *it;
        if (--it->remaining <= 0)
            faults_.erase(it);
        return hit;
    }
    return std::nullopt;
}

}  // namespace sqlsim::server
