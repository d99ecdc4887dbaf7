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

std::string keyOf(const StoreStmt &st, std::size_t columns)
{
    std::string key;
    for (int k = 0; k < static_cast<int>(columns); ++k)
        key += (k ? ", " : "") + keyText(paramAt(st, k));
    return "(" + key + ")";
}

}  // namespace

std::optional<SqlError> uniqueConflict(StoreConn &conn, const Database &db, const ObjectRow &table,
                                       std::int64_t fromRowid)
{
    if (!hasRowTable(conn, db, table.id))
        return std::nullopt;
    const std::string rows = rowTable(db, table.id);
    for (const IndexRow &ix : tableIndexes(conn, db, table.id)) {
        if (!ix.unique || ix.primaryKey)
            continue;
        // IS compares under the columns' collation and takes NULL as equal to NULL. The later row
        // of a pair is the one refused.
        std::string select, same;
        for (const std::string &c : ix.keyColumns) {
            select += (select.empty() ? "" : ", ") + std::string("n.") + quoteIdent(c);
            same += " AND o." + quoteIdent(c) + " IS n." + quoteIdent(c);
        }
        StoreStmt st(conn.raw(), "SELECT " + select + " FROM " + rows + " AS n WHERE n.\"$r\" >= ?" +
                                     filterOn(ix.filterSql, "n") + " AND EXISTS (SELECT 1 FROM " + rows +
                                     " AS o WHERE o.\"$r\" < n.\"$r\"" + same + filterOn(ix.filterSql, "o") +
                                     ") ORDER BY n.\"$r\" LIMIT 1");
        st.bind(1, fromRowid);
        if (!st.step())
            continue;
        const std::string key = keyOf(st, ix.keyColumns.size());
        if (ix.uniqueConstraint)
            return SqlError(2627, "Violation of UNIQUE KEY constraint '" + ix.name +
                                      "'. Cannot insert duplicate key in object 'dbo." + table.name +
                                      "'. The duplicate key value is " + key + ".", 14)
                .statementTerminated();
        return SqlError(2601, "Cannot insert duplicate key row in object 'dbo." + table.name + "' with unique index '" +
                                  ix.name + "'. The duplicate key value is " + key + ".", 14)
            .statementTerminated();
    }
    return std::nullopt;
}

std::optional<std::string> duplicateIndexKey(StoreConn &conn, const Database &db, std::int64_t tableId,
                                             const std::vector<std::string> &columns, const std::string &filterSql)
{
    if (!hasRowTable(conn, db, tableId))
        return std::nullopt;
    std::string cols;
    for (const std::string &c : columns)
        cols += (cols.empty() ? "" : ", ") + std::string("n.") + quoteIdent(c);
    // GROUP BY takes NULLs as one value, as a unique index does.
    StoreStmt st(conn.raw(), "SELECT " + cols + " FROM " + rowTable(db, tableId) + " AS n WHERE 1" +
                                 filterOn(filterSql, "n") + " GROUP BY " + cols +
                                 " HAVING count(*) > 1 ORDER BY min(n.\"$r\") LIMIT 1");
    if (!st.step())
        return std::nullopt;
    return keyOf(st, columns.size());
}

}  // namespace sqlsim
