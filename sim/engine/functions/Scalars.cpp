// SUBSTRING and ROUND as T-SQL defines them.

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

// ---- string functions --------------------------------------------------------------------

void substringFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (anyNull(3, argv)) return;
    const int t = sqlite3_value_type(argv[0]);
    if (t == SQLITE_INTEGER || t == SQLITE_FLOAT) {
        fail(ctx, 8116, std::string("Argument data type ") + (t == SQLITE_INTEGER ? "int" : "numeric") +
                            " is invalid for argument 1 of substring function.");
        return;
    }
    const std::int64_t start = sqlite3_value_int64(argv[1]);
    const std::int64_t length = sqlite3_value_int64(argv[2]);
    if (length < 0) {
        fail(ctx, 537, "Invalid length parameter passed to the substring function.");
        return;
    }
    // Positions [start, start + length) of the value, counted from 1.
    const std::int64_t from = std::max<std::int64_t>(start, 1);
    const std::int64_t to = start > INT64_MAX - length ? INT64_MAX : start + length;
    if (t == SQLITE_BLOB) {
        const auto *p = static_cast<const char *>(sqlite3_value_blob(argv[0]));
        const std::int64_t n = sqlite3_value_bytes(argv[0]);
        const std::int64_t e = std::min(to, n + 1);
        if (e <= from) {
            sqlite3_result_zeroblob(ctx, 0);
            return;
        }
        sqlite3_result_blob(ctx, p + from - 1, static_cast<int>(e - from), SQLITE_TRANSIENT);
        return;
    }
    const auto *s = sqlite3_value_text(argv[0]);
    const int n = sqlite3_value_bytes(argv[0]);
    int i = 0;
    std::int64_t pos = 1;
    int byteFrom = n, byteTo = n;
    while (i < n && pos < from) {
        nextCodePoint(s, n, i);
        ++pos;
    }
    byteFrom = i;
    while (i < n && pos < to) {
        nextCodePoint(s, n, i);
        ++pos;
    }
    byteTo = to <= from ? byteFrom : i;
    sqlite3_result_text(ctx, reinterpret_cast<const char *>(s) + byteFrom, byteTo - byteFrom, SQLITE_TRANSIENT);
}

// Rounds through the decimal text of v, so 1.005 rounds as the decimal it was written as.
double roundDecimal(double v, int digits, bool truncate)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    double exact = std::strtod(buf, nullptr);
    const double scale = std::pow(10.0, digits);
    double scaled = exact * scale;
    // Cancel binary noise in the scaled value before deciding the last digit.
    std::snprintf(buf, sizeof buf, "%.12f", scaled);
    scaled = std::strtod(buf, nullptr);
    const double r = truncate ? std::trunc(scaled) : std::round(scaled);  // half away from zero
    return r / scale;
}

void roundFunction(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    if (anyNull(argc, argv)) return;
    const int digits = sqlite3_value_int(argv[1]);
    const bool truncate = argc == 3 && sqlite3_value_int64(argv[2]) != 0;
    switch (sqlite3_value_type(argv[0])) {
    case SQLITE_INTEGER: {
        const std::int64_t v = sqlite3_value_int64(argv[0]);
        if (digits >= 0) {
            sqlite3_result_int64(ctx, v);
            return;
        }
        if (digits < -18) {
            sqlite3_result_int64(ctx, 0);
            return;
        }
        std::int64_t p = 1;
        for (int k = 0; k < -digits; ++k) p *= 10;
        std::int64_t q = v / p * p;
        const std::int64_t rest = v - q;
        if (!truncate && (rest >= 0 ? rest : -rest) * 2 >= p) {
            if (__builtin_add_overflow(q, v >= 0 ? p : -p, &q)) {
                fail(ctx, 8115, "Arithmetic overflow error converting expression to data type int.");
                return;
            }
        }
        sqlite3_result_int64(ctx, q);
        return;
    }
    case SQLITE_FLOAT:
        sqlite3_result_double(ctx, roundDecimal(sqlite3_value_double(argv[0]), digits, truncate));
        return;
    case SQLITE_TEXT: {
        const std::string s = valueString(argv[0]);
        double d = 0;
        if (!floatText(s, &d)) {
            fail(ctx, 8114, std::string("Error converting data type ") + stringTypeOf(s) + " to float.", true);
            return;
        }
        sqlite3_result_double(ctx, roundDecimal(d, digits, truncate));
        return;
    }
    default:
        fail(ctx, 8116, "Argument data type varbinary is invalid for argument 1 of round function.");
    }
}

}  // namespace fn

}  // namespace sqlsim
