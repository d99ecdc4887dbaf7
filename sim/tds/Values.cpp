#include "sim/tds/Values.h"

#include "sim/tds/Requests.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace sqlsim::tds {

namespace {

__extension__ typedef unsigned __int128 U128;

[[noreturn]] void conversionError(std::string_view what)
{
    throw std::runtime_error(std::string("sqlsim cannot send the value as ") + std::string(what));
}

std::string trim(std::string_view s)
{
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string_view::npos)
        return {};
    const auto e = s.find_last_not_of(" \t\r\n");
    return std::string(s.substr(b, e - b + 1));
}

// Parses plain decimal text into sign and the integer of value * 10^scale (rounded).
bool parseScaled(std::string_view text, int scale, bool &negative, U128 &magnitude, int &digits)
{
    std::string s = trim(text);
    std::size_t i = 0;
    negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+'))
        negative = s[i++] == '-';
    magnitude = 0;
    digits = 0;
    int fraction = -1;
    bool any = false;
    bool roundUp = false;
    const U128 limit = ~U128{0} / 10 - 10;
    for (; i < s.size(); ++i) {
        const char ch = s[i];
        if (ch == '.' && fraction < 0) {
            fraction = 0;
            continue;
        }
        if (ch < '0' || ch > '9')
            return false;
        any = true;
        if (fraction >= 0 && fraction >= scale) {
            if (fraction == scale)
                roundUp = ch >= '5';
            ++fraction;
            continue;
        }
        if (magnitude > limit)
            return false;
        magnitude = magnitude * 10 + static_cast<unsigned>(ch - '0');
        if (magnitude != 0)
            ++digits;
        if (fraction >= 0)
            ++fraction;
    }
    if (!any)
        return false;
    for (int f = std::max(fraction, 0); f < scale; ++f) {
        if (magnitude > limit)
            return false;
        magnitude *= 10;
        if (magnitude != 0)
            ++digits;
    }
    if (roundUp)
        ++magnitude;
    return true;
}

U128 pow10(int n)
{
    U128 v = 1;
    for (int i = 0; i < n; ++i)
        v *= 10;
    return v;
}

void appendLe(Bytes &out, U128 v, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        out.push_back(static_cast<std::uint8_t>(v & 0xFF));
        v >>= 8;
    }
}

}  // namespace

std::int64_t valueAsInt(const Value &v)
{
    if (const auto *i = std::get_if<std::int64_t>(&v))
        return *i;
    if (const auto *d = std::get_if<double>(&v)) {
        if (!std::isfinite(*d) || std::fabs(*d) >= 9.2e18)
            conversionError("an integer");
        return static_cast<std::int64_t>(*d);
    }
    const std::string text = std::holds_alternative<DecimalValue>(v)
                                 ? std::get<DecimalValue>(v).text
                                 : std::holds_alternative<std::string>(v) ? trim(std::get<std::string>(v)) : "";
    std::int64_t out = 0;
    std::string_view digits = text;
    if (const auto dot = digits.find('.'); dot != std::string_view::npos)
        digits = digits.substr(0, dot);
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), out);
    if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size())
        conversionError("an integer");
    return out;
}

std::int64_t checkedInt(const Value &v, std::uint32_t width)
{
    const std::int64_t i = valueAsInt(v);
    bool ok = true;
    switch (width) {
    case 1: ok = i >= 0 && i <= 255; break;
    case 2: ok = i >= -32768 && i <= 32767; break;
    case 4: ok = i >= std::numeric_limits<std::int32_t>::min() && i <= std::numeric_limits<std::int32_t>::max(); break;
    default: break;
    }
    if (!ok)
        conversionError("an integer of " + std::to_string(width) + " bytes: out of range");
    return i;
}

double valueAsDouble(const Value &v)
{
    if (const auto *d = std::get_if<double>(&v))
        return *d;
    if (const auto *i = std::get_if<std::int64_t>(&v))
        return static_cast<double>(*i);
    const std::string text = std::holds_alternative<DecimalValue>(v)
                                 ? std::get<DecimalValue>(v).text
                                 : std::holds_alternative<std::string>(v) ? trim(std::get<std::string>(v)) : "";
    double out = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        conversionError("a float");
    return out;
}

std::string valueAsText(const Value &v)
{
    if (const auto *s = std::get_if<std::string>(&v))
        return *s;
    if (const auto *i = std::get_if<std::int64_t>(&v))
        return std::to_string(*i);
    if (const auto *d = std::get_if<double>(&v)) {
        char buf[64];
        const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, *d);
        return std::string(buf, ec == std::errc() ? end : buf);
    }
    if (const auto *d = std::get_if<DecimalValue>(&v))
        return d->text;
    if (const auto *d = std::get_if<DateTimeValue>(&v))
        return dateTimeText(*d);
    if (const auto *b = std::get_if<BinaryValue>(&v)) {
        static const char hex[] = "0123456789ABCDEF";
        std::string out = "0x";
        for (auto byte : b->bytes) {
            out += hex[byte >> 4];
            out += hex[byte & 15];
        }
        return out;
    }
    return {};
}

Bytes valueAsBinary(const Value &v)
{
    if (const auto *b = std::get_if<BinaryValue>(&v))
        return b->bytes;
    if (const auto *s = std::get_if<std::string>(&v))
        return Bytes(s->begin(), s->end());
    conversionError("binary");
}

std::string valueAsDecimalText(const Value &v)
{
    if (const auto *d = std::get_if<DecimalValue>(&v))
        return d->text;
    if (const auto *d = std::get_if<double>(&v)) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.10f", *d);
        return buf;
    }
    if (std::holds_alternative<std::int64_t>(v) || std::holds_alternative<std::string>(v))
        return valueAsText(v);
    conversionError("a decimal");
}

namespace {

// Days from 1900-01-01 to the civil date (proleptic Gregorian).
std::int64_t daysFrom1900(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468 + 25567;
}

}  // namespace

DateTimeValue valueAsDateTime(const Value &v)
{
    if (const auto *d = std::get_if<DateTimeValue>(&v))
        return *d;
    // Text as "YYYY-MM-DD[ hh:mm:ss[.fff]]", for engines that hand dates over as text.
    if (const auto *s = std::get_if<std::string>(&v)) {
        int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0, ms = 0;
        const int n = std::sscanf(s->c_str(), "%4d-%2d-%2d%*[ T]%2d:%2d:%2d.%3d", &y, &mo, &d, &h, &mi, &sec, &ms);
        if ((n == 3 || n >= 6) && mo >= 1 && mo <= 12 && d >= 1 && d <= 31 && h < 24 && mi < 60 && sec < 60) {
            DateTimeValue out;
            out.days = static_cast<std::int32_t>(daysFrom1900(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)));
            out.ticks300 = static_cast<std::uint32_t>(((h * 3600 + mi * 60 + sec) * 1000 + ms) * 3 / 10);
            return out;
        }
    }
    conversionError("a datetime");
}

Bytes valueAsGuid(const Value &v)
{
    if (const auto *b = std::get_if<BinaryValue>(&v)) {
        if (b->bytes.size() != 16)
            conversionError("a uniqueidentifier");
        return b->bytes;
    }
    std::string hex;
    for (char ch : trim(valueAsText(v)))
        if (ch != '-' && ch != '{' && ch != '}')
            hex += ch;
    if (hex.size() != 32)
        conversionError("a uniqueidentifier");
    Bytes raw;
    for (std::size_t i = 0; i < 32; i += 2) {
        unsigned byte = 0;
        const auto [end, ec] = std::from_chars(hex.data() + i, hex.data() + i + 2, byte, 16);
        if (ec != std::errc() || end != hex.data() + i + 2)
            conversionError("a uniqueidentifier");
        raw.push_back(static_cast<std::uint8_t>(byte));
    }
    // The first three groups are stored little-endian.
    return {raw[3], raw[2], raw[1], raw[0], raw[5], raw[4], raw[7], raw[6],
            raw[8], raw[9], raw[10], raw[11], raw[12], raw[13], raw[14], raw[15]};
}

std::int64_t scaledInteger(const Value &v, int scale)
{
    bool negative = false;
    U128 magnitude = 0;
    int digits = 0;
    if (!parseScaled(valueAsDecimalText(v), scale, negative, magnitude, digits) ||
        magnitude > static_cast<U128>(std::numeric_limits<std::int64_t>::max()))
        conversionError("money");
    const auto m = static_cast<std::int64_t>(magnitude);
    return negative ? -m : m;
}

std::uint32_t decimalBytes(int precision)
{
    if (precision <= 9)
        return 5;
    if (precision <= 19)
        return 9;
    if (precision <= 28)
        return 13;
    return 17;
}

Bytes encodeDecimal(std::string_view text, int precision, int scale)
{
    bool negative = false;
    U128 magnitude = 0;
    int digits = 0;
    if (!parseScaled(text, scale, negative, magnitude, digits) || magnitude >= pow10(precision))
        conversionError("decimal(" + std::to_string(precision) + "," + std::to_string(scale) +
                        "): \"" + std::string(text) + "\"");
    Bytes out;
    out.push_back(negative && magnitude != 0 ? 0 : 1);
    appendLe(out, magnitude, decimalBytes(precision) - 1);
    return out;
}

std::string dateText(const DateTimeValue &d)
{
    // Civil date from a day count (proleptic Gregorian), counted from 1970-01-01.
    std::int64_t z = static_cast<std::int64_t>(d.days) - 25567 + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    char buf[80];
    std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lld", static_cast<long long>(year),
                  static_cast<long long>(month), static_cast<long long>(day));
    return buf;
}

std::string dateTimeText(const DateTimeValue &d)
{
    const std::uint64_t ms = (std::uint64_t{d.ticks300} * 10 + 1) / 3;
    char buf[64];
    std::snprintf(buf, sizeof buf, " %02u:%02u:%02u.%03u", static_cast<unsigned>(ms / 3600000),
                  static_cast<unsigned>(ms / 60000 % 60), static_cast<unsigned>(ms / 1000 % 60),
                  static_cast<unsigned>(ms % 1000));
    return dateText(d) + buf;
}

Bytes encodeVariant(const Value &v)
{
    Writer body;
    if (const auto *i = std::get_if<std::int64_t>(&v)) {
        const bool small = *i >= std::numeric_limits<std::int32_t>::min() &&
                           *i <= std::numeric_limits<std::int32_t>::max();
        body.u8(small ? 0x38 : 0x7F);  // int or bigint
        body.u8(0);
        if (small)
            body.le32(static_cast<std::uint32_t>(*i));
        else
            body.le64(static_cast<std::uint64_t>(*i));
    } else if (const auto *d = std::get_if<double>(&v)) {
        body.u8(0x3E);  // float
        body.u8(0);
        std::uint64_t bits;
        static_assert(sizeof bits == sizeof *d);
        std::memcpy(&bits, d, 8);
        body.le64(bits);
    } else if (const auto *s = std::get_if<std::string>(&v)) {
        Bytes text = utf8ToUtf16le(*s);
        if (text.size() > 8000)
            text.resize(8000);
        body.u8(0xE7);  // nvarchar
        body.u8(7);
        for (std::uint8_t b : {0x09, 0x04, 0xD0, 0x00, 0x34})
            body.u8(b);
        body.le16(8000);
        body.append(text);
    } else if (const auto *dec = std::get_if<DecimalValue>(&v)) {
        // Precision and scale follow the text's digits, as a literal of that text would have.
        const std::string t = trim(dec->text);
        const auto dot = t.find('.');
        const int scale = dot == std::string::npos ? 0 : static_cast<int>(t.size() - dot - 1);
        int digits = 0;
        for (char ch : t)
            digits += ch >= '0' && ch <= '9';
        const int precision = std::clamp(std::max(digits, scale + 1), 1, 38);
        body.u8(0x6C);  // numeric
        body.u8(2);
        body.u8(static_cast<std::uint8_t>(precision));
        body.u8(static_cast<std::uint8_t>(std::min(scale, precision)));
        body.append(encodeDecimal(t, precision, std::min(scale, precision)));
    } else if (const auto *dt = std::get_if<DateTimeValue>(&v)) {
        body.u8(0x3D);  // datetime
        body.u8(0);
        body.le32(static_cast<std::uint32_t>(dt->days));
        body.le32(dt->ticks300);
    } else if (const auto *b = std::get_if<BinaryValue>(&v)) {
        if (b->bytes.size() > 8000)
            conversionError("sql_variant: binary over 8000 bytes");
        body.u8(0xA5);  // varbinary
        body.u8(2);
        body.le16(8000);
        body.append(b->bytes);
    } else {
        Bytes out(4, 0);
        return out;
    }
    Writer w;
    w.le32(static_cast<std::uint32_t>(body.size()));
    w.append(body.bytes());
    return std::move(w.bytes());
}

}  // namespace sqlsim::tds
