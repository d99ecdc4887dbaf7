#pragma once
// Transaction manager requests (packet 0x0E) and the ENVCHANGE tokens that report a
// transaction's descriptor.

#include "sim/tds/Bytes.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace sqlsim::tds {

// The T-SQL a TM_BEGIN_XACT, TM_COMMIT_XACT, TM_ROLLBACK_XACT or TM_SAVE_XACT request asks for
// (a commit or rollback that begins the next transaction gives two statements); nothing for
// the distributed-transaction requests.
std::optional<std::string> transactionRequestSql(std::span<const std::uint8_t> payload, std::uint32_t tdsVersion);

// ENVCHANGE 8 (begin: the new descriptor), 9 (commit) or 10 (rollback: the old one).
void writeTransactionChange(Writer &w, std::uint8_t type, std::uint64_t descriptor);

}  // namespace sqlsim::tds
