#include "sim/engine/functions/SqlFunctions.h"

#include <sqlite3.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace sqlsim {

char32_t foldCase(char32_t c)
{
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    if (c < 0x100) {
        if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
        return c;
    }
    if (c <= 0x17F) {
        if (c == 0x178) return 0xFF;
        if ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
            return c | 1;  // upper case even, lower case odd
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
            return (c & 1) ? c + 1 : c;  // upper case odd
        return c;  // dotted and dotless i, kra, long s keep their identity
    }
    if (c >= 0x370 && c <= 0x3FF) {  // Greek
        if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;
        if (c == 0x386) return 0x3AC;
        if (c >= 0x388 && c <= 0x38A) return c + 37;
        if (c == 0x38C) return 0x3CC;
        if (c == 0x38E || c == 0x38F) return c + 63;
        return c;
    }
    if (c >= 0x400 && c <= 0x52F) {  // Cyrillic
        if (c >= 0x410 && c <= 0x42F) return c + 32;
        if (c >= 0x400 && c <= 0x40F) return c + 80;
        if (c == 0x4C0) return 0x4CF;
        if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x52F))
            return c | 1;
        if (c >= 0x4C1 && c <= 0x4CE)
            return (c & 1) ? c + 1 : c;
        return c;
    }
    if (c >= 0xFF01 && c <= 0xFF5E)  // full-width forms equal their ASCII letters (width-insensitive)
        return foldCase(c - 0xFEE0);
    if (c >= 0x30A1 && c <= 0x30F6)  // katakana equal hiragana (kana-insensitive)
        return c - 0x60;
    return c;
}

char32_t nextCodePoint(const unsigned char *s, int n, int &i)
{
    const unsigned char b = s[i];
    const int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
    if (extra == 0 || i + extra >= n) {
        ++i;
        return b;
    }
    char32_t c = b & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
        if ((s[i + k] & 0xC0) != 0x80) {
            ++i;
            return b;
        }
        c = (c << 6) | (s[i + k] & 0x3F);
    }
    i += extra + 1;
    return c;
}

namespace {

std::string_view trimBlanks(std::string_view t)
{
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
    return t;
}

}  // namespace

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

namespace {

// ---- errors ------------------------------------------------------------------------------

void fail(sqlite3_context *ctx, int number, const std::string &text, bool abortsBatch = false)
{
    const std::string msg = std::string(kFunctionErrorMarker) + std::to_string(number) + "|" +
                            (abortsBatch ? "a" : "s") + "|" + text;
    sqlite3_result_error(ctx, msg.c_str(), static_cast<int>(msg.size()));
}

std::string valueString(sqlite3_value *v)
{
    const auto *p = sqlite3_value_text(v);
    return p ? std::string(reinterpret_cast<const char *>(p), static_cast<std::size_t>(sqlite3_value_bytes(v)))
             : std::string();
}

bool asciiOnly(const std::string &s)
{
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

const char *stringTypeOf(const std::string &s) { return asciiOnly(s) ? "varchar" : "nvarchar"; }

// The text the store keeps for a datetime: arithmetic on it is not emulated.
bool datetimeShaped(const std::string &s)
{
    return s.size() == 23 && s[4] == '-' && s[7] == '-' && s[10] == ' ' && s[13] == ':' && s[16] == ':' && s[19] == '.';
}

// ---- LIKE --------------------------------------------------------------------------------

// The letter an accented Latin letter sorts with, for [a-z] ranges (0 when none).
char32_t baseLetter(char32_t c)
{
    static const char latin1[] = "aaaaaaaceeeeiiiidnooooo\0ouuuuy\0saaaaaaaceeeeiiiidnooooo\0ouuuuy\0y";
    if (c >= 0xC0 && c <= 0xFF) return static_cast<unsigned char>(latin1[c - 0xC0]);
    struct Span { char32_t from, to; char letter; };
    static const Span extA[] = {{0x100, 0x105, 'a'}, {0x106, 0x10D, 'c'}, {0x10E, 0x111, 'd'}, {0x112, 0x11B, 'e'},
                                {0x11C, 0x123, 'g'}, {0x124, 0x127, 'h'}, {0x128, 0x133, 'i'}, {0x134, 0x135, 'j'},
                                {0x136, 0x138, 'k'}, {0x139, 0x142, 'l'}, {0x143, 0x14B, 'n'}, {0x14C, 0x153, 'o'},
                                {0x154, 0x159, 'r'}, {0x15A, 0x161, 's'}, {0x162, 0x167, 't'}, {0x168, 0x173, 'u'},
                                {0x174, 0x175, 'w'}, {0x176, 0x178, 'y'}, {0x179, 0x17E, 'z'}, {0x17F, 0x17F, 's'}};
    for (const Span &s : extA)
        if (c >= s.from && c <= s.to) return static_cast<char32_t>(s.letter);
    return 0;
}

struct LikeElement {
    enum Kind { Any, One, Literal, Set } kind = Literal;
    char32_t c = 0;
    bool negate = false;
    std::vector<char32_t> singles;
    std::vector<std::pair<char32_t, char32_t>> ranges;

    bool matches(char32_t v) const  // v is folded
    {
        switch (kind) {
        case Any:
        case One: return true;
        case Literal: return v == c;
        case Set: break;
        }
        bool in = false;
        for (char32_t s : singles)
            if (s == v) in = true;
        const char32_t base = baseLetter(v);
        for (const auto &[lo, hi] : ranges)
            if ((v >= lo && v <= hi) || (base && base >= lo && base <= hi)) in = true;
        return in != negate;
    }
};

struct LikePattern {
    bool valid = true;
    std::vector<LikeElement> elements;
};

std::vector<char32_t> foldedCodePoints(const unsigned char *s, int n)
{
    std::vector<char32_t> out;
    out.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n;)
        out.push_back(s[i] < 0x80 ? foldCase(s[i++]) : foldCase(nextCodePoint(s, n, i)));
    return out;
}

std::unique_ptr<LikePattern> compileLike(const std::vector<char32_t> &p, bool hasEscape, char32_t escape)
{
    auto out = std::make_unique<LikePattern>();
    const std::size_t n = p.size();
    for (std::size_t k = 0; k < n; ++k) {
        LikeElement e;
        const char32_t c = p[k];
        if (hasEscape && c == escape) {
            if (k + 1 >= n) {  // nothing after the escape character: the pattern matches nothing
                out->valid = false;
                return out;
            }
            e.c = p[++k];
        } else if (c == '%') {
            e.kind = LikeElement::Any;
            if (!out->elements.empty() && out->elements.back().kind == LikeElement::Any) continue;
        } else if (c == '_') {
            e.kind = LikeElement::One;
        } else if (c == '[') {
            std::size_t j = k + 1;
            e.kind = LikeElement::Set;
            if (j < n && p[j] == '^') {
                e.negate = true;
                ++j;
            }
            bool first = true;
            bool closed = false;
            for (; j < n; ++j) {
                char32_t m = p[j];
                if (m == ']' && !first) {
                    closed = true;
                    break;
                }
                first = false;
                if (hasEscape && m == escape && j + 1 < n)
                    m = p[++j];
                if (j + 2 < n && p[j + 1] == '-' && p[j + 2] != ']') {
                    const char32_t hi = p[j + 2];
                    e.ranges.emplace_back(m, hi);
                    j += 2;
                } else {
                    e.singles.push_back(m);
                }
            }
            if (!closed) {
                out->valid = false;
                return out;
            }
            k = j;
        } else {
            e.c = c;
        }
        out->elements.push_back(std::move(e));
    }
    return out;
}

bool likeMatch(const LikePattern &pat, const std::vector<char32_t> &v)
{
    if (!pat.valid) return false;
    const auto &el = pat.elements;
    const std::size_t m = el.size(), n = v.size();
    std::size_t p = 0, s = 0, starP = SIZE_MAX, starS = 0;
    while (s < n) {
        if (p < m && el[p].kind == LikeElement::Any) {
            starP = p++;
            starS = s;
        } else if (p < m && el[p].matches(v[s])) {
            ++p;
            ++s;
        } else if (starP != SIZE_MAX) {
            p = starP + 1;
            s = ++starS;
        } else {
            return false;
        }
    }
    while (p < m && el[p].kind == LikeElement::Any) ++p;
    return p == m;
}

void likeFunction(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    for (int a = 0; a < argc; ++a)
        if (sqlite3_value_type(argv[a]) == SQLITE_NULL) return;  // NULL
    bool hasEscape = false;
    char32_t escape = 0;
    if (argc == 3) {
        const auto *e = sqlite3_value_text(argv[2]);
        const int en = sqlite3_value_bytes(argv[2]);
        int i = 0;
        if (en > 0) escape = nextCodePoint(e, en, i);
        if (en == 0 || i != en) {
            fail(ctx, 506, "The invalid escape character \"" + valueString(argv[2]) + "\" was specified in a LIKE predicate.");
            return;
        }
        escape = foldCase(escape);
        hasEscape = true;
    }
    // The pattern is compiled once per statement when it is a constant.
    auto *pat = argc == 2 ? static_cast<LikePattern *>(sqlite3_get_auxdata(ctx, 0)) : nullptr;
    std::unique_ptr<LikePattern> local;
    if (!pat) {
        const auto *p = sqlite3_value_text(argv[0]);
        local = compileLike(foldedCodePoints(p, sqlite3_value_bytes(argv[0])), hasEscape, escape);
        pat = local.get();
    }
    const auto *v = sqlite3_value_text(argv[1]);
    int vn = sqlite3_value_bytes(argv[1]);
    while (vn > 0 && v[vn - 1] == ' ') --vn;  // the value's trailing blanks do not count
    sqlite3_result_int(ctx, likeMatch(*pat, foldedCodePoints(v, vn)) ? 1 : 0);
    if (local && argc == 2)
        sqlite3_set_auxdata(ctx, 0, local.release(), [](void *q) { delete static_cast<LikePattern *>(q); });
}

// ---- arithmetic --------------------------------------------------------------------------

struct Num {
    bool isInt = true;
    std::int64_t i = 0;
    double d = 0;
    double real() const { return isInt ? static_cast<double>(i) : d; }
};

// Reads an operand as a number; text converts to the other operand's type as SQL Server does.
bool operand(sqlite3_context *ctx, sqlite3_value *v, bool otherIsInt, Num &out)
{
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: out.isInt = true; out.i = sqlite3_value_int64(v); return true;
    case SQLITE_FLOAT: out.isInt = false; out.d = sqlite3_value_double(v); return true;
    case SQLITE_BLOB: fail(ctx, 50000, "Arithmetic on binary values is not supported by sqlsim."); return false;
    default: break;
    }
    const std::string s = valueString(v);
    if (datetimeShaped(s)) {
        fail(ctx, 50000, "Arithmetic on datetime values is not supported by sqlsim.");
        return false;
    }
    if (otherIsInt) {
        if (integerText(s, &out.i)) {
            out.isInt = true;
            return true;
        }
        fail(ctx, 245, std::string("Conversion failed when converting the ") + stringTypeOf(s) + " value '" + s +
                           "' to data type int.", true);
        return false;
    }
    if (floatText(s, &out.d)) {
        out.isInt = false;
        return true;
    }
    fail(ctx, 8114, std::string("Error converting data type ") + stringTypeOf(s) + " to numeric.", true);
    return false;
}

bool isText(sqlite3_value *v) { return sqlite3_value_type(v) == SQLITE_TEXT; }

// Both operands as numbers, or false with the error set; text against text is refused.
bool operands(sqlite3_context *ctx, sqlite3_value **argv, const char *opName, Num &a, Num &b)
{
    if (isText(argv[0]) && isText(argv[1])) {
        const std::string s = valueString(argv[0]);
        fail(ctx, 8117, std::string("Operand data type ") + stringTypeOf(s) + " is invalid for " + opName + " operator.");
        return false;
    }
    // A string meeting a string converts to nothing; against a number it takes the number's type.
    const bool aInt = sqlite3_value_type(argv[0]) == SQLITE_INTEGER || isText(argv[0]);
    const bool bInt = sqlite3_value_type(argv[1]) == SQLITE_INTEGER || isText(argv[1]);
    return operand(ctx, argv[0], bInt, a) && operand(ctx, argv[1], aInt, b);
}

void overflow(sqlite3_context *ctx)
{
    fail(ctx, 8115, "Arithmetic overflow error converting expression to data type bigint.");
}

bool anyNull(int argc, sqlite3_value **argv)
{
    for (int k = 0; k < argc; ++k)
        if (sqlite3_value_type(argv[k]) == SQLITE_NULL) return true;
    return false;
}

void addFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (anyNull(2, argv)) return;
    const int ta = sqlite3_value_type(argv[0]), tb = sqlite3_value_type(argv[1]);
    if (ta == SQLITE_TEXT && tb == SQLITE_TEXT) {  // concatenation
        const std::string s = valueString(argv[0]) + valueString(argv[1]);
        sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
        return;
    }
    if (ta == SQLITE_BLOB && tb == SQLITE_BLOB) {
        std::string bytes(static_cast<const char *>(sqlite3_value_blob(argv[0])), sqlite3_value_bytes(argv[0]));
        bytes.append(static_cast<const char *>(sqlite3_value_blob(argv[1])), sqlite3_value_bytes(argv[1]));
        sqlite3_result_blob(ctx, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
        return;
    }
    Num a, b;
    if (!operands(ctx, argv, "add", a, b)) return;
    if (a.isInt && b.isInt) {
        std::int64_t r;
        if (__builtin_add_overflow(a.i, b.i, &r)) return overflow(ctx);
        sqlite3_result_int64(ctx, r);
    } else {
        sqlite3_result_double(ctx, a.real() + b.real());
    }
}

void subFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (anyNull(2, argv)) return;
    Num a, b;
    if (!operands(ctx, argv, "subtract", a, b)) return;
    if (a.isInt && b.isInt) {
        std::int64_t r;
        if (__builtin_sub_overflow(a.i, b.i, &r)) return overflow(ctx);
        sqlite3_result_int64(ctx, r);
    } else {
        sqlite3_result_double(ctx, a.real() - b.real());
    }
}

void mulFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (anyNull(2, argv)) return;
    Num a, b;
    if (!operands(ctx, argv, "multiply", a, b)) return;
    if (a.isInt && b.isInt) {
        std::int64_t r;
        if (__builtin_mul_overflow(a.i, b.i, &r)) return overflow(ctx);
        sqlite3_result_int64(ctx, r);
    } else {
        sqlite3_result_double(ctx, a.real() * b.real());
    }
}

void divideByZero(sqlite3_context *ctx) { fail(ctx, 8134, "Divide by zero error encountered."); }

void divFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (anyNull(2, argv)) return;
    Num a, b;
    if (!operands(ctx, argv, "divide", a, b)) return;
    if (b.real() == 0) return divideByZero(ctx);
    if (a.isInt && b.isInt) {
        if (a.i == INT64_MIN && b.i == -1) return overflow(ctx);
        sqlite3_result_int64(ctx, a.i / b.i);  // truncates toward zero, as SQL Server does
    } else {
        sqlite3_result_double(ctx, a.real() / b.real());
    }
}

void modFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (anyNull(2, argv)) return;
    Num a, b;
    if (!operands(ctx, argv, "modulo", a, b)) return;
    if (b.real() == 0) return divideByZero(ctx);
    if (a.isInt && b.isInt)
        sqlite3_result_int64(ctx, b.i == -1 ? 0 : a.i % b.i);
    else
        sqlite3_result_double(ctx, std::fmod(a.real(), b.real()));
}

// &, | and ^ take integers only.
template <int Op>
void bitFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (anyNull(2, argv)) return;
    Num a, b;
    if (!operands(ctx, argv, Op == 0 ? "boolean AND" : Op == 1 ? "boolean OR" : "boolean XOR", a, b)) return;
    if (!a.isInt || !b.isInt) {
        fail(ctx, 402, std::string("The data types ") + (a.isInt ? "int" : "numeric") + " and " +
                           (b.isInt ? "int" : "numeric") + " are incompatible in the '" + (Op == 0 ? "&" : Op == 1 ? "|" : "^") +
                           "' operator.");
        return;
    }
    sqlite3_result_int64(ctx, Op == 0 ? (a.i & b.i) : Op == 1 ? (a.i | b.i) : (a.i ^ b.i));
}

void negFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    switch (sqlite3_value_type(argv[0])) {
    case SQLITE_NULL: return;
    case SQLITE_INTEGER: {
        const std::int64_t v = sqlite3_value_int64(argv[0]);
        if (v == INT64_MIN) return overflow(ctx);
        sqlite3_result_int64(ctx, -v);
        return;
    }
    case SQLITE_FLOAT: sqlite3_result_double(ctx, -sqlite3_value_double(argv[0])); return;
    default: {
        const std::string s = valueString(argv[0]);
        fail(ctx, 8117, std::string("Operand data type ") + (sqlite3_value_type(argv[0]) == SQLITE_BLOB ? "varbinary" : stringTypeOf(s)) +
                            " is invalid for minus operator.");
    }
    }
}

void bitNotFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return;
    if (sqlite3_value_type(argv[0]) != SQLITE_INTEGER) {
        fail(ctx, 8117, "Operand data type numeric is invalid for '~' operator.");
        return;
    }
    sqlite3_result_int64(ctx, ~sqlite3_value_int64(argv[0]));
}

int compareFolded(const unsigned char *pa, int la, const unsigned char *pb, int lb)
{
    while (la > 0 && pa[la - 1] == ' ') --la;
    while (lb > 0 && pb[lb - 1] == ' ') --lb;
    int i = 0, j = 0;
    while (i < la && j < lb) {
        const char32_t x = pa[i] < 0x80 ? foldCase(pa[i++]) : foldCase(nextCodePoint(pa, la, i));
        const char32_t y = pb[j] < 0x80 ? foldCase(pb[j++]) : foldCase(nextCodePoint(pb, lb, j));
        if (x != y) return x < y ? -1 : 1;
    }
    return (i < la) - (j < lb);
}

// ss_cmp(a, b): -1, 0 or 1 as T-SQL compares a with b (text against a number converts).
void cmpFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (anyNull(2, argv)) return;
    const int ta = sqlite3_value_type(argv[0]), tb = sqlite3_value_type(argv[1]);
    if (ta == SQLITE_TEXT && tb == SQLITE_TEXT) {
        const auto *a = sqlite3_value_text(argv[0]);
        const auto *b = sqlite3_value_text(argv[1]);
        sqlite3_result_int(ctx, compareFolded(a, sqlite3_value_bytes(argv[0]), b, sqlite3_value_bytes(argv[1])));
        return;
    }
    if (ta == SQLITE_BLOB && tb == SQLITE_BLOB) {
        const int la = sqlite3_value_bytes(argv[0]), lb = sqlite3_value_bytes(argv[1]);
        const int c = std::memcmp(sqlite3_value_blob(argv[0]), sqlite3_value_blob(argv[1]), static_cast<std::size_t>(std::min(la, lb)));
        sqlite3_result_int(ctx, c != 0 ? (c < 0 ? -1 : 1) : (la > lb) - (la < lb));
        return;
    }
    Num a, b;
    const bool aInt = ta == SQLITE_INTEGER || ta == SQLITE_TEXT;
    const bool bInt = tb == SQLITE_INTEGER || tb == SQLITE_TEXT;
    if (!operand(ctx, argv[0], bInt, a) || !operand(ctx, argv[1], aInt, b)) return;
    if (a.isInt && b.isInt)
        sqlite3_result_int(ctx, (a.i > b.i) - (a.i < b.i));
    else
        sqlite3_result_int(ctx, (a.real() > b.real()) - (a.real() < b.real()));
}

// ss_fail(number, aborts, text): raises the error when a row reaches it.
void failFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    fail(ctx, sqlite3_value_int(argv[0]), valueString(argv[2]), sqlite3_value_int(argv[1]) != 0);
}

// ---- string functions --------------------------------------------------------------------

void substringFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (anyNull(3, argv)) return;
    const int t = sqlite3_value_type(argv[0]);
    if (t == SQLITE_INTEGER || t == SQLITE_FLOAT) {
        fail(ctx, 8116, std::string("Argument data type ") + (t == SQLITE_INTEGER ? "int" : "numeric") +
                            " is invalid for argument 1 of substring function.");
        return;
    }
    const std::int64_t start = sqlite3_value_int64(argv[1]);
    const std::int64_t length = sqlite3_value_int64(argv[2]);
    if (length < 0) {
        fail(ctx, 537, "Invalid length parameter passed to the substring function.");
        return;
    }
    // Positions [start, start + length) of the value, counted from 1.
    const std::int64_t from = std::max<std::int64_t>(start, 1);
    const std::int64_t to = start > INT64_MAX - length ? INT64_MAX : start + length;
    if (t == SQLITE_BLOB) {
        const auto *p = static_cast<const char *>(sqlite3_value_blob(argv[0]));
        const std::int64_t n = sqlite3_value_bytes(argv[0]);
        const std::int64_t e = std::min(to, n + 1);
        if (e <= from) {
            sqlite3_result_zeroblob(ctx, 0);
            return;
        }
        sqlite3_result_blob(ctx, p + from - 1, static_cast<int>(e - from), SQLITE_TRANSIENT);
        return;
    }
    const auto *s = sqlite3_value_text(argv[0]);
    const int n = sqlite3_value_bytes(argv[0]);
    int i = 0;
    std::int64_t pos = 1;
    int byteFrom = n, byteTo = n;
    while (i < n && pos < from) {
        nextCodePoint(s, n, i);
        ++pos;
    }
    byteFrom = i;
    while (i < n && pos < to) {
        nextCodePoint(s, n, i);
        ++pos;
    }
    byteTo = to <= from ? byteFrom : i;
    sqlite3_result_text(ctx, reinterpret_cast<const char *>(s) + byteFrom, byteTo - byteFrom, SQLITE_TRANSIENT);
}

// Rounds through the decimal text of v, so 1.005 rounds as the decimal it was written as.
double roundDecimal(double v, int digits, bool truncate)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    double exact = std::strtod(buf, nullptr);
    const double scale = std::pow(10.0, digits);
    double scaled = exact * scale;
    // Cancel binary noise in the scaled value before deciding the last digit.
    std::snprintf(buf, sizeof buf, "%.12f", scaled);
    scaled = std::strtod(buf, nullptr);
    const double r = truncate ? std::trunc(scaled) : std::round(scaled);  // half away from zero
    return r / scale;
}

void roundFunction(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    if (anyNull(argc, argv)) return;
    const int digits = sqlite3_value_int(argv[1]);
    const bool truncate = argc == 3 && sqlite3_value_int64(argv[2]) != 0;
    switch (sqlite3_value_type(argv[0])) {
    case SQLITE_INTEGER: {
        const std::int64_t v = sqlite3_value_int64(argv[0]);
        if (digits >= 0) {
            sqlite3_result_int64(ctx, v);
            return;
        }
        if (digits < -18) {
            sqlite3_result_int64(ctx, 0);
            return;
        }
        std::int64_t p = 1;
        for (int k = 0; k < -digits; ++k) p *= 10;
        std::int64_t q = v / p * p;
        const std::int64_t rest = v - q;
        if (!truncate && (rest >= 0 ? rest : -rest) * 2 >= p) {
            if (__builtin_add_overflow(q, v >= 0 ? p : -p, &q)) {
                fail(ctx, 8115, "Arithmetic overflow error converting expression to data type int.");
                return;
            }
        }
        sqlite3_result_int64(ctx, q);
        return;
    }
    case SQLITE_FLOAT:
        sqlite3_result_double(ctx, roundDecimal(sqlite3_value_double(argv[0]), digits, truncate));
        return;
    case SQLITE_TEXT: {
        const std::string s = valueString(argv[0]);
        double d = 0;
        if (!floatText(s, &d)) {
            fail(ctx, 8114, std::string("Error converting data type ") + stringTypeOf(s) + " to float.", true);
            return;
        }
        sqlite3_result_double(ctx, roundDecimal(d, digits, truncate));
        return;
    }
    default:
        fail(ctx, 8116, "Argument data type varbinary is invalid for argument 1 of round function.");
    }
}

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

}  // namespace

void registerSqlFunctions(sqlite3 *db)
{
    struct Fn {
        const char *name;
        int args;
        void (*fn)(sqlite3_context *, int, sqlite3_value **);
        bool deterministic;
    };
    // Functions that can raise errors are not deterministic: SQLite must not evaluate them
    // once ahead of the rows, where SQL Server would only fail on a row that reaches them.
    const Fn fns[] = {
        {"like", 2, likeFunction, true},         {"like", 3, likeFunction, true},
        {"ss_add", 2, addFunction, false},       {"ss_sub", 2, subFunction, false},
        {"ss_mul", 2, mulFunction, false},       {"ss_div", 2, divFunction, false},
        {"ss_mod", 2, modFunction, false},       {"ss_band", 2, bitFunction<0>, false},
        {"ss_bor", 2, bitFunction<1>, false},    {"ss_bxor", 2, bitFunction<2>, false},
        {"ss_neg", 1, negFunction, false},       {"ss_bnot", 1, bitNotFunction, false},
        {"ss_cmp", 2, cmpFunction, false},       {"ss_fail", 3, failFunction, false},
        {"ss_substring", 3, substringFunction, false}, {"ss_round", 2, roundFunction, false},
        {"ss_round", 3, roundFunction, false},   {"ss_cast", 7, castFunction, false},
    };
    for (const Fn &f : fns) {
        const int flags = SQLITE_UTF8 | (f.deterministic ? SQLITE_DETERMINISTIC : 0);
        if (sqlite3_create_function(db, f.name, f.args, flags, nullptr, f.fn, nullptr, nullptr) != SQLITE_OK)
            throw std::runtime_error(std::string("cannot register ") + f.name + ": " + sqlite3_errmsg(db));
    }
}

}  // namespace sqlsim
