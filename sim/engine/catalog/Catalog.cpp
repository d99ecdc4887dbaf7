#include "sim/engine/catalog/Catalog.h"

#include "sim/engine/catalog/Indexes.h"
#include "sim/engine/modules/Modules.h"
#include "sim/engine/rows/Rows.h"

#include <cstdio>

namespace sqlsim {

namespace {

std::string padType(const std::string &xtype)
{
    return xtype.size() == 1 ? xtype + " " : xtype;
}

std::string hex(std::uint64_t v, int digits)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*llX", digits, static_cast<unsigned long long>(v));
    return std::string(buf).substr(std::string(buf).size() - static_cast<std::size_t>(digits));
}

// The first n characters of a UTF-8 name.
std::string prefixChars(const std::string &s, std::size_t n)
{
    std::size_t chars = 0;
    for (std::size_t k = 0; k < s.size(); ++k) {
        if ((static_cast<unsigned char>(s[k]) & 0xC0) != 0x80) {
            if (chars == n)
                return s.substr(0, k);
            ++chars;
        }
    }
    return s;
}

std::int64_t userType(const ColumnShape &s)
{
    return s.xusertype ? s.xusertype : s.type->xusertype;
}

ColumnRow readColumn(StoreStmt &st)
{
    ColumnRow c;
    c.colid = st.intAt(0);
    c.name = st.textAt(1);
    c.xtype = st.intAt(2);
    c.xusertype = st.intAt(3);
    c.length = st.intAt(4);
    c.prec = st.intAt(5);
    if (!st.nullAt(6))
        c.scale = st.intAt(6);
    c.nullable = st.intAt(7) != 0;
    c.identity = (st.intAt(8) & 0x80) != 0;
    c.cdefault = st.intAt(9);
    c.seed = st.intAt(10);
    c.increment = st.intAt(11);
    return c;
}

const char *const columnSelect =
    "SELECT colid, name, xtype, xusertype, length, prec, scale, isnullable, status, cdefault, seed, increment "
    "FROM cat_syscolumns WHERE dbk = ? AND id = ?";

}  // namespace

std::vector<std::string> splitComments(const std::string &text)
{
    std::vector<std::string> pieces;
    std::size_t start = 0, chars = 0;
    for (std::size_t k = 0; k < text.size(); ++k) {
        if ((static_cast<unsigned char>(text[k]) & 0xC0) == 0x80)
            continue;
        if (chars == 4000) {
            pieces.push_back(text.substr(start, k - start));
            start = k;
            chars = 0;
        }
        ++chars;
    }
    pieces.push_back(text.substr(start));
    return pieces;
}

std::optional<ObjectRow> Catalog::findObject(std::string_view name) const
{
    StoreStmt st(conn_.raw(), "SELECT id, name, trim(xtype), parent_obj FROM cat_sysobjects WHERE dbk = ? AND name = ?");
    st.bind(1, db_.dbk).bind(2, std::string(name));
    if (!st.step())
        return std::nullopt;
    return ObjectRow{st.intAt(0), st.textAt(1), st.textAt(2), st.intAt(3)};
}

std::optional<ObjectRow> Catalog::findObject(std::int64_t id) const
{
    StoreStmt st(conn_.raw(), "SELECT id, name, trim(xtype), parent_obj FROM cat_sysobjects WHERE dbk = ? AND id = ?");
    st.bind(1, db_.dbk).bind(2, id);
    if (!st.step())
        return std::nullopt;
    return ObjectRow{st.intAt(0), st.textAt(1), st.textAt(2), st.intAt(3)};
}

std::vector<ColumnRow> Catalog::columns(std::int64_t tableId) const
{
    StoreStmt st(conn_.raw(), std::string(columnSelect) + " ORDER BY colid");
    st.bind(1, db_.dbk).bind(2, tableId);
    std::vector<ColumnRow> out;
    while (st.step())
        out.push_back(readColumn(st));
    return out;
}

std::optional<ColumnRow> Catalog::findColumn(std::int64_t tableId, std::string_view name) const
{
    StoreStmt st(conn_.raw(), std::string(columnSelect) + " AND name = ?");
    st.bind(1, db_.dbk).bind(2, tableId).bind(3, std::string(name));
    if (!st.step())
        return std::nullopt;
    return readColumn(st);
}

std::optional<ObjectRow> Catalog::primaryKeyOf(std::int64_t tableId) const
{
    StoreStmt st(conn_.raw(), "SELECT id, name, trim(xtype), parent_obj FROM cat_sysobjects WHERE dbk = ? AND "
                              "parent_obj = ? AND xtype = 'PK'");
    st.bind(1, db_.dbk).bind(2, tableId);
    if (!st.step())
        return std::nullopt;
    return ObjectRow{st.intAt(0), st.textAt(1), st.textAt(2), st.intAt(3)};
}

std::vector<std::string> Catalog::primaryKeyColumns(std::int64_t tableId) const
{
    StoreStmt st(conn_.raw(), "SELECT c.name FROM cat_sysobjects o JOIN cat_sysindexes i ON i.dbk = o.dbk AND "
                              "i.id = o.parent_obj AND i.name = o.name JOIN cat_sysindexkeys k ON k.dbk = i.dbk AND "
                              "k.id = i.id AND k.indid = i.indid JOIN cat_syscolumns c ON c.dbk = k.dbk AND "
                              "c.id = k.id AND c.colid = k.colid WHERE o.dbk = ? AND o.parent_obj = ? AND "
                              "o.xtype = 'PK' ORDER BY k.keyno");
    st.bind(1, db_.dbk).bind(2, tableId);
    std::vector<std::string> out;
    while (st.step())
        out.push_back(st.textAt(0));
    return out;
}

namespace {

bool variableLength(const ColumnRow &c)
{
    return c.xtype == 167 || c.xtype == 231 || c.xtype == 165;  // varchar, nvarchar, varbinary
}

// Each kind of object that may depend on a column: the query naming them (?1 dbk, ?2 table,
// ?3 colid) and which ALTER COLUMN changes leave them valid, after the ALTER TABLE
// documentation's exceptions.
struct DependentKind {
    const char *kind;
    const char *sql;
    bool (*allowsAlter)(const ColumnRow &old, const ColumnShape &now);
};

const DependentKind dependentKinds[] = {
    {"object",
     "SELECT o.name FROM cat_sysobjects o JOIN cat_indexes i ON i.dbk = o.dbk AND i.object_id = o.parent_obj AND "
     "i.name = o.name JOIN cat_index_columns k ON k.dbk = i.dbk AND k.object_id = i.object_id AND "
     "k.index_id = i.index_id WHERE o.dbk = ?1 AND o.parent_obj = ?2 AND o.xtype = 'PK' AND k.column_id = ?3",
     [](const ColumnRow &, const ColumnShape &) { return false; }},
    // A UNIQUE constraint lets a variable-length column change its length.
    {"object",
     "SELECT o.name FROM cat_sysobjects o JOIN cat_indexes i ON i.dbk = o.dbk AND i.object_id = o.parent_obj AND "
     "i.name = o.name JOIN cat_index_columns k ON k.dbk = i.dbk AND k.object_id = i.object_id AND "
     "k.index_id = i.index_id WHERE o.dbk = ?1 AND o.parent_obj = ?2 AND o.xtype = 'UQ' AND k.column_id = ?3 "
     "ORDER BY i.index_id",
     [](const ColumnRow &old, const ColumnShape &now) {
         return variableLength(old) && now.type->xusertype == old.xusertype && now.length != -1;
     }},
    // An index (by its columns or its filter) lets a varchar, nvarchar or varbinary column grow.
    {"index",
     "SELECT i.name FROM cat_indexes i JOIN cat_syscolumns c ON c.dbk = i.dbk AND c.id = i.object_id AND "
     "c.colid = ?3 WHERE i.dbk = ?1 AND i.object_id = ?2 AND i.index_id > 0 AND i.is_primary_key = 0 AND "
     "i.is_unique_constraint = 0 AND (EXISTS (SELECT 1 FROM cat_index_columns k WHERE k.dbk = i.dbk AND "
     "k.object_id = i.object_id AND k.index_id = i.index_id AND k.column_id = ?3) OR "
     "instr(i.filter_definition, '[' || c.name || ']') > 0) ORDER BY i.index_id",
     [](const ColumnRow &old, const ColumnShape &now) {
         return variableLength(old) && now.type->xusertype == old.xusertype && now.length != -1 &&
                old.length != -1 && now.length >= old.length;
     }},
    // A default lets the column change length, precision or scale, not its type.
    {"object",
     "SELECT o.name FROM cat_sysobjects o JOIN cat_syscolumns c ON c.dbk = o.dbk AND c.cdefault = o.id "
     "WHERE o.dbk = ?1 AND c.id = ?2 AND c.colid = ?3",
     [](const ColumnRow &old, const ColumnShape &now) { return now.type->xusertype == old.xusertype; }},
    {"object",
     "SELECT o.name FROM cat_sysforeignkeys f JOIN cat_sysobjects o ON o.dbk = f.dbk AND o.id = f.constid "
     "WHERE f.dbk = ?1 AND ((f.fkeyid = ?2 AND f.fkey = ?3) OR (f.rkeyid = ?2 AND f.rkey = ?3))",
     [](const ColumnRow &, const ColumnShape &) { return false; }},
    {"object",
     "SELECT o.name FROM cat_check_columns d JOIN cat_sysobjects o ON o.dbk = d.dbk AND o.id = d.id "
     "WHERE d.dbk = ?1 AND d.tableid = ?2 AND d.colid = ?3",
     [](const ColumnRow &, const ColumnShape &) { return false; }},
};

}  // namespace

std::vector<Catalog::Dependent> Catalog::dependentsOf(std::int64_t tableId, const ColumnRow &column,
                                                      const ColumnShape *altered) const
{
    std::vector<Dependent> out;
    for (const DependentKind &kind : dependentKinds) {
        if (altered && kind.allowsAlter(column, *altered))
            continue;
        StoreStmt st(conn_.raw(), kind.sql);
        st.bind(1, db_.dbk).bind(2, tableId).bind(3, column.colid);
        while (st.step())
            out.push_back({kind.kind, st.textAt(0)});
    }
    for (std::string &name : schemaBoundDependents(*this, tableId, column.colid))
        out.push_back({"object", std::move(name)});
    return out;
}

std::int64_t Catalog::newObjectId()
{
    // Ids look like SQL Server's: large, distinct, increasing within a database.
    const std::int64_t top = conn_.scalarInt("SELECT ifnull(max(id), 0) FROM cat_sysobjects WHERE dbk = ?", {db_.dbk});
    return std::max<std::int64_t>(top, 245575913 + 16 * db_.dbid) + 16057;
}

void Catalog::insertObject(std::int64_t id, const std::string &name, const std::string &xtype, std::int64_t parent)
{
    const std::string now = nowText();
    const std::string t = padType(xtype);
    conn_.run("INSERT INTO cat_sysobjects(dbk, name, id, xtype, uid, info, status, base_schema_ver, replinfo, "
              "parent_obj, crdate, ftcatid, schema_ver, stats_schema_ver, type, userstat, sysstat, indexdel, "
              "refdate, version, deltrig, instrig, updtrig, seltrig, category, cache) "
              "VALUES(?, ?, ?, ?, 1, 0, 0, 0, 0, ?, ?, 0, 0, 0, ?, ?, ?, 0, ?, 0, 0, 0, 0, 0, 0, 0)",
              {db_.dbk, name, id, t, parent, now, t, std::int64_t{xtype == "U" ? 1 : 0},
               std::int64_t{xtype == "U" ? 3 : xtype == "V" ? 2 : xtype == "P" ? 4 : 0}, now});
}

std::int64_t Catalog::createTable(const std::string &name)
{
    const std::int64_t id = newObjectId();
    insertObject(id, name, "U", 0);
    addHeap(conn_, db_, id);
    return id;
}

void Catalog::addColumn(std::int64_t tableId, const std::string &tableName, const ColumnSpec &c)
{
    const std::int64_t colid =
        conn_.scalarInt("SELECT max(ifnull(max(colid), 0), (SELECT info FROM cat_sysobjects WHERE dbk = ?1 AND id = ?2)) "
                        "FROM cat_syscolumns WHERE dbk = ?1 AND id = ?2",
                        {db_.dbk, tableId}) + 1;
    const SystemType &t = *c.shape.type;
    const bool nullable = c.nullable.value_or(!c.identity && !c.primaryKey);
    const bool character = t.sized && !std::string_view(t.name).ends_with("binary");
    const std::int64_t status = (nullable ? 0x08 : 0) | (t.padded ? 0x10 : 0) | (c.identity ? 0x80 : 0);
    conn_.run("INSERT INTO cat_syscolumns(dbk, name, id, xtype, typestat, xusertype, length, xprec, xscale, colid, "
              "xoffset, bitpos, reserved, colstat, cdefault, domain, number, colorder, autoval, offset, collationid, "
              "language, status, type, usertype, printfmt, prec, scale, iscomputed, isoutparam, isnullable, "
              "collation, tdscollation, seed, increment) VALUES(?, ?, ?, ?, 0, ?, ?, ?, ?, ?, 0, 0, 0, 0, 0, 0, 0, 0, "
              "NULL, 0, ?, 0, ?, ?, ?, NULL, ?, ?, 0, 0, ?, ?, NULL, ?, ?)",
              {db_.dbk, c.name, tableId, std::int64_t{t.xtype}, userType(c.shape), std::int64_t{c.shape.length},
               std::int64_t{c.shape.xprec}, std::int64_t{c.shape.xscale}, colid,
               character ? Param{std::int64_t{872468488}} : Param{}, status, std::int64_t{t.xtype},
               userType(c.shape), std::int64_t{c.shape.prec},
               c.shape.scale ? Param{std::int64_t{*c.shape.scale}} : Param{}, std::int64_t{nullable ? 1 : 0},
               character ? Param{std::string("SQL_Latin1_General_CP1_CI_AS")} : Param{},
               c.identity ? Param{c.seed} : Param{}, c.identity ? Param{c.increment} : Param{}});
    conn_.run("UPDATE cat_sysobjects SET info = ? WHERE dbk = ? AND id = ?", {colid, db_.dbk, tableId});
    if (hasRowTable(conn_, db_, tableId))
        addRowColumn(conn_, db_, tableId, columnInfo(*findColumn(tableId, c.name), conn_, db_));
    if (c.defaultText) {
        auto row = findColumn(tableId, c.name);
        addDefault(tableId, tableName, *row, c.defaultName, *c.defaultText);
    }
}

void Catalog::alterColumn(std::int64_t tableId, const ColumnRow &old, const ColumnSpec &c)
{
    const SystemType &t = *c.shape.type;
    const bool nullable = c.nullable.value_or(true);
    const bool character = t.sized && !std::string_view(t.name).ends_with("binary");
    const std::int64_t status = (nullable ? 0x08 : 0) | (t.padded ? 0x10 : 0) | (old.identity ? 0x80 : 0);
    conn_.run("UPDATE cat_syscolumns SET xtype = ?, xusertype = ?, length = ?, xprec = ?, xscale = ?, collationid = ?, "
              "status = ?, type = ?, usertype = ?, prec = ?, scale = ?, isnullable = ?, collation = ? "
              "WHERE dbk = ? AND id = ? AND colid = ?",
              {std::int64_t{t.xtype}, userType(c.shape), std::int64_t{c.shape.length},
               std::int64_t{c.shape.xprec}, std::int64_t{c.shape.xscale},
               character ? Param{std::int64_t{872468488}} : Param{}, status, std::int64_t{t.xtype},
               userType(c.shape), std::int64_t{c.shape.prec},
               c.shape.scale ? Param{std::int64_t{*c.shape.scale}} : Param{}, std::int64_t{nullable ? 1 : 0},
               character ? Param{std::string("SQL_Latin1_General_CP1_CI_AS")} : Param{}, db_.dbk, tableId, old.colid});
}

void Catalog::dropColumn(std::int64_t tableId, std::int64_t colid)
{
    for (const ColumnRow &c : columns(tableId))
        if (c.colid == colid) dropRowColumn(conn_, db_, tableId, c.name);
    conn_.run("DELETE FROM cat_syscolumns WHERE dbk = ? AND id = ? AND colid = ?", {db_.dbk, tableId, colid});
    conn_.run("DELETE FROM cat_extended_properties WHERE dbk = ? AND major_id = ? AND minor_id = ?",
              {db_.dbk, tableId, colid});
}

std::string Catalog::addDefault(std::int64_t tableId, const std::string &tableName, const ColumnRow &column,
                                const std::string &name, const std::string &text)
{
    const std::int64_t id = newObjectId();
    const std::string actual = name.empty() ? "DF__" + prefixChars(tableName, 9) + "__" + prefixChars(column.name, 5) +
                                                  "__" + hex(static_cast<std::uint64_t>(id), 8)
                                            : name;
    insertObject(id, actual, "D", tableId);
    conn_.run("UPDATE cat_sysobjects SET info = ? WHERE dbk = ? AND id = ?", {column.colid, db_.dbk, id});
    conn_.run("INSERT INTO cat_syscomments VALUES(?, ?, 0, 1, 0, NULL, 2, 0, 0, 0, ?)", {db_.dbk, id, text});
    conn_.run("UPDATE cat_syscolumns SET cdefault = ? WHERE dbk = ? AND id = ? AND colid = ?",
              {id, db_.dbk, tableId, column.colid});
    return actual;
}

std::string Catalog::addPrimaryKey(std::int64_t tableId, const std::string &tableName, const PrimaryKeySpec &pk)
{
    const std::int64_t id = newObjectId();
    const std::string actual = pk.name.empty() ? std::string(pk.unique ? "UQ__" : "PK__") + prefixChars(tableName, 8) +
                                                     "__" + hex(static_cast<std::uint64_t>(id) * 0x9E3779B1u, 8) +
                                                     hex(static_cast<std::uint64_t>(id), 8)
                                               : pk.name;
    insertObject(id, actual, pk.unique ? "UQ" : "PK", tableId);
    IndexRecord index;
    index.name = actual;
    index.clustered = pk.clustered;
    index.unique = true;
    index.primaryKey = !pk.unique;
    index.uniqueConstraint = pk.unique;
    index.systemNamed = pk.name.empty();
    index.options = pk.options;
    for (std::size_t k = 0; k < pk.columns.size(); ++k) {
        auto c = findColumn(tableId, pk.columns[k]);
        index.keys.emplace_back(c->colid, k < pk.descending.size() && pk.descending[k]);
        // Primary key columns are NOT NULL.
        if (!pk.unique)
            conn_.run("UPDATE cat_syscolumns SET isnullable = 0, status = status & ~8 WHERE dbk = ? AND id = ? AND "
                      "colid = ?",
                      {db_.dbk, tableId, c->colid});
    }
    writeIndex(conn_, db_, tableId, index);
    return actual;
}

std::string Catalog::addForeignKey(std::int64_t tableId, const std::string &tableName, const ForeignKeySpec &fk)
{
    const auto ref = findObject(fk.refTable);
    const std::int64_t id = newObjectId();
    const std::string actual = fk.name.empty() ? "FK__" + prefixChars(tableName, 9) + "__" +
                                                     prefixChars(fk.columns.front(), 5) + "__" +
                                                     hex(static_cast<std::uint64_t>(id), 8)
                                               : fk.name;
    insertObject(id, actual, "F", tableId);
    std::vector<std::string> refColumns = fk.refColumns.empty() ? primaryKeyColumns(ref->id) : fk.refColumns;
    for (std::size_t k = 0; k < fk.columns.size(); ++k) {
        auto c = findColumn(tableId, fk.columns[k]);
        auto r = findColumn(ref->id, refColumns[k]);
        conn_.run("INSERT INTO cat_sysforeignkeys VALUES(?, ?, ?, ?, ?, ?, ?)",
                  {db_.dbk, id, tableId, ref->id, c->colid, r->colid, static_cast<std::int64_t>(k + 1)});
    }
    return actual;
}

void Catalog::dropConstraint(const ObjectRow &c)
{
    if (c.xtype == "PK" || c.xtype == "UQ") {
        for (const IndexRow &ix : tableIndexes(conn_, db_, c.parent))
            if (iequals(ix.name, c.name)) removeIndex(conn_, db_, c.parent, ix.indid);
        // A store table cannot lose an index while one of its statements is still open.
        if (c.xtype == "PK") dropKeyIndex(conn_, db_, c.parent);
    } else if (c.xtype == "D") {
        conn_.run("UPDATE cat_syscolumns SET cdefault = 0 WHERE dbk = ? AND cdefault = ?", {db_.dbk, c.id});
        conn_.run("DELETE FROM cat_syscomments WHERE dbk = ? AND id = ?", {db_.dbk, c.id});
    } else if (c.xtype == "F") {
        conn_.run("DELETE FROM cat_sysforeignkeys WHERE dbk = ? AND constid = ?", {db_.dbk, c.id});
    }
    conn_.run("DELETE FROM cat_extended_properties WHERE dbk = ? AND major_id = ?", {db_.dbk, c.id});
    conn_.run("DELETE FROM cat_sysobjects WHERE dbk = ? AND id = ?", {db_.dbk, c.id});
}

void Catalog::dropTable(const ObjectRow &table)
{
    StoreStmt st(conn_.raw(), "SELECT id, name, trim(xtype), parent_obj FROM cat_sysobjects WHERE dbk = ? AND parent_obj = ?");
    st.bind(1, db_.dbk).bind(2, table.id);
    std::vector<ObjectRow> constraints;
    while (st.step())
        constraints.push_back({st.intAt(0), st.textAt(1), st.textAt(2), st.intAt(3)});
    for (const ObjectRow &c : constraints)
        c.xtype == "TR" ? dropObject(c) : dropConstraint(c);
    removeTableIndexes(conn_, db_, table.id);
    for (const char *sql : {"DELETE FROM cat_syscolumns WHERE dbk = ? AND id = ?",
                            "DELETE FROM cat_extended_properties WHERE dbk = ? AND major_id = ?",
                            "DELETE FROM cat_sysobjects WHERE dbk = ? AND id = ?"})
        conn_.run(sql, {db_.dbk, table.id});
    dropRowTable(conn_, db_, table.id);
}

void Catalog::createModule(const std::string &name, const std::string &xtype, const std::string &text)
{
    const std::int64_t id = newObjectId();
    insertObject(id, name, xtype, 0);
    conn_.run("INSERT INTO cat_sql_modules VALUES(?, ?, ?, 1, 1, 0, 1, 0, 0, NULL)", {db_.dbk, id, text});
    std::int64_t colid = 1;
    for (const std::string &piece : splitComments(text))
        conn_.run("INSERT INTO cat_syscomments VALUES(?, ?, ?, ?, 0, NULL, 2, 0, 0, 0, ?)",
                  {db_.dbk, id, std::int64_t{xtype == "P" ? 1 : 0}, colid++, piece});
}

void Catalog::replaceModule(const ObjectRow &object, const std::string &text)
{
    conn_.run("DELETE FROM cat_syscomments WHERE dbk = ? AND id = ?", {db_.dbk, object.id});
    conn_.run("UPDATE cat_sql_modules SET definition = ? WHERE dbk = ? AND object_id = ?", {text, db_.dbk, object.id});
    std::int64_t colid = 1;
    for (const std::string &piece : splitComments(text))
        conn_.run("INSERT INTO cat_syscomments VALUES(?, ?, ?, ?, 0, NULL, 2, 0, 0, 0, ?)",
                  {db_.dbk, object.id, std::int64_t{object.xtype == "P" ? 1 : 0}, colid++, piece});
    conn_.run("UPDATE cat_sysobjects SET refdate = ?, schema_ver = schema_ver + 16 WHERE dbk = ? AND id = ?",
              {nowText(), db_.dbk, object.id});
}

void Catalog::dropObject(const ObjectRow &object)
{
    forgetModule(conn_, db_.dbk, object.id);
    for (const char *sql : {"DELETE FROM cat_syscomments WHERE dbk = ? AND id = ?",
                            "DELETE FROM cat_sql_modules WHERE dbk = ? AND object_id = ?",
                            "DELETE FROM cat_extended_properties WHERE dbk = ? AND major_id = ?",
                            "DELETE FROM cat_sysobjects WHERE dbk = ? AND id = ?"})
        conn_.run(sql, {db_.dbk, object.id});
}

void Catalog::markSystem(const ObjectRow &object)
{
    // Objects shipped with the server carry the top bit of status: a negative int.
    conn_.run("UPDATE cat_sysobjects SET status = status | -2147483648 WHERE dbk = ? AND id = ?", {db_.dbk, object.id});
}

bool Catalog::hasProperty(std::int64_t major, std::int64_t minor, const std::string &name) const
{
    return conn_.scalarInt("SELECT count(*) FROM cat_extended_properties WHERE dbk = ? AND major_id = ? AND "
                           "minor_id = ? AND name = ?",
                           {db_.dbk, major, minor, name}) > 0;
}

void Catalog::setProperty(std::int64_t major, std::int64_t minor, const std::string &name, const Param &value, bool add)
{
    if (add)
        conn_.run("INSERT INTO cat_extended_properties VALUES(?, 1, 'OBJECT_OR_COLUMN', ?, ?, ?, ?)",
                  {db_.dbk, major, minor, name, value});
    else
        conn_.run("UPDATE cat_extended_properties SET value = ? WHERE dbk = ? AND major_id = ? AND minor_id = ? AND "
                  "name = ?",
                  {value, db_.dbk, major, minor, name});
}

void Catalog::dropProperty(std::int64_t major, std::int64_t minor, const std::string &name)
{
    conn_.run("DELETE FROM cat_extended_properties WHERE dbk = ? AND major_id = ? AND minor_id = ? AND name = ?",
              {db_.dbk, major, minor, name});
}

ObjectName readObjectName(const std::vector<Token> &t, std::size_t &i)
{
    std::vector<std::string> parts{readName(t, i)};
    while (t[i].is(Tok::Dot)) {
        ++i;
        if (t[i].is(Tok::Dot)) {
            parts.push_back("");
            continue;
        }
        parts.push_back(readName(t, i));
    }
    if (parts.size() > 3)
        notSupported("A server name in a DDL statement");
    ObjectName n;
    n.name = parts.back();
    if (parts.size() >= 2) n.schema = parts[parts.size() - 2];
    if (parts.size() == 3) n.database = parts[0];
    if (!n.schema.empty() && !iequals(n.schema, "dbo"))
        throw SqlError(2760, "The specified schema name \"" + n.schema +
                                 "\" either does not exist or you do not have permission to use it.", 16);
    return n;
}

Database resolveDdlDatabase(Exec &x, const ObjectName &name)
{
    const std::string db = name.database.empty() ? x.session.currentDatabase() : name.database;
    auto found = x.session.instance().findDatabase(db);
    if (!found)
        throw SqlError(911, "Database '" + db + "' does not exist. Make sure that the name is entered correctly.", 16);
    return *found;
}

}  // namespace sqlsim
