// CREATE TABLE: columns, keys, checks, defaults and foreign keys, in the order SQL Server adds them.
#include "sim/engine/catalog/TableDdl.h"

#include "sim/engine/catalog/Indexes.h"
#include "sim/engine/constraints/Constraints.h"
#include "sim/engine/rows/Dml.h"
#include "sim/engine/types/AliasTypes.h"

#include <set>

namespace sqlsim {

namespace {

SqlError couldNotCreate()
{
    return SqlError(1750, "Could not create constraint or index. See previous errors.", 16);
}

void addColumnForeignKeys(Exec &x, Catalog &cat, std::int64_t tableId, const std::string &table,
                          const std::vector<ColumnSpec> &cols)
{
    for (const ColumnSpec &c : cols)
        if (c.foreignKey) addForeignKeyConstraint(x, cat, tableId, table, *c.foreignKey);
}

}  // namespace

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

void addColumnChecks(Exec &x, Catalog &cat, std::int64_t tableId, const std::string &table,
                     const std::vector<ColumnSpec> &cols)
{
    for (const ColumnSpec &c : cols)
        for (const CheckSpec &check : c.checks) addCheckConstraint(x, cat, {tableId, table, "U", 0}, check);
}

void addColumns(Exec &x, Catalog &cat, std::int64_t tableId, const std::string &table, const std::vector<ColumnSpec> &cols,
                bool deferForeignKeys)
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

void execCreateTable(Exec &x)
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

}  // namespace sqlsim
