#pragma once
// Quoting of values that go into SQL texts. A name is written plain when SQL Server reads it
// as a regular identifier, so ordinary names give the same texts as always; anything else is
// bracketed. Values inside a quoted string literal have their single quotes doubled.

#include <QString>

namespace dbsync {

// True for a name SQL Server accepts without delimiters: a letter (any script), "_" or "#"
// first, then letters, digits, "@", "$", "#" or "_", and not a reserved word. A leading "@"
// is not taken as regular: in a statement it would be read as a variable.
bool isRegularIdentifier(const QString &name);

// The name as it is when regular, else "[" + name with "]" doubled + "]".
QString quoteIdentifier(const QString &name);

// The text to put between single quotes: every "'" doubled.
QString quoteStringLiteralContent(const QString &value);

}  // namespace dbsync
