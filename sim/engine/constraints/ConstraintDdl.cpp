// Adding CHECK constraints, the state and actions of FOREIGN KEY constraints, and
// ALTER TABLE ... CHECK|NOCHECK CONSTRAINT.
#include "sim/engine/constraints/Constraints.h"

#include "sim/engine/constraints/CheckText.h"
#include "sim/engine/constraints/ConstraintCatalog.h"

#include <cstdio>
#include <algorithm>
#include <functional>
#include <map>
#include <set>

namespace sqlsim {

namespace {

SqlError couldNotCreate()
{
    return SqlError(1750, "Could not create constraint or index. See previous errors.", 16);
}

SqlError couldNotSwitch()
{
    return SqlError(4916, "Could not enable or disable the constraint. See previous errors.", 16);
}

std::string firstChars(const std::string &s, std::size_t n)
{
    std::size_t chars = 0;
    for (std::size_t k = 0; k < s.size(); ++k)
        if ((static_cast<unsigned char>(s[k]) & 0xC0) != 0x80 && chars++ == n) return s.substr(0, k);
    return s;
}

const char *actionDesc(int action)
{
    static const char *const names[] = {"NO_ACTION", "CASCADE", "SET_NULL", "SET_DEFAULT"};
    return names[action];
}

void insertState(StoreConn &store, const Database &db, std::int64_t id, const std::vector<Param> &values)
{
    std::vector<Param> all{db.dbk, id};
    all.insert(all.end(), values.begin(), values.end());
    store.run("INSERT INTO cat_constraints(dbk, object_id, parent_column_id, is_disabled, is_not_for_replication, "
              "is_not_trusted, is_system_named, definition, uses_database_collation, referenced_object_id, "
              "key_index_id, delete_referential_action, delete_referential_action_desc, update_referential_action, "
              "update_referential_action_desc) VALUES(?, ?, ?, 0, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
              all);
}

// SQL Server refuses a cascading key that would give a table a second cascade path or a cycle.
bool makesCascadeLoop(StoreConn &store, const Database &db, std::int64_t parent, std::int64_t child, bool onDelete)
{
    std::multimap<std::int64_t, std::int64_t> edges;  // referenced -> referencing
    StoreStmt st(store.raw(), std::string("SELECT f.rkeyid, f.fkeyid FROM cat_sysforeignkeys f JOIN cat_constraints k "
                                          "ON k.dbk = f.dbk AND k.object_id = f.constid WHERE f.dbk = ? AND f.keyno = 1 "
                                          "AND k.") +
                                  (onDelete ? "delete" : "update") + "_referential_action <> 0");
    st.bind(1, db.dbk);
    while (st.step()) edges.emplace(st.intAt(0), st.intAt(1));
    const std::function<bool(std::int64_t, std::int64_t, std::set<std::int64_t> &)> reaches =
        [&](std::int64_t from, std::int64_t to, std::set<std::int64_t> &seen) {
            if (from == to) return true;
            if (!seen.insert(from).second) return false;
            auto [b, e] = edges.equal_range(from);
            for (auto it = b; it != e; ++it)
                if (reaches(it->second, to, seen)) return true;
            return false;
        };
    std::set<std::int64_t> seen;
    if (parent == child || reaches(child, parent, seen)) return true;
    std::set<std::int64_t> tables{parent, child};
    for (const auto &[from, to] : edges) tables.insert({from, to});
    for (std::int64_t a : tables) {
        std::set<std::int64_t> s1, s2;
        if (reaches(a, parent, s1) && reaches(a, child, s2)) return true;
    }
    return false;
}

}  // namespace

std::int64_t candidateKeyIndex(Catalog &cat, std::int64_t tableId, const std::vector<std::string> &columns)
{
    std::map<std::int64_t, std::vector<std::string>> keys;
    StoreStmt st(cat.store().raw(), "SELECT i.index_id, c.name FROM cat_indexes i JOIN cat_index_columns k ON "
                                    "k.dbk = i.dbk AND k.object_id = i.object_id AND k.index_id = i.index_id JOIN "
                                    "cat_syscolumns c ON c.dbk = k.dbk AND c.id = k.object_id AND c.colid = k.column_id "
                                    "WHERE i.dbk = ? AND i.object_id = ? AND i.is_unique = 1 AND i.has_filter = 0 AND "
                                    "k.is_included_column = 0 ORDER BY i.is_primary_key DESC, i.index_id, k.key_ordinal");
    st.bind(1, cat.database().dbk).bind(2, tableId);
    std::vector<std::int64_t> order;
    while (st.step()) {
        if (!keys.count(st.intAt(0))) order.push_back(st.intAt(0));
        keys[st.intAt(0)].push_back(st.textAt(1));
    }
    for (std::int64_t index : order) {
        const std::vector<std::string> &key = keys[index];
        bool same = key.size() == columns.size();
        for (const std::string &c : columns)
            same = same && std::any_of(key.begin(), key.end(), [&](const std::string &k) { return iequals(k, c); });
        if (same) return index;
    }
    return 0;
}

std::optional<std::pair<std::string, std::string>> keyReferencedBy(Catalog &cat, std::int64_t tableId,
                                                                   std::int64_t indexId)
{
    StoreStmt st(cat.store().raw(), "SELECT o.name, r.name FROM cat_constraints k JOIN cat_sysobjects o ON "
                                    "o.dbk = k.dbk AND o.id = k.object_id JOIN cat_sysobjects r ON r.dbk = o.dbk AND "
                                    "r.id = o.parent_obj WHERE k.dbk = ? AND k.referenced_object_id = ? AND "
                                    "k.key_index_id = ? ORDER BY o.id");
    st.bind(1, cat.database().dbk).bind(2, tableId).bind(3, indexId);
    if (!st.step()) return std::nullopt;
    return std::make_pair(st.textAt(0), st.textAt(1));
}

std::string Catalog::addCheck(std::int64_t tableId, const std::string &tableName, const std::string &column,
                              const std::string &name, const std::string &definition)
{
    const std::int64_t id = newObjectId();
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08llX", static_cast<unsigned long long>(id) & 0xFFFFFFFFull);
    const std::string actual =
        !name.empty() ? name
                      : "CK__" + firstChars(tableName, 9) + "__" + (column.empty() ? "" : firstChars(column, 5) + "__") + hex;
    insertObject(id, actual, "C", tableId);
    std::int64_t colid = 1;
    for (const std::string &piece : splitComments(definition))
        conn_.run("INSERT INTO cat_syscomments VALUES(?, ?, 0, ?, 0, NULL, 2, 0, 0, 0, ?)", {db_.dbk, id, colid++, piece});
    return actual;
}

void addCheckConstraint(Exec &x, Catalog &cat, const ObjectRow &table, const CheckSpec &spec)
{
    StoreConn &store = cat.store();
    const Database &db = cat.database();
    if (!spec.name.empty() && cat.findObject(spec.name))
        failPair(x, SqlError(2714, "There is already an object named '" + spec.name + "' in the database.", 16),
                 couldNotCreate());
    std::vector<std::string> names;
    for (const ColumnRow &c : cat.columns(table.id)) names.push_back(c.name);
    const CheckText text = normaliseCheck(spec.condition, names);
    for (const std::string &c : text.columns)
        if (!spec.column.empty() && !iequals(c, spec.column))
            failPair(x, SqlError(8141, "Column CHECK constraint for column '" + spec.column +
                                           "' references another column, table '" + table.name + "'.", 16),
                     couldNotCreate());
    // A check that reads one column belongs to it, whichever way it was written.
    const std::string parentColumn = !spec.column.empty() ? spec.column : text.columns.size() == 1 ? text.columns[0] : "";
    const auto parent = parentColumn.empty() ? std::nullopt : cat.findColumn(table.id, parentColumn);
    const std::string name = cat.addCheck(table.id, table.name, spec.column, spec.name, text.definition);
    const std::int64_t id = cat.findObject(name)->id;
    bool characters = false;
    for (const std::string &c : text.columns) {
        const ColumnRow col = *cat.findColumn(table.id, c);
        characters = characters || col.xtype == 167 || col.xtype == 175 || col.xtype == 231 || col.xtype == 239 ||
                     col.xtype == 35 || col.xtype == 99;
        store.run("INSERT INTO cat_check_columns VALUES(?, ?, ?, ?)", {db.dbk, id, table.id, col.colid});
    }
    store.run("UPDATE cat_sysobjects SET info = ? WHERE dbk = ? AND id = ?", {parent ? parent->colid : 0, db.dbk, id});
    insertState(store, db, id,
                {parent ? parent->colid : 0, std::int64_t{spec.notForReplication}, std::int64_t{!spec.checkRows},
                 std::int64_t{spec.name.empty()}, text.definition, std::int64_t{characters}, Param{}, Param{}, Param{},
                 Param{}, Param{}, Param{}});
    const CheckConstraint check{id, name, text.definition, parent ? parent->name : "", text.columns, false};
    if (spec.checkRows && breaksCheck(x, db, table, check, "1"))
        throw conflict("ALTER TABLE", "CHECK", name, db, table.name, check.column);
}

static void finishForeignKey(Exec &x, Catalog &cat, const ObjectRow &table, const ForeignKeySpec &fk,
                             const std::string &name)
{
    StoreConn &store = cat.store();
    const Database &db = cat.database();
    const ObjectRow key = *cat.findObject(name);
    const ObjectRow referenced = *cat.findObject(fk.refTable);
    for (const std::string &col : fk.columns) {
        const ColumnRow c = *cat.findColumn(table.id, col);
        if ((fk.onDelete == 2 || fk.onUpdate == 2) && !c.nullable)
            failPair(x, SqlError(1761, "Cannot create the foreign key \"" + name + "\" with the SET NULL referential "
                                       "action, because one or more referencing columns are not nullable.", 16),
                     couldNotCreate());
        if ((fk.onDelete == 3 || fk.onUpdate == 3) && !c.nullable && c.cdefault == 0)
            failPair(x, SqlError(1762, "Cannot create the foreign key \"" + name + "\" with the SET DEFAULT "
                                       "referential action, because one or more referencing not-nullable columns "
                                       "lack a default constraint.", 16),
                     couldNotCreate());
    }
    if ((fk.onDelete != 0 && makesCascadeLoop(store, db, referenced.id, table.id, true)) ||
        (fk.onUpdate != 0 && makesCascadeLoop(store, db, referenced.id, table.id, false)))
        failPair(x, SqlError(1785, "Introducing FOREIGN KEY constraint '" + name + "' on table '" + table.name +
                                       "' may cause cycles or multiple cascade paths. Specify ON DELETE NO ACTION or "
                                       "ON UPDATE NO ACTION, or modify other FOREIGN KEY constraints.", 16),
                 couldNotCreate());
    const std::int64_t keyIndex = candidateKeyIndex(
        cat, referenced.id, fk.refColumns.empty() ? cat.primaryKeyColumns(referenced.id) : fk.refColumns);
    insertState(store, db, key.id,
                {std::int64_t{0}, std::int64_t{fk.notForReplication}, std::int64_t{!fk.checkRows},
                 std::int64_t{fk.name.empty()}, Param{}, Param{}, referenced.id, keyIndex, std::int64_t{fk.onDelete},
                 std::string(actionDesc(fk.onDelete)), std::int64_t{fk.onUpdate}, std::string(actionDesc(fk.onUpdate))});
    if (!fk.checkRows) return;
    for (const ForeignKey &k : foreignKeys(store, db, table.id, KeySide::Referencing))
        if (k.id == key.id && hasOrphans(store, db, k, "1"))
            throw conflict("ALTER TABLE", "FOREIGN KEY", name, db, referenced.name, k.parentColumns.front());
}

void addForeignKeyConstraint(Exec &x, Catalog &cat, std::int64_t tableId, const std::string &table, const ForeignKeySpec &fk)
{
    const std::string label = fk.name.empty() ? "FK__" + table : fk.name;
    if (!fk.name.empty() && cat.findObject(fk.name))
        failPair(x, SqlError(2714, "There is already an object named '" + fk.name + "' in the database.", 16),
                 couldNotCreate());
    auto ref = cat.findObject(fk.refTable);
    if (!ref || ref->xtype != "U")
        failPair(x, SqlError(1767, "Foreign key '" + label + "' references invalid table '" + fk.refTable + "'.", 16),
                 couldNotCreate());
    for (const std::string &col : fk.columns)
        if (!cat.findColumn(tableId, col))
            failPair(x, SqlError(1769, "Foreign key '" + label + "' references invalid column '" + col +
                                           "' in referencing table '" + table + "'.", 16),
                     couldNotCreate());
    const std::vector<std::string> wanted = fk.refColumns.empty() ? cat.primaryKeyColumns(ref->id) : fk.refColumns;
    if (wanted.size() != fk.columns.size() || candidateKeyIndex(cat, ref->id, wanted) == 0)
        failPair(x, SqlError(1776, "There are no primary or candidate keys in the referenced table '" + fk.refTable +
                                       "' that match the referencing column list in the foreign key '" + label + "'.", 16),
                 couldNotCreate());
    finishForeignKey(x, cat, {tableId, table, "U", 0}, fk, cat.addForeignKey(tableId, table, fk));
}

void switchConstraints(Exec &x, Catalog &cat, const ObjectRow &table, std::size_t &i, bool withCheck)
{
    const auto &t = x.stmt.tokens;
    const bool enable = t[i].kw("check");
    i += 2;
    StoreConn &store = cat.store();
    const Database &db = cat.database();
    std::vector<ObjectRow> chosen;
    if (t[i].kw("all")) {
        ++i;
        StoreStmt st(store.raw(), "SELECT id, name, trim(xtype), parent_obj FROM cat_sysobjects WHERE dbk = ? AND "
                                  "parent_obj = ? AND xtype IN ('C', 'F') ORDER BY id");
        st.bind(1, db.dbk).bind(2, table.id);
        while (st.step()) chosen.push_back({st.intAt(0), st.textAt(1), st.textAt(2), st.intAt(3)});
    } else {
        while (true) {
            const std::string item = readName(t, i);
            auto c = cat.findObject(item);
            if (!c || c->parent != table.id || c->xtype == "U")
                failPair(x, SqlError(4917, "Constraint '" + item + "' does not exist.", 16), couldNotSwitch());
            if (c->xtype != "C" && c->xtype != "F")
                failPair(x, SqlError(11415, "Object '" + c->name + "' cannot be disabled or enabled. This action "
                                            "applies only to foreign key and check constraints.", 16),
                         couldNotSwitch());
            chosen.push_back(*c);
            if (!t[i].is(Tok::Comma)) break;
            ++i;
        }
    }
    if (!t[i].is(Tok::End)) syntaxError(t[i]);
    for (const ObjectRow &c : chosen) {
        if (!enable) {
            store.run("UPDATE cat_constraints SET is_disabled = 1, is_not_trusted = 1 WHERE dbk = ? AND object_id = ?",
                      {db.dbk, c.id});
            continue;
        }
        store.run("UPDATE cat_constraints SET is_disabled = 0 WHERE dbk = ? AND object_id = ?", {db.dbk, c.id});
        if (!withCheck) continue;  // enabled again, still not trusted
        if (c.xtype == "C") {
            for (const CheckConstraint &k : checkConstraints(store, db, table.id))
                if (k.id == c.id && breaksCheck(x, db, table, k, "1"))
                    throw conflict("ALTER TABLE", "CHECK", k.name, db, table.name, k.column);
        } else {
            for (const ForeignKey &k : foreignKeys(store, db, table.id, KeySide::Referencing))
                if (k.id == c.id && hasOrphans(store, db, k, "1"))
                    throw conflict("ALTER TABLE", "FOREIGN KEY", k.name, db, cat.findObject(k.parent)->name,
                                   k.parentColumns.front());
        }
        store.run("UPDATE cat_constraints SET is_not_trusted = 0 WHERE dbk = ? AND object_id = ?", {db.dbk, c.id});
    }
}

}  // namespace sqlsim
