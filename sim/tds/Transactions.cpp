#include "sim/tds/Transactions.h"

#include "sim/tds/Requests.h"
#include "sim/tds/Tokens.h"

namespace sqlsim::tds {

namespace {

enum : std::uint16_t { kTmBegin = 5, kTmCommit = 7, kTmRollback = 8, kTmSave = 9 };

std::string bracketed(const std::string &name)
{
    std::string out = "[";
    for (char c : name)
        out += c == ']' ? std::string("]]") : std::string(1, c);
    return out + "]";
}

std::string readBVarchar(Reader &r)
{
    if (r.remaining() == 0)
        return {};
    const std::size_t chars = r.u8();
    return utf16leToUtf8(r.take(2 * chars));
}

}  // namespace

std::optional<std::string> transactionRequestSql(std::span<const std::uint8_t> payload, std::uint32_t tdsVersion)
{
    Reader r(payload);
    if (tdsVersion >= kTds72) {
        const std::uint32_t total = r.le32();
        if (total < 4 || total > payload.size())
            throw ProtocolError("ALL_HEADERS length out of range");
        r.skip(total - 4);
    }
    const std::uint16_t type = r.le16();
    auto named = [](const char *verb, const std::string &name) {
        return std::string(verb) + (name.empty() ? "" : " " + bracketed(name));
    };
    switch (type) {
    case kTmBegin: {
        if (r.remaining() > 0)
            (void)r.u8();  // isolation level: sqlsim has one writer at a time anyway
        return named("BEGIN TRANSACTION", readBVarchar(r));
    }
    case kTmCommit:
    case kTmRollback: {
        std::string sql = named(type == kTmCommit ? "COMMIT TRANSACTION" : "ROLLBACK TRANSACTION", readBVarchar(r));
        const bool beginNext = r.remaining() > 0 && (r.u8() & 1);
        if (beginNext) {
            if (r.remaining() > 0)
                (void)r.u8();
            sql += "; " + named("BEGIN TRANSACTION", readBVarchar(r));
        }
        return sql;
    }
    case kTmSave:
        return named("SAVE TRANSACTION", readBVarchar(r));
    default:
        return std::nullopt;
    }
}

void writeTransactionChange(Writer &w, std::uint8_t type, std::uint64_t descriptor)
{
    const bool begins = type == 8;
    w.u8(kEnvChange);
    w.le16(1 + 1 + 8 + 1);
    w.u8(type);
    if (begins) {
        w.u8(8);
        w.le64(descriptor);
        w.u8(0);
    } else {
        w.u8(0);
        w.u8(8);
        w.le64(descriptor);
    }
}

}  // namespace sqlsim::tds
