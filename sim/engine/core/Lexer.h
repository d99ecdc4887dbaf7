#pragma once
// T-SQL tokens, statement splitting and GO-separated scripts.

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace sqlsim {

enum class Tok {
    Ident,       // plain identifier or keyword
    Quoted,      // [name] or "name"; text holds the name without quotes
    String,      // 'text'; text holds the value, quotes undoubled
    NString,     // N'text'
    Number,      // 12, 1.5, 1e3
    Hex,         // 0x1F; text holds the digits after 0x
    Variable,    // @name or @@name, text includes the @s
    Op,          // = <> != < > <= >= + - * / % & | ^ ~ !< !>
    Comma, LParen, RParen, Dot, Semicolon,
    End
};

struct Token {
    Tok kind = Tok::End;
    std::string text;
    std::size_t begin = 0;  // byte offsets in the source
    std::size_t end = 0;
    int line = 1;

    bool is(Tok k) const { return kind == k; }
    // Case-insensitive keyword test; only plain identifiers match.
    bool kw(std::string_view word) const;
    bool op(std::string_view o) const { return kind == Tok::Op && text == o; }
    bool isName() const { return kind == Tok::Ident || kind == Tok::Quoted; }
};

// A lexical error that SQL Server reports with a number (105 unclosed quote, 113 comment).
struct SqlError : std::runtime_error {
    int number;
    int severity;
    int line;
    bool abortsBatch = false;  // name resolution and the like end the whole batch
    bool terminated = false;   // followed by 3621 "The statement has been terminated."
    int state = 1;
    SqlError(int number, std::string text, int severity = 16, int line = 1)
        : std::runtime_error(std::move(text)), number(number), severity(severity), line(line) {}
    SqlError &aborting() { abortsBatch = true; return *this; }
    SqlError &statementTerminated() { terminated = true; return *this; }
};

// Tokens of sql, ending with one End token. Comments and blanks are skipped.
std::vector<Token> tokenize(std::string_view sql);

// One statement of a batch: its tokens (End-terminated) and its source text.
struct Statement {
    std::vector<Token> tokens;  // followed by End tokens
    std::size_t end() const;    // index of the first End
    std::string text;
    int line = 1;
};

// Splits a tokenized batch into statements at semicolons and at the keywords that
// begin a statement. CREATE VIEW / PROCEDURE runs to the end of the batch.
std::vector<Statement> splitStatements(std::string_view sql, const std::vector<Token> &tokens);

// Batches of a script separated by lines holding only GO.
std::vector<std::string> splitScript(std::string_view script);

std::string lower(std::string_view s);
bool iequals(std::string_view a, std::string_view b);
// Quotes s as a T-SQL string literal body ('' for ').
std::string quoteString(std::string_view s);

}  // namespace sqlsim
