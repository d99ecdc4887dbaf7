// Conversions to the integer, decimal, money and float types.
#include "sim/engine/rows/ConvertInternal.h"

#include "sim/engine/core/Internal.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace sqlsim::conv {

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

}  // namespace sqlsim::conv
