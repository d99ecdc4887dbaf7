#include "sim/engine/functions/FunctionsInternal.h"

#include <sqlite3.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace sqlsim {

namespace fn {

// ---- errors ------------------------------------------------------------------------------

void fail(sqlite3_context *ctx, int number, const std::string &text, bool abortsBatch)
{
    const std::string msg = std::string(kFunctionErrorMarker) + std::to_string(number) + "|" +
                            (abortsBatch ? "a" : "s") + "|" + text;
    sqlite3_result_error(ctx, msg.c_str(), static_cast<int>(msg.size()));
}

std::string valueString(sqlite3_value *v)
{
    const auto *p = sqlite3_value_text(v);
    return p ? std::string(reinterpret_cast<const char *>(p), static_cast<std::size_t>(sqlite3_value_bytes(v)))
             : std::string();
}

bool asciiOnly(const std::string &s)
{
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

const char *stringTypeOf(const std::string &s) { return asciiOnly(s) ? "varchar" : "nvarchar"; }

bool datetimeShaped(const std::string &s)
{
    return s.size() == 23 && s[4] == '-' && s[7] == '-' && s[10] == ' ' && s[13] == ':' && s[16] == ':' && s[19] == '.';
}

}  // namespace fn

using namespace fn;

void registerSqlFunctions(sqlite3 *db)
{
    struct Fn {
        const char *name;
        int args;
        void (*fn)(sqlite3_context *, int, sqlite3_value **);
        bool deterministic;
    };
    // Functions that can raise errors are not deterministic: SQLite must not evaluate them
    // once ahead of the rows, where SQL Server would only fail on a row that reaches them.
    const Fn fns[] = {
        {"like", 2, likeFunction, true},         {"like", 3, likeFunction, true},
        {"ss_add", 2, addFunction, false},       {"ss_sub", 2, subFunction, false},
        {"ss_mul", 2, mulFunction, false},       {"ss_div", 2, divFunction, false},
        {"ss_mod", 2, modFunction, false},       {"ss_band", 2, bitFunction<0>, false},
        {"ss_bor", 2, bitFunction<1>, false},    {"ss_bxor", 2, bitFunction<2>, false},
        {"ss_neg", 1, negFunction, false},       {"ss_bnot", 1, bitNotFunction, false},
        {"ss_cmp", 2, cmpFunction, false},       {"ss_fail", 3, failFunction, false},
        {"ss_substring", 3, substringFunction, false}, {"ss_round", 2, roundFunction, false},
        {"ss_round", 3, roundFunction, false},   {"ss_cast", 7, castFunction, false},
    };
    for (const Fn &f : fns) {
        const int flags = SQLITE_UTF8 | (f.deterministic ? SQLITE_DETERMINISTIC : 0);
        if (sqlite3_create_function(db, f.name, f.args, flags, nullptr, f.fn, nullptr, nullptr) != SQLITE_OK)
            throw std::runtime_error(std::string("cannot register ") + f.name + ": " + sqlite3_errmsg(db));
    }
}

}  // namespace sqlsim
