#include "sim/tds/Requests.h"

#include "sim/tds/Tokens.h"


namespace sqlsim::tds {

namespace {

enum PreloginOption : std::uint8_t {
    kOptVersion = 0x00,
    kOptEncryption = 0x01,
    kOptInstance = 0x02,
    kOptThreadId = 0x03,
    kOptMars = 0x04,
    kOptTerminator = 0xFF,
};

struct OptionData {
    std::uint8_t option;
    Bytes data;
};

Bytes buildPreloginOptions(const std::vector<OptionData> &options)
{
    Writer w;
    const std::size_t tableSize = options.size() * 5 + 1;
    std::size_t offset = tableSize;
    for (const auto &o : options) {
        w.u8(o.option);
        w.be16(static_cast<std::uint16_t>(offset));
        w.be16(static_cast<std::uint16_t>(o.data.size()));
        offset += o.data.size();
    }
    w.u8(kOptTerminator);
    for (const auto &o : options)
        w.append(o.data);
    return std::move(w.bytes());
}

std::uint8_t unscramble(std::uint8_t b)
{
    b ^= 0xA5;
    return static_cast<std::uint8_t>((b << 4) | (b >> 4));
}

}  // namespace

Prelogin parsePrelogin(std::span<const std::uint8_t> payload)
{
    Reader r(payload);
    Prelogin out;
    for (int count = 0;; ++count) {
        if (count > 64)
            throw ProtocolError("PRELOGIN has too many options");
        const std::uint8_t option = r.u8();
        if (option == kOptTerminator)
            break;
        const std::uint16_t offset = r.be16();
        const std::uint16_t length = r.be16();
        if (std::size_t{offset} + length > payload.size())
            throw ProtocolError("PRELOGIN option points outside the packet");
        if (option == kOptEncryption) {
            if (length < 1)
                throw ProtocolError("PRELOGIN ENCRYPTION option is empty");
            out.hasEncryption = true;
            out.encryption = payload[offset];
        }
    }
    return out;
}

Bytes buildPreloginResponse()
{
    return buildPreloginOptions({
        {kOptVersion, {kServerMajor, kServerMinor, static_cast<std::uint8_t>(kServerBuild >> 8),
                       static_cast<std::uint8_t>(kServerBuild & 0xFF), 0, 0}},
        {kOptEncryption, {kEncryptNotSup}},
        {kOptInstance, {0}},
        {kOptThreadId, {}},
        {kOptMars, {0}},
    });
}

Bytes buildPrelogin(std::uint8_t encryption)
{
    return buildPreloginOptions({
        {kOptVersion, {9, 0, 0, 0, 0, 0}},
        {kOptEncryption, {encryption}},
        {kOptInstance, {0}},
        {kOptThreadId, {0, 0, 0, 0}},
        {kOptMars, {0}},
    });
}

Bytes scramblePassword(std::span<const std::uint8_t> utf16)
{
    Bytes out;
    for (std::uint8_t b : utf16)
        out.push_back(static_cast<std::uint8_t>(((b << 4) | (b >> 4)) ^ 0xA5));
    return out;
}

Login7 parseLogin7(std::span<const std::uint8_t> payload)
{
    Reader r(payload);
    const std::uint32_t declared = r.le32();
    if (declared > payload.size())
        throw ProtocolError("LOGIN7 length exceeds the message");
    Login7 out;
    out.tdsVersion = r.le32();
    out.packetSize = r.le32();
    r.skip(4 + 4 + 4);  // client version, process id, connection id
    r.u8();             // option flags 1
    out.optionFlags2 = r.u8();
    r.skip(1 + 1 + 4 + 4);  // type flags, option flags 3, time zone, LCID

    const auto record = payload.first(declared);
    auto field = [&](bool secret) {
        const std::uint16_t offset = r.le16();
        const std::uint16_t chars = r.le16();
        const std::size_t bytes = std::size_t{chars} * 2;
        if (chars == 0)
            return std::string();
        if (std::size_t{offset} + bytes > record.size())
            throw ProtocolError("LOGIN7 field points outside the record");
        auto raw = record.subspan(offset, bytes);
        if (!secret)
            return utf16leToUtf8(raw);
        Bytes plain(raw.begin(), raw.end());
        for (auto &b : plain)
            b = unscramble(b);
        return utf16leToUtf8(plain);
    };
    out.hostName = field(false);
    out.userName = field(false);
    out.password = field(true);
    out.appName = field(false);
    out.serverName = field(false);
    r.skip(4);  // extension or unused
    field(false);  // client interface name
    out.language = field(false);
    out.database = field(false);
    // ClientID, SSPI, attach file name and the rest are not used.
    return out;
}

std::string parseSqlBatch(std::span<const std::uint8_t> payload, std::uint32_t tdsVersion)
{
    Reader r(payload);
    if (tdsVersion >= kTds72) {
        const std::uint32_t total = r.le32();
        if (total < 4 || total > payload.size())
            throw ProtocolError("ALL_HEADERS length out of range");
        std::size_t at = 4;
        while (at < total) {
            Reader h(payload.subspan(at, total - at));
            const std::uint32_t length = h.le32();
            if (length < 6 || length > total - at)
                throw ProtocolError("ALL_HEADERS header length out of range");
            at += length;
        }
        r.skip(total - 4);
    }
    auto text = r.take(r.remaining());
    if (text.size() % 2)
        throw ProtocolError("SQL batch text has an odd number of bytes");
    return utf16leToUtf8(text);
}

Bytes buildLogin7(const Login7Fields &f)
{
    const bool v72 = f.tdsVersion >= kTds72;
    const std::size_t fixed = v72 ? 94 : 86;
    Writer head;
    Writer data;
    head.le32(0);  // patched below
    head.le32(f.tdsVersion);
    head.le32(f.packetSize);
    head.le32(7);
    head.le32(1234);
    head.le32(0);
    head.u8(0xE0);
    head.u8(0x03);
    head.u8(0);
    head.u8(0);
    head.le32(0);
    head.le32(0x0409);
    auto field = [&](std::string_view text, bool secret) {
        Bytes utf16 = utf8ToUtf16le(text);
        if (secret)
            utf16 = scramblePassword(utf16);
        head.le16(static_cast<std::uint16_t>(fixed + data.size()));
        head.le16(static_cast<std::uint16_t>(utf16.size() / 2));
        data.append(utf16);
    };
    field(f.hostName, false);
    field(f.userName, false);
    field(f.password, true);
    field(f.appName, false);
    field(f.serverName, false);
    head.le32(0);  // extension
    field("sqlsim-test", false);
    field(f.language, false);
    field(f.database, false);
    for (int i = 0; i < 6; ++i)
        head.u8(0);
    field("", false);  // SSPI
    field("", false);  // attach file
    if (v72) {
        field("", false);  // change password
        head.le32(0);
    }
    Bytes out = std::move(head.bytes());
    out.insert(out.end(), data.bytes().begin(), data.bytes().end());
    const auto n = static_cast<std::uint32_t>(out.size());
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<std::uint8_t>(n >> (8 * i));
    return out;
}

Bytes buildSqlBatch(std::string_view sql, std::uint32_t tdsVersion)
{
    Writer w;
    if (tdsVersion >= kTds72) {
        w.le32(22);  // ALL_HEADERS with one transaction descriptor header
        w.le32(18);
        w.le16(2);
        w.le64(0);
        w.le32(1);
    }
    w.append(utf8ToUtf16le(sql));
    return std::move(w.bytes());
}

}  // namespace sqlsim::tds
