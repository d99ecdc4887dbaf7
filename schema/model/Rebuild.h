#pragma once
// A table rebuilt to change what ALTER COLUMN cannot: a column's identity property, seed or
// increment. The rows are copied, identity values included, into a new table made as wanted,
// the old table is dropped and the new one takes its name. Dropping and adding the column
// instead would number every row anew, and rows elsewhere that refer to the old numbers would
// then point at other rows.

#include "schema/model/Objects.h"

namespace dbsync::model {

// Whether changing current into wanted takes a rebuild: the identity property, its seed or its
// increment differ between two stored columns.
bool needsRebuild(const Column &current, const Column &wanted);

// The name the new table has until the old one is gone.
QString rebuildName(const Table &table);

// Each a batch of its own: CREATE TABLE of the new table with wanted's columns (no constraints
// or defaults: their names are still the old table's), the copy of every row into the stored
// columns both tables have, DROP TABLE of current, and sp_rename of the new table.
QStringList rebuildCore(const Table &current, const Table &wanted);

// For a change of this table alone: other tables' foreign keys to it (and modules bound to it)
// go first, then rebuildCore, then wanted's keys, indexes, defaults, checks and foreign keys,
// db's triggers on the table, and the modules and foreign keys dropped before, each in the
// state it had.
QStringList rebuildWithDependents(const Database &db, const Table &current, const Table &wanted);

// The table with that column made the identity column (seed 1, increment 1, NOT NULL, int
// unless its type can carry IDENTITY), or no longer one. The other columns stay as they are.
Table withIdentity(const Table &table, const QString &column, bool identity);

}  // namespace dbsync::model
