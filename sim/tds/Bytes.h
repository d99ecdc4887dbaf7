#pragma once
// Byte buffers for the TDS codec: a bounds-checked reader and an appending writer,
// and the text conversions TDS needs (UTF-16LE for N types, code page 1252 for the rest).

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace sqlsim::tds {

using Bytes = std::vector<std::uint8_t>;

// Anything a client sent that does not parse; the connection answers by closing.
class ProtocolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> data) : data_(data) {}
    std::size_t position() const { return pos_; }
    std::size_t remaining() const { return data_.size() - pos_; }
    void skip(std::size_t n);
    std::uint8_t u8();
    std::uint16_t le16();
    std::uint32_t le32();
    std::uint64_t le64();
    std::uint16_t be16();
    std::uint32_t be32();
    std::span<const std::uint8_t> take(std::size_t n);

private:
    void need(std::size_t n) const;
    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
};

class Writer {
public:
    Bytes &bytes() { return out_; }
    std::size_t size() const { return out_.size(); }
    void u8(std::uint8_t v) { out_.push_back(v); }
    void le16(std::uint16_t v);
    void le32(std::uint32_t v);
    void le64(std::uint64_t v);
    void be16(std::uint16_t v);
    void be32(std::uint32_t v);
    void append(std::span<const std::uint8_t> data) { out_.insert(out_.end(), data.begin(), data.end()); }
    void clear() { out_.clear(); }
    // Writes a little-endian 16-bit value at an earlier position (for lengths known late).
    void patchLe16(std::size_t at, std::uint16_t v);
    // B_VARCHAR: character count in one byte, then UTF-16LE. US_VARCHAR: count in two bytes.
    void bVarchar(std::string_view utf8);
    void usVarchar(std::string_view utf8);

private:
    Bytes out_;
};

// UTF-8 in, UTF-16LE out; invalid sequences become U+FFFD.
Bytes utf8ToUtf16le(std::string_view utf8);
void appendUtf16le(Bytes &out, std::string_view utf8);
// UTF-16LE in (odd trailing byte ignored), UTF-8 out; lone surrogates become U+FFFD.
std::string utf16leToUtf8(std::span<const std::uint8_t> utf16);
// UTF-8 to Windows code page 1252; characters it lacks become '?', as SQL Server converts.
Bytes utf8ToCp1252(std::string_view utf8);
void appendCp1252(Bytes &out, std::string_view utf8);
// Number of UTF-16 code units the text needs.
std::size_t utf16Length(std::string_view utf8);

}  // namespace sqlsim::tds
