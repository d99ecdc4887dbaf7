#include "sim/engine/rows/Convert.h"

#include "sim/engine/core/Internal.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace sqlsim {

namespace {

using Kind = Typed::Kind;

enum class Cat { Integer, Decimal, Money, Float, Char, Binary, DateTime, Guid, Other };

Cat category(const SystemType &t)
{
    const std::string_view n = t.name;
    if (n == "int" || n == "bigint" || n == "smallint" || n == "tinyint" || n == "bit") return Cat::Integer;
    if (t.decimal) return Cat::Decimal;
    if (n == "money" || n == "smallmoney") return Cat::Money;
    if (n == "float" || n == "real") return Cat::Float;
    if (n == "char" || n == "varchar" || n == "nchar" || n == "nvarchar" || n == "text" || n == "ntext" ||
        n == "sysname")
        return Cat::Char;
    if (n == "binary" || n == "varbinary" || n == "image") return Cat::Binary;
    if (n == "datetime" || n == "smalldatetime" || n == "date") return Cat::DateTime;
    if (n == "uniqueidentifier") return Cat::Guid;
    return Cat::Other;
}

const char *sourceName(const Typed &v)
{
    switch (v.kind) {
    case Kind::Int: return "int";
    case Kind::Decimal: return "numeric";
    case Kind::Float: return "float";
    case Kind::VarChar: return "varchar";
    case Kind::NVarChar: return "nvarchar";
    case Kind::Binary: return "varbinary";
    case Kind::DateTime: return "datetime";
    case Kind::Guid: return "uniqueidentifier";
    case Kind::Null: break;
    }
    return "NULL";
}

bool isString(const Typed &v) { return v.kind == Kind::VarChar || v.kind == Kind::NVarChar; }

std::string trimBlanks(std::string_view s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r' || s[b] == '\n')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n')) --e;
    return std::string(s.substr(b, e - b));
}

// Code points of UTF-8 text; invalid bytes count as one character each.
std::vector<char32_t> decodeUtf8(std::string_view s)
{
    std::vector<char32_t> out;
    for (std::size_t k = 0; k < s.size();) {
        const auto c = static_cast<unsigned char>(s[k]);
        int n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
        if (k + static_cast<std::size_t>(n) > s.size()) n = 1;
        char32_t cp = n == 1 ? c : c & (0x7F >> n);
        for (int j = 1; j < n; ++j) cp = (cp << 6) | (static_cast<unsigned char>(s[k + static_cast<std::size_t>(j)]) & 0x3F);
        out.push_back(cp);
        k += static_cast<std::size_t>(n);
    }
    return out;
}

std::string encodeUtf8(const std::vector<char32_t> &cps, std::size_t count)
{
    std::string out;
    for (std::size_t k = 0; k < count && k < cps.size(); ++k) {
        const char32_t c = cps[k];
        if (c < 0x80) out += static_cast<char>(c);
        else if (c < 0x800) { out += static_cast<char>(0xC0 | (c >> 6)); out += static_cast<char>(0x80 | (c & 0x3F)); }
        else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// Characters code page 1252 has; a varchar holds only those, others become '?'.
bool inCp1252(char32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return true;
    static const char32_t extra[] = {0x20AC, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030,
                                     0x0160, 0x2039, 0x0152, 0x017D, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                                     0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x017E, 0x0178};
    for (char32_t e : extra)
        if (e == c) return true;
    return false;
}

// A decimal number as sign, integer digits and fraction digits.
struct Dec {
    bool negative = false;
    std::string whole = "0";
    std::string frac;
};

std::optional<Dec> parseDec(std::string_view text)
{
    const std::string s = trimBlanks(text);
    Dec d;
    std::size_t k = 0;
    if (k < s.size() && (s[k] == '+' || s[k] == '-')) d.negative = s[k++] == '-';
    std::string whole, frac;
    while (k < s.size() && std::isdigit(static_cast<unsigned char>(s[k]))) whole += s[k++];
    if (k < s.size() && s[k] == '.') {
        ++k;
        while (k < s.size() && std::isdigit(static_cast<unsigned char>(s[k]))) frac += s[k++];
    }
    if (k != s.size() || (whole.empty() && frac.empty()))
        return std::nullopt;
    whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size()));
    d.whole = whole.empty() ? "0" : whole;
    d.frac = frac;
    return d;
}

// Rounds half away from zero to the scale.
Dec roundDec(Dec d, int scale)
{
    const auto s = static_cast<std::size_t>(scale);
    if (d.frac.size() <= s) {
        d.frac.append(s - d.frac.size(), '0');
        return d;
    }
    const bool up = d.frac[s] >= '5';
    d.frac.resize(s);
    if (up) {
        std::string digits = d.whole + d.frac;
        int k = static_cast<int>(digits.size()) - 1;
        for (; k >= 0; --k) {
            if (digits[static_cast<std::size_t>(k)] == '9') { digits[static_cast<std::size_t>(k)] = '0'; continue; }
            ++digits[static_cast<std::size_t>(k)];
            break;
        }
        if (k < 0) digits.insert(digits.begin(), '1');
        d.whole = digits.substr(0, digits.size() - s);
        d.frac = digits.substr(digits.size() - s);
        d.whole.erase(0, std::min(d.whole.find_first_not_of('0'), d.whole.size() - 1));
    }
    return d;
}

std::string decText(const Dec &d)
{
    const bool zero = d.whole == "0" && d.frac.find_first_not_of('0') == std::string::npos;
    return (d.negative && !zero ? "-" : "") + d.whole + (d.frac.empty() ? "" : "." + d.frac);
}

std::string doubleText(double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    std::string s = buf;
    if (s.find_first_of("eE") != std::string::npos) {
        std::snprintf(buf, sizeof buf, "%.6f", v);
        s = buf;
    }
    return s;
}

Dec toDec(const Typed &v)
{
    if (v.kind == Kind::Int) return *parseDec(std::to_string(v.i));
    if (v.kind == Kind::Float) return *parseDec(doubleText(v.f));
    return *parseDec(v.text);
}

[[noreturn]] void overflow(const std::string &from, const std::string &to)
{
    throw SqlError(8115, "Arithmetic overflow error converting " + from + " to data type " + to + ".", 16);
}

// Decimal values stay exact in the store up to 15 significant digits.
Param storeDec(const Dec &d)
{
    std::string digits = d.whole + d.frac;
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
    if (digits.size() > 15)
        notSupported("A decimal value of more than 15 significant digits (" + decText(d) + ")");
    if (d.frac.find_first_not_of('0') == std::string::npos)
        return std::stoll(decText(Dec{d.negative, d.whole, ""}));
    return std::strtod(decText(d).c_str(), nullptr);
}

Param toInteger(const Typed &v, const SystemType &t)
{
    const std::string_view n = t.name;
    std::int64_t lo = INT32_MIN, hi = INT32_MAX;
    if (n == "bigint") { lo = INT64_MIN; hi = INT64_MAX; }
    if (n == "smallint") { lo = -32768; hi = 32767; }
    if (n == "tinyint") { lo = 0; hi = 255; }
    const bool bit = n == "bit";
    auto ranged = [&](std::int64_t x, auto fail) -> Param {
        if (bit) return std::int64_t{x != 0};
        if (x < lo || x > hi) fail();
        return x;
    };
    switch (v.kind) {
    case Kind::Int:
        return ranged(v.i, [&] {
            if (n == "tinyint" || n == "smallint")
                throw SqlError(220, "Arithmetic overflow error for data type " + std::string(n) + ", value = " +
                                        std::to_string(v.i) + ".", 16);
            overflow("expression", std::string(n));
        });
    case Kind::Decimal: {
        const Dec d = toDec(v);
        if (d.whole.size() > 19) overflow("numeric", std::string(n));
        const long double x = std::strtold(decText(Dec{d.negative, d.whole, ""}).c_str(), nullptr);
        if (x < static_cast<long double>(lo) || x > static_cast<long double>(hi))
            overflow("numeric", std::string(n));
        return ranged(static_cast<std::int64_t>(x), [] {});
    }
    case Kind::Float: {
        const double x = std::trunc(v.f);
        if (!bit && (x < static_cast<double>(lo) || x > static_cast<double>(hi))) {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%f", v.f);
            throw SqlError(232, "Arithmetic overflow error for type " + std::string(n) + ", value = " + buf + ".", 16);
        }
        return ranged(static_cast<std::int64_t>(x), [] {});
    }
    case Kind::VarChar:
    case Kind::NVarChar: {
        const std::string s = trimBlanks(v.text);
        const auto failed = [&] {
            return SqlError(245, "Conversion failed when converting the " + std::string(sourceName(v)) + " value '" +
                                     v.text + "' to data type " + std::string(n) + ".", 16);
        };
        if (bit && (iequals(s, "true") || iequals(s, "false")))
            return std::int64_t{iequals(s, "true") ? 1 : 0};
        if (s.empty()) return std::int64_t{0};
        std::size_t k = (s[0] == '+' || s[0] == '-') ? 1 : 0;
        if (k == s.size()) throw failed();
        for (std::size_t j = k; j < s.size(); ++j)
            if (!std::isdigit(static_cast<unsigned char>(s[j]))) throw failed();
        errno = 0;
        const long long x = std::strtoll(s.c_str(), nullptr, 10);
        if (errno == ERANGE || (!bit && (x < lo || x > hi))) {
            if (n == "int")
                throw SqlError(248, "The conversion of the " + std::string(sourceName(v)) + " value '" + v.text +
                                        "' overflowed an int column.", 16);
            throw SqlError(244, "The conversion of the " + std::string(sourceName(v)) + " value '" + v.text +
                                    "' overflowed an " + (n == "tinyint" ? "INT1" : n == "smallint" ? "INT2" : "INT8") +
                                    " column. Use a larger integer column.", 16);
        }
        return ranged(x, [] {});
    }
    default:
        notSupported(std::string("Implicit conversion from ") + sourceName(v) + " to " + std::string(n));
    }
}

Param toDecimal(const Typed &v, const ColumnInfo &c, bool money)
{
    const std::string to = money ? "money" : "numeric";
    if (v.kind == Kind::Binary || v.kind == Kind::DateTime || v.kind == Kind::Guid)
        notSupported(std::string("Implicit conversion from ") + sourceName(v) + " to " + c.type->name);
    std::optional<Dec> d;
    if (isString(v)) {
        d = parseDec(v.text);
        if (!d) {
            // A number with an exponent is a float literal, not a decimal.
            char *end = nullptr;
            const std::string s = trimBlanks(v.text);
            const double f = std::strtod(s.c_str(), &end);
            if (!money && !s.empty() && end == s.c_str() + s.size() && s.find_first_of("eE") != std::string::npos)
                d = toDec(Typed{Kind::Float, 0, f, {}, {}});
        }
        if (!d && money)
            throw SqlError(235, "Cannot convert a char value to money. The char value has incorrect syntax.", 16);
        if (!d)
            throw SqlError(8114, "Error converting data type " + std::string(sourceName(v)) + " to " + to + ".", 16);
    } else {
        d = toDec(v);
    }
    const Dec r = roundDec(*d, c.scale);
    const std::size_t wholeDigits = r.whole == "0" ? 0 : r.whole.size();
    if (static_cast<int>(wholeDigits) > c.precision - c.scale)
        overflow(money ? "expression" : isString(v) ? sourceName(v) : sourceName(v), to);
    return storeDec(r);
}

Param toFloat(const Typed &v, const SystemType &t)
{
    double x = 0;
    switch (v.kind) {
    case Kind::Int: x = static_cast<double>(v.i); break;
    case Kind::Float: x = v.f; break;
    case Kind::Decimal: x = std::strtod(v.text.c_str(), nullptr); break;
    case Kind::VarChar:
    case Kind::NVarChar: {
        const std::string s = trimBlanks(v.text);
        char *end = nullptr;
        x = std::strtod(s.c_str(), &end);
        if (s.empty() ? false : end != s.c_str() + s.size() || s.find_first_of("xXnNiI") != std::string::npos)
            throw SqlError(8114, "Error converting data type " + std::string(sourceName(v)) + " to " + t.name + ".", 16);
        break;
    }
    default:
        notSupported(std::string("Implicit conversion from ") + sourceName(v) + " to " + t.name);
    }
    if (std::string_view(t.name) == "real") x = static_cast<float>(x);
    return x;
}

const char *const monthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// datetime as text: "Jan  1 2020 12:00AM", as SQL Server converts it to a string by default.
std::string dateTimeDisplay(const std::string &stored)
{
    int y = 1900, mo = 1, d = 1, h = 0, mi = 0;
    std::sscanf(stored.c_str(), "%d-%d-%d %d:%d", &y, &mo, &d, &h, &mi);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%s %2d %d %2d:%02d%s", monthNames[(mo + 11) % 12], d, y, h % 12 == 0 ? 12 : h % 12, mi,
                  h < 12 ? "AM" : "PM");
    return buf;
}

std::string textOf(const Typed &v)
{
    switch (v.kind) {
    case Kind::Int: return std::to_string(v.i);
    case Kind::Float: return doubleText(v.f);
    case Kind::DateTime: return dateTimeDisplay(v.text);
    default: return v.text;
    }
}

Param toChar(const Typed &v, const ColumnInfo &c, const ConvertSite &site)
{
    if (v.kind == Kind::Binary)
        notSupported(std::string("Implicit conversion from varbinary to ") + c.type->name);
    std::vector<char32_t> cps = decodeUtf8(textOf(v));
    const bool unicodeTarget = c.type->unicode;
    // A varchar value (or column) holds code page 1252 only.
    if (v.kind == Kind::VarChar || !unicodeTarget)
        for (char32_t &cp : cps)
            if (!inCp1252(cp)) cp = U'?';
    const std::string_view n = c.type->name;
    const bool fixed = n == "char" || n == "nchar";
    if (c.chars >= 0 && cps.size() > static_cast<std::size_t>(c.chars)) {
        bool onlyBlanks = true;
        for (std::size_t k = static_cast<std::size_t>(c.chars); k < cps.size(); ++k)
            onlyBlanks = onlyBlanks && cps[k] == U' ';
        if (!onlyBlanks) {
            if (!isString(v))
                overflow(v.kind == Kind::Int ? "expression" : sourceName(v), std::string(n));
            throw SqlError(2628, "String or binary data would be truncated in table '" + site.table + "', column '" +
                                     c.name + "'. Truncated value: '" +
                                     encodeUtf8(cps, static_cast<std::size_t>(c.chars)) + "'.", 16);
        }
        cps.resize(static_cast<std::size_t>(c.chars));
    }
    if (fixed && c.chars > 0 && cps.size() < static_cast<std::size_t>(c.chars))
        cps.resize(static_cast<std::size_t>(c.chars), U' ');
    return encodeUtf8(cps, cps.size());
}

struct Civil {
    int y = 1900, mo = 1, d = 1, h = 0, mi = 0, s = 0, ms = 0;
};

// Days since 1900-01-01 back to the calendar (Howard Hinnant's algorithm).
Civil civilFromDays(std::int64_t days1900)
{
    const std::int64_t z = days1900 - 25567 + 719468;  // days since 0000-03-01
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    Civil c;
    c.d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    c.mo = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    c.y = static_cast<int>(yoe + era * 400 + (c.mo <= 2 ? 1 : 0));
    return c;
}

bool validDay(int y, int mo, int d)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (mo < 1 || mo > 12 || d < 1) return false;
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return d <= days[mo - 1] + (mo == 2 && leap ? 1 : 0);
}

// The literal forms of dates and times that SQL Server reads under us_english.
std::optional<Civil> parseCivil(const std::string &text)
{
    const std::string s = trimBlanks(text);
    Civil c;
    if (s.empty()) return c;  // '' is 1900-01-01
    std::size_t used = 0;
    int n = 0;
    auto rest = [&](std::size_t from) { return std::string_view(s).substr(from); };
    bool haveDate = false;
    // A year first has four digits; "03/14/1970" is month/day/year.
    const bool yearFirst = s.size() > 4 && std::all_of(s.begin(), s.begin() + 4, [](unsigned char ch) {
                               return std::isdigit(ch) != 0;
                           });
    if (yearFirst && (std::sscanf(s.c_str(), "%4d-%2d-%2d%n", &c.y, &c.mo, &c.d, &n) == 3 ||
                      std::sscanf(s.c_str(), "%4d/%2d/%2d%n", &c.y, &c.mo, &c.d, &n) == 3 ||
                      std::sscanf(s.c_str(), "%4d.%2d.%2d%n", &c.y, &c.mo, &c.d, &n) == 3)) {
        if (n < 8) return std::nullopt;
        haveDate = true;
        used = static_cast<std::size_t>(n);
    } else if (std::sscanf(s.c_str(), "%2d/%2d/%4d%n", &c.mo, &c.d, &c.y, &n) == 3 && n >= 8) {
        haveDate = true;
        used = static_cast<std::size_t>(n);
    } else if (s.size() >= 8 && s.find_first_not_of("0123456789") >= 8 &&
               std::sscanf(s.c_str(), "%4d%2d%2d", &c.y, &c.mo, &c.d) == 3) {
        haveDate = true;
        used = 8;
    }
    if (haveDate && !validDay(c.y, c.mo, c.d)) return std::nullopt;
    std::string_view t = rest(used);
    if (haveDate && !t.empty()) {
        if (t[0] != ' ' && t[0] != 'T') return std::nullopt;
        t.remove_prefix(1);
        while (!t.empty() && t[0] == ' ') t.remove_prefix(1);
    }
    if (t.empty()) return haveDate ? std::optional<Civil>(c) : std::nullopt;
    const std::string time(t);
    char fracBuf[8] = {0};
    int got = std::sscanf(time.c_str(), "%2d:%2d:%2d.%7[0-9]%n", &c.h, &c.mi, &c.s, fracBuf, &n);
    if (got == 4) {
        std::string frac(fracBuf);
        frac.resize(3, '0');
        c.ms = std::atoi(frac.c_str());
    } else if ((got = std::sscanf(time.c_str(), "%2d:%2d:%2d%n", &c.h, &c.mi, &c.s, &n)) == 3) {
    } else if ((got = std::sscanf(time.c_str(), "%2d:%2d%n", &c.h, &c.mi, &n)) == 2) {
    } else {
        return std::nullopt;
    }
    std::string_view tail = std::string_view(time).substr(static_cast<std::size_t>(n));
    while (!tail.empty() && tail[0] == ' ') tail.remove_prefix(1);
    if (iequals(tail, "PM") && c.h >= 1 && c.h <= 12) { c.h = c.h % 12 + 12; tail = {}; }
    else if (iequals(tail, "AM") && c.h >= 1 && c.h <= 12) { c.h = c.h % 12; tail = {}; }
    if (!tail.empty() || c.h > 23 || c.mi > 59 || c.s > 59) return std::nullopt;
    return c;
}

std::string civilText(const Civil &c, std::string_view type)
{
    char buf[48];
    if (type == "date") {
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", c.y, c.mo, c.d);
        return buf;
    }
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", c.y, c.mo, c.d, c.h, c.mi, c.s, c.ms);
    return buf;
}

// datetime keeps 1/300 s (.000, .003, .007); smalldatetime whole minutes.
std::string roundedDateTime(Civil c, std::string_view type)
{
    if (type == "datetime") {
        const int ticks = static_cast<int>(std::lround(c.ms * 0.3));
        c.ms = static_cast<int>(std::lround(ticks / 0.3));
        if (c.ms >= 1000) {
            c.ms -= 1000;
            c.s += 1;
            if (c.s == 60) { c.s = 0; ++c.mi; }
            if (c.mi == 60) { c.mi = 0; ++c.h; }
            if (c.h == 24) notSupported("A datetime rounded past midnight");
        }
    } else if (type == "smalldatetime") {
        if (c.s >= 30 || (c.s == 29 && c.ms >= 999)) ++c.mi;
        c.s = 0;
        c.ms = 0;
        if (c.mi == 60) { c.mi = 0; ++c.h; }
        if (c.h == 24) notSupported("A smalldatetime rounded past midnight");
    }
    return civilText(c, type);
}

Param toDateTime(const Typed &v, const ColumnInfo &c)
{
    const std::string_view n = c.type->name;
    Civil civil;
    if (isString(v) || v.kind == Kind::DateTime) {
        auto parsed = parseCivil(v.text);
        if (!parsed)
            throw SqlError(241, "Conversion failed when converting date and/or time from character string.", 16);
        civil = *parsed;
    } else if (v.kind == Kind::Int && n != "date") {
        civil = civilFromDays(v.i);
    } else {
        notSupported(std::string("Implicit conversion from ") + sourceName(v) + " to " + std::string(n));
    }
    const bool inRange = n == "datetime"        ? civil.y >= 1753 && civil.y <= 9999
                         : n == "smalldatetime" ? (civil.y > 1900 || (civil.y == 1900)) &&
                                                      (civil.y < 2079 || (civil.y == 2079 && (civil.mo < 6 || (civil.mo == 6 && civil.d <= 6))))
                                                : civil.y >= 1 && civil.y <= 9999;
    if (!inRange)
        throw SqlError(242, "The conversion of a " + std::string(isString(v) ? sourceName(v) : "varchar") +
                                " data type to a " + std::string(n) + " data type resulted in an out-of-range value.",
                       16);
    return roundedDateTime(civil, n);
}

Param toGuid(const Typed &v)
{
    if (v.kind == Kind::Guid) return v.text;
    if (!isString(v)) notSupported(std::string("Implicit conversion from ") + sourceName(v) + " to uniqueidentifier");
    std::string s = trimBlanks(v.text);
    if (s.size() == 38 && s.front() == '{' && s.back() == '}') s = s.substr(1, 36);
    bool ok = s.size() == 36;
    for (std::size_t k = 0; ok && k < s.size(); ++k)
        ok = (k == 8 || k == 13 || k == 18 || k == 23) ? s[k] == '-' : std::isxdigit(static_cast<unsigned char>(s[k])) != 0;
    if (!ok)
        throw SqlError(8169, "Conversion failed when converting from a character string to uniqueidentifier.", 16);
    for (char &ch : s) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return s;
}

Param toBinary(const Typed &v, const ColumnInfo &c, const ConvertSite &site)
{
    if (v.kind != Kind::Binary) {
        if (isString(v))
            throw SqlError(257, std::string("Implicit conversion from data type ") + sourceName(v) + " to " + c.type->name +
                                    " is not allowed. Use the CONVERT function to run this query.", 16);
        notSupported(std::string("Implicit conversion from ") + sourceName(v) + " to " + c.type->name);
    }
    BinaryValue b{v.bytes};
    if (c.chars >= 0 && b.bytes.size() > static_cast<std::size_t>(c.chars)) {
        static const char digits[] = "0123456789ABCDEF";
        std::string hex = "0x";
        for (std::size_t k = 0; k < static_cast<std::size_t>(c.chars); ++k) {
            hex += digits[b.bytes[k] >> 4];
            hex += digits[b.bytes[k] & 15];
        }
        throw SqlError(2628, "String or binary data would be truncated in table '" + site.table + "', column '" +
                                 c.name + "'. Truncated value: '" + hex + "'.", 16);
    }
    if (std::string_view(c.type->name) == "binary" && c.chars > 0)
        b.bytes.resize(static_cast<std::size_t>(c.chars), 0);
    return b;
}

}  // namespace

std::string storageDecl(const ColumnInfo &c)
{
    const std::string name = c.type->name;
    switch (category(*c.type)) {
    case Cat::Char:
        // SQLite takes only numbers in a type's parentheses: -1 stands for max.
        return name + (c.type->sized ? "(" + std::to_string(c.chars) + ")" : "") + " COLLATE SSCI";
    case Cat::Decimal:
        return name + "(" + std::to_string(c.precision) + "," + std::to_string(c.scale) + ")";
    case Cat::Binary:
        return name + (c.type->sized ? "(" + std::to_string(c.chars) + ")" : "");
    default:
        return name;
    }
}

Typed literalValue(const Token &t, bool negative)
{
    Typed v;
    if (t.is(Tok::String) || t.is(Tok::NString)) {
        v.kind = t.is(Tok::String) ? Kind::VarChar : Kind::NVarChar;
        v.text = t.text;
    } else if (t.is(Tok::Number)) {
        const std::string text = (negative ? "-" : "") + t.text;
        if (t.text.find_first_of("eE") != std::string::npos) {
            v.kind = Kind::Float;
            v.f = std::strtod(text.c_str(), nullptr);
        } else if (t.text.find('.') == std::string::npos && t.text.size() <= 18) {
            v.kind = Kind::Int;
            v.i = std::stoll(text);
        } else {
            v.kind = Kind::Decimal;
            v.text = text;
        }
    } else if (t.is(Tok::Hex)) {
        v.kind = Kind::Binary;
        const std::string hex = t.text.size() % 2 ? "0" + t.text : t.text;
        for (std::size_t k = 0; k < hex.size(); k += 2)
            v.bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(k, 2), nullptr, 16)));
    }
    return v;
}

Typed storedValue(const Param &stored, const ColumnInfo &c)
{
    Typed v;
    if (std::holds_alternative<std::monostate>(stored)) return v;
    const Cat cat = category(*c.type);
    if (auto *b = std::get_if<BinaryValue>(&stored)) {
        v.kind = Kind::Binary;
        v.bytes = b->bytes;
        return v;
    }
    const auto *s = std::get_if<std::string>(&stored);
    const auto *i = std::get_if<std::int64_t>(&stored);
    const auto *d = std::get_if<double>(&stored);
    switch (cat) {
    case Cat::Integer:
        v.kind = Kind::Int;
        v.i = i ? *i : d ? static_cast<std::int64_t>(*d) : std::atoll(s->c_str());
        break;
    case Cat::Decimal:
    case Cat::Money: {
        v.kind = Kind::Decimal;
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.*f", c.scale, i ? static_cast<double>(*i) : d ? *d : std::strtod(s->c_str(), nullptr));
        v.text = i ? std::to_string(*i) : buf;
        break;
    }
    case Cat::Float:
        v.kind = Kind::Float;
        v.f = d ? *d : i ? static_cast<double>(*i) : std::strtod(s->c_str(), nullptr);
        break;
    case Cat::DateTime:
        v.kind = Kind::DateTime;
        v.text = s ? *s : "";
        break;
    case Cat::Guid:
        v.kind = Kind::Guid;
        v.text = s ? *s : "";
        break;
    default:
        v.kind = c.type->unicode ? Kind::NVarChar : Kind::VarChar;
        v.text = s ? *s : i ? std::to_string(*i) : doubleText(d ? *d : 0);
    }
    return v;
}

Typed resultValue(const Value &value, const ColumnType &type)
{
    Typed v;
    if (std::holds_alternative<std::monostate>(value)) return v;
    const auto *i = std::get_if<std::int64_t>(&value);
    const auto *d = std::get_if<double>(&value);
    const auto *s = std::get_if<std::string>(&value);
    switch (type.id) {
    case TypeId::Int: case TypeId::SmallInt: case TypeId::TinyInt: case TypeId::BigInt: case TypeId::Bit:
        if (i) { v.kind = Kind::Int; v.i = *i; return v; }
        break;
    case TypeId::Decimal: case TypeId::Numeric: case TypeId::Money:
        if (auto *dec = std::get_if<DecimalValue>(&value)) { v.kind = Kind::Decimal; v.text = dec->text; return v; }
        if (i) { v.kind = Kind::Int; v.i = *i; return v; }
        if (d) { v.kind = Kind::Decimal; v.text = doubleText(*d); return v; }
        break;
    case TypeId::Float: case TypeId::Real:
        if (d || i) { v.kind = Kind::Float; v.f = d ? *d : static_cast<double>(*i); return v; }
        break;
    case TypeId::DateTime: case TypeId::SmallDateTime: case TypeId::Date:
        if (auto *dt = std::get_if<DateTimeValue>(&value)) {
            // Back to text through the calendar of the store's own parser.
            v.kind = Kind::DateTime;
            Civil c = civilFromDays(dt->days);
            const std::uint64_t ms = static_cast<std::uint64_t>(dt->ticks300) * 10 / 3;
            c.h = static_cast<int>(ms / 3600000);
            c.mi = static_cast<int>(ms / 60000 % 60);
            c.s = static_cast<int>(ms / 1000 % 60);
            c.ms = static_cast<int>(ms % 1000);
            v.text = civilText(c, "datetime");
            return v;
        }
        if (s) { v.kind = Kind::DateTime; v.text = *s; return v; }
        break;
    case TypeId::UniqueIdentifier:
        if (s) { v.kind = Kind::Guid; v.text = *s; return v; }
        break;
    case TypeId::VarBinary:
        if (auto *b = std::get_if<BinaryValue>(&value)) { v.kind = Kind::Binary; v.bytes = b->bytes; return v; }
        break;
    default:
        break;
    }
    // Text columns, sql_variant, and values whose type the result could not name.
    if (i) { v.kind = Kind::Int; v.i = *i; }
    else if (d) { v.kind = Kind::Float; v.f = *d; }
    else if (auto *dec = std::get_if<DecimalValue>(&value)) { v.kind = Kind::Decimal; v.text = dec->text; }
    else if (auto *b = std::get_if<BinaryValue>(&value)) { v.kind = Kind::Binary; v.bytes = b->bytes; }
    else if (s) {
        const bool unicode = type.id == TypeId::NVarChar || type.id == TypeId::NChar || type.id == TypeId::NText ||
                             type.id == TypeId::SqlVariant;
        v.kind = unicode ? Kind::NVarChar : Kind::VarChar;
        v.text = *s;
    }
    return v;
}

Param toColumn(const Typed &v, const ColumnInfo &c, const ConvertSite &site)
{
    if (v.isNull()) {
        if (!c.nullable)
            throw SqlError(515, "Cannot insert the value NULL into column '" + c.name + "', table '" + site.table +
                                    "'; column does not allow nulls. " + site.verb + " fails.", 16);
        return std::monostate{};
    }
    switch (category(*c.type)) {
    case Cat::Integer: return toInteger(v, *c.type);
    case Cat::Decimal: return toDecimal(v, c, false);
    case Cat::Money: {
        ColumnInfo m = c;
        m.precision = std::string_view(c.type->name) == "money" ? 19 : 10;
        m.scale = 4;
        return toDecimal(v, m, true);
    }
    case Cat::Float: return toFloat(v, *c.type);
    case Cat::Char: return toChar(v, c, site);
    case Cat::Binary: return toBinary(v, c, site);
    case Cat::DateTime: return toDateTime(v, c);
    case Cat::Guid: return toGuid(v);
    case Cat::Other: break;
    }
    notSupported(std::string("A value of type ") + c.type->name);
}

std::string keyText(const Param &stored)
{
    if (auto *i = std::get_if<std::int64_t>(&stored)) return std::to_string(*i);
    if (auto *d = std::get_if<double>(&stored)) return doubleText(*d);
    if (auto *s = std::get_if<std::string>(&stored)) return *s;
    if (std::holds_alternative<std::monostate>(stored)) return "<NULL>";
    return "0x";
}

}  // namespace sqlsim
