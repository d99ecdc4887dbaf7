#include "sim/tds/Rpc.h"

#include "sim/tds/Requests.h"
#include "sim/tds/Tokens.h"

namespace sqlsim::tds {

namespace {

constexpr std::uint16_t kProcById = 0xFFFF;

// Code page 1252's 0x80..0x9F; unassigned bytes map to U+FFFD.
constexpr char16_t kHigh[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

std::int64_t littleEndian(std::span<const std::uint8_t> b)
{
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < b.size(); ++i)
        v |= std::uint64_t{b[i]} << (8 * i);
    if (b.size() < 8 && !b.empty() && (b.back() & 0x80) && b.size() != 1)
        v |= ~std::uint64_t{0} << (8 * b.size());  // sign-extend; tinyint stays unsigned
    return static_cast<std::int64_t>(v);
}

Bytes readPlp(Reader &r, bool &isNull)
{
    const std::uint64_t total = r.le64();
    isNull = total == ~std::uint64_t{0};
    Bytes out;
    if (isNull)
        return out;
    for (;;) {
        const std::uint32_t chunk = r.le32();
        if (chunk == 0)
            break;
        auto part = r.take(chunk);
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

void readParam(Reader &r, RpcParam &p, std::uint32_t version)
{
    p.type = r.u8();
    auto fixed = [&](std::size_t n, bool isInt) {
        auto v = r.take(n);
        p.isNull = false;
        if (isInt)
            p.integer = littleEndian(v);
    };
    auto byteLen = [&](bool isInt) {
        const std::uint8_t n = r.u8();
        if (isInt && n != 0 && n != 1 && n != 2 && n != 4 && n != 8)
            throw ProtocolError("integer parameter of " + std::to_string(n) + " bytes");
        p.isNull = n == 0;
        auto v = r.take(n);
        if (isInt && n)
            p.integer = littleEndian(v);
    };
    switch (p.type) {
    case 0x1F: return;                                         // null type
    case 0x30: case 0x32: return fixed(1, true);               // tinyint, bit
    case 0x34: return fixed(2, true);
    case 0x38: return fixed(4, true);
    case 0x7F: return fixed(8, true);
    case 0x3B: case 0x3A: case 0x7A: return fixed(4, false);   // real, smalldatetime, smallmoney
    case 0x3E: case 0x3D: case 0x3C: return fixed(8, false);   // float, datetime, money
    case 0x26: case 0x68:                                      // intn, bitn
        r.u8();
        return byteLen(true);
    case 0x6D: case 0x6E: case 0x6F: case 0x24:                // fltn, moneyn, datetimn, guid
        r.u8();
        return byteLen(false);
    case 0x6A: case 0x6C:                                      // decimal, numeric
        r.skip(3);
        return byteLen(false);
    case 0x28:                                                 // date
        return byteLen(false);
    case 0x29: case 0x2A: case 0x2B:                           // time, datetime2, datetimeoffset
        r.u8();
        return byteLen(false);
    case 0xA7: case 0xAF: case 0xE7: case 0xEF: case 0xA5: case 0xAD: {
        const std::uint16_t max = r.le16();
        const bool character = p.type != 0xA5 && p.type != 0xAD;
        if (character)
            r.skip(5);  // collation
        Bytes data;
        if (max == 0xFFFF && version >= kTds72) {
            data = readPlp(r, p.isNull);
        } else {
            const std::uint16_t n = r.le16();
            p.isNull = n == 0xFFFF;
            if (!p.isNull) {
                auto v = r.take(n);
                data.assign(v.begin(), v.end());
            }
        }
        if (!p.isNull && character)
            p.text = (p.type == 0xE7 || p.type == 0xEF) ? utf16leToUtf8(data) : cp1252ToUtf8(data);
        return;
    }
    case 0x23: case 0x63: case 0x22: case 0x62: {              // text, ntext, image, sql_variant
        r.le32();
        if (p.type == 0x23 || p.type == 0x63)
            r.skip(5);
        const std::uint32_t n = r.le32();
        p.isNull = n == 0xFFFFFFFF || (p.type == 0x62 && n == 0);
        if (p.isNull)
            return;
        auto v = r.take(n);
        if (p.type == 0x63)
            p.text = utf16leToUtf8(v);
        else if (p.type == 0x23)
            p.text = cp1252ToUtf8(v);
        return;
    }
    default:
        throw UnsupportedRpc("RPC parameters of type 0x" + std::to_string(p.type) +
                             " are not supported by sqlsim.");
    }
}

}  // namespace

std::string cp1252ToUtf8(std::span<const std::uint8_t> bytes)
{
    Bytes utf16;
    for (std::uint8_t b : bytes) {
        const char16_t u = (b >= 0x80 && b < 0xA0) ? kHigh[b - 0x80] : b;
        utf16.push_back(static_cast<std::uint8_t>(u));
        utf16.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    return utf16leToUtf8(utf16);
}

std::vector<RpcCall> parseRpc(std::span<const std::uint8_t> payload, std::uint32_t tdsVersion)
{
    Reader r(payload);
    if (tdsVersion >= kTds72) {
        const std::uint32_t total = r.le32();
        if (total < 4 || total > payload.size())
            throw ProtocolError("ALL_HEADERS length out of range");
        r.skip(total - 4);
    }
    std::vector<RpcCall> calls;
    for (;;) {
        RpcCall call;
        const std::uint16_t nameLength = r.le16();
        if (nameLength == kProcById)
            call.procId = r.le16();
        else
            call.procName = utf16leToUtf8(r.take(std::size_t{nameLength} * 2));
        r.le16();  // option flags
        while (r.remaining() > 0) {
            const std::uint8_t next = r.u8();
            if (next == 0x80 || next == 0xFF)  // another call follows
                break;
            RpcParam p;
            p.name = utf16leToUtf8(r.take(std::size_t{next} * 2));
            p.output = (r.u8() & 0x01) != 0;
            readParam(r, p, tdsVersion);
            call.params.push_back(std::move(p));
        }
        calls.push_back(std::move(call));
        if (r.remaining() == 0)
            break;
        if (calls.size() > 1000)
            throw ProtocolError("too many RPC calls in one request");
    }
    return calls;
}

void writeReturnStatus(Writer &w, std::int32_t status)
{
    w.u8(0x79);
    w.le32(static_cast<std::uint32_t>(status));
}

void writeReturnValueInt(Writer &w, std::uint16_t ordinal, std::string_view name, std::int32_t value,
                         std::uint32_t tdsVersion)
{
    Writer body;
    body.le16(ordinal);
    body.bVarchar(name);
    body.u8(0x01);  // output parameter
    if (tdsVersion >= kTds72)
        body.le32(0);
    else
        body.le16(0);
    body.le16(0x0001);  // nullable
    body.u8(0x26);
    body.u8(4);
    body.u8(4);
    body.le32(static_cast<std::uint32_t>(value));
    w.u8(0xAC);
    w.append(body.bytes());
}

Bytes buildRpc(std::uint16_t procId, const std::vector<RpcArg> &args, std::uint32_t tdsVersion)
{
    Writer w;
    if (tdsVersion >= kTds72) {
        w.le32(22);
        w.le32(18);
        w.le16(2);
        w.le64(0);
        w.le32(1);
    }
    w.le16(kProcById);
    w.le16(procId);
    w.le16(0);
    for (const RpcArg &a : args) {
        w.u8(0);
        w.u8(a.output ? 1 : 0);
        if (a.output || a.integer) {
            w.u8(0x26);
            w.u8(4);
            if (!a.integer) {
                w.u8(0);
                continue;
            }
            w.u8(4);
            w.le32(static_cast<std::uint32_t>(*a.integer));
            continue;
        }
        w.u8(0xE7);
        w.le16(8000);
        for (std::uint8_t b : kCollation)
            w.u8(b);
        if (!a.text) {
            w.le16(0xFFFF);
            continue;
        }
        const Bytes t = utf8ToUtf16le(*a.text);
        w.le16(static_cast<std::uint16_t>(t.size()));
        w.append(t);
    }
    return std::move(w.bytes());
}

}  // namespace sqlsim::tds
