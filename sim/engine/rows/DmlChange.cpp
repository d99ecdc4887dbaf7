// UPDATE, DELETE, TRUNCATE TABLE and SET IDENTITY_INSERT on user tables.
#include "sim/engine/rows/Dml.h"

#include "sim/engine/constraints/Constraints.h"
#include "sim/engine/query/Translate.h"
#include "sim/engine/rows/Unique.h"

namespace sqlsim {

namespace {

// The end of an expression that runs up to a top-level comma or one of the words.
std::size_t expressionEnd(const std::vector<Token> &t, std::size_t i, std::initializer_list<const char *> stops)
{
    int depth = 0;
    for (; !t[i].is(Tok::End); ++i) {
        if (t[i].is(Tok::LParen)) ++depth;
        if (t[i].is(Tok::RParen)) --depth;
        if (depth != 0) continue;
        if (t[i].is(Tok::Comma)) break;
        bool stop = false;
        for (const char *w : stops) stop = stop || t[i].kw(w);
        if (stop) break;
    }
    return i;
}

// SELECT "$r"[, extra] FROM the table [WHERE ...] in the store's terms.
std::string rowsQuery(Exec &x, Translator &tr, const DmlTarget &target, const std::string &extra, std::size_t &i)
{
    const auto &t = x.stmt.tokens;
    std::string sql = "SELECT " + quoteIdent(target.table.name) + ".\"$r\"" + extra + " FROM " +
                      rowTable(target.db, target.table.id) + " AS " + quoteIdent(target.table.name);
    if (t[i].kw("from")) notSupported("A FROM clause in UPDATE or DELETE");
    if (t[i].kw("where")) {
        if (t[i + 1].kw("current")) notSupported("WHERE CURRENT OF");
        const std::size_t e = x.stmt.end();
        sql += " WHERE " + tr.expression(i + 1, e);
        i = e;
    }
    if (t[i].kw("option")) notSupported("Query hints in UPDATE or DELETE");
    if (!t[i].is(Tok::End)) syntaxError(t[i]);
    return sql;
}

void runPrelude(StoreConn &store, const Translator &tr)
{
    for (const std::string &step : tr.prelude())
        store.exec(step);
}

}  // namespace

void execUpdate(Exec &x)
{
    const auto &t = x.stmt.tokens;
    std::size_t i = 1;
    if (t[i].kw("top")) notSupported("UPDATE TOP");
    StoreConn &store = x.session.store();
    StoreTxn txn(store);
    DmlTarget target = resolveTable(x, i);
    if (!t[i].kw("set")) syntaxError(t[i]);
    ++i;
    struct Assignment {
        const ColumnInfo *column;
        std::optional<std::size_t> begin, end;  // none: DEFAULT
    };
    std::vector<Assignment> assignments;
    while (true) {
        std::string name = readName(t, i);
        if (t[i].is(Tok::Dot)) {
            ++i;
            name = readName(t, i);
        }
        const ColumnInfo *c = findColumnInfo(target.columns, name);
        if (!c) throw SqlError(207, "Invalid column name '" + name + "'.", 16).aborting();
        if (!t[i].op("=")) {
            if (t[i].is(Tok::Op)) notSupported("Compound assignment in UPDATE");
            syntaxError(t[i]);
        }
        ++i;
        const std::size_t e = expressionEnd(t, i, {"where", "from", "option"});
        if (e == i) syntaxError(t[i]);
        if (c->identity) throw SqlError(8102, "Cannot update identity column '" + c->name + "'.", 16);
        for (const Assignment &a : assignments)
            if (a.column == c)
                throw SqlError(264, "The column name '" + c->name + "' is specified more than once in the SET clause "
                                    "or column list of an INSERT. A column cannot be assigned more than one value in "
                                    "the same clause. Modify the clause to make sure that a column is updated only "
                                    "once. If this statement updates or inserts columns into a view, column aliasing "
                                    "can conceal the duplication in your code.", 16);
        if (e == i + 1 && t[i].kw("default")) assignments.push_back({c, std::nullopt, std::nullopt});
        else assignments.push_back({c, i, e});
        i = e;
        if (!t[i].is(Tok::Comma)) break;
        ++i;
    }
    Translator tr(x);
    std::int64_t changed = 0;
    try {
        std::string extra;
        for (const Assignment &a : assignments)
            if (a.begin) extra += ", (" + tr.expression(*a.begin, *a.end) + ")";
        QueryResult rows;
        try {
            const std::string sql = rowsQuery(x, tr, target, extra, i);
            runPrelude(store, tr);
            rows = runQuery(store, sql, &x.sink, tr.typeHints());
        } catch (const StoreError &e) {
            throw mapStoreError(e.what());
        }
        const ConvertSite site{target.qualified, "UPDATE"};
        Catalog cat(store, target.db);
        const std::vector<std::string> key = cat.primaryKeyColumns(target.table.id);
        bool keyChanges = false;
        std::string set;
        for (const Assignment &a : assignments) {
            set += (set.empty() ? "" : ", ") + quoteIdent(a.column->name) + " = ?";
            for (const std::string &k : key) keyChanges = keyChanges || iequals(k, a.column->name);
        }
        // A key is unique once the statement is done, not after each row.
        if (keyChanges) dropKeyIndex(store, target.db, target.table.id);
        StoreStmt update(store.raw(), "UPDATE " + rowTable(target.db, target.table.id) + " SET " + set +
                                          " WHERE \"$r\" = ?");
        std::vector<Param> defaults(assignments.size());
        for (std::size_t k = 0; k < assignments.size(); ++k)
            if (!assignments[k].begin) defaults[k] = toColumn(defaultValue(x, *assignments[k].column), *assignments[k].column, site);
        std::vector<std::int64_t> rowids;
        std::vector<std::string> setNames;
        for (const Row &row : rows.rows) rowids.push_back(std::get<std::int64_t>(row[0]));
        for (const Assignment &a : assignments) setNames.push_back(a.column->name);
        RowsUpdate references(x, target, setNames, rowids);
        for (const Row &row : rows.rows) {
            std::size_t computed = 1;
            for (std::size_t k = 0; k < assignments.size(); ++k) {
                const Param value = assignments[k].begin
                                        ? toColumn(resultValue(row[computed], rows.columns[computed].type),
                                                   *assignments[k].column, site)
                                        : perRowDefault(*assignments[k].column)
                                              ? toColumn(defaultValue(x, *assignments[k].column),
                                                         *assignments[k].column, site)
                                              : defaults[k];
                if (assignments[k].begin) ++computed;
                update.bind(static_cast<int>(k + 1), value);
            }
            update.bind(static_cast<int>(assignments.size() + 1), std::get<std::int64_t>(row[0]));
            update.step();
            update.reset();
            ++changed;
        }
        if (keyChanges) {
            if (auto dup = duplicateKey(store, target.db, target.table.id, key)) {
                const auto pk = cat.primaryKeyOf(target.table.id);
                throw SqlError(2627, "Violation of PRIMARY KEY constraint '" + (pk ? pk->name : std::string()) +
                                         "'. Cannot insert duplicate key in object 'dbo." + target.table.name +
                                         "'. The duplicate key value is " + *dup + ".", 14);
            }
            createKeyIndex(store, target.db, target.table.id, key);
        }
        if (auto conflict = uniqueConflict(store, target.db, target.table))
            throw *conflict;
        references.finish();
    } catch (SqlError &e) {
        throw classify(e);
    }
    txn.commit();
    x.done(changed);
}

void execDelete(Exec &x)
{
    const auto &t = x.stmt.tokens;
    std::size_t i = 1;
    if (t[i].kw("top")) notSupported("DELETE TOP");
    if (t[i].kw("from")) ++i;
    StoreConn &store = x.session.store();
    StoreTxn txn(store);
    DmlTarget target = resolveTable(x, i);
    Translator tr(x);
    std::int64_t deleted = 0;
    try {
        try {
            const std::string sql = rowsQuery(x, tr, target, "", i);
            runPrelude(store, tr);
            std::vector<std::int64_t> rowids;
            StoreStmt st(store.raw(), sql);
            while (st.step()) rowids.push_back(st.intAt(0));
            deleted = deleteRows(x, target, rowids);
        } catch (const StoreError &e) {
            throw mapStoreError(e.what());
        }
    } catch (SqlError &e) {
        throw classify(e);
    }
    txn.commit();
    x.done(deleted);
}

void execTruncate(Exec &x)
{
    const auto &t = x.stmt.tokens;
    if (!t[1].kw("table")) syntaxError(t[1]);
    std::size_t i = 2;
    StoreConn &store = x.session.store();
    StoreTxn txn(store);
    DmlTarget target = resolveTable(x, i);
    if (!t[i].is(Tok::End)) syntaxError(t[i]);
    if (store.scalarInt("SELECT count(*) FROM cat_sysforeignkeys WHERE dbk = ? AND rkeyid = ?",
                        {target.db.dbk, target.table.id}) > 0)
        throw SqlError(4712, "Cannot truncate table '" + target.table.name +
                                 "' because it is being referenced by a FOREIGN KEY constraint.", 16);
    store.exec("DELETE FROM " + rowTable(target.db, target.table.id));
    // TRUNCATE starts the identity again at its seed.
    setIdentityCurrent(store, target.db, target.table.id, std::nullopt);
    txn.commit();
    x.done();
}

void execSetIdentityInsert(Exec &x)
{
    const auto &t = x.stmt.tokens;
    std::size_t i = 2;
    const std::size_t start = i;
    const ObjectName name = readObjectName(t, i);
    const std::string written = x.stmt.text.substr(t[start].begin - t[0].begin, t[i - 1].end - t[start].begin);
    const bool on = t[i].kw("on");
    if ((!on && !t[i].kw("off")) || !t[i + 1].is(Tok::End)) syntaxError(t[i]);
    const Database db = resolveDdlDatabase(x, name);
    Catalog cat(x.session.store(), db);
    auto table = cat.findObject(name.name);
    if (!table || table->xtype != "U")
        throw SqlError(1088, "Cannot find the object \"" + written +
                                 "\" because it does not exist or you do not have permissions.", 16);
    bool hasIdentity = false;
    for (const ColumnRow &c : cat.columns(table->id)) hasIdentity = hasIdentity || c.identity;
    if (!hasIdentity)
        throw SqlError(8106, "Table '" + written + "' does not have the identity property. Cannot perform SET "
                                                   "operation.", 16);
    auto &current = x.session.identityInsert;
    const bool same = current && current->dbk == db.dbk && current->table == table->id;
    if (on && current && !same) {
        StoreStmt st(x.session.store().raw(), "SELECT name FROM cat_sysobjects WHERE dbk = ? AND id = ?");
        st.bind(1, current->dbk).bind(2, current->table);
        const std::string other = st.step() ? st.textAt(0) : std::string();
        throw SqlError(8107, "IDENTITY_INSERT is already ON for table '" + current->database + ".dbo." + other +
                                 "'. Cannot perform SET operation for table '" + written + "'.", 16);
    }
    if (on) current = SessionImpl::IdentityInsert{db.dbk, table->id, db.name};
    else if (same) current.reset();
    x.done();
}

}  // namespace sqlsim
