#include "sim/tds/Bytes.h"

#include <array>

namespace sqlsim::tds {

void Reader::need(std::size_t n) const
{
    if (n > remaining())
        throw ProtocolError("truncated data: need " + std::to_string(n) + " bytes at offset " +
                            std::to_string(pos_) + ", have " + std::to_string(remaining()));
}

void Reader::skip(std::size_t n)
{
    need(n);
    pos_ += n;
}

std::uint8_t Reader::u8()
{
    need(1);
    return data_[pos_++];
}

std::uint16_t Reader::le16()
{
    need(2);
    const auto v = static_cast<std::uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
    pos_ += 2;
    return v;
}

std::uint32_t Reader::le32()
{
    const std::uint32_t lo = le16();
    const std::uint32_t hi = le16();
    return lo | (hi << 16);
}

std::uint64_t Reader::le64()
{
    const std::uint64_t lo = le32();
    const std::uint64_t hi = le32();
    return lo | (hi << 32);
}

std::uint16_t Reader::be16()
{
    need(2);
    const auto v = static_cast<std::uint16_t>((data_[pos_] << 8) | data_[pos_ + 1]);
    pos_ += 2;
    return v;
}

std::uint32_t Reader::be32()
{
    const std::uint32_t hi = be16();
    const std::uint32_t lo = be16();
    return (hi << 16) | lo;
}

std::span<const std::uint8_t> Reader::take(std::size_t n)
{
    need(n);
    auto part = data_.subspan(pos_, n);
    pos_ += n;
    return part;
}

void Writer::le16(std::uint16_t v)
{
    u8(static_cast<std::uint8_t>(v));
    u8(static_cast<std::uint8_t>(v >> 8));
}

void Writer::le32(std::uint32_t v)
{
    le16(static_cast<std::uint16_t>(v));
    le16(static_cast<std::uint16_t>(v >> 16));
}

void Writer::le64(std::uint64_t v)
{
    le32(static_cast<std::uint32_t>(v));
    le32(static_cast<std::uint32_t>(v >> 32));
}

void Writer::be16(std::uint16_t v)
{
    u8(static_cast<std::uint8_t>(v >> 8));
    u8(static_cast<std::uint8_t>(v));
}

void Writer::be32(std::uint32_t v)
{
    be16(static_cast<std::uint16_t>(v >> 16));
    be16(static_cast<std::uint16_t>(v));
}

void Writer::patchLe16(std::size_t at, std::uint16_t v)
{
    out_.at(at) = static_cast<std::uint8_t>(v);
    out_.at(at + 1) = static_cast<std::uint8_t>(v >> 8);
}

void Writer::bVarchar(std::string_view utf8)
{
    Bytes text = utf8ToUtf16le(utf8);
    if (text.size() > 2 * 255)
        text.resize(2 * 255);
    u8(static_cast<std::uint8_t>(text.size() / 2));
    append(text);
}

void Writer::usVarchar(std::string_view utf8)
{
    Bytes text = utf8ToUtf16le(utf8);
    if (text.size() > 2 * 65535)
        text.resize(2 * 65535);
    le16(static_cast<std::uint16_t>(text.size() / 2));
    append(text);
}

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes UTF-8 one code point at a time; malformed input yields U+FFFD and moves on.
template <typename Fn>
void forEachCodePoint(std::string_view s, Fn fn)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b0 = static_cast<unsigned char>(s[i]);
        int extra = 0;
        char32_t cp = 0;
        if (b0 < 0x80) {
            cp = b0;
        } else if ((b0 & 0xE0) == 0xC0) {
            extra = 1;
            cp = b0 & 0x1F;
        } else if ((b0 & 0xF0) == 0xE0) {
            extra = 2;
            cp = b0 & 0x0F;
        } else if ((b0 & 0xF8) == 0xF0) {
            extra = 3;
            cp = b0 & 0x07;
        } else {
            fn(kReplacement);
            ++i;
            continue;
        }
        bool ok = i + static_cast<std::size_t>(extra) < s.size();
        for (int k = 1; ok && k <= extra; ++k) {
            const auto b = static_cast<unsigned char>(s[i + k]);
            if ((b & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (b & 0x3F);
        }
        static constexpr std::array<char32_t, 4> kMin = {0, 0x80, 0x800, 0x10000};
        if (!ok || cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            fn(kReplacement);
            ++i;
            continue;
        }
        fn(cp);
        i += 1 + extra;
    }
}

void appendUtf8(std::string &out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Code page 1252's bytes 0x80..0x9F; 0 where the code page has no character.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0, 0x017D, 0, 0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013,
    0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};

}  // namespace

Bytes utf8ToUtf16le(std::string_view utf8)
{
    Bytes out;
    appendUtf16le(out, utf8);
    return out;
}

void appendUtf16le(Bytes &out, std::string_view utf8)
{
    out.reserve(out.size() + utf8.size() * 2);
    forEachCodePoint(utf8, [&](char32_t cp) {
        auto unit = [&](char32_t u) {
            out.push_back(static_cast<std::uint8_t>(u));
            out.push_back(static_cast<std::uint8_t>(u >> 8));
        };
        if (cp >= 0x10000) {
            cp -= 0x10000;
            unit(0xD800 + (cp >> 10));
            unit(0xDC00 + (cp & 0x3FF));
        } else {
            unit(cp);
        }
    });
}

std::string utf16leToUtf8(std::span<const std::uint8_t> utf16)
{
    std::string out;
    out.reserve(utf16.size());
    const std::size_t units = utf16.size() / 2;
    for (std::size_t i = 0; i < units; ++i) {
        char32_t u = utf16[2 * i] | (utf16[2 * i + 1] << 8);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
            const char32_t lo = utf16[2 * i + 2] | (utf16[2 * i + 3] << 8);
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
                ++i;
                continue;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF)
            u = kReplacement;
        appendUtf8(out, u);
    }
    return out;
}

Bytes utf8ToCp1252(std::string_view utf8)
{
    Bytes out;
    appendCp1252(out, utf8);
    return out;
}

void appendCp1252(Bytes &out, std::string_view utf8)
{
    out.reserve(out.size() + utf8.size());
    forEachCodePoint(utf8, [&](char32_t cp) {
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
            out.push_back(static_cast<std::uint8_t>(cp));
            return;
        }
        for (std::size_t k = 0; k < kCp1252High.size(); ++k) {
            if (kCp1252High[k] != 0 && kCp1252High[k] == cp) {
                out.push_back(static_cast<std::uint8_t>(0x80 + k));
                return;
            }
        }
        out.push_back('?');
    });
}

std::size_t utf16Length(std::string_view utf8)
{
    std::size_t n = 0;
    forEachCodePoint(utf8, [&](char32_t cp) { n += cp >= 0x10000 ? 2 : 1; });
    return n;
}

}  // namespace sqlsim::tds
