// CREATE / ALTER / DROP of tables, views and procedures.
#include "sim/engine/types/AliasTypes.h"
#include "sim/engine/catalog/Catalog.h"
#include "sim/engine/catalog/Indexes.h"
#include "sim/engine/constraints/Constraints.h"
#include "sim/engine/rows/Dml.h"
#include "sim/engine/catalog/Procedures.h"
#include "sim/engine/modules/Modules.h"
#include "sim/engine/query/Translate.h"

#include <cctype>
#include <set>

namespace sqlsim {

namespace {

SqlError couldNotCreate()
{
    return SqlError(1750, "Could not create constraint or index. See previous errors.", 16);
}

bool isModuleKind(const Token &t)
{
    return t.kw("view") || t.kw("proc") || t.kw("procedure");
}

std::string writtenName(const ObjectName &n)
{
    return n.schema.empty() ? n.name : n.schema + "." + n.name;
}

std::string kindName(const std::string &xtype)
{
    if (xtype == "U") return "table";
    if (xtype == "V") return "view";
    if (xtype == "P") return "procedure";
    if (xtype == "TR") return "trigger";
    if (xtype == "FN" || xtype == "IF" || xtype == "TF") return "function";
    return "object";
}

std::string upperCase(std::string s)
{
    for (char &c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool isRoutine(const std::string &xtype)
{
    return kindName(xtype) == "function" || xtype == "TR";
}

// Validates and adds one table constraint (primary key, unique or foreign key) in the store.
void addPrimaryKey(Exec &x, Catalog &cat, std::int64_t tableId, const std::string &table, PrimaryKeySpec pk)
{
    if (!pk.unique && cat.primaryKeyOf(tableId))
        failPair(x, SqlError(1779, "Table '" + table + "' already has a primary key defined on it.", 16), couldNotCreate());
    if (!pk.name.empty() && cat.findObject(pk.name))
        failPair(x, SqlError(2714, "There is already an object named '" + pk.name + "' in the database.", 16),
                 couldNotCreate());
    for (const std::string &col : pk.columns) {
        auto c = cat.findColumn(tableId, col);
        if (!c)
            failPair(x, SqlError(1911, "Column name '" + col + "' does not exist in the target table or view.", 16),
                     couldNotCreate());
        if (!pk.unique && c->nullable && x.stmt.tokens.front().kw("alter"))
            failPair(x, SqlError(8111, "Cannot define PRIMARY KEY constraint on nullable column in table '" + table + "'.", 16),
                     couldNotCreate());
    }
    checkKeyIndex(x, cat, tableId, table, pk);
    const std::string actual = cat.addPrimaryKey(tableId, table, pk);
    // GROUP BY takes NULLs as equal, as a unique index does.
    if (auto dup = duplicateKey(cat.store(), cat.database(), tableId, pk.columns))
        failPair(x, SqlError(1505, "The CREATE UNIQUE INDEX statement terminated because a duplicate key was found "
                                   "for the object name 'dbo." + table + "' and the index name '" + actual +
                                   "'. The duplicate key value is " + *dup + ".", 16),
                 couldNotCreate().statementTerminated());
    if (!pk.unique) createKeyIndex(cat.store(), cat.database(), tableId, pk.columns);
}

struct TableConstraint {
    std::optional<PrimaryKeySpec> pk;
    std::optional<ForeignKeySpec> fk;
    std::optional<CheckSpec> check;
    std::optional<std::pair<std::string, std::string>> defaultFor;  // column, text
    std::string name;
};

// [CONSTRAINT name] PRIMARY KEY (..) | FOREIGN KEY (..) REFERENCES .. | DEFAULT e FOR col
TableConstraint readTableConstraint(const std::vector<Token> &t, std::size_t &i, bool allowDefault)
{
    TableConstraint c;
    if (t[i].kw("constraint")) {
        ++i;
        c.name = readName(t, i);
        checkIdentifier(c.name);
    }
    if ((t[i].kw("primary") && t[i + 1].kw("key")) || t[i].kw("unique")) {
        PrimaryKeySpec pk;
        pk.unique = t[i].kw("unique");
        pk.clustered = !pk.unique;
        i += pk.unique ? 1 : 2;
        pk.name = c.name;
        if (t[i].kw("clustered") || t[i].kw("nonclustered")) {
            pk.clustered = t[i].kw("clustered");
            pk.clusterWritten = true;
            ++i;
        }
        readKeyColumns(t, i, pk);
        readStorage(t, i, &pk.options, false);
        c.pk = pk;
    } else if (t[i].kw("foreign") && t[i + 1].kw("key")) {
        i += 2;
        std::vector<std::string> cols = readNameList(t, i);
        if (!t[i].kw("references"))
            syntaxError(t[i]);
        ForeignKeySpec fk = readReferences(t, i);
        fk.name = c.name;
        fk.columns = cols;
        c.fk = fk;
    } else if (allowDefault && t[i].kw("default")) {
        const std::size_t b = ++i;
        i = skipExpression(t, i);
        if (i == b || !t[i].kw("for"))
            syntaxError(t[i]);
        const std::string text = normaliseDefault(t, b, i);
        ++i;
        c.defaultFor = std::make_pair(readName(t, i), text);
        if (t[i].kw("with") && t[i + 1].kw("values")) i += 2;
    } else if (t[i].kw("check")) {
        c.check = readCheck(t, i, c.name);
    } else {
        syntaxError(t[i]);
    }
    return c;
}

void applyConstraint(Exec &x, Catalog &cat, std::int64_t tableId, const std::string &table, const TableConstraint &c)
{
    if (c.pk) addPrimaryKey(x, cat, tableId, table, *c.pk);
    if (c.fk) addForeignKeyConstraint(x, cat, tableId, table, *c.fk);
    if (c.check) addCheckConstraint(x, cat, {tableId, table, "U", 0}, *c.check);
    if (c.defaultFor) {
        auto col = cat.findColumn(tableId, c.defaultFor->first);
        if (!col)
            failPair(x, SqlError(1752, "Column '" + c.defaultFor->first + "' in table '" + table +
                                           "' is invalid for creating a default constraint.", 16),
                     couldNotCreate());
        if (col->cdefault != 0)
            failPair(x, SqlError(1781, "Column already has a DEFAULT bound to it.", 16), couldNotCreate());
        if (!c.name.empty() && cat.findObject(c.name))
            failPair(x, SqlError(2714, "There is already an object named '" + c.name + "' in the database.", 16),
                     couldNotCreate());
        cat.addDefault(tableId, table, *col, c.name, c.defaultFor->second);
    }
}

void addColumnForeignKeys(Exec &x, Catalog &cat, std::int64_t tableId, const std::string &table,
                          const std::vector<ColumnSpec> &cols)
{
    for (const ColumnSpec &c : cols)
        if (c.foreignKey) addForeignKeyConstraint(x, cat, tableId, table, *c.foreignKey);
}

void addColumnChecks(Exec &x, Catalog &cat, std::int64_t tableId, const std::string &table,
                     const std::vector<ColumnSpec> &cols)
{
    for (const ColumnSpec &c : cols)
        for (const CheckSpec &check : c.checks) addCheckConstraint(x, cat, {tableId, table, "U", 0}, check);
}

void addColumns(Exec &x, Catalog &cat, std::int64_t tableId, const std::string &table, const std::vector<ColumnSpec> &cols,
                bool deferForeignKeys = false)
{
    std::set<std::string> seen;
    bool identity = false;
    for (const ColumnRow &c : cat.columns(tableId)) {
        seen.insert(lower(c.name));
        identity = identity || c.identity;
    }
    int primaryKeys = cat.primaryKeyOf(tableId) ? 1 : 0;
    for (const ColumnSpec &c : cols) {
        if (!seen.insert(lower(c.name)).second)
            throw SqlError(2705, "Column names in each table must be unique. Column name '" + c.name + "' in table '" +
                                     table + "' is specified more than once.", 16);
        if (c.identity && identity)
            throw SqlError(2744, "Multiple identity columns specified for table '" + table +
                                     "'. Only one identity column per table is allowed.", 16);
        identity = identity || c.identity;
        if (c.primaryKey && ++primaryKeys > 1)
            failPair(x, SqlError(8110, "Cannot add multiple PRIMARY KEY constraints to table '" + table + "'.", 16),
                     couldNotCreate());
        if (c.primaryKey && c.nullable.value_or(false))
            failPair(x, SqlError(8111, "Cannot define PRIMARY KEY constraint on nullable column in table '" + table + "'.", 16),
                     couldNotCreate());
        if (!c.defaultName.empty() && cat.findObject(c.defaultName))
            failPair(x, SqlError(2714, "There is already an object named '" + c.defaultName + "' in the database.", 16),
                     couldNotCreate());
        cat.addColumn(tableId, table, c);
    }
    // Keys before references, so that a table may reference its own key.
    for (const ColumnSpec &c : cols)
        if (c.primaryKey) addPrimaryKey(x, cat, tableId, table, *c.primaryKey);
    for (const ColumnSpec &c : cols)
        if (c.uniqueKey) addPrimaryKey(x, cat, tableId, table, *c.uniqueKey);
    if (!deferForeignKeys)
        addColumnForeignKeys(x, cat, tableId, table, cols);
}

// SQL Server names each key or default that depends on the column (5074), then fails the
// statement (4922).
void failIfDependents(Exec &x, const std::vector<Catalog::Dependent> &deps, const std::string &column,
                      const char *action)
{
    if (deps.empty())
        return;
    const auto dependent = [&](const Catalog::Dependent &d) {
        return "The " + d.kind + " '" + d.name + "' is dependent on column '" + column + "'.";
    };
    for (std::size_t k = 0; k + 1 < deps.size(); ++k) {
        Message m;
        m.number = 5074;
        m.text = dependent(deps[k]);
        m.line = x.stmt.line;
        x.sink.message(m);
    }
    failPair(x, SqlError(5074, dependent(deps.back()), 16),
             SqlError(4922, std::string("ALTER TABLE ") + action + " " + column +
                                " failed because one or more objects access this column.", 16));
}

// ADD of a column on a table that may hold rows: a NOT NULL column needs a default or an
// identity; existing rows get the default (when NOT NULL or WITH VALUES) or the next identity values.
void addColumnToRows(Exec &x, Catalog &cat, const ObjectRow &table, ColumnSpec spec)
{
    StoreConn &store = cat.store();
    const Database &db = cat.database();
    const std::int64_t rows = rowCount(store, db, table.id);
    const bool nullable = spec.nullable.value_or(!spec.identity && !spec.primaryKey);
    if (rows > 0 && !nullable && !spec.defaultText && !spec.identity)
        throw SqlError(4901, "ALTER TABLE only allows columns to be added that can contain nulls, or have a DEFAULT "
                             "definition specified, or the column being added is an identity or timestamp column, or "
                             "alternatively if none of the previous conditions are satisfied the table must be empty "
                             "to allow addition of this column. Column '" + spec.name + "' cannot be added to "
                             "non-empty table '" + table.name + "' because it does not satisfy these conditions.", 16);
    // The key comes once the rows have their values.
    std::optional<PrimaryKeySpec> key = spec.primaryKey, unique = spec.uniqueKey;
    if (key && !spec.nullable) spec.nullable = false;
    spec.primaryKey.reset();
    spec.uniqueKey.reset();
    addColumns(x, cat, table.id, table.name, {spec});
    if (rows > 0) {
        const ColumnInfo info = columnInfo(*cat.findColumn(table.id, spec.name), store, db);
        const std::string target = rowTable(db, table.id);
        if (spec.identity) {
            std::int64_t next = spec.seed;
            StoreStmt set(store.raw(), "UPDATE " + target + " SET " + quoteIdent(spec.name) + " = ? WHERE \"$r\" = ?");
            for (const auto &[rowid, value] : columnValues(store, db, table.id, spec.name)) {
                (void)value;
                set.bind(1, next).bind(2, rowid);
                set.step();
                set.reset();
                next += spec.increment;
            }
            setIdentityCurrent(store, db, table.id, next - spec.increment);
        } else if (spec.defaultText && (!nullable || spec.withValues)) {
            try {
                const Param value = toColumn(defaultValue(x, info), info, {qualifiedTable(db, table.name), "ALTER TABLE"});
                store.run("UPDATE " + target + " SET " + quoteIdent(spec.name) + " = ?", {value});
            } catch (SqlError &e) {
                throw classify(e);
            }
        }
    }
    if (key) addPrimaryKey(x, cat, table.id, table.name, *key);
    if (unique) addPrimaryKey(x, cat, table.id, table.name, *unique);
    addColumnChecks(x, cat, table.id, table.name, {spec});
}

// ALTER COLUMN converts every value as SQL Server converts it, or fails and changes nothing.
void alterColumnRows(Exec &x, Catalog &cat, const ObjectRow &table, const ColumnRow &old, const ColumnSpec &altered)
{
    StoreConn &store = cat.store();
    const Database &db = cat.database();
    const ColumnInfo before = columnInfo(old, store, db);
    cat.alterColumn(table.id, old, altered);
    const ColumnInfo after = columnInfo(*cat.findColumn(table.id, old.name), store, db);
    const ConvertSite site{qualifiedTable(db, table.name), "UPDATE"};
    std::vector<std::pair<std::int64_t, Param>> converted;
    try {
        for (const auto &[rowid, value] : columnValues(store, db, table.id, old.name)) {
            converted.emplace_back(rowid, toColumn(storedValue(value, before), after, site));
            if (x.sink.cancelled()) throw Cancelled{};
        }
    } catch (SqlError &e) {
        throw classify(e);
    }
    replaceRowColumn(store, db, table.id, old.name, after, converted);
}

void createTable(Exec &x)
{
    const auto &t = x.stmt.tokens;
    std::size_t i = 2;
    const ObjectName name = readObjectName(t, i);
    checkIdentifier(name.name);
    if (name.name[0] == '#')
        notSupported("A temporary table");
    const Database db = resolveDdlDatabase(x, name);
    AliasTypeScope aliasTypes(x.session.store(), db);  // column types may name its alias types
    if (!t[i].is(Tok::LParen))
        syntaxError(t[i]);
    ++i;
    std::vector<ColumnSpec> columns;
    std::vector<TableConstraint> constraints;
    while (true) {
        if (t[i].kw("constraint") || (t[i].kw("primary") && t[i + 1].kw("key")) ||
            (t[i].kw("foreign") && t[i + 1].kw("key")) || t[i].kw("unique") || t[i].kw("check"))
            constraints.push_back(readTableConstraint(t, i, false));
        else
            columns.push_back(readColumnSpec(t, i, static_cast<int>(columns.size()) + 1));
        if (t[i].is(Tok::Comma)) {
            ++i;
            if (t[i].is(Tok::RParen)) break;  // SQL Server accepts a trailing comma
            continue;
        }
        if (!t[i].is(Tok::RParen))
            syntaxError(t[i]);
        break;
    }
    ++i;
    readStorage(t, i, nullptr, true);
    if (!t[i].is(Tok::End))
        syntaxError(t[i]);
    if (columns.empty())
        syntaxError(t[i - 1]);
    std::vector<PrimaryKeySpec *> keys;
    for (TableConstraint &c : constraints)
        if (c.pk) keys.push_back(&*c.pk);
    for (ColumnSpec &col : columns)
        for (auto *key : {&col.primaryKey, &col.uniqueKey})
            if (*key) keys.push_back(&**key);
    unclusterKeys(keys);
    // Key columns declared without NULL are NOT NULL.
    for (const TableConstraint &c : constraints)
        if (c.pk && !c.pk->unique)
            for (ColumnSpec &col : columns)
                for (const std::string &k : c.pk->columns)
                    if (iequals(k, col.name) && !col.nullable)
                        col.nullable = false;
    StoreConn &store = x.session.store();
    StoreTxn txn(store);
    Catalog cat(store, db);
    if (cat.findObject(name.name))
        throw SqlError(2714, "There is already an object named '" + name.name + "' in the database.", 16);
    const std::int64_t id = cat.createTable(name.name);
    addColumns(x, cat, id, name.name, columns, true);
    for (const TableConstraint &c : constraints)
        if (c.pk) applyConstraint(x, cat, id, name.name, c);
    addColumnForeignKeys(x, cat, id, name.name, columns);
    addColumnChecks(x, cat, id, name.name, columns);
    for (const TableConstraint &c : constraints)
        if (!c.pk) applyConstraint(x, cat, id, name.name, c);
    txn.commit();
    x.done();
}

// ALTER TABLE t ADD ... | ALTER COLUMN ... | DROP COLUMN ... | DROP [CONSTRAINT] ...
void alterTable(Exec &x)
{
    const auto &t = x.stmt.tokens;
    std::size_t i = 2;
    const ObjectName name = readObjectName(t, i);
    const Database db = resolveDdlDatabase(x, name);
    AliasTypeScope aliasTypes(x.session.store(), db);  // column types may name its alias types
    StoreConn &store = x.session.store();
    StoreTxn txn(store);
    Catalog cat(store, db);
    auto table = cat.findObject(name.name);
    if (!table || table->xtype != "U")
        throw SqlError(4902, "Cannot find the object \"" + name.name +
                                 "\" because it does not exist or you do not have permissions.", 16);
    const bool withCheck = t[i].kw("with") && t[i + 1].kw("check");
    const bool noCheck = t[i].kw("with") && t[i + 1].kw("nocheck");
    if (withCheck || noCheck)
        i += 2;
    if ((t[i].kw("check") || t[i].kw("nocheck")) && t[i + 1].kw("constraint")) {
        switchConstraints(x, cat, *table, i, withCheck);
        txn.commit();
        x.done();
        return;
    }
    if (t[i].kw("add")) {
        ++i;
        if (t[i].kw("column")) ++i;
        while (true) {
            if (t[i].kw("constraint") || (t[i].kw("primary") && t[i + 1].kw("key")) ||
                (t[i].kw("foreign") && t[i + 1].kw("key")) || t[i].kw("unique") || t[i].kw("check") ||
                t[i].kw("default")) {
                TableConstraint c = readTableConstraint(t, i, true);
                if (c.fk) c.fk->checkRows = !noCheck;
                if (c.check) c.check->checkRows = !noCheck;
                applyConstraint(x, cat, table->id, table->name, c);
            } else {
                const int number = static_cast<int>(cat.columns(table->id).size()) + 1;
                addColumnToRows(x, cat, *table, readColumnSpec(t, i, number));
            }
            if (!t[i].is(Tok::Comma)) break;
            ++i;
        }
    } else if ((t[i].kw("enable") || t[i].kw("disable")) && t[i + 1].kw("trigger")) {
        alterTableTriggers(x, cat, *table, i);
    } else if (t[i].kw("alter") && t[i + 1].kw("column")) {
        i += 2;
        const std::string colName = readName(t, i);
        auto old = cat.findColumn(table->id, colName);
        if (!old)
            throw SqlError(4924, "ALTER TABLE ALTER COLUMN failed because column '" + colName +
                                     "' does not exist in table '" + table->name + "'.", 16);
        ColumnSpec altered;
        altered.name = old->name;
        altered.shape = readColumnType(t, i, 1, colName);
        while (!t[i].is(Tok::End)) {
            if (t[i].kw("not") && t[i + 1].kw("null")) { altered.nullable = false; i += 2; }
            else if (t[i].kw("null")) { altered.nullable = true; ++i; }
            else if (t[i].kw("collate") && t[i + 1].isName()) i += 2;
            else syntaxError(t[i]);
        }
        failIfDependents(x, cat.dependentsOf(table->id, *old, &altered.shape), old->name, "ALTER COLUMN");
        alterColumnRows(x, cat, *table, *old, altered);
    } else if (t[i].kw("drop")) {
        ++i;
        const bool columns = t[i].kw("column");
        if (columns || t[i].kw("constraint")) ++i;
        while (true) {
            const std::string item = readName(t, i);
            if (columns) {
                auto col = cat.findColumn(table->id, item);
                if (!col)
                    throw SqlError(4924, "ALTER TABLE DROP COLUMN failed because column '" + item +
                                             "' does not exist in table '" + table->name + "'.", 16);
                failIfDependents(x, cat.dependentsOf(table->id, *col), col->name, "DROP COLUMN");
                if (cat.columns(table->id).size() == 1)
                    throw SqlError(4923, "ALTER TABLE DROP COLUMN failed because '" + col->name +
                                             "' is the only data column in table '" + table->name +
                                             "'. A table must have at least one data column.", 16);
                cat.dropColumn(table->id, col->colid);
            } else {
                auto c = cat.findObject(item);
                if (!c || c->parent != table->id || c->xtype == "U")
                    failPair(x, SqlError(3728, "'" + item + "' is not a constraint.", 16),
                             SqlError(3727, "Could not drop constraint. See previous errors.", 16));
                if (c->xtype == "PK" || c->xtype == "UQ") {
                    const std::int64_t index = store.scalarInt("SELECT ifnull(max(index_id), 0) FROM cat_indexes WHERE "
                                                               "dbk = ? AND object_id = ? AND name = ?",
                                                               {db.dbk, table->id, c->name});
                    if (const auto by = keyReferencedBy(cat, table->id, index))
                        failPair(x, SqlError(3725, "The constraint '" + c->name + "' is being referenced by table '" +
                                                       by->second + "', foreign key constraint '" + by->first + "'.", 16),
                                 SqlError(3727, "Could not drop constraint. See previous errors.", 16));
                }
                cat.dropConstraint(*c);
            }
            if (!t[i].is(Tok::Comma)) break;
            ++i;
            if (t[i].kw("column") || t[i].kw("constraint")) notSupported("Dropping columns and constraints together");
        }
    } else {
        syntaxError(t[i]);
    }
    if (!t[i].is(Tok::End))
        syntaxError(t[i]);
    txn.commit();
    x.done();
}

// CREATE/ALTER VIEW|PROC: the whole batch is the definition.
void createOrAlterModule(Exec &x, bool alter)
{
    const auto &t = x.stmt.tokens;
    const std::string kind = lower(t[1].text) == "view" ? "VIEW" : "PROCEDURE";
    if (x.index != 0)
        throw SqlError(111, "'" + std::string(alter ? "ALTER " : "CREATE ") + kind +
                                "' must be the first statement in a query batch.", 15);
    std::size_t i = 2;
    const ObjectName name = readObjectName(t, i);
    if (!name.database.empty())
        throw SqlError(166, "'" + std::string(alter ? "ALTER " : "CREATE ") + kind +
                                "' does not allow specifying the database name as a prefix to the object name.", 15);
    checkIdentifier(name.name);
    bool hasAs = false;
    for (std::size_t k = i; !t[k].is(Tok::End); ++k)
        if (t[k].kw("as")) { hasAs = true; break; }
    if (!hasAs)
        syntaxError(t[i]);
    std::string text(x.batchText);
    if (alter)
        text.replace(t[0].begin, t[0].end - t[0].begin, "CREATE");
    const std::string xtype = kind == "VIEW" ? "V" : "P";
    const Database db = resolveDdlDatabase(x, name);
    StoreConn &store = x.session.store();
    StoreTxn txn(store);
    Catalog cat(store, db);
    auto existing = cat.findObject(name.name);
    if (!alter) {
        if (existing)
            throw SqlError(2714, "There is already an object named '" + name.name + "' in the database.", 16);
        bindModule(x, cat, name.name, xtype);
        cat.createModule(name.name, xtype, text);
    } else {
        if (!existing || existing->xtype != xtype)
            throw SqlError(208, "Invalid object name '" + name.name + "'.", 16);
        bindModule(x, cat, name.name, xtype);
        cat.replaceModule(*existing, text);
    }
    recordModule(x, cat, name.name);
    txn.commit();
    x.done();
}

// DROP TABLE|VIEW|PROC name [, name]: each name fails or succeeds on its own.
void dropObjects(Exec &x)
{
    const auto &t = x.stmt.tokens;
    const std::string kind = t[1].kw("table") ? "U" : t[1].kw("view") ? "V" : "P";
    std::size_t i = 2;
    bool ifExists = false;
    if (t[i].kw("if") && t[i + 1].kw("exists")) {
        ifExists = true;
        i += 2;
    }
    bool failed = false;
    while (true) {
        const ObjectName name = readObjectName(t, i);
        const std::string noun = kindName(kind);
        try {
            const Database db = resolveDdlDatabase(x, name);
            StoreConn &store = x.session.store();
            StoreTxn txn(store);
            Catalog cat(store, db);
            auto obj = cat.findObject(name.name);
            if (!obj || (obj->xtype != "U" && obj->xtype != "V" && obj->xtype != "P" && !isRoutine(obj->xtype))) {
                if (!ifExists)
                    throw SqlError(3701, "Cannot drop the " + noun + " '" + name.name +
                                             "', because it does not exist or you do not have permission.", 11);
            } else if (obj->xtype != kind) {
                const std::string upperNoun = kind == "U" ? "TABLE" : kind == "V" ? "VIEW" : "PROCEDURE";
                const std::string other = kindName(obj->xtype);
                throw SqlError(3705, "Cannot use DROP " + upperNoun + " with '" + name.name + "' because '" + name.name +
                                         "' is a " + other + ". Use DROP " + upperCase(other) + ".", 16);
            } else if (kind == "U") {
                if (store.scalarInt("SELECT count(*) FROM cat_sysforeignkeys WHERE dbk = ? AND rkeyid = ? AND "
                                    "fkeyid <> rkeyid", {db.dbk, obj->id}) > 0)
                    throw SqlError(3726, "Could not drop object '" + name.name +
                                             "' because it is referenced by a FOREIGN KEY constraint.", 16);
                failIfReferenced(cat, *obj, "DROP TABLE", writtenName(name));
                cat.dropTable(*obj);
            } else {
                failIfReferenced(cat, *obj, kind == "V" ? "DROP VIEW" : "DROP PROCEDURE", writtenName(name));
                cat.dropObject(*obj);
            }
            txn.commit();
        } catch (const SqlError &e) {
            Message m;
            m.number = e.number;
            m.severity = e.severity;
            m.text = e.what();
            m.line = x.stmt.line;
            x.sink.message(m);
            failed = true;
        }
        if (!t[i].is(Tok::Comma)) break;
        ++i;
    }
    if (!t[i].is(Tok::End))
        syntaxError(t[i]);
    x.sink.statementDone(std::nullopt, failed);
}

}  // namespace

void execCreate(Exec &x)
{
    const Token &what = x.stmt.tokens[1];
    if (what.kw("database")) return execCreateDatabase(x);
    if (what.kw("table")) return createTable(x);
    if (isCreateIndex(x.stmt.tokens)) return execCreateIndex(x);
    if (isModuleKind(what)) return createOrAlterModule(x, false);
    if (isRoutineKind(what)) return createOrAlterRoutine(x, false);
    if (what.kw("type")) return createAliasType(x);
    notSupported("CREATE " + what.text);
}

void execAlter(Exec &x)
{
    const Token &what = x.stmt.tokens[1];
    if (what.kw("table")) return alterTable(x);
    if (isModuleKind(what)) return createOrAlterModule(x, true);
    if (isRoutineKind(what)) return createOrAlterRoutine(x, true);
    notSupported("ALTER " + what.text);
}

void execDrop(Exec &x)
{
    const Token &what = x.stmt.tokens[1];
    if (what.kw("database")) return execDropDatabase(x);
    if (what.kw("table") || isModuleKind(what)) return dropObjects(x);
    if (what.kw("index")) return execDropIndex(x);
    if (isRoutineKind(what)) return dropRoutines(x);
    if (what.kw("type")) return dropAliasType(x);
    notSupported("DROP " + what.text);
}


bool userProcedureExists(Exec &x, const std::string &name)
{
    auto db = x.session.instance().findDatabase(x.session.currentDatabase());
    if (!db) return false;
    Catalog cat(x.session.store(), *db);
    auto obj = cat.findObject(name);
    return obj && obj->xtype == "P";
}

}  // namespace sqlsim
