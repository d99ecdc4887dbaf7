#pragma once
// CHECK constraints and FOREIGN KEY constraints: adding them, switching them off and on, and
// holding rows to them (with the referential actions) as SQL Server does.

#include "sim/engine/rows/Dml.h"

namespace sqlsim {

// DDL. checkRows false: WITH NOCHECK. Both refuse with SQL Server's errors and add nothing.
void addCheckConstraint(Exec &x, Catalog &cat, const ObjectRow &table, const CheckSpec &check);
// A foreign key: the referenced key, its actions and state, its cascade paths and (unless WITH
// NOCHECK) the rows.
void addForeignKeyConstraint(Exec &x, Catalog &cat, std::int64_t tableId, const std::string &table,
                             const ForeignKeySpec &fk);
// The index of a key the columns may reference: the primary key, a unique constraint or an
// unfiltered unique index with exactly these key columns; 0 when there is none.
std::int64_t candidateKeyIndex(Catalog &cat, std::int64_t tableId, const std::vector<std::string> &columns);
// The first foreign key (and its table) that references the table's index, if any.
std::optional<std::pair<std::string, std::string>> keyReferencedBy(Catalog &cat, std::int64_t tableId,
                                                                   std::int64_t indexId);
// ALTER TABLE t [WITH CHECK|NOCHECK] CHECK|NOCHECK CONSTRAINT ALL|name[, ...], tokens[i] at
// CHECK|NOCHECK; withCheck: WITH CHECK was written.
void switchConstraints(Exec &x, Catalog &cat, const ObjectRow &table, std::size_t &i, bool withCheck);

// Rows. The new rows of an INSERT (rowid >= firstRowid) against the table's checks and keys.
void checkInsertedRows(Exec &x, const DmlTarget &target, std::int64_t firstRowid);

// An UPDATE: made before the rows change, finished after; the referenced keys the rows held
// are carried to the referencing rows, and the changed rows are checked.
class RowsUpdate {
public:
    RowsUpdate(Exec &x, const DmlTarget &target, std::vector<std::string> setColumns, std::vector<std::int64_t> rowids);
    ~RowsUpdate();
    void finish();

private:
    struct State;
    std::unique_ptr<State> s_;
};

// DELETE of the rows, with the referential actions; the number of rows deleted.
std::int64_t deleteRows(Exec &x, const DmlTarget &target, const std::vector<std::int64_t> &rowids);

}  // namespace sqlsim
