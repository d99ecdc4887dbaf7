#include "sim/engine/rows/Unique.h"

#include "sim/engine/catalog/Indexes.h"
#include "sim/engine/query/Translate.h"

namespace sqlsim {

namespace {

std::string filterOn(const std::string &filterSql, const std::string &alias)
{
    if (filterSql.empty()) return "";
    std::string out = filterSql;
    for (std::size_t at = out.find("{T}"); at != std::string::npos; at = out.find("{T}", at + alias.size()))
        out.replace(at, 3, alias);
    return " AND (" + out + ")";
}

// The values of a key that rows share, the filter's rows only, at least one row of the pair
// from fromRowid on. GROUP BY compares under the columns' collation and takes NULLs as one
// value, as a unique index does; it sorts instead of comparing every pair of rows.
std::optional<std::string> sharedKey(StoreConn &conn, const Database &db, std::int64_t tableId,
                                     const std::vector<std::string> &columns, const std::string &filterSql,
                                     std::int64_t fromRowid)
{
    if (!hasRowTable(conn, db, tableId))
        return std::nullopt;
    std::string cols;
    for (const std::string &c : columns)
        cols += (cols.empty() ? "" : ", ") + std::string("n.") + quoteIdent(c);
    // With max() in the list, SQLite shows the values of the group's last row: the one refused.
    const std::string table = rowTable(db, tableId);
    // New rows: only the rows that share the first key column with one of them are grouped.
    std::string near;
    if (fromRowid > 0) {
        const std::string first = quoteIdent(columns.front());
        near = " AND (n." + first + " IN (SELECT " + first + " FROM " + table + " WHERE \"$r\" >= ?1) OR (n." +
               first + " IS NULL AND EXISTS (SELECT 1 FROM " + table + " WHERE \"$r\" >= ?1 AND " + first +
               " IS NULL)))";
    }
    StoreStmt st(conn.raw(), "SELECT " + cols + ", max(n.\"$r\") FROM " + table + " AS n WHERE 1" + near +
                                 filterOn(filterSql, "n") + " GROUP BY " + cols +
                                 " HAVING count(*) > 1 AND max(n.\"$r\") >= ?1 ORDER BY max(n.\"$r\") LIMIT 1");
    st.bind(1, fromRowid);
    if (!st.step())
        return std::nullopt;
    std::string key;
    for (int k = 0; k < static_cast<int>(columns.size()); ++k)
        key += (k ? ", " : "") + keyText(paramAt(st, k));
    return "(" + key + ")";
}

}  // namespace

std::optional<SqlError> uniqueConflict(StoreConn &conn, const Database &db, const ObjectRow &table,
                                       std::int64_t fromRowid)
{
    if (!hasRowTable(conn, db, table.id))
        return std::nullopt;
    for (const IndexRow &ix : tableIndexes(conn, db, table.id)) {
        if (!ix.unique || ix.primaryKey)
            continue;
        const auto key = sharedKey(conn, db, table.id, ix.keyColumns, ix.filterSql, fromRowid);
        if (!key)
            continue;
        if (ix.uniqueConstraint)
            return SqlError(2627, "Violation of UNIQUE KEY constraint '" + ix.name +
                                      "'. Cannot insert duplicate key in object 'dbo." + table.name +
                                      "'. The duplicate key value is " + *key + ".", 14)
                .statementTerminated();
        return SqlError(2601, "Cannot insert duplicate key row in object 'dbo." + table.name + "' with unique index '" +
                                  ix.name + "'. The duplicate key value is " + *key + ".", 14)
            .statementTerminated();
    }
    return std::nullopt;
}

std::optional<std::string> duplicateIndexKey(StoreConn &conn, const Database &db, std::int64_t tableId,
                                             const std::vector<std::string> &columns, const std::string &filterSql)
{
    return sharedKey(conn, db, tableId, columns, filterSql, 0);
}

}  // namespace sqlsim
