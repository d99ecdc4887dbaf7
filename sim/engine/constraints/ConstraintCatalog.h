#pragma once
// The CHECK and FOREIGN KEY constraints of a table as the rows code needs them, and the
// queries that find the rows breaking one.

#include "sim/engine/rows/Dml.h"

namespace sqlsim {

struct ForeignKey {
    std::int64_t id = 0;
    std::string name;
    std::int64_t child = 0, parent = 0;  // referencing and referenced table
    std::vector<std::string> childColumns, parentColumns;
    int onDelete = 0, onUpdate = 0;
    bool disabled = false;
    bool trusted = true;  // every referencing row has been checked: none can be an orphan already
};

struct CheckConstraint {
    std::int64_t id = 0;
    std::string name;
    std::string definition;
    std::string column;                // the parent column, empty for a table-level check
    std::vector<std::string> columns;  // the columns it reads
    bool disabled = false;
};

enum class KeySide { Referencing, Referenced };
std::vector<ForeignKey> foreignKeys(StoreConn &store, const Database &db, std::int64_t table, KeySide side);
std::vector<CheckConstraint> checkConstraints(StoreConn &store, const Database &db, std::int64_t table);

// 547 as SQL Server words it; kind is CHECK, FOREIGN KEY or REFERENCE; column may be empty.
SqlError conflict(const std::string &verb, const char *kind, const std::string &constraint, const Database &db,
                  const std::string &table, const std::string &column);

// Whether a row of the table that `filter` (SQL over its store table, "$r" the rowid) keeps
// makes the check false. Fails loudly where sqlsim cannot evaluate the condition.
bool breaksCheck(Exec &x, const Database &db, const ObjectRow &table, const CheckConstraint &check,
                 const std::string &filter);
// Whether a referencing row that `filter` keeps has a key with no referenced row.
bool hasOrphans(StoreConn &store, const Database &db, const ForeignKey &fk, const std::string &filter);

// "\"$r\" IN (1, 2, 3)": the rows by rowid, in a filter.
std::string rowidFilter(const std::vector<std::int64_t> &rowids);
bool intersects(const std::vector<std::string> &a, const std::vector<std::string> &b);

}  // namespace sqlsim
