// RPC requests: the system procedures ODBC drivers call to prepare and execute statements.
#include "sim/server/Response.h"

namespace sqlsim::server {

using namespace sqlsim::tds;

namespace {

const char *procName(std::uint16_t id)
{
    switch (id) {
    case kSpExecuteSql: return "sp_executesql";
    case kSpPrepare: return "sp_prepare";
    case kSpExecute: return "sp_execute";
    case kSpPrepExec: return "sp_prepexec";
    case kSpUnprepare: return "sp_unprepare";
    default: return nullptr;
    }
}

// True when a parameter list (sp_executesql's @params, sp_prepare's @params) declares any.
bool declaresParameters(const std::vector<RpcParam> &params, std::size_t index)
{
    if (index >= params.size() || params[index].isNull || !params[index].text)
        return false;
    return params[index].text->find_first_not_of(" \t\r\n") != std::string::npos;
}

const std::string *textParam(const std::vector<RpcParam> &params, std::size_t index)
{
    return index < params.size() && params[index].text ? &*params[index].text : nullptr;
}

}  // namespace

void Connection::answerRpc(const tds::Request &message)
{
    std::vector<RpcCall> calls;
    try {
        calls = parseRpc(message.payload, tdsVersion_);
    } catch (const UnsupportedRpc &e) {
        return answerUnsupported(e.what());
    }
    ResponseSink sink(*this);
    for (std::size_t i = 0; i < calls.size() && !sink.cancelled(); ++i) {
        const RpcCall &call = calls[i];
        const auto &p = call.params;
        sink.beginProcedure();
        Writer returns;
        auto fail = [&](const std::string &text) {
            sink.message(errorMessage(50000, text));
            sink.statementDone(std::nullopt, true);
        };
        const char *name = procName(call.procId);
        const std::string label = name ? name : call.procId ? "procedure " + std::to_string(call.procId) : call.procName;
        // Parameters bound to values are not substituted; saying so beats running half a statement.
        const char *noParams = " with parameters is not supported by sqlsim; send the statement text alone.";
        switch (call.procId) {
        case kSpExecuteSql:
            if (!textParam(p, 0))
                fail("sp_executesql needs the statement text as its first parameter.");
            else if (declaresParameters(p, 1) || p.size() > 2)
                fail(label + noParams);
            else
                runText(*p[0].text, sink);
            break;
        case kSpPrepare:
        case kSpPrepExec:
            if (!textParam(p, 2))
                fail(label + " needs the statement text as its third parameter.");
            else if (declaresParameters(p, 1) || (call.procId == kSpPrepExec && p.size() > 3))
                fail(label + noParams);
            else {
                const std::int32_t handle = nextHandle_++;
                prepared_[handle] = *p[2].text;
                if (call.procId == kSpPrepExec)
                    runText(*p[2].text, sink);
                writeReturnValueInt(returns, 0, p[0].name, handle, tdsVersion_);
            }
            break;
        case kSpExecute: {
            const auto it = p.empty() || !p[0].integer ? prepared_.end()
                                                       : prepared_.find(static_cast<std::int32_t>(*p[0].integer));
            if (it == prepared_.end()) {
                sink.message(errorMessage(8179, "Could not find prepared statement with handle " +
                                             (p.empty() || !p[0].integer ? std::string("(null)") : std::to_string(*p[0].integer)) + "."));
                sink.statementDone(std::nullopt, true);
            } else if (p.size() > 1) {
                fail(label + noParams);
            } else {
                runText(it->second, sink);
            }
            break;
        }
        case kSpUnprepare:
            if (!p.empty() && p[0].integer)
                prepared_.erase(static_cast<std::int32_t>(*p[0].integer));
            break;
        default:
            if (call.procId != 0)
                fail("RPC " + label + " is not supported by sqlsim.");
            else if (!p.empty())
                fail("Calling " + label + noParams);
            else
                runText("exec " + call.procName, sink);
        }
        sink.endProcedure(i + 1 == calls.size(), returns);
    }
    sink.finish();
}

}  // namespace sqlsim::server
