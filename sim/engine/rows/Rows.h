#pragma once
// Where user tables keep their rows: one store table per user table, "ut_<dbk>_<id>", with
// a rowid column "$r" and one column per table column under the column's own name, declared
// so that SQLite compares and returns values as SQL Server would (text under SSCI).
// Catalogue queries never read these tables, so listings cost the same on full tables.

#include "sim/engine/catalog/Catalog.h"
#include "sim/engine/rows/Convert.h"

namespace sqlsim {

std::string rowTable(const Database &db, std::int64_t tableId);
// "db.dbo.t", as SQL Server names a table in 515 and 2628.
std::string qualifiedTable(const Database &db, const std::string &table);

ColumnInfo columnInfo(const ColumnRow &row, StoreConn &conn, const Database &db);
std::vector<ColumnInfo> tableColumns(StoreConn &conn, const Database &db, std::int64_t tableId);

// A table gets its store table with its first row: DDL on tables that never held a row (the
// usual schema-only database) changes no store schema, which SQLite would have to re-read.
bool hasRowTable(StoreConn &conn, const Database &db, std::int64_t tableId);
void ensureRowTable(StoreConn &conn, const Database &db, std::int64_t tableId);
void dropRowTable(StoreConn &conn, const Database &db, std::int64_t tableId);
void addRowColumn(StoreConn &conn, const Database &db, std::int64_t tableId, const ColumnInfo &column);
void dropRowColumn(StoreConn &conn, const Database &db, std::int64_t tableId, const std::string &column);
void renameRowColumn(StoreConn &conn, const Database &db, std::int64_t tableId, const std::string &column,
                     const std::string &now);
// Gives the column a new declaration and the values by rowid (the others become NULL).
void replaceRowColumn(StoreConn &conn, const Database &db, std::int64_t tableId, const std::string &column,
                      const ColumnInfo &now, const std::vector<std::pair<std::int64_t, Param>> &values);
void dropDatabaseRows(StoreConn &conn, const Database &db);

std::int64_t rowCount(StoreConn &conn, const Database &db, std::int64_t tableId);
// Every row's value of one column, by rowid (none without a store table).
std::vector<std::pair<std::int64_t, Param>> columnValues(StoreConn &conn, const Database &db, std::int64_t tableId,
                                                         const std::string &column);
Param paramAt(const StoreStmt &st, int col);

// The primary key's unique index (made with the store table when there is none yet); a
// duplicate key's values when the rows have one.
std::optional<std::string> duplicateKey(StoreConn &conn, const Database &db, std::int64_t tableId,
                                        const std::vector<std::string> &columns);
void createKeyIndex(StoreConn &conn, const Database &db, std::int64_t tableId, const std::vector<std::string> &columns);
void dropKeyIndex(StoreConn &conn, const Database &db, std::int64_t tableId);

// The last identity value handed out, if any.
std::optional<std::int64_t> identityCurrent(StoreConn &conn, const Database &db, std::int64_t tableId);
void setIdentityCurrent(StoreConn &conn, const Database &db, std::int64_t tableId, std::optional<std::int64_t> value);

}  // namespace sqlsim
