#include "sim/engine/types/AliasTypes.h"

#include "sim/engine/catalog/Catalog.h"
#include "sim/engine/modules/Modules.h"

namespace sqlsim {

namespace {

thread_local const AliasTypeScope *currentScope = nullptr;

// The shape of a column of the alias type, as the type's systypes row gives it.
ColumnShape readShape(StoreStmt &st)
{
    ColumnShape s;
    s.xusertype = st.intAt(0);
    s.type = typeOfColumn(0, st.intAt(1));
    s.length = static_cast<int>(st.intAt(2));
    s.xprec = static_cast<int>(st.intAt(3));
    s.xscale = static_cast<int>(st.intAt(4));
    s.prec = static_cast<int>(st.intAt(5));
    if (!st.nullAt(6)) s.scale = static_cast<int>(st.intAt(6));
    s.notNullType = st.intAt(7) == 0;
    return s;
}

// Adds the type; base is the text of a system type ("nvarchar(24)").
void addType(Exec &x, const std::string &name, const std::vector<Token> &t, std::size_t i, bool allowNulls,
             int existsError)
{
    checkIdentifier(name);
    const Database db = *x.session.instance().findDatabase(x.session.currentDatabase());
    StoreConn &store = x.session.store();
    StoreTxn txn(store);
    if (findSystemType(name) ||
        store.scalarInt("SELECT count(*) FROM cat_alias_types WHERE dbk = ? AND name = ?", {db.dbk, name}) > 0)
        throw existsError == 219
            ? SqlError(219, "The type '" + name + "' already exists, or you do not have permission to create it.", 16)
            : SqlError(15029, "The type '" + name + "' already exists in the database.", 16);
    const ColumnShape s = readColumnType(t, i, 1, name);
    if (!t[i].is(Tok::End) && !(t[i].kw("null") || t[i].kw("not"))) syntaxError(t[i]);
    const SystemType &base = *s.type;
    const bool character = (base.sized && !std::string_view(base.name).ends_with("binary")) || base.unicode;
    const std::int64_t id =
        std::max<std::int64_t>(257, store.scalarInt("SELECT ifnull(max(xusertype), 0) + 1 FROM cat_alias_types "
                                                    "WHERE dbk = ?", {db.dbk}));
    store.run("INSERT INTO cat_alias_types VALUES(?, ?, ?, ?, ?, ?, ?, ?, 0, 0, 1, 0, ?, ?, ?, ?, ?, NULL, ?, ?, ?)",
              {db.dbk, name, std::int64_t{base.xtype}, std::int64_t{base.variable ? 3 : 1}, id,
               std::int64_t{s.length}, std::int64_t{s.xprec}, std::int64_t{s.xscale},
               character ? Param{std::int64_t{872468488}} : Param{}, id, std::int64_t{base.variable ? 1 : 0},
               std::int64_t{allowNulls ? 1 : 0}, std::int64_t{base.xtype}, std::int64_t{s.prec},
               s.scale ? Param{std::int64_t{*s.scale}} : Param{},
               character ? Param{std::string("SQL_Latin1_General_CP1_CI_AS")} : Param{}});
    txn.commit();
    x.done();
}

}  // namespace

AliasTypeScope::AliasTypeScope(StoreConn &conn, const Database &db) : outer_(currentScope), conn_(conn), db_(db)
{
    currentScope = this;
}

AliasTypeScope::~AliasTypeScope()
{
    currentScope = outer_;
}

std::optional<ColumnShape> findAliasType(std::string_view name)
{
    if (!currentScope) return std::nullopt;
    StoreStmt st(currentScope->conn_.raw(), "SELECT xusertype, xtype, length, xprec, xscale, prec, scale, allownulls "
                                            "FROM cat_alias_types WHERE dbk = ? AND name = ?");
    st.bind(1, currentScope->db_.dbk).bind(2, std::string(name));
    if (!st.step()) return std::nullopt;
    return readShape(st);
}

const SystemType *typeOfColumn(std::int64_t xusertype, std::int64_t xtype)
{
    for (const SystemType &t : systemTypes())
        if (t.xusertype == xusertype) return &t;
    for (const SystemType &t : systemTypes())
        if (t.xusertype == xtype) return &t;
    return nullptr;
}

// CREATE TYPE name FROM base [NULL | NOT NULL]
void createAliasType(Exec &x)
{
    const auto &t = x.stmt.tokens;
    std::size_t i = 2;
    const ObjectName name = readObjectName(t, i);
    if (!name.database.empty()) syntaxError(t[2]);
    if (t[i].kw("as") || t[i].kw("external")) notSupported("A table type or a CLR type");
    if (!t[i].kw("from")) syntaxError(t[i]);
    std::size_t end = x.stmt.end();
    bool allowNulls = true;
    if (t[end - 1].kw("null")) {
        allowNulls = !(end >= 2 && t[end - 2].kw("not"));
    }
    addType(x, name.name, t, i + 1, allowNulls, 219);
}

// sp_addtype name, 'base', ['NULL' | 'NOT NULL' | 'NONULL'] [, owner]
void execAddType(Exec &x, const std::vector<ProcArg> &args)
{
    if (args.size() < 2 || args.size() > 4)
        throw SqlError(8144, "Procedure or function sp_addtype has too many arguments specified.", 16);
    for (const ProcArg &a : args)
        if (!a.name.empty()) notSupported("sp_addtype with named arguments");
    const std::string name = argText(args[0]).value_or("");
    const std::string nulls = args.size() >= 3 ? lower(argText(args[2]).value_or("null")) : "null";
    if (nulls != "null" && nulls != "not null" && nulls != "nonull")
        throw SqlError(15040, "User-defined data types can only be NULL or NOT NULL.", 16);
    const std::vector<Token> base = tokenize(argText(args[1]).value_or(""));
    std::vector<Token> padded = base;
    for (int k = 0; k < 6; ++k) padded.push_back(base.back());
    addType(x, name, padded, 0, nulls == "null", 15029);
}

// DROP TYPE [IF EXISTS] name
void dropAliasType(Exec &x)
{
    const auto &t = x.stmt.tokens;
    std::size_t i = 2;
    bool ifExists = false;
    if (t[i].kw("if") && t[i + 1].kw("exists")) {
        ifExists = true;
        i += 2;
    }
    const ObjectName name = readObjectName(t, i);
    if (!t[i].is(Tok::End)) syntaxError(t[i]);
    const Database db = *x.session.instance().findDatabase(x.session.currentDatabase());
    StoreConn &store = x.session.store();
    StoreTxn txn(store);
    const std::int64_t id =
        store.scalarInt("SELECT ifnull(max(xusertype), 0) FROM cat_alias_types WHERE dbk = ? AND name = ?",
                        {db.dbk, name.name});
    if (id == 0) {
        if (ifExists) return x.done();
        throw SqlError(218, "Could not find the type '" + name.name +
                                "'. Either it does not exist or you do not have the necessary permission.", 16);
    }
    if (const auto user = typeUsedBy(Catalog(store, db), id, name.name))
        throw SqlError(3732, "Cannot drop type '" + name.name + "' because it is being referenced by object '" + *user +
                                 "'. There may be other objects that reference this type.", 16);
    store.run("DELETE FROM cat_alias_types WHERE dbk = ? AND xusertype = ?", {db.dbk, id});
    txn.commit();
    x.done();
}

std::string typesView(std::int64_t dbk, bool compatibility)
{
    const std::string d = std::to_string(dbk);
    const std::string systypes = "SELECT name, xtype, status, xusertype, length, xprec, xscale, tdefault, domain, uid, "
                                 "reserved, collationid, usertype, variable, allownulls, type, printfmt, prec, scale, "
                                 "collation FROM ";
    const std::string both = "(" + systypes + "cat_systypes UNION ALL " + systypes + "cat_alias_types WHERE dbk = " +
                             d + ")";
    if (compatibility) return both;
    return "(SELECT name, xtype AS system_type_id, xusertype AS user_type_id, CASE WHEN xusertype > 256 THEN 1 "
           "ELSE 4 END AS schema_id, NULL AS principal_id, length AS max_length, xprec AS precision, xscale AS scale, "
           "collation AS collation_name, allownulls AS is_nullable, CASE WHEN xusertype > 256 THEN 1 ELSE 0 END AS "
           "is_user_defined, 0 AS is_assembly_type, 0 AS default_object_id, 0 AS rule_object_id, 0 AS is_table_type "
           "FROM " + both + ")";
}

}  // namespace sqlsim
