#include "sim/engine/catalog/Indexes.h"

namespace sqlsim {

namespace {

bool onOff(const Token &t)
{
    if (t.kw("on")) return true;
    if (t.kw("off")) return false;
    syntaxError(t);
}

bool isOptionName(const Token &t)
{
    for (const char *o : {"pad_index", "fillfactor", "ignore_dup_key", "statistics_norecompute", "sort_in_tempdb",
                          "drop_existing", "online", "allow_row_locks", "allow_page_locks", "maxdop",
                          "data_compression", "statistics_incremental", "optimize_for_sequential_key", "resumable",
                          "max_duration", "xml_compression"})
        if (t.kw(o)) return true;
    return false;
}

// One "name [= value]" of a WITH clause.
void readOption(const std::vector<Token> &t, std::size_t &i, IndexOptions *options)
{
    const Token &name = t[i];
    if (!isOptionName(name)) {
        if (name.isName()) notSupported("The index option " + name.text);
        syntaxError(name);
    }
    ++i;
    std::optional<std::size_t> value;
    if (t[i].op("=")) {
        value = i + 1;
        i += 2;
        if (name.kw("max_duration") && t[i].kw("minutes")) ++i;
        if (name.kw("data_compression") && t[i].kw("on")) notSupported("DATA_COMPRESSION on partitions");
    } else if (!name.kw("pad_index") && !name.kw("sort_in_tempdb") && !name.kw("ignore_dup_key") &&
               !name.kw("statistics_norecompute") && !name.kw("drop_existing")) {
        syntaxError(t[i]);
    }
    const auto flag = [&] { return value ? onOff(t[*value]) : true; };
    IndexOptions ignored;
    IndexOptions &o = options ? *options : ignored;
    if (name.kw("pad_index")) o.padIndex = flag();
    else if (name.kw("fillfactor")) {
        if (!t[*value].is(Tok::Number)) syntaxError(t[*value]);
        o.fillFactor = std::stoi(t[*value].text);
        if (o.fillFactor < 0 || o.fillFactor > 100) notSupported("A FILLFACTOR outside 0 to 100");
    } else if (name.kw("ignore_dup_key")) {
        if (flag()) notSupported("IGNORE_DUP_KEY = ON");
    } else if (name.kw("drop_existing")) {
        if (flag()) notSupported("DROP_EXISTING = ON");
    } else if (name.kw("allow_row_locks")) o.allowRowLocks = flag();
    else if (name.kw("allow_page_locks")) o.allowPageLocks = flag();
    else if (name.kw("optimize_for_sequential_key")) o.optimizeForSequentialKey = flag();
    else if (name.kw("statistics_norecompute")) o.statisticsNoRecompute = flag();
}

bool isDefaultFilegroup(const Token &t)
{
    return t.isName() && (iequals(t.text, "primary") || iequals(t.text, "default"));
}

}  // namespace

void readKeyColumns(const std::vector<Token> &t, std::size_t &i, PrimaryKeySpec &spec)
{
    if (!t[i].is(Tok::LParen)) syntaxError(t[i]);
    ++i;
    while (true) {
        spec.columns.push_back(readName(t, i));
        bool desc = false;
        if (t[i].kw("asc")) ++i;
        else if (t[i].kw("desc")) { desc = true; ++i; }
        spec.descending.push_back(desc);
        if (t[i].is(Tok::Comma)) { ++i; continue; }
        if (!t[i].is(Tok::RParen)) syntaxError(t[i]);
        ++i;
        return;
    }
}

void readStorage(const std::vector<Token> &t, std::size_t &i, IndexOptions *options, bool table)
{
    while (true) {
        if (t[i].kw("with") && t[i + 1].is(Tok::LParen)) {
            i += 2;
            while (true) {
                readOption(t, i, options);
                if (t[i].is(Tok::Comma)) { ++i; continue; }
                if (!t[i].is(Tok::RParen)) syntaxError(t[i]);
                ++i;
                break;
            }
        } else if (t[i].kw("with") && isOptionName(t[i + 1])) {
            // The older form: WITH PAD_INDEX, FILLFACTOR = 80
            ++i;
            readOption(t, i, options);
            while (t[i].is(Tok::Comma) && isOptionName(t[i + 1])) {
                ++i;
                readOption(t, i, options);
            }
        } else if (t[i].kw("on") || (table && t[i].kw("textimage_on"))) {
            if (!t[i + 1].isName()) syntaxError(t[i + 1]);
            if (!isDefaultFilegroup(t[i + 1]) || t[i + 2].is(Tok::LParen))
                notSupported("The filegroup or partition scheme " + t[i + 1].text);
            i += 2;
        } else if (t[i].kw("filestream_on")) {
            notSupported("FILESTREAM_ON");
        } else {
            return;
        }
    }
}

void checkKeyIndex(Exec &x, const Catalog &cat, std::int64_t tableId, const std::string &table, PrimaryKeySpec &key)
{
    for (const IndexRow &ix : tableIndexes(cat.store(), cat.database(), tableId)) {
        if (iequals(ix.name, key.name))
            failPair(x, SqlError(1913, "The operation failed because an index or statistics with name '" + key.name +
                                           "' already exists on table 'dbo." + table + "'.", 16),
                     SqlError(1750, "Could not create constraint or index. See previous errors.", 16));
        if (!ix.clustered) continue;
        if (!key.clusterWritten) key.clustered = false;
        if (key.clustered)
            failPair(x, SqlError(1902, "Cannot create more than one clustered index on table 'dbo." + table +
                                           "'. Drop the existing clustered index '" + ix.name +
                                           "' before creating another.", 16),
                     SqlError(1750, "Could not create constraint or index. See previous errors.", 16));
    }
}

void unclusterKeys(const std::vector<PrimaryKeySpec *> &keys)
{
    bool uniqueClustered = false;
    for (const PrimaryKeySpec *k : keys)
        uniqueClustered = uniqueClustered || (k->unique && k->clustered);
    for (PrimaryKeySpec *k : keys)
        if (uniqueClustered && !k->unique && !k->clusterWritten) k->clustered = false;
}

void addHeap(StoreConn &conn, const Database &db, std::int64_t tableId)
{
    conn.run("INSERT INTO cat_sysindexes(dbk, id, status, indid, keycnt, groupid, dpages, reserved, used, rowcnt, "
             "rowmodctr, xmaxlen, maxirow, OrigFillFactor, StatVersion, impid, lockflags, pgmodctr, name, maxlen, "
             "rows) VALUES(?, ?, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, NULL, 8000, 0)",
             {db.dbk, tableId});
    conn.run("INSERT INTO cat_indexes VALUES(?, ?, NULL, 0, 0, 'HEAP', 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, NULL, NULL, "
             "0, 0, 0, 0, NULL, 0)",
             {db.dbk, tableId});
}

std::int64_t writeIndex(StoreConn &conn, const Database &db, std::int64_t tableId, const IndexRecord &r)
{
    std::int64_t indid = 1;
    if (r.clustered) {
        conn.run("DELETE FROM cat_sysindexes WHERE dbk = ? AND id = ? AND indid = 0", {db.dbk, tableId});
        conn.run("DELETE FROM cat_indexes WHERE dbk = ? AND object_id = ? AND index_id = 0", {db.dbk, tableId});
    } else {
        indid = std::max<std::int64_t>(2, conn.scalarInt("SELECT ifnull(max(index_id), 0) + 1 FROM cat_indexes "
                                                         "WHERE dbk = ? AND object_id = ?",
                                                         {db.dbk, tableId}));
    }
    const std::int64_t status = (r.unique ? 2 : 0) | (r.clustered ? 16 : 0) | (r.primaryKey ? 2048 : 0) |
                                (r.uniqueConstraint ? 4096 : 0);
    const std::int64_t lockflags = (r.options.allowRowLocks ? 0 : 1) | (r.options.allowPageLocks ? 0 : 2);
    conn.run("INSERT INTO cat_sysindexes(dbk, id, status, indid, keycnt, groupid, dpages, reserved, used, rowcnt, "
             "rowmodctr, xmaxlen, maxirow, OrigFillFactor, StatVersion, impid, lockflags, pgmodctr, name, maxlen, "
             "rows) VALUES(?, ?, ?, ?, ?, 1, 0, 0, 0, 0, 0, 0, 0, ?, 0, 0, ?, 0, ?, 8000, 0)",
             {db.dbk, tableId, status, indid, static_cast<std::int64_t>(r.keys.size()),
              std::int64_t{r.options.fillFactor}, lockflags, r.name});
    const auto b = [](bool v) { return Param{std::int64_t{v ? 1 : 0}}; };
    conn.run("INSERT INTO cat_indexes VALUES(?, ?, ?, ?, ?, ?, ?, 1, 0, ?, ?, ?, ?, 0, 0, ?, ?, ?, ?, NULL, 0, 0, ?, "
             "?, ?, ?)",
             {db.dbk, tableId, r.name, indid, std::int64_t{r.clustered ? 1 : 2},
              std::string(r.clustered ? "CLUSTERED" : "NONCLUSTERED"), b(r.unique), b(r.primaryKey),
              b(r.uniqueConstraint), std::int64_t{r.options.fillFactor}, b(r.options.padIndex),
              b(r.options.allowRowLocks), b(r.options.allowPageLocks), b(!r.filterDefinition.empty()),
              r.filterDefinition.empty() ? Param{} : Param{r.filterDefinition}, b(r.options.optimizeForSequentialKey),
              b(r.systemNamed), r.filterSql.empty() ? Param{} : Param{r.filterSql}, b(r.options.statisticsNoRecompute)});
    std::int64_t ordinal = 0, position = 0;
    for (const auto &[colid, desc] : r.keys) {
        ++ordinal;
        conn.run("INSERT INTO cat_sysindexkeys VALUES(?, ?, ?, ?, ?)", {db.dbk, tableId, indid, colid, ordinal});
        conn.run("INSERT INTO cat_index_columns VALUES(?, ?, ?, ?, ?, ?, 0, ?, 0)",
                 {db.dbk, tableId, indid, ++position, colid, ordinal, b(desc)});
    }
    for (std::int64_t colid : r.included)
        conn.run("INSERT INTO cat_index_columns VALUES(?, ?, ?, ?, ?, 0, 0, 0, 1)",
                 {db.dbk, tableId, indid, ++position, colid});
    return indid;
}

void removeIndex(StoreConn &conn, const Database &db, std::int64_t tableId, std::int64_t indid)
{
    conn.run("DELETE FROM cat_sysindexes WHERE dbk = ? AND id = ? AND indid = ?", {db.dbk, tableId, indid});
    conn.run("DELETE FROM cat_sysindexkeys WHERE dbk = ? AND id = ? AND indid = ?", {db.dbk, tableId, indid});
    conn.run("DELETE FROM cat_indexes WHERE dbk = ? AND object_id = ? AND index_id = ?", {db.dbk, tableId, indid});
    conn.run("DELETE FROM cat_index_columns WHERE dbk = ? AND object_id = ? AND index_id = ?", {db.dbk, tableId, indid});
    if (indid == 1)
        addHeap(conn, db, tableId);
}

void removeTableIndexes(StoreConn &conn, const Database &db, std::int64_t tableId)
{
    for (const char *sql : {"DELETE FROM cat_sysindexes WHERE dbk = ? AND id = ?",
                            "DELETE FROM cat_sysindexkeys WHERE dbk = ? AND id = ?",
                            "DELETE FROM cat_indexes WHERE dbk = ? AND object_id = ?",
                            "DELETE FROM cat_index_columns WHERE dbk = ? AND object_id = ?"})
        conn.run(sql, {db.dbk, tableId});
}

std::vector<IndexRow> tableIndexes(StoreConn &conn, const Database &db, std::int64_t tableId)
{
    std::vector<IndexRow> out;
    {
        StoreStmt st(conn.raw(), "SELECT index_id, name, type, is_unique, is_primary_key, is_unique_constraint, "
                                 "filter_sql FROM cat_indexes WHERE dbk = ? AND object_id = ? AND index_id > 0 "
                                 "ORDER BY index_id");
        st.bind(1, db.dbk).bind(2, tableId);
        while (st.step())
            out.push_back({st.intAt(0), st.textAt(1), st.intAt(2) == 1, st.intAt(3) != 0, st.intAt(4) != 0,
                           st.intAt(5) != 0, st.nullAt(6) ? std::string() : st.textAt(6), {}});
    }
    for (IndexRow &ix : out) {
        StoreStmt st(conn.raw(), "SELECT c.name FROM cat_index_columns k JOIN cat_syscolumns c ON c.dbk = k.dbk AND "
                                 "c.id = k.object_id AND c.colid = k.column_id WHERE k.dbk = ? AND k.object_id = ? "
                                 "AND k.index_id = ? AND k.key_ordinal > 0 ORDER BY k.key_ordinal");
        st.bind(1, db.dbk).bind(2, tableId).bind(3, ix.indid);
        while (st.step()) ix.keyColumns.push_back(st.textAt(0));
    }
    return out;
}

}  // namespace sqlsim
