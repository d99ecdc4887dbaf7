#pragma once
// CREATE TABLE and ALTER TABLE read and add constraints and columns the same way.

#include "sim/engine/catalog/Catalog.h"
#include "sim/engine/core/Internal.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sqlsim {

void execCreateTable(Exec &x);
void execAlterTable(Exec &x);

struct TableConstraint {
    std::optional<PrimaryKeySpec> pk;
    std::optional<ForeignKeySpec> fk;
    std::optional<CheckSpec> check;
    std::optional<std::pair<std::string, std::string>> defaultFor;  // column, text
    std::string name;
};

// [CONSTRAINT name] PRIMARY KEY (..) | FOREIGN KEY (..) REFERENCES .. | DEFAULT e FOR col
TableConstraint readTableConstraint(const std::vector<Token> &t, std::size_t &i, bool allowDefault);
void applyConstraint(Exec &x, Catalog &cat, std::int64_t tableId, const std::string &table, const TableConstraint &c);
// Validates and adds one primary key or unique constraint in the store.
void addPrimaryKey(Exec &x, Catalog &cat, std::int64_t tableId, const std::string &table, PrimaryKeySpec pk);
void addColumns(Exec &x, Catalog &cat, std::int64_t tableId, const std::string &table, const std::vector<ColumnSpec> &cols,
                bool deferForeignKeys = false);
void addColumnChecks(Exec &x, Catalog &cat, std::int64_t tableId, const std::string &table,
                     const std::vector<ColumnSpec> &cols);

}  // namespace sqlsim
