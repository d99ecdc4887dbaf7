// CAST and CONVERT: SQL Server's conversion rules and errors.

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

// ---- CAST and CONVERT --------------------------------------------------------------------

const char *const monthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// A stored datetime as CONVERT's style prints it; false for a style sqlsim does not print.
bool datetimeStyle(const std::string &dt, int style, std::string &out)
{
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
    if (std::sscanf(dt.c_str(), "%d-%d-%d %d:%d:%d.%d", &y, &mo, &d, &h, &mi, &s, &ms) < 3 || mo < 1 || mo > 12)
        return false;
    char buf[128];
    switch (style) {
    case 0:
    case 100:
        std::snprintf(buf, sizeof buf, "%s %2d %04d %2d:%02d%s", monthNames[mo - 1], d, y, h % 12 == 0 ? 12 : h % 12, mi,
                      h < 12 ? "AM" : "PM");
        break;
    case 101: std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", mo, d, y); break;
    case 103: std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", d, mo, y); break;
    case 104: std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", d, mo, y); break;
    case 23: std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, mo, d); break;
    case 108: std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", h, mi, s); break;
    case 112: std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, mo, d); break;
    case 120: std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s); break;
    case 121: std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", y, mo, d, h, mi, s, ms); break;
    case 126: std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", y, mo, d, h, mi, s, ms); break;
    default: return false;
    }
    out = buf;
    return true;
}

std::string numberText(sqlite3_value *v)
{
    if (sqlite3_value_type(v) == SQLITE_INTEGER) return std::to_string(sqlite3_value_int64(v));
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", sqlite3_value_double(v));
    return buf;
}

void resultText(sqlite3_context *ctx, const std::string &s)
{
    sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

bool integerRange(const std::string &type, std::int64_t v)
{
    if (type == "tinyint") return v >= 0 && v <= 255;
    if (type == "smallint") return v >= -32768 && v <= 32767;
    if (type == "int") return v >= INT32_MIN && v <= INT32_MAX;
    return true;
}

// ss_cast(value, type, length, precision, scale, style, fromDatetime)
void castFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    sqlite3_value *v = argv[0];
    const int vt = sqlite3_value_type(v);
    if (vt == SQLITE_NULL) return;
    const std::string type = valueString(argv[1]);
    const int length = sqlite3_value_int(argv[2]);
    const int precision = sqlite3_value_int(argv[3]);
    const int scale = sqlite3_value_int(argv[4]);
    const int style = sqlite3_value_int(argv[5]);
    const bool fromDatetime = sqlite3_value_int(argv[6]) != 0;
    const std::string text = vt == SQLITE_TEXT || vt == SQLITE_BLOB ? valueString(v) : std::string();

    if (type == "tinyint" || type == "smallint" || type == "int" || type == "bigint" || type == "bit") {
        std::int64_t i = 0;
        if (vt == SQLITE_INTEGER) {
            i = sqlite3_value_int64(v);
        } else if (vt == SQLITE_FLOAT) {
            const double d = std::trunc(sqlite3_value_double(v));
            if (type != "bit" && !(d >= -9.2e18 && d <= 9.2e18 && integerRange(type, static_cast<std::int64_t>(d)))) {
                fail(ctx, 8115, "Arithmetic overflow error converting numeric to data type " + type + ".");
                return;
            }
            i = static_cast<std::int64_t>(d);
        } else if (vt == SQLITE_TEXT) {
            if (type == "bit" && (text == "true" || text == "TRUE" || text == "false" || text == "FALSE")) {
                sqlite3_result_int(ctx, text[0] == 't' || text[0] == 'T');
                return;
            }
            if (!integerText(text, &i)) {
                std::int64_t ignored;
                const std::string digits(trimBlanks(text));
                const bool tooBig = !digits.empty() && digits.find_first_not_of("+-0123456789") == std::string::npos &&
                                    !integerText(digits, &ignored);
                if (tooBig)
                    fail(ctx, 248, std::string("The conversion of the ") + stringTypeOf(text) + " value '" + text +
                                       "' overflowed an " + type + " column.", true);
                else
                    fail(ctx, 245, std::string("Conversion failed when converting the ") + stringTypeOf(text) +
                                       " value '" + text + "' to data type " + type + ".", true);
                return;
            }
            if (type != "bit" && !integerRange(type, i)) {
                fail(ctx, 248, std::string("The conversion of the ") + stringTypeOf(text) + " value '" + text +
                                   "' overflowed an " + type + " column.", true);
                return;
            }
        } else {
            fail(ctx, 50000, "Converting binary values to " + type + " is not supported by sqlsim.");
            return;
        }
        if (type == "bit") {
            sqlite3_result_int(ctx, i != 0);
            return;
        }
        if (!integerRange(type, i)) {
            fail(ctx, 8115, "Arithmetic overflow error converting expression to data type " + type + ".");
            return;
        }
        sqlite3_result_int64(ctx, i);
        return;
    }
    if (type == "char" || type == "varchar" || type == "nchar" || type == "nvarchar") {
        std::string s;
        const bool number = vt == SQLITE_INTEGER || vt == SQLITE_FLOAT;
        if (number) {
            s = numberText(v);
        } else if (fromDatetime && vt == SQLITE_TEXT) {
            if (!datetimeStyle(text, style, s)) {
                fail(ctx, 50000, "CONVERT of a datetime with style " + std::to_string(style) + " is not supported by sqlsim.");
                return;
            }
        } else {
            s = text;
        }
        if (length >= 0) {
            const auto *p = reinterpret_cast<const unsigned char *>(s.data());
            const int n = static_cast<int>(s.size());
            int i = 0, count = 0;
            while (i < n && count < length) {
                nextCodePoint(p, n, i);
                ++count;
            }
            if (i < n) {
                if (number) {  // a number that does not fit: '*' for char types, an error for Unicode ones
                    if (type[0] == 'n') {
                        fail(ctx, 8115, "Arithmetic overflow error converting expression to data type " + type + ".");
                        return;
                    }
                    s = "*";
                } else {
                    s.resize(static_cast<std::size_t>(i));
                }
                count = length;
            }
            if (type == "char" || type == "nchar")
                s.append(static_cast<std::size_t>(length - count > 0 ? length - count : 0), ' ');
        }
        resultText(ctx, s);
        return;
    }
    if (type == "decimal" || type == "numeric" || type == "money" || type == "smallmoney" || type == "float" ||
        type == "real") {
        double d = 0;
        const bool floating = type == "float" || type == "real";
        if (vt == SQLITE_INTEGER) {
            d = static_cast<double>(sqlite3_value_int64(v));
        } else if (vt == SQLITE_FLOAT) {
            d = sqlite3_value_double(v);
        } else if (vt == SQLITE_TEXT) {
            std::string t = text;
            if (type == "money" || type == "smallmoney") {  // money takes a currency sign and separators
                std::string kept;
                for (char c : t)
                    if (c != '$' && c != ',') kept += c;
                t = kept;
            }
            if (!(floating ? floatText(t, &d) : decimalText(t, &d))) {
                fail(ctx, 8114, std::string("Error converting data type ") + stringTypeOf(text) + " to " +
                                    (floating ? "float" : type == "decimal" ? "numeric" : type) + ".", true);
                return;
            }
        } else {
            fail(ctx, 50000, "Converting binary values to " + type + " is not supported by sqlsim.");
            return;
        }
        if (floating) {
            sqlite3_result_double(ctx, type == "real" ? static_cast<float>(d) : d);
            return;
        }
        const int s = type == "money" || type == "smallmoney" ? 4 : scale;
        const int p = type == "money" ? 19 : type == "smallmoney" ? 10 : precision;
        const double r = roundDecimal(d, s, false);
        if (std::fabs(r) >= std::pow(10.0, p - s)) {
            const char *from = vt == SQLITE_INTEGER ? "int" : vt == SQLITE_FLOAT ? "numeric" : "varchar";
            fail(ctx, 8115, std::string("Arithmetic overflow error converting ") + from + " to data type " +
                                (type == "decimal" ? "numeric" : type) + ".");
            return;
        }
        if (s == 0 && std::fabs(r) < 9e18)
            sqlite3_result_int64(ctx, static_cast<std::int64_t>(r));
        else
            sqlite3_result_double(ctx, r);
        return;
    }
    if (type == "datetime" || type == "date" || type == "smalldatetime") {
        std::string out;
        if (vt != SQLITE_TEXT) {
            fail(ctx, 50000, "Converting numbers to " + type + " is not supported by sqlsim.");
            return;
        }
        if (!datetimeText(text, &out)) {
            fail(ctx, 241, "Conversion failed when converting date and/or time from character string.", true);
            return;
        }
        if (type == "date") out.resize(10);
        if (type == "smalldatetime") out = out.substr(0, 16) + ":00.000";  // minutes; seconds are not rounded
        resultText(ctx, out);
        return;
    }
    fail(ctx, 50000, "CAST to " + type + " is not supported by sqlsim.");
}

}  // namespace fn

}  // namespace sqlsim
