#pragma once
// What the conversion files share: type classes, decimal and calendar values, and the
// conversions to each class of column type.

#include "sim/engine/rows/Convert.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sqlsim::conv {

using Kind = Typed::Kind;

enum class Cat { Integer, Decimal, Money, Float, Char, Binary, DateTime, Guid, Other };
Cat category(const SystemType &t);
// The source type a conversion message names.
const char *sourceName(const Typed &v);
bool isString(const Typed &v);
std::string trimBlanks(std::string_view s);
// Code points of UTF-8 text; invalid bytes count as one character each.
std::vector<char32_t> decodeUtf8(std::string_view s);
std::string encodeUtf8(const std::vector<char32_t> &cps, std::size_t count);
bool inCp1252(char32_t c);
std::string textOf(const Typed &v);

// A decimal number as sign, integer digits and fraction digits.
struct Dec {
    bool negative = false;
    std::string whole = "0";
    std::string frac;
};
std::optional<Dec> parseDec(std::string_view text);
// Rounds half away from zero to the scale.
Dec roundDec(Dec d, int scale);
std::string decText(const Dec &d);
std::string doubleText(double v);
Dec toDec(const Typed &v);
[[noreturn]] void overflow(const std::string &from, const std::string &to);
// Decimal values stay exact in the store up to 15 significant digits.
Param storeDec(const Dec &d);
Param toInteger(const Typed &v, const SystemType &t);
Param toDecimal(const Typed &v, const ColumnInfo &c, bool money);
Param toFloat(const Typed &v, const SystemType &t);

struct Civil {
    int y = 1900, mo = 1, d = 1, h = 0, mi = 0, s = 0, ms = 0;
};
// datetime as text: "Jan  1 2020 12:00AM", as SQL Server converts it to a string by default.
std::string dateTimeDisplay(const std::string &stored);
// Days since 1900-01-01 back to the calendar.
Civil civilFromDays(std::int64_t days1900);
bool validDay(int y, int mo, int d);
// The literal forms of dates and times that SQL Server reads under us_english.
std::optional<Civil> parseCivil(const std::string &text);
std::string civilText(const Civil &c, std::string_view type);
// datetime keeps 1/300 s (.000, .003, .007); smalldatetime whole minutes.
std::string roundedDateTime(Civil c, std::string_view type);
Param toDateTime(const Typed &v, const ColumnInfo &c);

}  // namespace sqlsim::conv
