#pragma once
// What INSERT, UPDATE, DELETE and the DDL that touches rows share: the table a statement
// names, computing a value from tokens, column defaults, and SQL Server's error classes.

#include "sim/engine/rows/Rows.h"

namespace sqlsim {

struct DmlTarget {
    Database db;
    ObjectRow table;
    std::vector<ColumnInfo> columns;
    std::string qualified;  // db.dbo.t
};

// The user table at tokens[i] ([db.][dbo.]t); advances i. 208 when there is none.
DmlTarget resolveTable(Exec &x, std::size_t &i);

// The value of the expression at tokens [begin, end) of the statement.
Typed evaluate(Exec &x, std::size_t begin, std::size_t end);
// The column's default as its constraint computes it; NULL when it has none.
Typed defaultValue(Exec &x, const ColumnInfo &column);
// A default that SQL Server evaluates for every row (NEWID()) rather than once per statement.
bool perRowDefault(const ColumnInfo &column);

// Conversion failures end the batch, as in SQL Server; data errors end the statement.
SqlError &classify(SqlError &e);

// Finds a column by name, case-insensitively.
const ColumnInfo *findColumnInfo(const std::vector<ColumnInfo> &columns, std::string_view name);

}  // namespace sqlsim
