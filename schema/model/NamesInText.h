#pragma once
// What a definition's text names: the columns of its table, and the alias types it declares
// something of. The catalogue does not say which types a routine or a check uses.

#include "schema/model/Objects.h"

namespace dbsync::model {

// The columns of a table that a definition names in brackets ("([Price]>=(0))").
QStringList columnsNamedIn(const QString &definition, const Table &table);

// Whether the text declares something of the type: "@p Phone", "@p AS [dbo].[Phone]",
// "RETURNS Phone", a column of a table variable "(Id int, Tel Phone", "CAST(x AS Phone)",
// "CONVERT(Phone, x)". A routine that does holds the type: DROP TYPE fails while it is there.
// A select list's "a, b Phone" matches too: the routine is only dropped and made again.
bool declaresType(const QString &definition, const QString &type);

}  // namespace dbsync::model
