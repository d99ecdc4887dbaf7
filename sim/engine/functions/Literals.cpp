// Text forms of numbers and datetimes as SQL Server reads them in conversions.

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

std::string_view trimBlanks(std::string_view t)
{
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
    return t;
}

}  // namespace fn

using fn::trimBlanks;

bool integerText(std::string_view text, std::int64_t *value)
{
    std::string_view t = trimBlanks(text);
    bool neg = false;
    if (!t.empty() && (t[0] == '+' || t[0] == '-')) {
        neg = t[0] == '-';
        t.remove_prefix(1);
        if (t.empty()) return false;
    }
    unsigned long long v = 0;
    for (char ch : t) {
        if (ch < '0' || ch > '9') return false;
        if (v > (1ULL << 63) / 10) return false;
        v = v * 10 + static_cast<unsigned>(ch - '0');
    }
    if (v > (neg ? (1ULL << 63) : (1ULL << 63) - 1)) return false;
    if (value) *value = neg ? static_cast<std::int64_t>(0 - v) : static_cast<std::int64_t>(v);
    return true;
}

bool decimalText(std::string_view text, double *value)
{
    std::string_view t = trimBlanks(text);
    std::size_t k = 0, digits = 0;
    if (k < t.size() && (t[k] == '+' || t[k] == '-')) ++k;
    bool point = false;
    for (; k < t.size(); ++k) {
        if (t[k] >= '0' && t[k] <= '9') ++digits;
        else if (t[k] == '.' && !point) point = true;
        else return false;
    }
    if (digits == 0) return false;
    if (value) *value = std::strtod(std::string(t).c_str(), nullptr);
    return true;
}

bool floatText(std::string_view text, double *value)
{
    const std::string t(trimBlanks(text));
    if (t.empty()) return false;
    if (decimalText(t, value)) return true;
    const auto e = t.find_first_of("eE");
    if (e == std::string::npos || !decimalText(t.substr(0, e))) return false;
    std::string_view exp = std::string_view(t).substr(e + 1);
    if (!exp.empty() && (exp[0] == '+' || exp[0] == '-')) exp.remove_prefix(1);
    if (exp.empty() || exp.find_first_not_of("0123456789") != std::string_view::npos) return false;
    if (value) *value = std::strtod(t.c_str(), nullptr);
    return true;
}

namespace {

int daysFromCivil(int y, int m, int d)
{
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
}

void civilFromDays(int z, int &y, int &m, int &d)
{
    z += 719468;
    const int era = (z >= 0 ? z : z - 146096) / 146097;
    const int doe = z - era * 146097;
    const int yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp + (mp < 10 ? 3 : -9);
    y = yoe + era * 400 + (m <= 2);
}

bool readInt(std::string_view &t, int count, int &out)
{
    if (t.size() < static_cast<std::size_t>(count)) return false;
    out = 0;
    for (int k = 0; k < count; ++k) {
        if (t[k] < '0' || t[k] > '9') return false;
        out = out * 10 + (t[k] - '0');
    }
    t.remove_prefix(count);
    return true;
}

}  // namespace

bool datetimeText(std::string_view text, std::string *normalized)
{
    std::string_view t = trimBlanks(text);
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
    if (t.size() >= 10 && t[4] == '-' && t[7] == '-') {
        if (!readInt(t, 4, y)) return false;
        t.remove_prefix(1);
        if (!readInt(t, 2, mo)) return false;
        t.remove_prefix(1);
        if (!readInt(t, 2, d)) return false;
    } else if (t.size() >= 10 && t[2] == '/' && t[5] == '/') {  // us_english: month/day/year
        if (!readInt(t, 2, mo)) return false;
        t.remove_prefix(1);
        if (!readInt(t, 2, d)) return false;
        t.remove_prefix(1);
        if (!readInt(t, 4, y)) return false;
    } else if (!(readInt(t, 4, y) && readInt(t, 2, mo) && readInt(t, 2, d))) {
        return false;
    }
    if (!t.empty()) {
        if (t[0] != ' ' && t[0] != 'T') return false;
        t.remove_prefix(1);
        if (!readInt(t, 2, h) || t.empty() || t[0] != ':') return false;
        t.remove_prefix(1);
        if (!readInt(t, 2, mi)) return false;
        if (!t.empty() && t[0] == ':') {
            t.remove_prefix(1);
            if (!readInt(t, 2, s)) return false;
            if (!t.empty() && t[0] == '.') {
                t.remove_prefix(1);
                if (t.empty() || t.size() > 3) return false;
                int frac = 0;
                const int n = static_cast<int>(t.size());
                if (!readInt(t, n, frac)) return false;
                ms = n == 1 ? frac * 100 : n == 2 ? frac * 10 : frac;
            }
        }
        if (!t.empty()) return false;
    }
    static const int monthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (y < 1753 || mo < 1 || mo > 12 || d < 1 || d > monthDays[mo - 1] || (mo == 2 && d == 29 && !leap) ||
        h > 23 || mi > 59 || s > 59)
        return false;
    // datetime keeps 1/300 s: .001 reads as .000, .002 as .003, .005 as .007.
    const long long ticks = std::llround(ms * 0.3);
    long long total = ((static_cast<long long>(daysFromCivil(y, mo, d)) * 24 + h) * 60 + mi) * 60 + s;
    int msOut = static_cast<int>(std::llround(ticks / 0.3));
    if (msOut >= 1000) {
        msOut -= 1000;
        ++total;
    }
    const int days = static_cast<int>(total / 86400);
    const long long secs = total % 86400;
    civilFromDays(days, y, mo, d);
    if (normalized) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", y, mo, d, static_cast<int>(secs / 3600),
                      static_cast<int>(secs / 60 % 60), static_cast<int>(secs % 60), msOut);
        *normalized = buf;
    }
    return true;
}

}  // namespace sqlsim
