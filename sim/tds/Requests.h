#pragma once
// What clients send: PRELOGIN, LOGIN7 and SQL batches, parsed from a message's payload.
// Every length and offset is checked against the payload; a bad one throws ProtocolError.

#include "sim/tds/Bytes.h"

namespace sqlsim::tds {

// TDS versions as LOGIN7 and LOGINACK carry them.
constexpr std::uint32_t kTds71Rev0 = 0x71000000;
constexpr std::uint32_t kTds71 = 0x71000001;
constexpr std::uint32_t kTds72 = 0x72090002;
constexpr std::uint32_t kTds73A = 0x730A0003;
constexpr std::uint32_t kTds73B = 0x730B0003;
constexpr std::uint32_t kTds74 = 0x74000004;

// PRELOGIN ENCRYPTION values.
constexpr std::uint8_t kEncryptOff = 0x00;
constexpr std::uint8_t kEncryptOn = 0x01;
constexpr std::uint8_t kEncryptNotSup = 0x02;
constexpr std::uint8_t kEncryptReq = 0x03;

struct Prelogin {
    bool hasEncryption = false;
    std::uint8_t encryption = kEncryptNotSup;
};

Prelogin parsePrelogin(std::span<const std::uint8_t> payload);
// The server's answer: version 15.0, encryption not supported, no MARS.
Bytes buildPreloginResponse();

struct Login7 {
    std::uint32_t tdsVersion = 0;
    std::uint32_t packetSize = 0;
    std::uint8_t optionFlags2 = 0;
    std::string hostName;
    std::string userName;
    std::string password;
    std::string appName;
    std::string serverName;
    std::string language;
    std::string database;
    bool integratedSecurity() const { return (optionFlags2 & 0x80) != 0; }
};

Login7 parseLogin7(std::span<const std::uint8_t> payload);
// The password as LOGIN7 scrambles it: each byte's nibbles swapped, then XOR 0xA5.
Bytes scramblePassword(std::span<const std::uint8_t> utf16);

// The SQL text of a batch (UTF-8); from TDS 7.2 on the text follows ALL_HEADERS.
std::string parseSqlBatch(std::span<const std::uint8_t> payload, std::uint32_t tdsVersion);

// Client side of the same messages, for tests and tools that speak to sqlsim.
struct Login7Fields {
    std::uint32_t tdsVersion = kTds74;
    std::uint32_t packetSize = 4096;
    std::string hostName = "host";
    std::string userName = "sa";
    std::string password = "sqlsim";
    std::string appName = "app";
    std::string serverName = "server";
    std::string language;
    std::string database;
};
Bytes buildLogin7(const Login7Fields &fields);
Bytes buildSqlBatch(std::string_view sql, std::uint32_t tdsVersion);
Bytes buildPrelogin(std::uint8_t encryption);

}  // namespace sqlsim::tds
