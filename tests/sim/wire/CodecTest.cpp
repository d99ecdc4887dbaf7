// Packets, PRELOGIN, LOGIN7, SQL batches and tokens, from and to bytes.
#include "sim/tds/Packet.h"
#include "sim/tds/Requests.h"
#include "sim/tds/Rpc.h"
#include "sim/tds/Tokens.h"

#include <gtest/gtest.h>

using namespace sqlsim;
using namespace sqlsim::tds;

namespace {

const std::string kChinese = "\xe4\xb8\xad\xe6\x96\x87";  // 中文

Bytes range(std::size_t n)
{
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>(i * 7);
    return b;
}

}  // namespace

TEST(Packets, SplitAtPacketSizeAndReassemble)
{
    const Bytes payload = range(10000);
    const Bytes wire = packetize(PacketType::TabularResult, payload, 4096);
    MessageAssembler assembler(1 << 20);
    std::size_t at = 0;
    int packets = 0;
    std::optional<Request> done;
    while (at < wire.size()) {
        const PacketHeader h = parseHeader(std::span(wire).subspan(at, kHeaderSize));
        EXPECT_LE(h.length, 4096u);
        EXPECT_EQ(h.packetId, packets + 1);
        EXPECT_EQ(h.status & kStatusEom, at + h.length == wire.size() ? kStatusEom : 0);
        done = assembler.add(h, std::span(wire).subspan(at + kHeaderSize, h.length - kHeaderSize));
        at += h.length;
        ++packets;
    }
    EXPECT_EQ(packets, 3);
    ASSERT_TRUE(done);
    EXPECT_EQ(done->payload, payload);
}

TEST(Packets, EmptyPayloadIsOneEomPacket)
{
    const Bytes wire = packetize(PacketType::TabularResult, {}, 4096);
    ASSERT_EQ(wire.size(), kHeaderSize);
    EXPECT_EQ(wire[1], kStatusEom);
}

TEST(Packets, BadHeadersAreRejected)
{
    EXPECT_THROW(parseHeader(Bytes{0x01, 0x01, 0x00}), ProtocolError);                    // truncated
    EXPECT_THROW(parseHeader(Bytes{0x99, 0x01, 0x00, 0x10, 0, 0, 1, 0}), ProtocolError);  // type
    EXPECT_THROW(parseHeader(Bytes{0x01, 0x01, 0x00, 0x04, 0, 0, 1, 0}), ProtocolError);  // < 8
    EXPECT_THROW(parseHeader(Bytes{0x01, 0x01, 0xFF, 0xFF, 0, 0, 1, 0}), ProtocolError);  // > max
    EXPECT_NO_THROW(parseHeader(Bytes{0x01, 0x01, 0x00, 0x08, 0, 0, 1, 0}));
}

TEST(Packets, AssemblerLimitsIgnoreBitAndAttention)
{
    MessageAssembler small(100);
    PacketHeader h{0x01, 0, 108, 0, 1};
    EXPECT_FALSE(small.add(h, range(60)));
    EXPECT_THROW(small.add(h, range(60)), ProtocolError);

    MessageAssembler a(1 << 20);
    EXPECT_FALSE(a.add(PacketHeader{0x01, 0, 0, 0, 1}, range(10)));
    // An attention between the packets of a batch is delivered on its own.
    auto attn = a.add(PacketHeader{0x06, kStatusEom, 8, 0, 1}, {});
    ASSERT_TRUE(attn);
    EXPECT_EQ(attn->type, PacketType::Attention);
    // The client abandons the batch: the last packet carries the ignore bit.
    EXPECT_FALSE(a.add(PacketHeader{0x01, kStatusEom | kStatusIgnore, 0, 0, 2}, range(4)));
    auto next = a.add(PacketHeader{0x01, kStatusEom, 0, 0, 1}, range(4));
    ASSERT_TRUE(next);
    EXPECT_EQ(next->payload.size(), 4u);
    // A different type in the middle of a message is an error.
    EXPECT_FALSE(a.add(PacketHeader{0x01, 0, 0, 0, 1}, range(4)));
    EXPECT_THROW(a.add(PacketHeader{0x10, kStatusEom, 0, 0, 2}, range(4)), ProtocolError);
}

TEST(Prelogin, ParsesEncryptionAndAnswersNotSupported)
{
    const Prelogin p = parsePrelogin(buildPrelogin(kEncryptOn));
    EXPECT_TRUE(p.hasEncryption);
    EXPECT_EQ(p.encryption, kEncryptOn);

    const Bytes response = buildPreloginResponse();
    const Prelogin r = parsePrelogin(response);
    EXPECT_TRUE(r.hasEncryption);
    EXPECT_EQ(r.encryption, kEncryptNotSup);
    EXPECT_EQ(response[response[1] * 256 + response[2]], 15);  // VERSION: 15.x
}

TEST(Prelogin, MalformedOptionTablesAreRejected)
{
    EXPECT_THROW(parsePrelogin(Bytes{}), ProtocolError);
    EXPECT_THROW(parsePrelogin(Bytes{0x00, 0x00}), ProtocolError);                       // cut
    EXPECT_THROW(parsePrelogin(Bytes{0x01, 0x00, 0x06, 0x00, 0x01}), ProtocolError);     // no end
    EXPECT_THROW(parsePrelogin(Bytes{0x01, 0x00, 0x40, 0x00, 0x01, 0xFF}), ProtocolError);  // outside
    EXPECT_THROW(parsePrelogin(Bytes{0x01, 0x00, 0x06, 0x00, 0x00, 0xFF}), ProtocolError);  // empty
    EXPECT_NO_THROW(parsePrelogin(Bytes{0xFF}));
}

TEST(Login7, RoundTripsFieldsIncludingScrambledPassword)
{
    Login7Fields f;
    f.userName = "user" + kChinese;
    f.password = "p\xc3\xa4ss:" + kChinese;
    f.database = "db1";
    f.appName = "dbsync";
    f.packetSize = 8192;
    for (std::uint32_t version : {kTds71, kTds74}) {
        f.tdsVersion = version;
        const Login7 l = parseLogin7(buildLogin7(f));
        EXPECT_EQ(l.tdsVersion, version);
        EXPECT_EQ(l.packetSize, 8192u);
        EXPECT_EQ(l.userName, f.userName);
        EXPECT_EQ(l.password, f.password);
        EXPECT_EQ(l.database, "db1");
        EXPECT_EQ(l.appName, "dbsync");
        EXPECT_EQ(l.hostName, "host");
        EXPECT_FALSE(l.integratedSecurity());
    }
}

TEST(Login7, LengthsOutsideThePacketAreRejected)
{
    const Bytes good = buildLogin7(Login7Fields{});
    // Each offset/length pair of the fixed part, pointed past the end of the record.
    for (std::size_t pair = 36; pair < 36 + 9 * 4; pair += 4) {
        if (pair == 56)
            continue;  // the extension slot is not a string
        Bytes bad = good;
        bad[pair] = 0xF0;
        bad[pair + 1] = 0xFF;
        bad[pair + 2] = 0x10;
        EXPECT_THROW(parseLogin7(bad), ProtocolError) << "pair at " << pair;
        Bytes longer = good;
        longer[pair + 2] = 0xFF;
        longer[pair + 3] = 0x7F;
        EXPECT_THROW(parseLogin7(longer), ProtocolError) << "length at " << pair;
    }
    Bytes declared = good;
    declared[0] = 0xFF;
    declared[1] = 0xFF;
    EXPECT_THROW(parseLogin7(declared), ProtocolError);
    // Every truncation either parses (fields past the cut are empty) or throws; none reads past.
    for (std::size_t n = 0; n < good.size(); ++n) {
        Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_THROW(parseLogin7(cut), ProtocolError) << n;
    }
}

TEST(SqlBatch, TextFollowsAllHeadersFrom72)
{
    const std::string sql = "select 1\r\nselect N'" + kChinese + "'";
    EXPECT_EQ(parseSqlBatch(buildSqlBatch(sql, kTds74), kTds74), sql);
    EXPECT_EQ(parseSqlBatch(buildSqlBatch(sql, kTds71), kTds71), sql);

    Bytes bad = buildSqlBatch(sql, kTds74);
    bad[0] = 0xFF;  // total length beyond the message
    EXPECT_THROW(parseSqlBatch(bad, kTds74), ProtocolError);
    Bytes badHeader = buildSqlBatch(sql, kTds74);
    badHeader[4] = 0x40;  // inner header longer than ALL_HEADERS
    EXPECT_THROW(parseSqlBatch(badHeader, kTds74), ProtocolError);
    Bytes odd = buildSqlBatch(sql, kTds71);
    odd.push_back('x');
    EXPECT_THROW(parseSqlBatch(odd, kTds71), ProtocolError);
    EXPECT_THROW(parseSqlBatch(Bytes{1, 0}, kTds74), ProtocolError);
}

TEST(Text, Utf16AndCodePage1252)
{
    const std::string emoji = "\xf0\x9f\x98\x80";  // outside the BMP: a surrogate pair
    const Bytes u = utf8ToUtf16le("a" + emoji + kChinese);
    EXPECT_EQ(u.size(), 2u + 4u + 4u);
    EXPECT_EQ(utf16leToUtf8(u), "a" + emoji + kChinese);
    EXPECT_EQ(utf16Length(emoji + "a"), 3u);
    // Broken input becomes U+FFFD instead of being passed on.
    EXPECT_EQ(utf16leToUtf8(Bytes{0x00, 0xD8, 0x41, 0x00}), "\xef\xbf\xbd" "A");
    EXPECT_EQ(utf16leToUtf8(utf8ToUtf16le("\xc3")), "\xef\xbf\xbd");
    EXPECT_EQ(utf16leToUtf8(utf8ToUtf16le("\xc0\xaf")), "\xef\xbf\xbd\xef\xbf\xbd");  // overlong

    EXPECT_EQ(utf8ToCp1252("caf\xc3\xa9 \xe2\x82\xac" + kChinese),
              (Bytes{'c', 'a', 'f', 0xE9, ' ', 0x80, '?', '?'}));
}

TEST(Tokens, DoneWidthFollowsVersion)
{
    Writer w74;
    writeDone(w74, kDone, kDoneCount | kDoneMore, 0xC1, 5, kTds74);
    EXPECT_EQ(w74.bytes(), (Bytes{0xFD, 0x11, 0x00, 0xC1, 0x00, 5, 0, 0, 0, 0, 0, 0, 0}));
    Writer w71;
    writeDone(w71, kDone, kDoneAttn, 0, 0, kTds71);
    EXPECT_EQ(w71.bytes(), (Bytes{0xFD, 0x20, 0x00, 0x00, 0x00, 0, 0, 0, 0}));
}

TEST(Tokens, ErrorAndInfoCarryServerNameAndLine)
{
    Message m;
    m.number = 18456;
    m.severity = 14;
    m.text = "Login failed for user 'x'.";
    Writer w;
    writeMessage(w, m, "SRV", kTds74);
    const Bytes &b = w.bytes();
    EXPECT_EQ(b[0], kError);
    EXPECT_EQ(b[1] | (b[2] << 8), static_cast<int>(b.size()) - 3);
    EXPECT_EQ(b[3] | (b[4] << 8), 18456);
    EXPECT_EQ(b[8], 14);
    const std::size_t textChars = b[9] | (b[10] << 8);
    EXPECT_EQ(textChars, m.text.size());
    const std::size_t server = 11 + 2 * textChars;
    EXPECT_EQ(b[server], 3);
    EXPECT_EQ(utf16leToUtf8(std::span(b).subspan(server + 1, 6)), "SRV");
    EXPECT_EQ(b.size(), server + 1 + 6 + 1 + 4);  // empty procedure, 4-byte line

    m.severity = 0;
    Writer info;
    writeMessage(info, m, "SRV", kTds71);
    EXPECT_EQ(info.bytes()[0], kInfo);
    EXPECT_EQ(info.size(), b.size() - 2);  // 2-byte line number before 7.2
}

TEST(Tokens, LoginAckAndEnvChanges)
{
    Writer w;
    writeLoginAck(w, kTds74);
    const Bytes &b = w.bytes();
    EXPECT_EQ(b[0], kLoginAck);
    EXPECT_EQ(b[3], 1);
    EXPECT_EQ((Bytes{b[4], b[5], b[6], b[7]}), (Bytes{0x74, 0x00, 0x00, 0x04}));
    EXPECT_EQ(utf16leToUtf8(std::span(b).subspan(9, 2 * b[8])), "Microsoft SQL Server");
    EXPECT_EQ(b[9 + 2 * b[8]], 15);

    Writer c;
    writeCollationChange(c);
    EXPECT_EQ(c.bytes(), (Bytes{0xE3, 0x08, 0x00, 0x07, 0x05, 0x09, 0x04, 0xD0, 0x00, 0x34, 0x00}));

    Writer e;
    writeEnvChange(e, kEnvPacketSize, "8192", "4096");
    EXPECT_EQ(e.size(), 3u + 1 + 1 + 8 + 1 + 8);
}

TEST(Rpc, ParsesPrepExecAsOdbcSendsIt)
{
    // sp_prepexec: @handle int OUTPUT (null), @params (null), @stmt.
    const Bytes payload = buildRpc(kSpPrepExec, {{std::nullopt, std::nullopt, true}, {}, {std::string("select 1"), {}, false}}, kTds74);
    const std::vector<RpcCall> calls = parseRpc(payload, kTds74);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].procId, kSpPrepExec);
    ASSERT_EQ(calls[0].params.size(), 3u);
    EXPECT_TRUE(calls[0].params[0].output);
    EXPECT_TRUE(calls[0].params[0].isNull);
    EXPECT_TRUE(calls[0].params[1].isNull);
    EXPECT_EQ(calls[0].params[2].text, "select 1");

    const auto exec = parseRpc(buildRpc(kSpExecute, {{std::nullopt, 7, false}}, kTds71), kTds71);
    EXPECT_EQ(exec.at(0).params.at(0).integer, 7);

    Bytes cut = payload;
    cut.resize(cut.size() - 3);
    EXPECT_THROW(parseRpc(cut, kTds74), ProtocolError);
    Bytes unknownType = buildRpc(kSpExecute, {{std::nullopt, 7, false}}, kTds74);
    unknownType[22 + 6 + 2] = 0xF1;  // xml
    EXPECT_THROW(parseRpc(unknownType, kTds74), UnsupportedRpc);
    EXPECT_EQ(cp1252ToUtf8(Bytes{'a', 0x80, 0xE9}), "a\xe2\x82\xac\xc3\xa9");
}
