#pragma once
// SQLite functions that give a translated query T-SQL's meaning where SQLite's own differs:
// LIKE, arithmetic with implicit conversion and its errors, comparison across types,
// SUBSTRING, ROUND and CAST/CONVERT.

#include <cstdint>
#include <string>
#include <string_view>

struct sqlite3;

namespace sqlsim {

// Registers the functions on a store connection (each connection needs them).
void registerSqlFunctions(sqlite3 *db);

// A code point folded as the server's collation compares it (case- and width-insensitive,
// accent-sensitive, kana-insensitive).
char32_t foldCase(char32_t c);
// Decodes the UTF-8 sequence at s[i], advancing i; a stray byte stands for itself.
char32_t nextCodePoint(const unsigned char *s, int n, int &i);

// Errors raised inside the functions reach the translator's caller as SQLite messages
// "sqlsim-error|<number>|<a: ends the batch, s: ends the statement>|<text>".
inline constexpr const char *kFunctionErrorMarker = "sqlsim-error|";

// Whether text converts to an integer as SQL Server converts varchar to int (blanks around,
// an optional sign, digits; the empty string is 0).
bool integerText(std::string_view text, std::int64_t *value = nullptr);
// Whether text converts to decimal (digits with an optional point, no exponent).
bool decimalText(std::string_view text, double *value = nullptr);
// Whether text converts to float (decimal or with an exponent).
bool floatText(std::string_view text, double *value = nullptr);
// A datetime literal ('2020-01-31', '20200131', '2020-01-31 10:00[:00[.000]]', '...T...')
// as the store keeps it: "YYYY-MM-DD HH:MM:SS.fff", rounded to SQL Server's 1/300 s.
bool datetimeText(std::string_view text, std::string *normalized = nullptr);

}  // namespace sqlsim
