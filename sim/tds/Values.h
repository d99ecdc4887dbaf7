#pragma once
// Conversions of engine values to what a wire type holds. A value that does not fit its
// column (text in an int column that is no number, a number out of range) throws
// std::runtime_error rather than sending something else.

#include "sim/engine/Engine.h"
#include "sim/tds/Bytes.h"

namespace sqlsim::tds {

constexpr std::int32_t kDaysTo1900 = 693595;  // days from 0001-01-01 to 1900-01-01

std::int64_t valueAsInt(const Value &v);
// The integer, checked to fit a signed (or, for one byte, unsigned) integer of that width.
std::int64_t checkedInt(const Value &v, std::uint32_t width);
double valueAsDouble(const Value &v);
std::string valueAsText(const Value &v);
Bytes valueAsBinary(const Value &v);
std::string valueAsDecimalText(const Value &v);
DateTimeValue valueAsDateTime(const Value &v);
// 16 bytes in the mixed byte order uniqueidentifier uses, from text or 16 raw bytes.
Bytes valueAsGuid(const Value &v);
// The value times 10^scale, rounded half away from zero (money uses scale 4).
std::int64_t scaledInteger(const Value &v, int scale);

// Bytes of a decimal/numeric value of that precision: 5, 9, 13 or 17.
std::uint32_t decimalBytes(int precision);
// Sign byte and magnitude (little-endian) of decimalBytes(precision) - 1 bytes.
Bytes encodeDecimal(std::string_view text, int precision, int scale);
// "YYYY-MM-DD" and "YYYY-MM-DD hh:mm:ss.mmm".
std::string dateText(const DateTimeValue &d);
std::string dateTimeText(const DateTimeValue &d);
// A whole sql_variant value: length, base type, properties and data.
Bytes encodeVariant(const Value &v);

}  // namespace sqlsim::tds
