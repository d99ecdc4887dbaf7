#pragma once
// Text comparison as the target server's default collation makes it: case-insensitive (Latin,
// Greek, Cyrillic and the other cased scripts), accent-sensitive, width- and kana-insensitive,
// trailing blanks ignored. The local comparison matches and sorts names with it, so that it
// pairs and orders rows as the server-side query does.

#include <QString>

namespace dbsync::schema {

// Equal texts under the collation have equal keys; keys sort as the server sorts the texts.
QString collationKey(const QString &text);
// <0, 0 or >0.
int compareCollated(const QString &a, const QString &b);

}  // namespace dbsync::schema
