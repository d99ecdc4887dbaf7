// CREATE / ALTER / DROP routed by the object word; views and procedures, and DROP TABLE|VIEW|PROC.
#include "sim/engine/catalog/Catalog.h"
#include "sim/engine/catalog/Indexes.h"
#include "sim/engine/catalog/Procedures.h"
#include "sim/engine/catalog/TableDdl.h"
#include "sim/engine/constraints/Constraints.h"
#include "sim/engine/modules/Modules.h"
#include "sim/engine/types/AliasTypes.h"

#include <cctype>

namespace sqlsim {

namespace {

bool isModuleKind(const Token &t)
{
    return t.kw("view") || t.kw("proc") || t.kw("procedure");
}

std::string writtenName(const ObjectName &n)
{
    return n.schema.empty() ? n.name : n.schema + "." + n.name;
}

std::string kindName(const std::string &xtype)
{
    if (xtype == "U") return "table";
    if (xtype == "V") return "view";
    if (xtype == "P") return "procedure";
    if (xtype == "TR") return "trigger";
    if (xtype == "FN" || xtype == "IF" || xtype == "TF") return "function";
    return "object";
}

std::string upperCase(std::string s)
{
    for (char &c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool isRoutine(const std::string &xtype)
{
    return kindName(xtype) == "function" || xtype == "TR";
}

// CREATE/ALTER VIEW|PROC: the whole batch is the definition.
void createOrAlterModule(Exec &x, bool alter)
{
    const auto &t = x.stmt.tokens;
    const std::string kind = lower(t[1].text) == "view" ? "VIEW" : "PROCEDURE";
    if (x.index != 0)
        throw SqlError(111, "'" + std::string(alter ? "ALTER " : "CREATE ") + kind +
                                "' must be the first statement in a query batch.", 15);
    std::size_t i = 2;
    const ObjectName name = readObjectName(t, i);
    if (!name.database.empty())
        throw SqlError(166, "'" + std::string(alter ? "ALTER " : "CREATE ") + kind +
                                "' does not allow specifying the database name as a prefix to the object name.", 15);
    checkIdentifier(name.name);
    bool hasAs = false;
    for (std::size_t k = i; !t[k].is(Tok::End); ++k)
        if (t[k].kw("as")) { hasAs = true; break; }
    if (!hasAs)
        syntaxError(t[i]);
    std::string text(x.batchText);
    if (alter)
        text.replace(t[0].begin, t[0].end - t[0].begin, "CREATE");
    const std::string xtype = kind == "VIEW" ? "V" : "P";
    const Database db = resolveDdlDatabase(x, name);
    StoreConn &store = x.session.store();
    StoreTxn txn(store);
    Catalog cat(store, db);
    auto existing = cat.findObject(name.name);
    if (!alter) {
        if (existing)
            throw SqlError(2714, "There is already an object named '" + name.name + "' in the database.", 16);
        bindModule(x, cat, name.name, xtype);
        cat.createModule(name.name, xtype, text);
    } else {
        if (!existing || existing->xtype != xtype)
            throw SqlError(208, "Invalid object name '" + name.name + "'.", 16);
        bindModule(x, cat, name.name, xtype);
        cat.replaceModule(*existing, text);
    }
    recordModule(x, cat, name.name);
    txn.commit();
    x.done();
}

// DROP TABLE|VIEW|PROC name [, name]: each name fails or succeeds on its own.
void dropObjects(Exec &x)
{
    const auto &t = x.stmt.tokens;
    const std::string kind = t[1].kw("table") ? "U" : t[1].kw("view") ? "V" : "P";
    std::size_t i = 2;
    bool ifExists = false;
    if (t[i].kw("if") && t[i + 1].kw("exists")) {
        ifExists = true;
        i += 2;
    }
    bool failed = false;
    while (true) {
        const ObjectName name = readObjectName(t, i);
        const std::string noun = kindName(kind);
        try {
            const Database db = resolveDdlDatabase(x, name);
            StoreConn &store = x.session.store();
            StoreTxn txn(store);
            Catalog cat(store, db);
            auto obj = cat.findObject(name.name);
            if (!obj || (obj->xtype != "U" && obj->xtype != "V" && obj->xtype != "P" && !isRoutine(obj->xtype))) {
                if (!ifExists)
                    throw SqlError(3701, "Cannot drop the " + noun + " '" + name.name +
                                             "', because it does not exist or you do not have permission.", 11);
            } else if (obj->xtype != kind) {
                const std::string upperNoun = kind == "U" ? "TABLE" : kind == "V" ? "VIEW" : "PROCEDURE";
                const std::string other = kindName(obj->xtype);
                throw SqlError(3705, "Cannot use DROP " + upperNoun + " with '" + name.name + "' because '" + name.name +
                                         "' is a " + other + ". Use DROP " + upperCase(other) + ".", 16);
            } else if (kind == "U") {
                if (store.scalarInt("SELECT count(*) FROM cat_sysforeignkeys WHERE dbk = ? AND rkeyid = ? AND "
                                    "fkeyid <> rkeyid", {db.dbk, obj->id}) > 0)
                    throw SqlError(3726, "Could not drop object '" + name.name +
                                             "' because it is referenced by a FOREIGN KEY constraint.", 16);
                failIfReferenced(cat, *obj, "DROP TABLE", writtenName(name));
                cat.dropTable(*obj);
            } else {
                failIfReferenced(cat, *obj, kind == "V" ? "DROP VIEW" : "DROP PROCEDURE", writtenName(name));
                cat.dropObject(*obj);
            }
            txn.commit();
        } catch (const SqlError &e) {
            x.error(e);
            failed = true;
        }
        if (!t[i].is(Tok::Comma)) break;
        ++i;
    }
    if (!t[i].is(Tok::End))
        syntaxError(t[i]);
    x.sink.statementDone(std::nullopt, failed);
}

}  // namespace

void execCreate(Exec &x)
{
    const Token &what = x.stmt.tokens[1];
    if (what.kw("database")) return execCreateDatabase(x);
    if (what.kw("table")) return execCreateTable(x);
    if (isCreateIndex(x.stmt.tokens)) return execCreateIndex(x);
    if (isModuleKind(what)) return createOrAlterModule(x, false);
    if (isRoutineKind(what)) return createOrAlterRoutine(x, false);
    if (what.kw("type")) return createAliasType(x);
    notSupported("CREATE " + what.text);
}

void execAlter(Exec &x)
{
    const Token &what = x.stmt.tokens[1];
    if (what.kw("table")) return execAlterTable(x);
    if (isModuleKind(what)) return createOrAlterModule(x, true);
    if (isRoutineKind(what)) return createOrAlterRoutine(x, true);
    notSupported("ALTER " + what.text);
}

void execDrop(Exec &x)
{
    const Token &what = x.stmt.tokens[1];
    if (what.kw("database")) return execDropDatabase(x);
    if (what.kw("table") || isModuleKind(what)) return dropObjects(x);
    if (what.kw("index")) return execDropIndex(x);
    if (isRoutineKind(what)) return dropRoutines(x);
    if (what.kw("type")) return dropAliasType(x);
    notSupported("DROP " + what.text);
}


bool userProcedureExists(Exec &x, const std::string &name)
{
    auto db = x.session.instance().findDatabase(x.session.currentDatabase());
    if (!db) return false;
    Catalog cat(x.session.store(), *db);
    auto obj = cat.findObject(name);
    return obj && obj->xtype == "P";
}

}  // namespace sqlsim
