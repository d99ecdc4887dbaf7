// ALTER TABLE: adding columns and constraints, altering and dropping columns, dropping constraints;
// the rows a table holds are converted or checked as SQL Server does.
#include "sim/engine/catalog/TableDdl.h"

#include "sim/engine/catalog/Indexes.h"
#include "sim/engine/constraints/Constraints.h"
#include "sim/engine/modules/Modules.h"
#include "sim/engine/query/Translate.h"
#include "sim/engine/rows/Dml.h"
#include "sim/engine/types/AliasTypes.h"

namespace sqlsim {

namespace {

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

}  // namespace

// ALTER TABLE t ADD ... | ALTER COLUMN ... | DROP COLUMN ... | DROP [CONSTRAINT] ...
void execAlterTable(Exec &x)
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

}  // namespace sqlsim
