#pragma once
// Query lines kept as templates: literal text with named slots such as {S} that a builder
// fills in one pass, so an inserted value is never scanned for slots again.

#include <QHash>
#include <QString>
#include <QStringList>

namespace dbsync::schema {

// Replaces every "{NAME}" whose NAME is a key of values; other braces stay as they are.
QString fillLine(const char *utf8Template, const QHash<QString, QString> &values);
QStringList fillLines(const char *const *utf8Templates, int count, const QHash<QString, QString> &values);

}  // namespace dbsync::schema
