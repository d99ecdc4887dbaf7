#include "sim/engine/rows/Rows.h"
#include "sim/engine/types/AliasTypes.h"

#include "sim/engine/query/Translate.h"

#include <sqlite3.h>

namespace sqlsim {

std::string rowTable(const Database &db, std::int64_t tableId)
{
    return "ut_" + std::to_string(db.dbk) + "_" + std::to_string(tableId);
}

std::string qualifiedTable(const Database &db, const std::string &table)
{
    return db.name + ".dbo." + table;
}

namespace {

std::string indexName(const Database &db, std::int64_t tableId)
{
    return "ux_" + std::to_string(db.dbk) + "_" + std::to_string(tableId);
}

std::string columnList(const std::vector<std::string> &columns, const std::string &qualifier = "")
{
    std::string out;
    for (const std::string &c : columns)
        out += (out.empty() ? "" : ", ") + (qualifier.empty() ? "" : qualifier + ".") + quoteIdent(c);
    return out;
}

}  // namespace

Param paramAt(const StoreStmt &st, int col)
{
    sqlite3_stmt *s = st.raw();
    switch (sqlite3_column_type(s, col)) {
    case SQLITE_NULL: return std::monostate{};
    case SQLITE_INTEGER: return static_cast<std::int64_t>(sqlite3_column_int64(s, col));
    case SQLITE_FLOAT: return sqlite3_column_double(s, col);
    case SQLITE_BLOB: {
        const auto *p = static_cast<const std::uint8_t *>(sqlite3_column_blob(s, col));
        return BinaryValue{std::vector<std::uint8_t>(p, p + sqlite3_column_bytes(s, col))};
    }
    default: return st.textAt(col);
    }
}

ColumnInfo columnInfo(const ColumnRow &row, StoreConn &conn, const Database &db)
{
    ColumnInfo c;
    c.name = row.name;
    c.colid = row.colid;
    c.type = typeOfColumn(row.xusertype, row.xtype);
    if (!c.type)
        throw StoreError("column " + row.name + " has an unknown type");
    const bool character = c.type->sized && !std::string_view(c.type->name).ends_with("binary");
    // text, ntext and image hold up to 2 GB: their syscolumns length 16 is a pointer's size.
    const std::string_view name = c.type->name;
    const bool large = name == "text" || name == "ntext" || name == "image";
    c.chars = static_cast<int>(row.length < 0 || large ? -1 : character ? row.prec : row.length);
    c.precision = static_cast<int>(row.prec);
    c.scale = static_cast<int>(row.scale.value_or(0));
    c.nullable = row.nullable;
    c.identity = row.identity;
    c.seed = row.seed;
    c.increment = row.increment;
    if (row.cdefault != 0) {
        StoreStmt st(conn.raw(), "SELECT text FROM cat_syscomments WHERE dbk = ? AND id = ? ORDER BY colid");
        st.bind(1, db.dbk).bind(2, row.cdefault);
        std::string text;
        while (st.step()) text += st.textAt(0);
        c.defaultText = text;
    }
    return c;
}

std::vector<ColumnInfo> tableColumns(StoreConn &conn, const Database &db, std::int64_t tableId)
{
    Catalog cat(conn, db);
    std::vector<ColumnInfo> out;
    for (const ColumnRow &row : cat.columns(tableId))
        out.push_back(columnInfo(row, conn, db));
    return out;
}

bool hasRowTable(StoreConn &conn, const Database &db, std::int64_t tableId)
{
    // A look-up in the connection's schema, not a scan of sqlite_master.
    return sqlite3_table_column_metadata(conn.raw(), "main", rowTable(db, tableId).c_str(), nullptr, nullptr, nullptr,
                                         nullptr, nullptr, nullptr) == SQLITE_OK;
}

void ensureRowTable(StoreConn &conn, const Database &db, std::int64_t tableId)
{
    if (hasRowTable(conn, db, tableId))
        return;
    std::string columns;
    for (const ColumnInfo &c : tableColumns(conn, db, tableId))
        columns += ", " + quoteIdent(c.name) + " " + storageDecl(c);
    conn.exec("CREATE TABLE " + rowTable(db, tableId) + " (\"$r\" INTEGER PRIMARY KEY" + columns + ")");
    Catalog cat(conn, db);
    const std::vector<std::string> key = cat.primaryKeyColumns(tableId);
    if (!key.empty())
        createKeyIndex(conn, db, tableId, key);
}

void dropRowTable(StoreConn &conn, const Database &db, std::int64_t tableId)
{
    conn.exec("DROP TABLE IF EXISTS " + rowTable(db, tableId));
    conn.run("DELETE FROM ut_identity WHERE dbk = ? AND id = ?", {db.dbk, tableId});
}

void addRowColumn(StoreConn &conn, const Database &db, std::int64_t tableId, const ColumnInfo &column)
{
    if (!hasRowTable(conn, db, tableId))
        return;
    conn.exec("ALTER TABLE " + rowTable(db, tableId) + " ADD COLUMN " + quoteIdent(column.name) + " " +
              storageDecl(column));
}

void dropRowColumn(StoreConn &conn, const Database &db, std::int64_t tableId, const std::string &column)
{
    if (!hasRowTable(conn, db, tableId))
        return;
    conn.exec("ALTER TABLE " + rowTable(db, tableId) + " DROP COLUMN " + quoteIdent(column));
}

void renameRowColumn(StoreConn &conn, const Database &db, std::int64_t tableId, const std::string &column,
                     const std::string &now)
{
    if (!hasRowTable(conn, db, tableId))
        return;
    const std::string table = rowTable(db, tableId);
    // SQLite compares column names without case: a change of case goes through another name.
    std::string from = column;
    if (iequals(column, now)) {
        conn.exec("ALTER TABLE " + table + " RENAME COLUMN " + quoteIdent(from) + " TO \"$renamed\"");
        from = "$renamed";
    }
    conn.exec("ALTER TABLE " + table + " RENAME COLUMN " + quoteIdent(from) + " TO " + quoteIdent(now));
}

void replaceRowColumn(StoreConn &conn, const Database &db, std::int64_t tableId, const std::string &column,
                      const ColumnInfo &now, const std::vector<std::pair<std::int64_t, Param>> &values)
{
    if (!hasRowTable(conn, db, tableId))
        return;
    const std::string table = rowTable(db, tableId);
    const std::string scratch = "$altered";
    conn.exec("ALTER TABLE " + table + " ADD COLUMN " + quoteIdent(scratch) + " " + storageDecl(now));
    {
        StoreStmt st(conn.raw(), "UPDATE " + table + " SET " + quoteIdent(scratch) + " = ? WHERE \"$r\" = ?");
        for (const auto &[rowid, value] : values) {
            st.bind(1, value).bind(2, rowid);
            st.step();
            st.reset();
        }
    }
    conn.exec("ALTER TABLE " + table + " DROP COLUMN " + quoteIdent(column));
    conn.exec("ALTER TABLE " + table + " RENAME COLUMN " + quoteIdent(scratch) + " TO " + quoteIdent(now.name));
}

void dropDatabaseRows(StoreConn &conn, const Database &db)
{
    const std::string prefix = "ut_" + std::to_string(db.dbk) + "_";
    std::vector<std::string> tables;
    {
        StoreStmt st(conn.raw(), "SELECT name FROM sqlite_master WHERE type = 'table' AND substr(name, 1, ?) = ?");
        st.bind(1, static_cast<std::int64_t>(prefix.size())).bind(2, prefix);
        while (st.step()) tables.push_back(st.textAt(0));
    }
    for (const std::string &t : tables)
        conn.exec("DROP TABLE " + quoteIdent(t));
    conn.run("DELETE FROM ut_identity WHERE dbk = ?", {db.dbk});
}

std::int64_t rowCount(StoreConn &conn, const Database &db, std::int64_t tableId)
{
    if (!hasRowTable(conn, db, tableId))
        return 0;
    StoreStmt st(conn.raw(), "SELECT count(*) FROM " + rowTable(db, tableId));
    st.step();
    return st.intAt(0);
}

std::vector<std::pair<std::int64_t, Param>> columnValues(StoreConn &conn, const Database &db, std::int64_t tableId,
                                                         const std::string &column)
{
    if (!hasRowTable(conn, db, tableId))
        return {};
    StoreStmt st(conn.raw(), "SELECT \"$r\", " + quoteIdent(column) + " FROM " + rowTable(db, tableId) +
                                 " ORDER BY \"$r\"");
    std::vector<std::pair<std::int64_t, Param>> out;
    while (st.step())
        out.emplace_back(st.intAt(0), paramAt(st, 1));
    return out;
}

std::optional<std::string> duplicateKey(StoreConn &conn, const Database &db, std::int64_t tableId,
                                        const std::vector<std::string> &columns)
{
    if (!hasRowTable(conn, db, tableId))
        return std::nullopt;
    const std::string cols = columnList(columns);
    StoreStmt st(conn.raw(), "SELECT " + cols + " FROM " + rowTable(db, tableId) + " GROUP BY " + cols +
                                 " HAVING count(*) > 1 ORDER BY min(\"$r\") LIMIT 1");
    if (!st.step())
        return std::nullopt;
    std::string key;
    for (int k = 0; k < static_cast<int>(columns.size()); ++k)
        key += (k ? ", " : "") + keyText(paramAt(st, k));
    return "(" + key + ")";
}

void createKeyIndex(StoreConn &conn, const Database &db, std::int64_t tableId, const std::vector<std::string> &columns)
{
    if (!hasRowTable(conn, db, tableId))
        return;
    conn.exec("CREATE UNIQUE INDEX " + indexName(db, tableId) + " ON " + rowTable(db, tableId) + " (" +
              columnList(columns) + ")");
}

void dropKeyIndex(StoreConn &conn, const Database &db, std::int64_t tableId)
{
    conn.exec("DROP INDEX IF EXISTS " + indexName(db, tableId));
}

std::optional<std::int64_t> identityCurrent(StoreConn &conn, const Database &db, std::int64_t tableId)
{
    StoreStmt st(conn.raw(), "SELECT current FROM ut_identity WHERE dbk = ? AND id = ?");
    st.bind(1, db.dbk).bind(2, tableId);
    if (st.step() && !st.nullAt(0))
        return st.intAt(0);
    return std::nullopt;
}

void setIdentityCurrent(StoreConn &conn, const Database &db, std::int64_t tableId, std::optional<std::int64_t> value)
{
    conn.run("DELETE FROM ut_identity WHERE dbk = ? AND id = ?", {db.dbk, tableId});
    if (value)
        conn.run("INSERT INTO ut_identity VALUES(?, ?, ?)", {db.dbk, tableId, *value});
}

}  // namespace sqlsim
