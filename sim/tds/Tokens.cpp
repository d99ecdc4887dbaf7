#include "sim/tds/Tokens.h"

#include "sim/tds/Requests.h"

namespace sqlsim::tds {

void writeLoginAck(Writer &w, std::uint32_t tdsVersion)
{
    Writer body;
    body.u8(1);  // interface: T-SQL
    // SQL Server 2000 answered a 7.1 (revision 0) login with 0x07010000.
    body.be32(tdsVersion == kTds71Rev0 ? 0x07010000 : tdsVersion);
    body.bVarchar("Microsoft SQL Server");
    body.u8(kServerMajor);
    body.u8(kServerMinor);
    body.be16(kServerBuild);
    w.u8(kLoginAck);
    w.le16(static_cast<std::uint16_t>(body.size()));
    w.append(body.bytes());
}

void writeEnvChange(Writer &w, EnvChangeType type, std::string_view newValue,
                    std::string_view oldValue)
{
    Writer body;
    body.u8(type);
    body.bVarchar(newValue);
    body.bVarchar(oldValue);
    w.u8(kEnvChange);
    w.le16(static_cast<std::uint16_t>(body.size()));
    w.append(body.bytes());
}

void writeCollationChange(Writer &w)
{
    w.u8(kEnvChange);
    w.le16(1 + 1 + sizeof kCollation + 1);
    w.u8(kEnvCollation);
    w.u8(sizeof kCollation);
    for (std::uint8_t b : kCollation)
        w.u8(b);
    w.u8(0);  // no old value
}

void writeMessage(Writer &w, const Message &m, std::string_view serverName,
                  std::uint32_t tdsVersion)
{
    Writer body;
    body.le32(static_cast<std::uint32_t>(m.number));
    body.u8(static_cast<std::uint8_t>(m.state));
    body.u8(static_cast<std::uint8_t>(m.severity));
    // The text is cut to what the token's 16-bit length and 64 KiB body can hold.
    std::string text = m.text;
    if (utf16Length(text) > 30000) {
        Bytes units = utf8ToUtf16le(text);
        units.resize(60000);
        text = utf16leToUtf8(units);
    }
    body.usVarchar(text);
    body.bVarchar(serverName);
    body.bVarchar(m.procedure);
    if (tdsVersion >= kTds72)
        body.le32(static_cast<std::uint32_t>(m.line));
    else
        body.le16(static_cast<std::uint16_t>(m.line));
    w.u8(m.isError() ? kError : kInfo);
    w.le16(static_cast<std::uint16_t>(body.size()));
    w.append(body.bytes());
}

void writeDone(Writer &w, Token token, std::uint16_t status, std::uint16_t curCmd,
               std::uint64_t rowCount, std::uint32_t tdsVersion)
{
    w.u8(token);
    w.le16(status);
    w.le16(curCmd);
    if (tdsVersion >= kTds72)
        w.le64(rowCount);
    else
        w.le32(static_cast<std::uint32_t>(rowCount));
}

}  // namespace sqlsim::tds
