#pragma once
// Indexes in the catalogue: sys.indexes and sys.index_columns, with sysindexes and sysindexkeys
// kept beside them (a heap's row 0, the clustered index 1, the others from 2); CREATE and DROP
// INDEX; the storage clauses SQL Server takes on tables, keys and indexes.

#include "sim/engine/catalog/Catalog.h"

namespace sqlsim {

// One index as the DDL leaves it.
struct IndexRecord {
    std::string name;
    bool clustered = false;
    bool unique = false;
    bool primaryKey = false;
    bool uniqueConstraint = false;
    bool systemNamed = false;
    std::vector<std::pair<std::int64_t, bool>> keys;  // colid, descending
    std::vector<std::int64_t> included;
    std::string filterDefinition;  // as sys.indexes shows it; empty: no filter
    std::string filterSql;         // the same over a row table, columns as {T}."name"
    IndexOptions options;
};

// An index of a table, as the rows code and the DDL need it.
struct IndexRow {
    std::int64_t indid = 0;
    std::string name;
    bool clustered = false;
    bool unique = false;
    bool primaryKey = false;
    bool uniqueConstraint = false;
    std::string filterSql;
    std::vector<std::string> keyColumns;
};

// ( col [ASC|DESC], ... ) into spec.columns and spec.descending.
void readKeyColumns(const std::vector<Token> &tokens, std::size_t &i, PrimaryKeySpec &spec);
// [WITH (option = value, ...) | WITH option = value, ...] [ON filegroup] [TEXTIMAGE_ON filegroup]
void readStorage(const std::vector<Token> &tokens, std::size_t &i, IndexOptions *options, bool table);

// A key's index among the table's indexes: a PRIMARY KEY that does not say CLUSTERED is
// nonclustered beside a clustered index; a second clustered index (1902) or an index name used
// twice (1913) fails, then 1750.
void checkKeyIndex(Exec &x, const Catalog &cat, std::int64_t tableId, const std::string &table,
                   PrimaryKeySpec &key);
// In one CREATE TABLE, a UNIQUE CLUSTERED key leaves the primary key nonclustered unless it says
// CLUSTERED.
void unclusterKeys(const std::vector<PrimaryKeySpec *> &keys);

// A new table is a heap: its row 0.
void addHeap(StoreConn &conn, const Database &db, std::int64_t tableId);
// Writes the index's rows and returns its index id.
std::int64_t writeIndex(StoreConn &conn, const Database &db, std::int64_t tableId, const IndexRecord &index);
// Removes an index; a table that loses its clustered index is a heap again.
void removeIndex(StoreConn &conn, const Database &db, std::int64_t tableId, std::int64_t indid);
void removeTableIndexes(StoreConn &conn, const Database &db, std::int64_t tableId);
std::vector<IndexRow> tableIndexes(StoreConn &conn, const Database &db, std::int64_t tableId);

// CREATE [UNIQUE] [CLUSTERED|NONCLUSTERED] INDEX at tokens[1].
bool isCreateIndex(const std::vector<Token> &tokens);
void execCreateIndex(Exec &x);
void execDropIndex(Exec &x);

}  // namespace sqlsim
