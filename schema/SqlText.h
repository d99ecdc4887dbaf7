#pragma once
// Reading T-SQL text the way the server does as far as comments, string literals and quoted
// identifiers go, so that keywords and batch separators are only found in live code.

#include <QList>
#include <QString>

namespace dbsync::schema {

enum class SqlCharKind : unsigned char {
    Code,     // live code, line breaks and blanks included
    Comment,  // "--" to the end of the line, or "/* */" (nested, as T-SQL allows), delimiters included
    Quoted,   // '...', "..." or [...] with their quotes; doubled closing quotes stay inside
};

// The kind of every character of the text. An unclosed comment or literal runs to the end.
QList<SqlCharKind> classifySql(const QString &text);

// The text with the first CREATE keyword in live code turned into ALTER, when blanks, line
// breaks or comments and then PROC, PROCEDURE or VIEW follow it (any letter case); the rest
// stays byte for byte. Without such a keyword the text comes back unchanged.
QString createToAlter(const QString &text);

// The text without its batch separators: lines that hold only GO (any case, blanks around it)
// in live code. Such a line goes with its line break; every other byte stays.
QString withoutBatchSeparators(const QString &text);

}  // namespace dbsync::schema
