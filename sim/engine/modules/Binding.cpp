// Binding a module's body at creation and the dependencies it leaves in the catalogue.
#include "sim/engine/modules/BodyScan.h"
#include "sim/engine/modules/Modules.h"

#include <cctype>

namespace sqlsim {

namespace {

// Catalogue views and system procedures: not user entities, never bound or recorded.
bool systemName(const Catalog &cat, const BodyRef &r)
{
    const std::string schema = lower(r.schema), name = lower(r.name);
    if (schema == "sys" || schema == "information_schema") return true;
    if (!r.database.empty()) return false;
    const bool systemLike = name.rfind("sys", 0) == 0 || name.rfind("sp_", 0) == 0 || name.rfind("xp_", 0) == 0;
    return systemLike && !cat.findObject(r.name);
}

// The object a reference names, when it is in the module's own database.
std::optional<ObjectRow> resolve(const Catalog &cat, const BodyRef &r)
{
    if (!r.database.empty() && !iequals(r.database, cat.database().name)) return std::nullopt;
    if (!r.schema.empty() && !iequals(r.schema, "dbo")) return std::nullopt;
    return cat.findObject(r.name);
}

bool exists(Exec &x, const Catalog &cat, const BodyRef &r)
{
    if (!r.database.empty() && !iequals(r.database, cat.database().name)) {
        auto db = x.session.instance().findDatabase(r.database);
        return db && Catalog(cat.store(), *db).findObject(r.name).has_value();
    }
    return resolve(cat, r).has_value();
}

std::size_t closeOf(const std::vector<Token> &t, std::size_t open)
{
    int depth = 0;
    for (std::size_t k = open; !t[k].is(Tok::End); ++k) {
        if (t[k].is(Tok::LParen)) ++depth;
        if (t[k].is(Tok::RParen) && --depth == 0) return k;
    }
    return open;
}

// SELECT [DISTINCT] [TOP n] items FROM table [[AS] alias] [WHERE|GROUP|ORDER ...], alone (no join,
// no second table, no subquery): each item that is a plain column must be one of the table's
// (207), and its qualifier the table or its alias (4104).
void checkColumns(Exec &x, const Catalog &cat, std::size_t body)
{
    const auto &t = x.stmt.tokens;
    std::size_t b = body, e = x.stmt.end();
    if (t[b].kw("return")) ++b;
    while (t[b].is(Tok::LParen) && closeOf(t, b) == e - 1) { ++b; --e; }
    if (!t[b].kw("select")) return;
    std::size_t from = 0, selects = 0;
    int depth = 0;
    for (std::size_t k = b; k < e; ++k) {
        if (t[k].is(Tok::LParen)) ++depth;
        if (t[k].is(Tok::RParen)) --depth;
        if (t[k].kw("select")) ++selects;
        if (t[k].kw("join") || t[k].kw("apply") || t[k].kw("union") || t[k].kw("into")) return;
        if (depth == 0 && t[k].kw("from") && !from) from = k;
    }
    if (selects != 1 || !from || !t[from + 1].isName()) return;
    std::size_t i = from + 1;
    std::string table = t[i].text;
    if (t[i + 1].is(Tok::Dot)) {
        if (!t[i + 2].isName() || t[i + 3].is(Tok::Dot)) return;
        table = t[i + 2].text;
        i += 3;
    } else {
        ++i;
    }
    std::string alias;
    if (t[i].kw("as")) ++i;
    if (t[i].isName() && !(t[i].kw("where") || t[i].kw("group") || t[i].kw("order") || t[i].kw("with") ||
                           t[i].kw("having") || t[i].kw("option")))
        alias = t[i++].text;
    if (t[i].is(Tok::Comma) || t[i].is(Tok::LParen)) return;
    auto obj = cat.findObject(table);
    if (!obj || obj->xtype != "U") return;
    std::size_t k = b + 1;
    if (t[k].kw("distinct") || t[k].kw("all")) ++k;
    if (t[k].kw("top")) return;
    std::size_t start = k;
    depth = 0;
    for (; k <= from; ++k) {
        if (t[k].is(Tok::LParen)) ++depth;
        if (t[k].is(Tok::RParen)) --depth;
        if (depth != 0 || !(t[k].is(Tok::Comma) || k == from)) continue;
        std::size_t s = start, n = k - start;
        start = k + 1;
        if (n >= 3 && t[s].isName() && t[s + 1].op("=")) { s += 2; n -= 2; }
        else if (n >= 3 && t[s + n - 2].kw("as")) n -= 2;
        else if (n == 2 && t[s].isName() && t[s + 1].isName()) n = 1;
        else if (n == 4 && t[s + 1].is(Tok::Dot) && t[s + 3].isName()) n = 3;
        std::string qualifier, column;
        const bool niladic = t[s].kw("null") || t[s].kw("current_timestamp") || t[s].kw("current_user") ||
                             t[s].kw("session_user") || t[s].kw("system_user") || t[s].kw("user");
        if (n == 1 && t[s].isName() && !niladic) column = t[s].text;
        else if (n == 3 && t[s].isName() && t[s + 1].is(Tok::Dot) && (t[s + 2].isName() || t[s + 2].op("*"))) {
            qualifier = t[s].text;
            column = t[s + 2].op("*") ? "" : t[s + 2].text;
        } else {
            continue;
        }
        if (!qualifier.empty() && !iequals(qualifier, alias.empty() ? table : alias))
            throw SqlError(4104, "The multi-part identifier \"" + qualifier + "." + (column.empty() ? "*" : column) +
                                     "\" could not be bound.", 16);
        if (!column.empty() && !cat.findColumn(obj->id, column))
            throw SqlError(207, "Invalid column name '" + column + "'.", 16);
    }
}

}  // namespace

void bindModule(Exec &x, Catalog &cat, const std::string &name, const std::string &xtype)
{
    const auto &t = x.stmt.tokens;
    const std::size_t body = bodyStart(t, 2);
    if (body == 0) return;
    const bool bound = schemaBound(t, 2, body);
    const bool bindsAtCreation = xtype == "V" || xtype == "IF" || bound;
    const std::string kind = xtype == "V" ? "view" : xtype == "P" ? "procedure" : xtype == "TR" ? "trigger" : "function";
    // A schema-bound object keeps what it reads from being altered, as from being dropped.
    if (auto self = cat.findObject(name); self && t[0].kw("alter")) {
        std::string statement = "ALTER " + kind;
        for (char &ch : statement) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        failIfReferenced(cat, *self, statement, name);
    }
    for (const BodyRef &r : scanBody(x.stmt, body)) {
        if (r.exec || systemName(cat, r)) continue;
        if (bound && (r.schema.empty() || (r.database.empty() && iequals(r.name, name))))
            throw SqlError(4512, "Cannot schema bind " + kind + " '" + name + "' because name '" + r.written +
                                     "' is invalid for schema binding. Names must be in two-part format and an "
                                     "object cannot reference itself.", 16);
        if (bindsAtCreation && (r.source || bound) && !exists(x, cat, r))
            throw SqlError(208, "Invalid object name '" + r.written + "'.", 16);
        const auto target = bound ? resolve(cat, r) : std::nullopt;
        if (target && target->xtype != "U" &&
            cat.store().scalarInt("SELECT count(*) FROM cat_sql_modules WHERE dbk = ? AND object_id = ? AND "
                                  "is_schema_bound = 1", {cat.database().dbk, target->id}) == 0)
            throw SqlError(4513, "Cannot schema bind " + kind + " '" + name + "'. '" + r.written +
                                     "' is not schema bound.", 16);
    }
    if (bound)
        for (std::size_t k = body; !t[k].is(Tok::End); ++k)
            if (t[k].op("*") && (t[k - 1].kw("select") || t[k - 1].is(Tok::Comma) || t[k - 1].is(Tok::Dot)) &&
                (t[k + 1].kw("from") || t[k + 1].is(Tok::Comma)))
                throw SqlError(1054, "Syntax '*' is not allowed in schema-bound objects.", 15);
    if (xtype == "V" || xtype == "IF") checkColumns(x, cat, body);
}

void recordModule(Exec &x, Catalog &cat, const std::string &name)
{
    const auto &t = x.stmt.tokens;
    auto self = cat.findObject(name);
    const std::size_t body = bodyStart(t, 2);
    if (!self || body == 0) return;
    const bool bound = schemaBound(t, 2, body);
    StoreConn &s = cat.store();
    const std::int64_t dbk = cat.database().dbk;
    s.run("DELETE FROM cat_sql_dependencies WHERE dbk = ? AND referencing_id = ?", {dbk, self->id});
    s.run("DELETE FROM cat_parameters WHERE dbk = ? AND object_id = ?", {dbk, self->id});
    recordParameters(x, cat, self->id, self->xtype, body);
    bool nullOnNull = false;  // RETURNS NULL ON NULL INPUT
    for (std::size_t k = 2; k + 4 < body; ++k)
        nullOnNull = nullOnNull || (t[k].kw("returns") && t[k + 1].kw("null") && t[k + 2].kw("on") &&
                                    t[k + 3].kw("null") && t[k + 4].kw("input"));
    s.run("UPDATE cat_sql_modules SET is_schema_bound = ?, null_on_null_input = ? WHERE dbk = ? AND object_id = ?",
          {std::int64_t{bound ? 1 : 0}, std::int64_t{nullOnNull ? 1 : 0}, dbk, self->id});
    const auto text = [](const std::string &v) { return v.empty() ? Param{} : Param{v}; };
    for (const BodyRef &r : scanBody(x.stmt, body)) {
        if (systemName(cat, r)) continue;
        const auto target = resolve(cat, r);
        const bool schemaBoundRef = bound && !r.exec && target;
        const auto insert = [&](std::int64_t minor) {
            s.run("INSERT INTO cat_sql_dependencies VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?)",
                  {dbk, self->id, std::int64_t{schemaBoundRef ? 1 : 0}, text(r.database), text(r.schema), r.name,
                   schemaBoundRef ? Param{target->id} : Param{}, minor,
                   std::int64_t{r.exec && r.schema.empty() ? 1 : 0}});
        };
        insert(0);
        if (!schemaBoundRef || target->xtype != "U") continue;
        // The columns of a schema-bound object's tables: every one its body names.
        for (const ColumnRow &c : cat.columns(target->id))
            for (std::size_t k = body; !t[k].is(Tok::End); ++k)
                if (t[k].isName() && iequals(t[k].text, c.name)) {
                    insert(c.colid);
                    break;
                }
    }
}

std::vector<std::string> schemaBoundDependents(const Catalog &cat, std::int64_t tableId, std::int64_t colid)
{
    StoreStmt st(cat.store().raw(), "SELECT DISTINCT o.name FROM cat_sql_dependencies d JOIN cat_sysobjects o ON "
                                    "o.dbk = d.dbk AND o.id = d.referencing_id WHERE d.dbk = ? AND "
                                    "d.is_schema_bound_reference = 1 AND d.referenced_id = ? AND "
                                    "d.referenced_minor_id = ? ORDER BY o.id");
    st.bind(1, cat.database().dbk).bind(2, tableId).bind(3, colid);
    std::vector<std::string> out;
    while (st.step()) out.push_back(st.textAt(0));
    return out;
}

void failIfReferenced(Catalog &cat, const ObjectRow &object, const std::string &statement, const std::string &written)
{
    StoreStmt st(cat.store().raw(), "SELECT o.name FROM cat_sql_dependencies d JOIN cat_sysobjects o ON o.dbk = d.dbk "
                                    "AND o.id = d.referencing_id WHERE d.dbk = ? AND d.is_schema_bound_reference = 1 "
                                    "AND d.referenced_id = ? AND d.referencing_id <> ? ORDER BY o.id");
    st.bind(1, cat.database().dbk).bind(2, object.id).bind(3, object.id);
    if (st.step())
        throw SqlError(3729, "Cannot " + statement + " '" + written + "' because it is being referenced by object '" +
                                 st.textAt(0) + "'.", 16);
}

}  // namespace sqlsim
