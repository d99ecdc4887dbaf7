#pragma once
// RPC requests: what ODBC drivers send for prepared and parameterised statements
// (sp_prepexec, sp_execute, sp_executesql...). Parameters are read far enough to get the
// statement text, the handle and whether any values are bound.

#include "sim/tds/Bytes.h"

#include <optional>

namespace sqlsim::tds {

enum ProcId : std::uint16_t {
    kSpExecuteSql = 10,
    kSpPrepare = 11,
    kSpExecute = 12,
    kSpPrepExec = 13,
    kSpUnprepare = 15,
};

struct RpcParam {
    std::string name;
    bool output = false;
    std::uint8_t type = 0;
    bool isNull = true;
    std::optional<std::int64_t> integer;  // integer types
    std::optional<std::string> text;      // character types, as UTF-8
};

struct RpcCall {
    std::uint16_t procId = 0;  // 0 when called by name
    std::string procName;
    std::vector<RpcParam> params;
};

// A parameter of a type sqlsim cannot read; the request is answered with an error.
class UnsupportedRpc : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::vector<RpcCall> parseRpc(std::span<const std::uint8_t> payload, std::uint32_t tdsVersion);

// Code page 1252 to UTF-8.
std::string cp1252ToUtf8(std::span<const std::uint8_t> bytes);

// RETURNSTATUS and an int output parameter's RETURNVALUE.
void writeReturnStatus(Writer &w, std::int32_t status);
void writeReturnValueInt(Writer &w, std::uint16_t ordinal, std::string_view name, std::int32_t value,
                         std::uint32_t tdsVersion);

// Client side, for tests: one call by id with nvarchar/int parameters.
struct RpcArg {
    std::optional<std::string> text;
    std::optional<std::int32_t> integer;
    bool output = false;
};
Bytes buildRpc(std::uint16_t procId, const std::vector<RpcArg> &args, std::uint32_t tdsVersion);

}  // namespace sqlsim::tds
