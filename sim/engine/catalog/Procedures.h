#pragma once
// Arguments of EXEC and the procedures that change the catalogue.

#include "sim/engine/core/Internal.h"

namespace sqlsim {

struct ProcArg {
    std::string name;  // "@name" in lower case when passed by name
    Param value;
    Token token;
};

std::vector<ProcArg> parseProcArgs(const std::vector<Token> &tokens, std::size_t start);
std::optional<std::string> argText(const ProcArg &arg);

void execExtendedProperty(Exec &x, const std::string &proc, const std::vector<ProcArg> &args);
// sp_rename of a user table or a column; other kinds are refused.
void execRename(Exec &x, const std::vector<ProcArg> &args);
void execMarkSystemObject(Exec &x, const std::vector<ProcArg> &args);
bool userProcedureExists(Exec &x, const std::string &name);

}  // namespace sqlsim
