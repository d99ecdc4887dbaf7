#pragma once
// Word lists the translator recognises tokens by.

#include "sim/engine/core/Lexer.h"

#include <cstddef>

namespace sqlsim {

inline bool isWord(const Token &t, const char *const *words, std::size_t n)
{
    for (std::size_t k = 0; k < n; ++k)
        if (t.kw(words[k]))
            return true;
    return false;
}

// Words of an expression that SQLite reads as T-SQL does.
inline const char *const exprKeywords[] = {"case", "when", "then", "else", "end", "and", "or", "not", "in",
                                           "exists", "is", "null", "like", "between", "as", "distinct",
                                           "asc", "desc", "by", "all", "any", "some", "escape", "select",
                                           "from", "where", "group", "order", "having", "union", "on",
                                           "join", "left", "right", "full", "inner", "outer", "cross"};

}  // namespace sqlsim
