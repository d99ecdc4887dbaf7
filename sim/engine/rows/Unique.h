#pragma once
// Unique indexes and UNIQUE constraints over the rows: SQL Server takes NULLs as equal keys
// (one NULL allowed), and a filtered index holds only the rows its filter keeps. The primary
// key keeps its SQLite unique index (see Rows.h).

#include "sim/engine/rows/Rows.h"

namespace sqlsim {

// The first unique index or UNIQUE constraint (not the primary key) that rows from fromRowid
// on break: 2601 or 2627, ending the statement.
std::optional<SqlError> uniqueConflict(StoreConn &conn, const Database &db, const ObjectRow &table,
                                       std::int64_t fromRowid = 0);
// A duplicate key's values "(v1, v2)" among the rows the filter keeps.
std::optional<std::string> duplicateIndexKey(StoreConn &conn, const Database &db, std::int64_t tableId,
                                             const std::vector<std::string> &columns, const std::string &filterSql);

}  // namespace sqlsim
