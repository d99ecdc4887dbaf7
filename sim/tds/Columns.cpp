// COLMETADATA and ROW: how each engine type goes on the wire, and its values.
#include "sim/tds/Requests.h"
#include "sim/tds/Tokens.h"
#include "sim/tds/Values.h"

#include <algorithm>
#include <cstring>

namespace sqlsim::tds {

namespace {

enum WireType : std::uint8_t {
    kImage = 0x22,
    kText = 0x23,
    kGuid = 0x24,
    kIntN = 0x26,
    kDateN = 0x28,
    kInt4 = 0x38,
    kDateTime = 0x3D,
    kFloat8 = 0x3E,
    kVariant = 0x62,
    kNText = 0x63,
    kBitN = 0x68,
    kDecimalN = 0x6A,
    kNumericN = 0x6C,
    kFloatN = 0x6D,
    kMoneyN = 0x6E,
    kDateTimeN = 0x6F,
    kInt8 = 0x7F,
    kBigVarBinary = 0xA5,
    kBigVarChar = 0xA7,
    kBigChar = 0xAF,
    kNVarChar = 0xE7,
    kNChar = 0xEF,
};

constexpr std::uint64_t kPlpNull = ~std::uint64_t{0};
constexpr std::uint32_t kVariantMax = 8016;

// How one column travels: its wire type and the widths that go with it.
struct Wire {
    std::uint8_t type = kIntN;
    std::uint32_t length = 4;  // fixed width, or the maximum in bytes
    bool plp = false;          // a MAX type sent in chunks (TDS 7.2+)
    bool lob = false;          // text/ntext/image, how TDS 7.1 carries MAX types
    bool unicode = false;
    std::uint8_t precision = 0;
    std::uint8_t scale = 0;
    bool dateAsText = false;   // date for clients older than 7.3
};

Wire wireFor(const ColumnType &t, std::uint32_t version)
{
    const bool plpOk = version >= kTds72;
    // defaultLen applies when the engine gave no length; text and ntext are always MAX.
    auto chars = [&](std::uint8_t type, bool unicode, int defaultLen, int maxLen, bool alwaysMax = false) {
        Wire w;
        w.type = type;
        w.unicode = unicode;
        const int unit = unicode ? 2 : 1;
        if (alwaysMax || t.length < 0 || t.length > maxLen) {
            if (plpOk) {
                w.type = type;
                if (type == kBigChar)
                    w.type = kBigVarChar;
                else if (type == kNChar)
                    w.type = kNVarChar;
                w.plp = true;
                w.length = 0xFFFF;
            } else {
                w.type = unicode ? kNText : type == kBigVarBinary ? kImage : kText;
                w.lob = true;
                w.length = 0x7FFFFFFF;
            }
            return w;
        }
        w.length = static_cast<std::uint32_t>((t.length == 0 ? defaultLen : t.length) * unit);
        return w;
    };
    switch (t.id) {
    case TypeId::Int: return Wire{kIntN, 4};
    case TypeId::SmallInt: return Wire{kIntN, 2};
    case TypeId::TinyInt: return Wire{kIntN, 1};
    case TypeId::BigInt: return Wire{kIntN, 8};
    case TypeId::Bit: return Wire{kBitN, 1};
    case TypeId::Float: return Wire{kFloatN, 8};
    case TypeId::Real: return Wire{kFloatN, 4};
    case TypeId::Money: return Wire{kMoneyN, 8};
    case TypeId::Decimal:
    case TypeId::Numeric: {
        Wire w;
        w.type = t.id == TypeId::Decimal ? kDecimalN : kNumericN;
        w.precision = static_cast<std::uint8_t>(std::clamp(t.precision == 0 ? 18 : t.precision, 1, 38));
        w.scale = static_cast<std::uint8_t>(std::clamp(t.scale, 0, int{w.precision}));
        w.length = decimalBytes(w.precision);
        return w;
    }
    case TypeId::Char: return chars(kBigChar, false, 1, 8000);
    case TypeId::VarChar: return chars(kBigVarChar, false, 8000, 8000);
    case TypeId::NChar: return chars(kNChar, true, 1, 4000);
    case TypeId::NVarChar: return chars(kNVarChar, true, 4000, 4000);
    case TypeId::Text: return chars(kBigVarChar, false, 8000, 8000, true);
    case TypeId::NText: return chars(kNVarChar, true, 4000, 4000, true);
    case TypeId::VarBinary: return chars(kBigVarBinary, false, 8000, 8000);
    case TypeId::DateTime: return Wire{kDateTimeN, 8};
    case TypeId::SmallDateTime: return Wire{kDateTimeN, 4};
    case TypeId::Date:
        // Clients older than 7.3 get date as nvarchar(10), as SQL Server sends it to them.
        if (version >= kTds73A)
            return Wire{kDateN, 3};
        return Wire{kNVarChar, 20, false, false, true, 0, 0, true};
    case TypeId::UniqueIdentifier: return Wire{kGuid, 16};
    case TypeId::SqlVariant: return Wire{kVariant, kVariantMax};
    }
    throw std::runtime_error("column type not supported by sqlsim");
}

bool hasCollation(std::uint8_t type)
{
    return type == kBigVarChar || type == kBigChar || type == kNVarChar || type == kNChar ||
           type == kText || type == kNText;
}

void writeTypeInfo(Writer &w, const Wire &c, std::uint32_t version)
{
    w.u8(c.type);
    switch (c.type) {
    case kIntN: case kBitN: case kFloatN: case kMoneyN: case kDateTimeN: case kGuid:
        w.u8(static_cast<std::uint8_t>(c.length));
        return;
    case kDecimalN: case kNumericN:
        w.u8(static_cast<std::uint8_t>(c.length));
        w.u8(c.precision);
        w.u8(c.scale);
        return;
    case kDateN:
        return;
    case kVariant:
        w.le32(c.length);
        return;
    case kText: case kNText: case kImage:
        w.le32(c.length);
        if (hasCollation(c.type))
            for (std::uint8_t b : kCollation)
                w.u8(b);
        // Table name: 7.1 sends one US_VARCHAR, later versions a part count.
        if (version >= kTds72)
            w.u8(0);
        else
            w.le16(0);
        return;
    default:
        w.le16(static_cast<std::uint16_t>(c.length));
        if (hasCollation(c.type))
            for (std::uint8_t b : kCollation)
                w.u8(b);
        return;
    }
}

void writeFixedInt(Writer &w, std::int64_t v, std::uint32_t width)
{
    for (std::uint32_t i = 0; i < width; ++i)
        w.u8(static_cast<std::uint8_t>(static_cast<std::uint64_t>(v) >> (8 * i)));
}

void writeDouble(Writer &w, double v, std::uint32_t width)
{
    if (width == 4) {
        const auto f = static_cast<float>(v);
        std::uint32_t bits;
        std::memcpy(&bits, &f, 4);
        w.le32(bits);
    } else {
        std::uint64_t bits;
        std::memcpy(&bits, &v, 8);
        w.le64(bits);
    }
}

Bytes characterBytes(const Wire &c, const Value &v)
{
    if (c.type == kBigVarBinary || c.type == kImage)
        return valueAsBinary(v);
    const std::string text = valueAsText(v);
    return c.unicode ? utf8ToUtf16le(text) : utf8ToCp1252(text);
}

void writePlp(Writer &w, const Bytes *data)
{
    if (!data) {
        w.le64(kPlpNull);
        return;
    }
    w.le64(data->size());
    constexpr std::size_t kChunk = 8000;
    for (std::size_t at = 0; at < data->size(); at += kChunk) {
        const std::size_t n = std::min(kChunk, data->size() - at);
        w.le32(static_cast<std::uint32_t>(n));
        w.append(std::span(*data).subspan(at, n));
    }
    w.le32(0);
}

void writeValue(Writer &w, const Wire &c, const Value &v)
{
    const bool null = std::holds_alternative<std::monostate>(v);
    switch (c.type) {
    case kIntN:
    case kBitN:
        if (null)
            return w.u8(0);
        w.u8(static_cast<std::uint8_t>(c.length));
        return writeFixedInt(w, c.type == kBitN ? valueAsInt(v) != 0 : checkedInt(v, c.length), c.length);
    case kFloatN:
        if (null)
            return w.u8(0);
        w.u8(static_cast<std::uint8_t>(c.length));
        return writeDouble(w, valueAsDouble(v), c.length);
    case kMoneyN: {
        if (null)
            return w.u8(0);
        const auto units = static_cast<std::uint64_t>(scaledInteger(v, 4));
        w.u8(8);
        w.le32(static_cast<std::uint32_t>(units >> 32));
        w.le32(static_cast<std::uint32_t>(units));
        return;
    }
    case kDecimalN:
    case kNumericN:
        if (null)
            return w.u8(0);
        w.u8(static_cast<std::uint8_t>(c.length));
        return w.append(encodeDecimal(valueAsDecimalText(v), c.precision, c.scale));
    case kDateTimeN: {
        if (null)
            return w.u8(0);
        const DateTimeValue d = valueAsDateTime(v);
        w.u8(static_cast<std::uint8_t>(c.length));
        if (c.length == 8) {
            w.le32(static_cast<std::uint32_t>(d.days));
            w.le32(d.ticks300);
        } else {
            w.le16(static_cast<std::uint16_t>(d.days));
            w.le16(static_cast<std::uint16_t>((d.ticks300 + 9000) / 18000));
        }
        return;
    }
    case kDateN: {
        if (null)
            return w.u8(0);
        const auto days = static_cast<std::uint32_t>(valueAsDateTime(v).days + kDaysTo1900);
        w.u8(3);
        w.u8(static_cast<std::uint8_t>(days));
        w.u8(static_cast<std::uint8_t>(days >> 8));
        w.u8(static_cast<std::uint8_t>(days >> 16));
        return;
    }
    case kGuid:
        if (null)
            return w.u8(0);
        w.u8(16);
        return w.append(valueAsGuid(v));
    case kVariant:
        if (null)
            return w.le32(0);
        return w.append(encodeVariant(v));
    default:
        break;
    }
    // Character and binary types.
    if (null) {
        if (c.plp)
            return writePlp(w, nullptr);
        if (c.lob)
            return w.u8(0);
        return w.le16(0xFFFF);
    }
    const bool binary = c.type == kBigVarBinary || c.type == kImage;
    if (!c.plp && !c.lob && !c.dateAsText && !binary) {
        // Text straight into the row: no copy of the value, no buffer of its own.
        const std::string *text = std::get_if<std::string>(&v);
        std::string converted;
        if (!text) {
            converted = valueAsText(v);
            text = &converted;
        }
        Bytes &out = w.bytes();
        const std::size_t lengthAt = out.size();
        w.le16(0);
        const std::size_t start = out.size();
        if (c.unicode)
            appendUtf16le(out, *text);
        else
            appendCp1252(out, *text);
        if (out.size() - start > c.length)
            out.resize(start + c.length);
        if (c.type == kBigChar || c.type == kNChar) {
            // Fixed-length types are padded with blanks to the declared length.
            while (out.size() - start + (c.unicode ? 2 : 1) <= c.length) {
                out.push_back(' ');
                if (c.unicode)
                    out.push_back(0);
            }
        }
        w.patchLe16(lengthAt, static_cast<std::uint16_t>(out.size() - start));
        return;
    }
    Bytes data = c.dateAsText ? utf8ToUtf16le(dateText(valueAsDateTime(v))) : characterBytes(c, v);
    if (c.plp)
        return writePlp(w, &data);
    if (c.lob) {
        w.u8(16);  // text pointer and timestamp: never used by clients that only read
        for (int i = 0; i < 16 + 8; ++i)
            w.u8(0);
        w.le32(static_cast<std::uint32_t>(data.size()));
        return w.append(data);
    }
    if (data.size() > c.length)
        data.resize(c.length);
    if (c.type == kBigChar || c.type == kNChar) {
        // Fixed-length types are padded with blanks to the declared length.
        while (data.size() + (c.unicode ? 2 : 1) <= c.length) {
            data.push_back(' ');
            if (c.unicode)
                data.push_back(0);
        }
    }
    w.le16(static_cast<std::uint16_t>(data.size()));
    w.append(data);
}

}  // namespace

void writeColMetadata(Writer &w, const std::vector<Column> &columns, std::uint32_t tdsVersion)
{
    w.u8(kColMetadata);
    w.le16(static_cast<std::uint16_t>(columns.size()));
    for (const auto &col : columns) {
        if (tdsVersion >= kTds72)
            w.le32(0);  // user type
        else
            w.le16(0);
        w.le16(col.nullable ? 0x0001 : 0x0000);
        writeTypeInfo(w, wireFor(col.type, tdsVersion), tdsVersion);
        w.bVarchar(col.name);
    }
}

void writeRow(Writer &w, const std::vector<Column> &columns, const Row &row,
              std::uint32_t tdsVersion)
{
    if (row.size() != columns.size())
        throw std::runtime_error("row has " + std::to_string(row.size()) + " values for " +
                                 std::to_string(columns.size()) + " columns");
    w.u8(kRow);
    for (std::size_t i = 0; i < columns.size(); ++i)
        writeValue(w, wireFor(columns[i].type, tdsVersion), row[i]);
}

}  // namespace sqlsim::tds
