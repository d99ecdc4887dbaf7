// Conversions to datetime, smalldatetime and date, and datetime's default text form.
#include "sim/engine/rows/ConvertInternal.h"

#include "sim/engine/core/Internal.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace sqlsim::conv {

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

}  // namespace sqlsim::conv
