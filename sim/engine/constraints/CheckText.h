#pragma once
// A CHECK constraint's condition as SQL Server stores it once it has bound the expression:
// names bracketed, constants parenthesised, IN and BETWEEN expanded, keywords in its case.

#include "sim/engine/core/Lexer.h"

namespace sqlsim {

struct CheckText {
    std::string definition;            // e.g. "([Price]>=(0))"
    std::vector<std::string> columns;  // the columns it reads, spelt as the table spells them
    std::vector<std::string> functions;  // built-in functions it calls, lower case
};

// tokens: the condition alone, End-terminated; tableColumns: the names a column may take.
CheckText normaliseCheck(const std::vector<Token> &tokens, const std::vector<std::string> &tableColumns);

}  // namespace sqlsim
