#pragma once
// What the function files share: error reporting, value helpers and the SQLite functions
// that registerSqlFunctions installs.

#include "sim/engine/functions/SqlFunctions.h"

#include <string>
#include <string_view>

struct sqlite3_context;
struct sqlite3_value;

namespace sqlsim::fn {

// Raises error number inside a function (see kFunctionErrorMarker).
void fail(sqlite3_context *ctx, int number, const std::string &text, bool abortsBatch = false);
std::string valueString(sqlite3_value *v);
bool asciiOnly(const std::string &s);
// The type a string value's message names: varchar, or nvarchar when not ASCII.
const char *stringTypeOf(const std::string &s);
// The text the store keeps for a datetime: arithmetic on it is not emulated.
bool datetimeShaped(const std::string &s);
std::string_view trimBlanks(std::string_view t);
// 8115 for an integer result beyond bigint.
void overflow(sqlite3_context *ctx);
bool anyNull(int argc, sqlite3_value **argv);
// Rounds through the decimal text of v, so 1.005 rounds as the decimal it was written as.
double roundDecimal(double v, int digits, bool truncate);
int compareFolded(const unsigned char *pa, int la, const unsigned char *pb, int lb);

using SqlFunction = void(sqlite3_context *ctx, int argc, sqlite3_value **argv);
SqlFunction likeFunction, addFunction, subFunction, mulFunction, divFunction, modFunction, negFunction,
    bitNotFunction, cmpFunction, failFunction, substringFunction, roundFunction, castFunction;
template <int Op>  // 0 &, 1 |, 2 ^
void bitFunction(sqlite3_context *ctx, int, sqlite3_value **argv);

}  // namespace sqlsim::fn
