// The server collation's folding and comparison, and LIKE.

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

namespace fn {

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

}  // namespace fn

}  // namespace sqlsim
