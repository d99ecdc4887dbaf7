// INSERT into user tables, and what the statements that change rows share.
#include "sim/engine/rows/Dml.h"

#include "sim/engine/constraints/Constraints.h"
#include "sim/engine/query/Translate.h"
#include "sim/engine/rows/Unique.h"
#include "sim/engine/modules/Modules.h"

#include <algorithm>
#include <map>

namespace sqlsim {

namespace {

std::size_t closing(const std::vector<Token> &t, std::size_t open)
{
    int depth = 0;
    for (std::size_t k = open; k < t.size(); ++k) {
        if (t[k].is(Tok::LParen)) ++depth;
        if (t[k].is(Tok::RParen) && --depth == 0) return k;
        if (t[k].is(Tok::End)) break;
    }
    syntaxError(t.back());
}

bool isLiteral(const Token &t)
{
    return t.is(Tok::String) || t.is(Tok::NString) || t.is(Tok::Number) || t.is(Tok::Hex);
}

}  // namespace

const ColumnInfo *findColumnInfo(const std::vector<ColumnInfo> &columns, std::string_view name)
{
    for (const ColumnInfo &c : columns)
        if (iequals(c.name, name)) return &c;
    return nullptr;
}

SqlError &classify(SqlError &e)
{
    switch (e.number) {
    case 245: case 241: case 242: case 8169: case 235: case 257:
        return e.aborting();
    case 515: case 2628: case 8115: case 220: case 232: case 244: case 248: case 8114: case 2627: case 547:
        return e.statementTerminated();
    default:
        return e;
    }
}

DmlTarget resolveTable(Exec &x, std::size_t &i)
{
    const auto &t = x.stmt.tokens;
    const std::size_t start = i;
    if (t[i].kw("opendatasource") || (t[i].isName() && t[i + 1].is(Tok::Dot) && t[i + 2].isName() &&
                                      t[i + 3].is(Tok::Dot) && t[i + 4].isName() && t[i + 5].is(Tok::Dot)))
        notSupported("Changing rows on another server");
    const ObjectName name = readObjectName(t, i);
    const std::string written = x.stmt.text.substr(t[start].begin - t[0].begin, t[i - 1].end - t[start].begin);
    DmlTarget target;
    target.db = resolveDdlDatabase(x, name);
    Catalog cat(x.session.store(), target.db);
    auto obj = cat.findObject(name.name);
    if (obj && obj->xtype == "V")
        notSupported("Changing rows through the view " + obj->name);
    if (!obj || obj->xtype != "U")
        throw SqlError(208, "Invalid object name '" + written + "'.", 16).aborting();
    if (!t[0].kw("truncate"))
        failIfTriggered(cat, *obj);
    target.table = *obj;
    ensureRowTable(x.session.store(), target.db, obj->id);
    target.columns = tableColumns(x.session.store(), target.db, obj->id);
    target.qualified = qualifiedTable(target.db, obj->name);
    return target;
}

Typed evaluate(Exec &x, std::size_t b, std::size_t e)
{
    const auto &t = x.stmt.tokens;
    // Parentheses around a whole value change nothing.
    while (e > b + 1 && t[b].is(Tok::LParen) && closing(t, b) == e - 1) {
        ++b;
        --e;
    }
    if (e == b + 1 && t[b].kw("null")) return {};
    if (e == b + 1 && isLiteral(t[b])) return literalValue(t[b], false);
    if (e == b + 2 && (t[b].op("-") || t[b].op("+")) && t[b + 1].is(Tok::Number))
        return literalValue(t[b + 1], t[b].op("-"));
    if (e == b)
        syntaxError(t[b]);
    Translator tr(x);
    try {
        const std::string sql = "SELECT " + tr.expression(b, e);
        for (const std::string &step : tr.prelude())
            x.session.store().exec(step);
        QueryResult r = runQuery(x.session.store(), sql, &x.sink, tr.typeHints());
        for (const std::string &temp : tr.temps())
            x.session.store().exec("DROP TABLE IF EXISTS temp." + temp);
        if (r.rows.empty() || r.columns.empty()) return {};
        return resultValue(r.rows[0][0], r.columns[0].type);
    } catch (const StoreError &err) {
        throw mapStoreError(err.what());
    }
}

Typed defaultValue(Exec &x, const ColumnInfo &column)
{
    if (!column.defaultText) return {};
    const std::string sql = "SELECT " + *column.defaultText;
    const std::vector<Token> tokens = tokenize(sql);
    const std::vector<Statement> statements = splitStatements(sql, tokens);
    Exec inner{x.session, x.sink, statements.front(), sql, 0};
    return evaluate(inner, 1, statements.front().end());
}

bool perRowDefault(const ColumnInfo &column)
{
    return column.defaultText && lower(*column.defaultText).find("newid(") != std::string::npos;
}

namespace {

// One row's values for the listed columns; nullopt stands for DEFAULT.
using SourceRow = std::vector<std::optional<Typed>>;

std::vector<SourceRow> valuesRows(Exec &x, std::size_t &i, std::size_t columns, bool listed)
{
    const auto &t = x.stmt.tokens;
    std::vector<SourceRow> rows;
    ++i;  // VALUES
    while (true) {
        if (!t[i].is(Tok::LParen)) syntaxError(t[i]);
        const std::size_t close = closing(t, i);
        SourceRow row;
        std::size_t start = i + 1;
        int depth = 0;
        for (std::size_t k = i + 1; k <= close; ++k) {
            if (t[k].is(Tok::LParen)) ++depth;
            if (t[k].is(Tok::RParen) && k != close) --depth;
            if ((depth == 0 && t[k].is(Tok::Comma)) || k == close) {
                if (k == start) syntaxError(t[k]);
                if (k == start + 1 && t[start].kw("default")) row.push_back(std::nullopt);
                else row.push_back(evaluate(x, start, k));
                start = k + 1;
            }
        }
        if (!rows.empty() && rows.front().size() != row.size())
            throw SqlError(10709, "The number of columns for each row in a table value constructor must be the same.", 16);
        rows.push_back(std::move(row));
        i = close + 1;
        if (!t[i].is(Tok::Comma)) break;
        ++i;
    }
    if (rows.size() > 1000)
        throw SqlError(10738, "The number of row value expressions in the INSERT statement exceeds the maximum "
                              "allowed number of 1000 row values.", 15);
    const std::size_t given = rows.front().size();
    if (!listed && given != columns)
        throw SqlError(213, "Column name or number of supplied values does not match table definition.", 16);
    if (given < columns)
        throw SqlError(109, "There are more columns in the INSERT statement than values specified in the VALUES "
                            "clause. The number of values in the VALUES clause must match the number of columns "
                            "specified in the INSERT statement.", 15);
    if (given > columns)
        throw SqlError(110, "There are fewer columns in the INSERT statement than values specified in the VALUES "
                            "clause. The number of values in the VALUES clause must match the number of columns "
                            "specified in the INSERT statement.", 15);
    return rows;
}

std::vector<SourceRow> selectRows(Exec &x, std::size_t i, std::size_t columns, bool listed)
{
    Translator tr(x);
    StoreConn &store = x.session.store();
    QueryResult r;
    try {
        const std::string sql = tr.query(i, x.stmt.end());
        for (const std::string &step : tr.prelude())
            store.exec(step);
        r = runQuery(store, sql, &x.sink, tr.typeHints());
        for (const std::string &temp : tr.temps())
            store.exec("DROP TABLE IF EXISTS temp." + temp);
    } catch (const StoreError &err) {
        throw mapStoreError(err.what());
    }
    if (!listed && r.columns.size() != columns)
        throw SqlError(213, "Column name or number of supplied values does not match table definition.", 16);
    if (r.columns.size() < columns)
        throw SqlError(120, "The select list for the INSERT statement contains fewer items than the insert list. The "
                            "number of SELECT values must match the number of INSERT columns.", 15);
    if (r.columns.size() > columns)
        throw SqlError(121, "The select list for the INSERT statement contains more items than the insert list. The "
                            "number of SELECT values must match the number of INSERT columns.", 15);
    std::vector<SourceRow> rows;
    rows.reserve(r.rows.size());
    for (const Row &row : r.rows) {
        SourceRow out;
        for (std::size_t c = 0; c < row.size(); ++c)
            out.push_back(resultValue(row[c], r.columns[c].type));
        rows.push_back(std::move(out));
    }
    return rows;
}

std::string quotedColumns(const std::vector<ColumnInfo> &columns)
{
    std::string out;
    for (const ColumnInfo &c : columns)
        out += (out.empty() ? "" : ", ") + quoteIdent(c.name);
    return out;
}

}  // namespace

void execInsert(Exec &x)
{
    const auto &t = x.stmt.tokens;
    std::size_t i = 1;
    if (t[i].kw("top")) notSupported("INSERT TOP");
    if (t[i].kw("into")) ++i;
    StoreConn &store = x.session.store();
    StoreTxn txn(store);
    DmlTarget target = resolveTable(x, i);
    const auto &cols = target.columns;
    const ColumnInfo *identity = nullptr;
    for (const ColumnInfo &c : cols)
        if (c.identity) identity = &c;
    const auto &ii = x.session.identityInsert;
    const bool explicitIdentity = identity && ii && ii->dbk == target.db.dbk && ii->table == target.table.id;

    std::vector<const ColumnInfo *> listed;
    const bool hasList = t[i].is(Tok::LParen) && !t[i + 1].kw("select");
    if (hasList) {
        const std::size_t close = closing(t, i);
        for (std::size_t k = i + 1; k < close; ++k) {
            std::size_t n = k;
            const std::string name = readName(t, n);
            const ColumnInfo *c = findColumnInfo(cols, name);
            if (!c) throw SqlError(207, "Invalid column name '" + name + "'.", 16).aborting();
            for (const ColumnInfo *seen : listed)
                if (seen == c)
                    throw SqlError(264, "The column name '" + c->name + "' is specified more than once in the SET "
                                        "clause or column list of an INSERT. A column cannot be assigned more than "
                                        "one value in the same clause. Modify the clause to make sure that a column "
                                        "is updated only once. If this statement updates or inserts columns into a "
                                        "view, column aliasing can conceal the duplication in your code.", 16);
            listed.push_back(c);
            k = n;
            if (!t[k].is(Tok::Comma) && k != close) syntaxError(t[k]);
        }
        if (listed.empty()) syntaxError(t[close]);
        i = close + 1;
    } else {
        if (explicitIdentity)
            throw SqlError(8101, "An explicit value for the identity column in table '" + target.qualified +
                                     "' can only be specified when a column list is used and IDENTITY_INSERT is ON.", 16);
        for (const ColumnInfo &c : cols)
            if (!c.identity) listed.push_back(&c);
    }
    if (t[i].kw("output")) notSupported("The OUTPUT clause");
    for (const ColumnInfo *c : listed)
        if (c->identity && !explicitIdentity)
            throw SqlError(544, "Cannot insert explicit value for identity column in table '" + target.table.name +
                                    "' when IDENTITY_INSERT is set to OFF.", 16);
    if (identity && explicitIdentity && std::find(listed.begin(), listed.end(), identity) == listed.end())
        throw SqlError(545, "Explicit value must be specified for identity column in table '" + target.table.name +
                                "' either when IDENTITY_INSERT is set to ON or when a replication user is inserting "
                                "into a NOT FOR REPLICATION identity column.", 16);

    std::vector<SourceRow> rows;
    try {
        if (t[i].kw("default") && t[i + 1].kw("values") && t[i + 2].is(Tok::End)) {
            if (hasList) syntaxError(t[i]);
            listed.clear();
            rows.emplace_back();
        } else if (t[i].kw("values")) {
            rows = valuesRows(x, i, listed.size(), hasList);
            if (!t[i].is(Tok::End)) syntaxError(t[i]);
        } else if (t[i].kw("select") || t[i].kw("with")) {
            if (t[i].kw("with")) notSupported("A common table expression");
            rows = selectRows(x, i, listed.size(), hasList);
        } else if (t[i].kw("exec") || t[i].kw("execute")) {
            notSupported("INSERT ... EXEC");
        } else {
            syntaxError(t[i]);
        }

        const ConvertSite site{target.qualified, "INSERT"};
        std::map<std::string, Param> defaults;  // by column, computed once per statement
        std::optional<std::int64_t> current = identity ? identityCurrent(store, target.db, target.table.id) : std::nullopt;
        const std::string sql = "INSERT INTO " + rowTable(target.db, target.table.id) + " (" + quotedColumns(cols) +
                                ") VALUES (" + [&] {
                                    std::string q;
                                    for (std::size_t k = 0; k < cols.size(); ++k) q += k ? ", ?" : "?";
                                    return q;
                                }() + ")";
        const std::int64_t firstRowid =
            store.scalarInt("SELECT ifnull(max(\"$r\"), 0) + 1 FROM " + rowTable(target.db, target.table.id));
        StoreStmt insert(store.raw(), sql);
        for (const SourceRow &row : rows) {
            std::vector<Param> values;
            values.reserve(cols.size());
            for (const ColumnInfo &c : cols) {
                std::size_t at = 0;
                while (at < listed.size() && listed[at] != &c) ++at;
                const bool given = at < listed.size() && row[at].has_value();
                if (c.identity && !given) {
                    current = current ? *current + c.increment : c.seed;
                    values.emplace_back(*current);
                    continue;
                }
                if (given) {
                    values.push_back(toColumn(*row[at], c, site));
                    if (c.identity) {
                        const std::int64_t v = std::get<std::int64_t>(values.back());
                        if (!current || (c.increment > 0 ? v > *current : v < *current)) current = v;
                    }
                    continue;
                }
                auto found = defaults.find(c.name);
                if (found == defaults.end() || perRowDefault(c))
                    found = defaults.insert_or_assign(c.name, toColumn(defaultValue(x, c), c, site)).first;
                values.push_back(found->second);
            }
            for (std::size_t k = 0; k < values.size(); ++k)
                insert.bind(static_cast<int>(k + 1), values[k]);
            try {
                insert.step();
            } catch (const StoreError &e) {
                if (std::string(e.what()).find("UNIQUE constraint failed") == std::string::npos)
                    throw;
                Catalog cat(store, target.db);
                const auto pk = cat.primaryKeyOf(target.table.id);
                std::string key;
                for (const std::string &name : cat.primaryKeyColumns(target.table.id)) {
                    for (std::size_t k = 0; k < cols.size(); ++k)
                        if (iequals(cols[k].name, name)) key += (key.empty() ? "" : ", ") + keyText(values[k]);
                }
                throw SqlError(2627, "Violation of PRIMARY KEY constraint '" + (pk ? pk->name : std::string()) +
                                         "'. Cannot insert duplicate key in object 'dbo." + target.table.name +
                                         "'. The duplicate key value is (" + key + ").", 14);
            }
            insert.reset();
            if (x.sink.cancelled()) throw Cancelled{};
        }
        if (auto conflict = uniqueConflict(store, target.db, target.table, firstRowid))
            throw *conflict;
        checkInsertedRows(x, target, firstRowid);
        if (identity)
            setIdentityCurrent(store, target.db, target.table.id, current);
    } catch (SqlError &e) {
        throw classify(e);
    }
    txn.commit();
    x.done(static_cast<std::int64_t>(rows.size()));
}

}  // namespace sqlsim
