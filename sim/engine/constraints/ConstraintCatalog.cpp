#include "sim/engine/constraints/ConstraintCatalog.h"

#include "sim/engine/query/Translate.h"

#include <algorithm>

namespace sqlsim {

std::vector<ForeignKey> foreignKeys(StoreConn &store, const Database &db, std::int64_t table, KeySide side)
{
    StoreStmt st(store.raw(),
                 std::string("SELECT f.constid, o.name, f.fkeyid, f.rkeyid, fc.name, rc.name, "
                             "ifnull(k.delete_referential_action, 0), ifnull(k.update_referential_action, 0), "
                             "ifnull(k.is_disabled, 0), ifnull(k.is_not_trusted, 0) FROM cat_sysforeignkeys f "
                             "JOIN cat_sysobjects o ON o.dbk = f.dbk AND o.id = f.constid "
                             "JOIN cat_syscolumns fc ON fc.dbk = f.dbk AND fc.id = f.fkeyid AND fc.colid = f.fkey "
                             "JOIN cat_syscolumns rc ON rc.dbk = f.dbk AND rc.id = f.rkeyid AND rc.colid = f.rkey "
                             "LEFT JOIN cat_constraints k ON k.dbk = f.dbk AND k.object_id = f.constid "
                             "WHERE f.dbk = ? AND ") +
                     (side == KeySide::Referencing ? "f.fkeyid" : "f.rkeyid") + " = ? ORDER BY f.constid, f.keyno");
    st.bind(1, db.dbk).bind(2, table);
    std::vector<ForeignKey> out;
    while (st.step()) {
        if (out.empty() || out.back().id != st.intAt(0))
            out.push_back({st.intAt(0), st.textAt(1), st.intAt(2), st.intAt(3), {}, {},
                           static_cast<int>(st.intAt(6)), static_cast<int>(st.intAt(7)), st.intAt(8) != 0,
                           st.intAt(9) == 0});
        out.back().childColumns.push_back(st.textAt(4));
        out.back().parentColumns.push_back(st.textAt(5));
    }
    return out;
}

std::vector<CheckConstraint> checkConstraints(StoreConn &store, const Database &db, std::int64_t table)
{
    std::vector<CheckConstraint> out;
    {
        StoreStmt st(store.raw(), "SELECT o.id, o.name, k.definition, ifnull(c.name, ''), k.is_disabled "
                                  "FROM cat_sysobjects o JOIN cat_constraints k ON k.dbk = o.dbk AND k.object_id = o.id "
                                  "LEFT JOIN cat_syscolumns c ON c.dbk = o.dbk AND c.id = o.parent_obj AND "
                                  "c.colid = k.parent_column_id WHERE o.dbk = ? AND o.parent_obj = ? AND "
                                  "o.xtype = 'C' ORDER BY o.id");
        st.bind(1, db.dbk).bind(2, table);
        while (st.step())
            out.push_back({st.intAt(0), st.textAt(1), st.textAt(2), st.textAt(3), {}, st.intAt(4) != 0});
    }
    for (CheckConstraint &c : out) {
        StoreStmt st(store.raw(), "SELECT c.name FROM cat_check_columns d JOIN cat_syscolumns c ON c.dbk = d.dbk AND "
                                  "c.id = d.tableid AND c.colid = d.colid WHERE d.dbk = ? AND d.id = ?");
        st.bind(1, db.dbk).bind(2, c.id);
        while (st.step()) c.columns.push_back(st.textAt(0));
    }
    return out;
}

SqlError conflict(const std::string &verb, const char *kind, const std::string &constraint, const Database &db,
                  const std::string &table, const std::string &column)
{
    return SqlError(547, "The " + verb + " statement conflicted with the " + kind + " constraint \"" + constraint +
                             "\". The conflict occurred in database \"" + db.name + "\", table \"dbo." + table + "\"" +
                             (column.empty() ? "" : ", column '" + column + "'") + ".",
                    16);
}

bool breaksCheck(Exec &x, const Database &db, const ObjectRow &table, const CheckConstraint &check,
                 const std::string &filter)
{
    StoreConn &store = x.session.store();
    if (!hasRowTable(store, db, table.id)) return false;
    const std::string sql = "SELECT " + check.definition;
    const std::vector<Token> tokens = tokenize(sql);
    const std::vector<Statement> statements = splitStatements(sql, tokens);
    Exec inner{x.session, x.sink, statements.front(), sql, 0};
    Translator tr(inner);
    std::string condition;
    try {
        condition = tr.expressionOver(1, statements.front().end(), table.name, rowTable(db, table.id));
    } catch (const SqlError &e) {
        // A condition the translator cannot follow (a built-in it lacks): refused, never skipped.
        throw SqlError(50000, "Checking rows against the CHECK constraint '" + check.name +
                                  "' is not supported by sqlsim: " + e.what(), 16);
    }
    try {
        for (const std::string &step : tr.prelude()) store.exec(step);
        StoreStmt st(store.raw(), "SELECT 1 FROM " + rowTable(db, table.id) + " AS " + quoteIdent(table.name) +
                                      " WHERE (" + filter + ") AND NOT (" + condition + ") LIMIT 1");
        const bool found = st.step();
        for (const std::string &temp : tr.temps()) store.exec("DROP TABLE IF EXISTS temp." + temp);
        return found;
    } catch (const StoreError &e) {
        throw mapStoreError(e.what());
    }
}

bool hasOrphans(StoreConn &store, const Database &db, const ForeignKey &fk, const std::string &filter)
{
    if (!hasRowTable(store, db, fk.child)) return false;
    ensureRowTable(store, db, fk.parent);
    std::string notNull, match;
    for (std::size_t c = 0; c < fk.childColumns.size(); ++c) {
        notNull += " AND c." + quoteIdent(fk.childColumns[c]) + " IS NOT NULL";
        match += std::string(c ? " AND " : "") + "p." + quoteIdent(fk.parentColumns[c]) + " = c." +
                 quoteIdent(fk.childColumns[c]);
    }
    StoreStmt st(store.raw(), "SELECT 1 FROM " + rowTable(db, fk.child) + " AS c WHERE (" + filter + ")" + notNull +
                                  " AND NOT EXISTS (SELECT 1 FROM " + rowTable(db, fk.parent) + " AS p WHERE " + match +
                                  ") LIMIT 1");
    return st.step();
}

std::string rowidFilter(const std::vector<std::int64_t> &rowids)
{
    std::string out = "\"$r\" IN (";
    for (std::size_t k = 0; k < rowids.size(); ++k) out += (k ? ", " : "") + std::to_string(rowids[k]);
    return out + ")";
}

bool intersects(const std::vector<std::string> &a, const std::vector<std::string> &b)
{
    return std::any_of(a.begin(), a.end(), [&](const std::string &n) {
        return std::any_of(b.begin(), b.end(), [&](const std::string &m) { return iequals(n, m); });
    });
}

}  // namespace sqlsim
