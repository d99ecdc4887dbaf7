#pragma once
// Encoders for the tokens of a tabular result (server to client). Each appends to a Writer;
// the TDS version decides the few fields whose width changed with 7.2.

#include "sim/engine/Engine.h"
#include "sim/tds/Bytes.h"

namespace sqlsim::tds {

enum Token : std::uint8_t {
    kColMetadata = 0x81,
    kError = 0xAA,
    kInfo = 0xAB,
    kLoginAck = 0xAD,
    kRow = 0xD1,
    kEnvChange = 0xE3,
    kDone = 0xFD,
    kDoneProc = 0xFE,
    kDoneInProc = 0xFF,
};

enum DoneStatus : std::uint16_t {
    kDoneFinal = 0x0000,
    kDoneMore = 0x0001,
    kDoneError = 0x0002,
    kDoneInXact = 0x0004,
    kDoneCount = 0x0010,
    kDoneAttn = 0x0020,
    kDoneSrvError = 0x0100,
};

enum EnvChangeType : std::uint8_t {
    kEnvDatabase = 1,
    kEnvLanguage = 2,
    kEnvPacketSize = 4,
    kEnvCollation = 7,
};

// The product version LOGINACK and PRELOGIN announce: 15.0.2000.
inline constexpr std::uint8_t kServerMajor = 15;
inline constexpr std::uint8_t kServerMinor = 0;
inline constexpr std::uint16_t kServerBuild = 2000;

// SQL_Latin1_General_CP1_CI_AS: LCID 0x0409, case, kana and width insensitive, sort id 52.
inline constexpr std::uint8_t kCollation[5] = {0x09, 0x04, 0xD0, 0x00, 0x34};

void writeLoginAck(Writer &w, std::uint32_t tdsVersion);
void writeEnvChange(Writer &w, EnvChangeType type, std::string_view newValue,
                    std::string_view oldValue);
void writeCollationChange(Writer &w);
void writeMessage(Writer &w, const Message &m, std::string_view serverName,
                  std::uint32_t tdsVersion);
void writeDone(Writer &w, Token token, std::uint16_t status, std::uint16_t curCmd,
               std::uint64_t rowCount, std::uint32_t tdsVersion);

// COLMETADATA and ROW. Throws std::runtime_error for a value the column's type cannot take.
void writeColMetadata(Writer &w, const std::vector<Column> &columns, std::uint32_t tdsVersion);
void writeRow(Writer &w, const std::vector<Column> &columns, const Row &row,
              std::uint32_t tdsVersion);

}  // namespace sqlsim::tds
