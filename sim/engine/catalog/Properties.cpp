// Extended properties, system-object marking and SELECT ... INTO (structure copies).
#include "sim/engine/catalog/Catalog.h"
#include "sim/engine/types/AliasTypes.h"
#include "sim/engine/rows/Rows.h"
#include "sim/engine/catalog/Procedures.h"
#include "sim/engine/query/Translate.h"

#include <algorithm>

namespace sqlsim {

namespace {

Database currentDatabase(Exec &x)
{
    auto db = x.session.instance().findDatabase(x.session.currentDatabase());
    if (!db)
        throw SqlError(911, "Database '" + x.session.currentDatabase() +
                                "' does not exist. Make sure that the name is entered correctly.", 16);
    return *db;
}

}  // namespace

void execExtendedProperty(Exec &x, const std::string &proc, const std::vector<ProcArg> &args)
{
    const bool drop = proc == "sp_dropextendedproperty";
    // Positional order: @name, [@value,] @level0type, @level0name, @level1type, ... @level2name.
    std::vector<std::string> order = {"@name", "@value", "@level0type", "@level0name", "@level1type",
                                      "@level1name", "@level2type", "@level2name"};
    if (drop)
        order.erase(order.begin() + 1);
    std::map<std::string, Param> named;
    for (std::size_t k = 0; k < args.size(); ++k) {
        const std::string key = args[k].name.empty() ? (k < order.size() ? order[k] : "") : args[k].name;
        if (key.empty() || std::find(order.begin(), order.end(), key) == order.end())
            throw SqlError(8145, args[k].name + " is not a parameter for procedure " + proc + ".", 16);
        named[key] = args[k].value;
    }
    auto text = [&](const char *key) -> std::string {
        auto it = named.find(key);
        if (it == named.end()) return {};
        if (auto *s = std::get_if<std::string>(&it->second)) return *s;
        if (auto *n = std::get_if<std::int64_t>(&it->second)) return std::to_string(*n);
        return {};
    };
    const std::string name = text("@name");
    if (name.empty())
        throw SqlError(15600, "An invalid parameter or option was specified for procedure '" + proc + "'.", 16);
    const std::string schema = text("@level0name");
    const std::string object = text("@level1name");
    const std::string column = text("@level2name");
    std::string path = schema;
    if (!object.empty()) path += "." + object;
    if (!column.empty()) path += "." + column;
    const std::string l1 = lower(text("@level1type"));
    const std::string l2 = lower(text("@level2type"));
    if (!l2.empty() && l2 != "column")
        notSupported("An extended property on a " + l2);
    const Database db = currentDatabase(x);
    StoreConn &store = x.session.store();
    StoreTxn txn(store);
    Catalog cat(store, db);
    auto invalid = [&] {
        return SqlError(15135, "Object is invalid. Extended properties are not permitted on '" + path +
                                   "', or the object does not exist.", 16);
    };
    if (!iequals(schema, "dbo") || object.empty() || (l1 != "table" && l1 != "view" && l1 != "procedure"))
        throw invalid();
    auto obj = cat.findObject(object);
    if (!obj || obj->xtype != (l1 == "table" ? "U" : l1 == "view" ? "V" : "P"))
        throw invalid();
    std::int64_t minor = 0;
    if (!column.empty()) {
        auto col = cat.findColumn(obj->id, column);
        if (!col)
            throw invalid();
        minor = col->colid;
    }
    const bool exists = cat.hasProperty(obj->id, minor, name);
    if (proc == "sp_addextendedproperty") {
        if (exists)
            throw SqlError(15233, "Property cannot be added. Property '" + name + "' already exists for '" + path + "'.", 16);
        cat.setProperty(obj->id, minor, name, named["@value"], true);
    } else {
        if (!exists)
            throw SqlError(15217, "Property cannot be updated or deleted. Property '" + name +
                                      "' does not exist for '" + path + "'.", 16);
        if (drop)
            cat.dropProperty(obj->id, minor, name);
        else
            cat.setProperty(obj->id, minor, name, named["@value"], false);
    }
    txn.commit();
    x.done();
}

void execMarkSystemObject(Exec &x, const std::vector<ProcArg> &args)
{
    if (args.empty())
        throw SqlError(201, "Procedure or function 'sp_MS_marksystemobject' expects parameter '@objname', which was "
                            "not supplied.", 16);
    const std::string name = argText(args[0]).value_or("");
    if (!x.session.login().sysadmin)
        throw SqlError(15247, "User does not have permission to perform this action.", 16);
    const Database db = currentDatabase(x);
    StoreConn &store = x.session.store();
    StoreTxn txn(store);
    Catalog cat(store, db);
    std::size_t dot = name.rfind('.');
    auto obj = cat.findObject(dot == std::string::npos ? name : name.substr(dot + 1));
    if (!obj)
        throw SqlError(15151, "Cannot find the object '" + name + "', because it does not exist or you do not have "
                                                                  "permission.", 16);
    cat.markSystem(*obj);
    txn.commit();
    x.done();
}

// select * into [db.][dbo.]T from <table or four-part name> [where ...]: copies the structure.
void execSelectInto(Exec &x, std::size_t intoPos)
{
    const auto &t = x.stmt.tokens;
    if (intoPos != 2 || !t[1].op("*"))
        notSupported("SELECT ... INTO with a column list");
    std::size_t i = intoPos + 1;
    const ObjectName target = readObjectName(t, i);
    checkIdentifier(target.name);
    if (!t[i].kw("from"))
        syntaxError(t[i]);
    ++i;
    Translator tr(x);
    Translator::NameRef source = tr.readTableName(i);
    std::string alias = source.parts[3];
    if (t[i].kw("as") || (t[i].isName() && !t[i].kw("where"))) {
        i += t[i].kw("as") ? 1 : 0;
        alias = readName(t, i);
    }
    if (!t[i].is(Tok::End) && !t[i].kw("where"))
        notSupported("SELECT ... INTO from a join");
    const ResolvedDb from = tr.resolveDatabase(source);
    const Database targetDb = resolveDdlDatabase(x, target);
    StoreConn &store = x.session.store();
    StoreTxn txn(store);
    Catalog src(store, from.db);
    auto table = src.findObject(source.parts[3]);
    if (!table || table->xtype != "U" || (!source.parts[2].empty() && !iequals(source.parts[2], "dbo"))) {
        if (from.remote)
            throw SqlError(7314, "The OLE DB provider \"SQLOLEDB\" for linked server \"(null)\" does not contain the "
                                 "table \"" + from.db.name + "\".\"dbo\".\"" + source.parts[3] +
                                     "\". The table either does not exist or the current user does not have "
                                     "permissions on that table.", 16).aborting();
        throw SqlError(208, "Invalid object name '" + source.written + "'.", 16).aborting();
    }
    std::vector<ColumnSpec> specs;
    for (const ColumnRow &c : src.columns(table->id)) {
        ColumnSpec s;
        s.name = c.name;
        s.shape.type = typeOfColumn(c.xusertype, c.xtype);  // an alias column: its base type
        s.shape.length = static_cast<int>(c.length);
        s.shape.prec = static_cast<int>(c.prec);
        if (c.scale) s.shape.scale = static_cast<int>(*c.scale);
        if (s.shape.type->decimal || !s.shape.type->sized) {
            s.shape.xprec = s.shape.type->decimal ? static_cast<int>(c.prec) : s.shape.type->xprec;
            s.shape.xscale = s.shape.type->decimal ? static_cast<int>(c.scale.value_or(0)) : s.shape.type->xscale;
        }
        // A remote source gives names, types and nullability only.
        s.identity = c.identity && !from.remote;
        s.seed = c.seed;
        s.increment = c.increment;
        s.nullable = c.nullable && !s.identity;
        specs.push_back(s);
    }
    Catalog dst(store, targetDb);
    if (dst.findObject(target.name))
        throw SqlError(2714, "There is already an object named '" + target.name + "' in the database.", 16);
    const std::int64_t id = dst.createTable(target.name);
    for (const ColumnSpec &s : specs)
        dst.addColumn(id, target.name, s);
    // The rows its WHERE keeps come along, with their identity values when the identity does.
    std::string columns;
    bool identity = false;
    for (const ColumnSpec &s : specs) {
        columns += (columns.empty() ? "" : ", ") + quoteIdent(s.name);
        identity = identity || s.identity;
    }
    std::string where;
    if (t[i].kw("where")) {
        try {
            where = " WHERE " + tr.expression(i + 1, x.stmt.end());
        } catch (const StoreError &e) {
            throw mapStoreError(e.what());
        }
    }
    std::int64_t copied = 0;
    try {
        if (hasRowTable(store, from.db, table->id)) {
            ensureRowTable(store, targetDb, id);
            store.exec("INSERT INTO " + rowTable(targetDb, id) + " (" + columns + ") SELECT " + columns + " FROM " +
                   rowTable(from.db, table->id) + " AS " + quoteIdent(alias) + where);
            copied = store.changes();
        }
    } catch (const StoreError &e) {
        throw mapStoreError(e.what());
    }
    if (identity)
        setIdentityCurrent(store, targetDb, id, identityCurrent(store, from.db, table->id));
    txn.commit();
    x.done(copied);
}

}  // namespace sqlsim
