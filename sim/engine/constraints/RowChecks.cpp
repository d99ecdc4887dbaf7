// Rows held to CHECK and FOREIGN KEY constraints, with the referential actions. Like SQL
// Server, a statement's actions are all carried out before NO ACTION keys are checked, so a
// statement may remove a parent and its children together.
#include "sim/engine/constraints/Constraints.h"

#include "sim/engine/constraints/ConstraintCatalog.h"
#include "sim/engine/modules/Modules.h"
#include "sim/engine/query/Translate.h"

#include <map>

namespace sqlsim {

namespace {

using Key = std::vector<Param>;

struct Ctx {
    Exec &x;
    StoreConn &store;
    Database db;
    std::string verb;
    std::int64_t deleted = 0;
    struct Pending {
        ForeignKey fk;
        Key key;
    };
    std::vector<Pending> noAction;
    std::vector<ForeignKey> noActionWhole;  // trusted: any orphan at the end is the statement's

    ObjectRow table(std::int64_t id) const { return *Catalog(store, db).findObject(id); }
};

std::string columnList(const std::vector<std::string> &cols)
{
    std::string out;
    for (const std::string &c : cols) out += ", " + quoteIdent(c);
    return out;
}

// Each row's values of the columns, by rowid; rows with a NULL among them are left out.
std::map<std::int64_t, Key> keysOf(Ctx &c, std::int64_t table, const std::vector<std::string> &cols,
                                   const std::vector<std::int64_t> &rowids)
{
    std::map<std::int64_t, Key> out;
    if (rowids.empty() || !hasRowTable(c.store, c.db, table)) return out;
    StoreStmt st(c.store.raw(), "SELECT \"$r\"" + columnList(cols) + " FROM " + rowTable(c.db, table) + " WHERE " +
                                    rowidFilter(rowids));
    while (st.step()) {
        Key k;
        bool null = false;
        for (int n = 0; n < static_cast<int>(cols.size()); ++n) {
            k.push_back(paramAt(st, n + 1));
            null = null || std::holds_alternative<std::monostate>(k.back());
        }
        if (!null) out.emplace(st.intAt(0), std::move(k));
    }
    return out;
}

// The rows whose columns hold the key.
std::vector<std::int64_t> holding(Ctx &c, std::int64_t table, const std::vector<std::string> &cols, const Key &key)
{
    std::vector<std::int64_t> out;
    if (!hasRowTable(c.store, c.db, table)) return out;
    std::string where;
    for (const std::string &col : cols) where += std::string(where.empty() ? "" : " AND ") + quoteIdent(col) + " = ?";
    StoreStmt st(c.store.raw(), "SELECT \"$r\" FROM " + rowTable(c.db, table) + " WHERE " + where);
    for (std::size_t k = 0; k < key.size(); ++k) st.bind(static_cast<int>(k + 1), key[k]);
    while (st.step()) out.push_back(st.intAt(0));
    return out;
}

bool sameKey(const Key &a, const Key &b)
{
    for (std::size_t k = 0; k < a.size(); ++k)
        if (a[k].index() != b[k].index() || keyText(a[k]) != keyText(b[k])) return false;
    return true;
}

// The enabled checks and keys of the table over the rows `filter` keeps; changed: only those
// reading one of these columns (an UPDATE's), all when null.
void checkRows(Ctx &c, const ObjectRow &table, const std::string &filter, const std::vector<std::string> *changed)
{
    for (const CheckConstraint &k : checkConstraints(c.store, c.db, table.id))
        if (!k.disabled && (!changed || intersects(k.columns, *changed)) && breaksCheck(c.x, c.db, table, k, filter))
            throw conflict(c.verb, "CHECK", k.name, c.db, table.name, k.column).statementTerminated();
    for (const ForeignKey &k : foreignKeys(c.store, c.db, table.id, KeySide::Referencing))
        if (!k.disabled && (!changed || intersects(k.childColumns, *changed)) && hasOrphans(c.store, c.db, k, filter))
            throw conflict(c.verb, "FOREIGN KEY", k.name, c.db, c.table(k.parent).name, k.parentColumns.front())
                .statementTerminated();
}

void removeRows(Ctx &c, std::int64_t table, const std::vector<std::int64_t> &rowids);
void assign(Ctx &c, std::int64_t table, const std::vector<std::int64_t> &rowids, const std::vector<std::string> &cols,
            const Key &values);

// What the referencing rows must follow when rows of a referenced table change or go: the
// referenced keys the rows held before.
class Carry {
public:
    Carry(Ctx &c, std::int64_t table, const std::vector<std::string> *changed, std::vector<std::int64_t> rowids)
        : rowids_(std::move(rowids))
    {
        for (const ForeignKey &k : foreignKeys(c.store, c.db, table, KeySide::Referenced))
            if (!k.disabled && (!changed || intersects(k.parentColumns, *changed)))
                items_.push_back({k, keysOf(c, table, k.parentColumns, rowids_)});
    }

    void finish(Ctx &c, bool deleting)
    {
        for (const Item &item : items_) {
            const ForeignKey &fk = item.fk;
            if ((deleting ? fk.onDelete : fk.onUpdate) == 0 && fk.trusted) {
                c.noActionWhole.push_back(fk);  // one query at the end rather than one per key
                continue;
            }
            const auto after = deleting ? std::map<std::int64_t, Key>{} : keysOf(c, fk.parent, fk.parentColumns, rowids_);
            for (const auto &[rowid, old] : item.before) {
                const auto now = after.find(rowid);
                if (now != after.end() && sameKey(old, now->second)) continue;
                if (!holding(c, fk.parent, fk.parentColumns, old).empty()) continue;  // another row holds it still
                const std::vector<std::int64_t> children = holding(c, fk.child, fk.childColumns, old);
                if (children.empty()) continue;
                const int action = deleting ? fk.onDelete : fk.onUpdate;
                if (action == 1 && deleting) removeRows(c, fk.child, children);
                else if (action == 1 && now != after.end()) assign(c, fk.child, children, fk.childColumns, now->second);
                else if (action == 2 || action == 3 || action == 1) assign(c, fk.child, children, fk.childColumns,
                                                                        action == 3 ? defaults(c, fk) : Key(old.size()));
                else c.noAction.push_back({fk, old});
            }
        }
    }

private:
    static Key defaults(Ctx &c, const ForeignKey &fk)
    {
        Key out;
        const DmlTarget child{c.db, c.table(fk.child), tableColumns(c.store, c.db, fk.child), ""};
        for (const std::string &col : fk.childColumns) {
            const ColumnInfo *info = findColumnInfo(child.columns, col);
            out.push_back(toColumn(defaultValue(c.x, *info), *info, {qualifiedTable(c.db, child.table.name), "UPDATE"}));
        }
        return out;
    }

    struct Item {
        ForeignKey fk;
        std::map<std::int64_t, Key> before;
    };
    std::vector<std::int64_t> rowids_;
    std::vector<Item> items_;
};

void removeRows(Ctx &c, std::int64_t table, const std::vector<std::int64_t> &rowids)
{
    if (rowids.empty()) return;
    failIfTriggered(Catalog(c.store, c.db), c.table(table));  // an action would fire its triggers
    Carry carry(c, table, nullptr, rowids);
    c.store.exec("DELETE FROM " + rowTable(c.db, table) + " WHERE " + rowidFilter(rowids));
    c.deleted += c.store.changes();
    carry.finish(c, true);
}

void assign(Ctx &c, std::int64_t table, const std::vector<std::int64_t> &rowids, const std::vector<std::string> &cols,
            const Key &values)
{
    failIfTriggered(Catalog(c.store, c.db), c.table(table));
    Carry carry(c, table, &cols, rowids);
    std::string set;
    for (const std::string &col : cols) set += std::string(set.empty() ? "" : ", ") + quoteIdent(col) + " = ?";
    {
        StoreStmt st(c.store.raw(), "UPDATE " + rowTable(c.db, table) + " SET " + set + " WHERE " + rowidFilter(rowids));
        for (std::size_t k = 0; k < values.size(); ++k) st.bind(static_cast<int>(k + 1), values[k]);
        st.step();
    }
    carry.finish(c, false);
    checkRows(c, c.table(table), rowidFilter(rowids), &cols);
}

void checkNoAction(Ctx &c)
{
    for (const ForeignKey &fk : c.noActionWhole)
        if (hasOrphans(c.store, c.db, fk, "1"))
            throw conflict(c.verb, "REFERENCE", fk.name, c.db, c.table(fk.child).name, fk.childColumns.front())
                .statementTerminated();
    for (const Ctx::Pending &p : c.noAction)
        if (holding(c, p.fk.parent, p.fk.parentColumns, p.key).empty() &&
            !holding(c, p.fk.child, p.fk.childColumns, p.key).empty())
            throw conflict(c.verb, "REFERENCE", p.fk.name, c.db, c.table(p.fk.child).name, p.fk.childColumns.front())
                .statementTerminated();
}

}  // namespace

void checkInsertedRows(Exec &x, const DmlTarget &target, std::int64_t firstRowid)
{
    Ctx c{x, x.session.store(), target.db, "INSERT", 0, {}, {}};
    checkRows(c, target.table, "\"$r\" >= " + std::to_string(firstRowid), nullptr);
}

struct RowsUpdate::State {
    Ctx c;
    ObjectRow table;
    std::vector<std::string> columns;
    std::vector<std::int64_t> rowids;
    Carry carry;
};

RowsUpdate::RowsUpdate(Exec &x, const DmlTarget &target, std::vector<std::string> setColumns,
                       std::vector<std::int64_t> rowids)
{
    Ctx c{x, x.session.store(), target.db, "UPDATE", 0, {}, {}};
    Carry carry(c, target.table.id, &setColumns, rowids);
    s_.reset(new State{c, target.table, std::move(setColumns), std::move(rowids), std::move(carry)});
}

RowsUpdate::~RowsUpdate() = default;

void RowsUpdate::finish()
{
    if (s_->rowids.empty()) return;
    s_->carry.finish(s_->c, false);
    checkRows(s_->c, s_->table, rowidFilter(s_->rowids), &s_->columns);
    checkNoAction(s_->c);
}

std::int64_t deleteRows(Exec &x, const DmlTarget &target, const std::vector<std::int64_t> &rowids)
{
    Ctx c{x, x.session.store(), target.db, "DELETE", 0, {}, {}};
    removeRows(c, target.table.id, rowids);
    checkNoAction(c);
    return static_cast<std::int64_t>(rowids.size());
}

}  // namespace sqlsim
