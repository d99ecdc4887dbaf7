// Arithmetic and comparison with T-SQL's implicit conversions and errors.

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

// ---- arithmetic --------------------------------------------------------------------------

struct Num {
    bool isInt = true;
    std::int64_t i = 0;
    double d = 0;
    double real() const { return isInt ? static_cast<double>(i) : d; }
};

// Reads an operand as a number; text converts to the other operand's type as SQL Server does.
bool operand(sqlite3_context *ctx, sqlite3_value *v, bool otherIsInt, Num &out)
{
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: out.isInt = true; out.i = sqlite3_value_int64(v); return true;
    case SQLITE_FLOAT: out.isInt = false; out.d = sqlite3_value_double(v); return true;
    case SQLITE_BLOB: fail(ctx, 50000, "Arithmetic on binary values is not supported by sqlsim."); return false;
    default: break;
    }
    const std::string s = valueString(v);
    if (datetimeShaped(s)) {
        fail(ctx, 50000, "Arithmetic on datetime values is not supported by sqlsim.");
        return false;
    }
    if (otherIsInt) {
        if (integerText(s, &out.i)) {
            out.isInt = true;
            return true;
        }
        fail(ctx, 245, std::string("Conversion failed when converting the ") + stringTypeOf(s) + " value '" + s +
                           "' to data type int.", true);
        return false;
    }
    if (floatText(s, &out.d)) {
        out.isInt = false;
        return true;
    }
    fail(ctx, 8114, std::string("Error converting data type ") + stringTypeOf(s) + " to numeric.", true);
    return false;
}

bool isText(sqlite3_value *v) { return sqlite3_value_type(v) == SQLITE_TEXT; }

// Both operands as numbers, or false with the error set; text against text is refused.
bool operands(sqlite3_context *ctx, sqlite3_value **argv, const char *opName, Num &a, Num &b)
{
    if (isText(argv[0]) && isText(argv[1])) {
        const std::string s = valueString(argv[0]);
        fail(ctx, 8117, std::string("Operand data type ") + stringTypeOf(s) + " is invalid for " + opName + " operator.");
        return false;
    }
    // A string meeting a string converts to nothing; against a number it takes the number's type.
    const bool aInt = sqlite3_value_type(argv[0]) == SQLITE_INTEGER || isText(argv[0]);
    const bool bInt = sqlite3_value_type(argv[1]) == SQLITE_INTEGER || isText(argv[1]);
    return operand(ctx, argv[0], bInt, a) && operand(ctx, argv[1], aInt, b);
}

void overflow(sqlite3_context *ctx)
{
    fail(ctx, 8115, "Arithmetic overflow error converting expression to data type bigint.");
}

bool anyNull(int argc, sqlite3_value **argv)
{
    for (int k = 0; k < argc; ++k)
        if (sqlite3_value_type(argv[k]) == SQLITE_NULL) return true;
    return false;
}

void addFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (anyNull(2, argv)) return;
    const int ta = sqlite3_value_type(argv[0]), tb = sqlite3_value_type(argv[1]);
    if (ta == SQLITE_TEXT && tb == SQLITE_TEXT) {  // concatenation
        const std::string s = valueString(argv[0]) + valueString(argv[1]);
        sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
        return;
    }
    if (ta == SQLITE_BLOB && tb == SQLITE_BLOB) {
        std::string bytes(static_cast<const char *>(sqlite3_value_blob(argv[0])), sqlite3_value_bytes(argv[0]));
        bytes.append(static_cast<const char *>(sqlite3_value_blob(argv[1])), sqlite3_value_bytes(argv[1]));
        sqlite3_result_blob(ctx, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
        return;
    }
    Num a, b;
    if (!operands(ctx, argv, "add", a, b)) return;
    if (a.isInt && b.isInt) {
        std::int64_t r;
        if (__builtin_add_overflow(a.i, b.i, &r)) return overflow(ctx);
        sqlite3_result_int64(ctx, r);
    } else {
        sqlite3_result_double(ctx, a.real() + b.real());
    }
}

void subFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (anyNull(2, argv)) return;
    Num a, b;
    if (!operands(ctx, argv, "subtract", a, b)) return;
    if (a.isInt && b.isInt) {
        std::int64_t r;
        if (__builtin_sub_overflow(a.i, b.i, &r)) return overflow(ctx);
        sqlite3_result_int64(ctx, r);
    } else {
        sqlite3_result_double(ctx, a.real() - b.real());
    }
}

void mulFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (anyNull(2, argv)) return;
    Num a, b;
    if (!operands(ctx, argv, "multiply", a, b)) return;
    if (a.isInt && b.isInt) {
        std::int64_t r;
        if (__builtin_mul_overflow(a.i, b.i, &r)) return overflow(ctx);
        sqlite3_result_int64(ctx, r);
    } else {
        sqlite3_result_double(ctx, a.real() * b.real());
    }
}

void divideByZero(sqlite3_context *ctx) { fail(ctx, 8134, "Divide by zero error encountered."); }

void divFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (anyNull(2, argv)) return;
    Num a, b;
    if (!operands(ctx, argv, "divide", a, b)) return;
    if (b.real() == 0) return divideByZero(ctx);
    if (a.isInt && b.isInt) {
        if (a.i == INT64_MIN && b.i == -1) return overflow(ctx);
        sqlite3_result_int64(ctx, a.i / b.i);  // truncates toward zero, as SQL Server does
    } else {
        sqlite3_result_double(ctx, a.real() / b.real());
    }
}

void modFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (anyNull(2, argv)) return;
    Num a, b;
    if (!operands(ctx, argv, "modulo", a, b)) return;
    if (b.real() == 0) return divideByZero(ctx);
    if (a.isInt && b.isInt)
        sqlite3_result_int64(ctx, b.i == -1 ? 0 : a.i % b.i);
    else
        sqlite3_result_double(ctx, std::fmod(a.real(), b.real()));
}

// &, | and ^ take integers only.
template <int Op>
void bitFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (anyNull(2, argv)) return;
    Num a, b;
    if (!operands(ctx, argv, Op == 0 ? "boolean AND" : Op == 1 ? "boolean OR" : "boolean XOR", a, b)) return;
    if (!a.isInt || !b.isInt) {
        fail(ctx, 402, std::string("The data types ") + (a.isInt ? "int" : "numeric") + " and " +
                           (b.isInt ? "int" : "numeric") + " are incompatible in the '" + (Op == 0 ? "&" : Op == 1 ? "|" : "^") +
                           "' operator.");
        return;
    }
    sqlite3_result_int64(ctx, Op == 0 ? (a.i & b.i) : Op == 1 ? (a.i | b.i) : (a.i ^ b.i));
}

void negFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    switch (sqlite3_value_type(argv[0])) {
    case SQLITE_NULL: return;
    case SQLITE_INTEGER: {
        const std::int64_t v = sqlite3_value_int64(argv[0]);
        if (v == INT64_MIN) return overflow(ctx);
        sqlite3_result_int64(ctx, -v);
        return;
    }
    case SQLITE_FLOAT: sqlite3_result_double(ctx, -sqlite3_value_double(argv[0])); return;
    default: {
        const std::string s = valueString(argv[0]);
        fail(ctx, 8117, std::string("Operand data type ") + (sqlite3_value_type(argv[0]) == SQLITE_BLOB ? "varbinary" : stringTypeOf(s)) +
                            " is invalid for minus operator.");
    }
    }
}

void bitNotFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return;
    if (sqlite3_value_type(argv[0]) != SQLITE_INTEGER) {
        fail(ctx, 8117, "Operand data type numeric is invalid for '~' operator.");
        return;
    }
    sqlite3_result_int64(ctx, ~sqlite3_value_int64(argv[0]));
}

// ss_cmp(a, b): -1, 0 or 1 as T-SQL compares a with b (text against a number converts).
void cmpFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (anyNull(2, argv)) return;
    const int ta = sqlite3_value_type(argv[0]), tb = sqlite3_value_type(argv[1]);
    if (ta == SQLITE_TEXT && tb == SQLITE_TEXT) {
        const auto *a = sqlite3_value_text(argv[0]);
        const auto *b = sqlite3_value_text(argv[1]);
        sqlite3_result_int(ctx, compareFolded(a, sqlite3_value_bytes(argv[0]), b, sqlite3_value_bytes(argv[1])));
        return;
    }
    if (ta == SQLITE_BLOB && tb == SQLITE_BLOB) {
        const int la = sqlite3_value_bytes(argv[0]), lb = sqlite3_value_bytes(argv[1]);
        const int c = std::memcmp(sqlite3_value_blob(argv[0]), sqlite3_value_blob(argv[1]), static_cast<std::size_t>(std::min(la, lb)));
        sqlite3_result_int(ctx, c != 0 ? (c < 0 ? -1 : 1) : (la > lb) - (la < lb));
        return;
    }
    Num a, b;
    const bool aInt = ta == SQLITE_INTEGER || ta == SQLITE_TEXT;
    const bool bInt = tb == SQLITE_INTEGER || tb == SQLITE_TEXT;
    if (!operand(ctx, argv[0], bInt, a) || !operand(ctx, argv[1], aInt, b)) return;
    if (a.isInt && b.isInt)
        sqlite3_result_int(ctx, (a.i > b.i) - (a.i < b.i));
    else
        sqlite3_result_int(ctx, (a.real() > b.real()) - (a.real() < b.real()));
}

// ss_fail(number, aborts, text): raises the error when a row reaches it.
void failFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    fail(ctx, sqlite3_value_int(argv[0]), valueString(argv[2]), sqlite3_value_int(argv[1]) != 0);
}

template void bitFunction<0>(sqlite3_context *, int, sqlite3_value **);
template void bitFunction<1>(sqlite3_context *, int, sqlite3_value **);
template void bitFunction<2>(sqlite3_context *, int, sqlite3_value **);

}  // namespace fn

}  // namespace sqlsim
