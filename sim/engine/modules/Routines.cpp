// CREATE / ALTER / DROP FUNCTION and TRIGGER, ENABLE / DISABLE TRIGGER. Bodies are kept, never run.
#include "sim/engine/modules/Modules.h"
#include "sim/engine/modules/BodyScan.h"

namespace sqlsim {

namespace {

enum TriggerEvent { OnInsert = 1, OnUpdate = 2, OnDelete = 4 };

std::string noun(const std::string &xtype)
{
    if (xtype == "TR") return "trigger";
    if (xtype == "FN" || xtype == "IF" || xtype == "TF") return "function";
    if (xtype == "U") return "table";
    if (xtype == "V") return "view";
    if (xtype == "P") return "procedure";
    return "object";
}

std::string upperNoun(const std::string &xtype)
{
    std::string n = noun(xtype);
    for (char &c : n) c = static_cast<char>(c - 'a' + 'A');
    return n;
}

// FN, IF or TF from what RETURNS names.
std::string functionType(const std::vector<Token> &t, std::size_t i)
{
    int depth = 0;
    for (; !t[i].is(Tok::End); ++i) {
        if (t[i].is(Tok::LParen)) ++depth;
        if (t[i].is(Tok::RParen)) --depth;
        if (depth == 0 && t[i].kw("returns")) {
            if (t[i + 1].kw("table")) return "IF";
            if (t[i + 1].is(Tok::Variable)) return "TF";
            return "FN";
        }
    }
    syntaxError(t[i]);
}

struct TriggerHeader {
    ObjectName table;
    std::string written;
    bool insteadOf = false;
    int events = 0;
};

// ON table [WITH ...] {FOR|AFTER|INSTEAD OF} event[, event] [WITH APPEND] [NOT FOR REPLICATION] AS
TriggerHeader readTriggerHeader(const Exec &x, std::size_t i)
{
    const auto &t = x.stmt.tokens;
    if (!t[i].kw("on"))
        syntaxError(t[i]);
    ++i;
    if (t[i].kw("database") || (t[i].kw("all") && t[i + 1].kw("server")))
        notSupported("A DDL trigger");
    TriggerHeader h;
    const std::size_t start = i;
    h.table = readObjectName(t, i);
    h.written = x.stmt.text.substr(t[start].begin - t[0].begin, t[i - 1].end - t[start].begin);
    if (t[i].kw("with")) {
        for (++i; t[i].isName() && !t[i].kw("for") && !t[i].kw("after") && !t[i].kw("instead"); ++i)
            if (t[i + 1].is(Tok::Comma)) ++i;
    }
    if (t[i].kw("instead") && t[i + 1].kw("of")) {
        h.insteadOf = true;
        i += 2;
    } else if (t[i].kw("for") || t[i].kw("after")) {
        ++i;
    } else {
        syntaxError(t[i]);
    }
    while (true) {
        if (t[i].kw("insert")) h.events |= OnInsert;
        else if (t[i].kw("update")) h.events |= OnUpdate;
        else if (t[i].kw("delete")) h.events |= OnDelete;
        else syntaxError(t[i]);
        ++i;
        if (!t[i].is(Tok::Comma)) break;
        ++i;
    }
    return h;
}

void setTriggerInfo(Catalog &cat, std::int64_t id, const TriggerHeader &h, std::int64_t parent)
{
    StoreConn &s = cat.store();
    const std::int64_t dbk = cat.database().dbk;
    s.run("UPDATE cat_sysobjects SET parent_obj = ? WHERE dbk = ? AND id = ?", {parent, dbk, id});
    s.run("DELETE FROM cat_module_info WHERE dbk = ? AND object_id = ?", {dbk, id});
    s.run("INSERT INTO cat_module_info VALUES(?, ?, 0, ?, ?)",
          {dbk, id, std::int64_t{h.insteadOf ? 1 : 0}, std::int64_t{h.events}});
}

}  // namespace

bool isRoutineKind(const Token &what)
{
    return what.kw("function") || what.kw("trigger");
}

void createOrAlterRoutine(Exec &x, bool alter)
{
    const auto &t = x.stmt.tokens;
    const bool trigger = t[1].kw("trigger");
    const std::string kind = trigger ? "TRIGGER" : "FUNCTION";
    const std::string verb = std::string(alter ? "ALTER " : "CREATE ") + kind;
    if (x.index != 0)
        throw SqlError(111, "'" + verb + "' must be the first statement in a query batch.", 15);
    std::size_t i = 2;
    const ObjectName name = readObjectName(t, i);
    if (!name.database.empty())
        throw SqlError(166, "'" + verb + "' does not allow specifying the database name as a prefix to the object name.",
                       15);
    checkIdentifier(name.name);
    if (bodyStart(t, i) == 0)
        syntaxError(t[i]);
    std::optional<TriggerHeader> header;
    const std::string xtype = trigger ? "TR" : functionType(t, i);
    if (trigger) header = readTriggerHeader(x, i);
    std::string text(x.batchText);
    if (alter)
        text.replace(t[0].begin, t[0].end - t[0].begin, "CREATE");
    const Database db = resolveDdlDatabase(x, name);
    StoreConn &store = x.session.store();
    StoreTxn txn(store);
    Catalog cat(store, db);
    std::int64_t parent = 0;
    if (header) {
        auto table = cat.findObject(header->table.name);
        const bool fits = table && (table->xtype == "U" || (table->xtype == "V" && header->insteadOf));
        if (!fits || resolveDdlDatabase(x, header->table).dbk != db.dbk)
            throw SqlError(8197, "The object '" + header->written + "' does not exist or is invalid for this operation.",
                           16);
        parent = table->id;
    }
    auto existing = cat.findObject(name.name);
    if (!alter) {
        if (existing)
            throw SqlError(2714, "There is already an object named '" + name.name + "' in the database.", 16);
        bindModule(x, cat, name.name, xtype);
        cat.createModule(name.name, xtype, text);
    } else {
        const bool function = xtype != "TR";
        const auto isFunction = [](const std::string &k) { return k == "FN" || k == "IF" || k == "TF"; };
        if (!existing || (function ? !isFunction(existing->xtype) : existing->xtype != "TR"))
            throw SqlError(208, "Invalid object name '" + name.name + "'.", 16);
        if (existing->xtype != xtype)
            throw SqlError(2010, "Cannot perform alter on '" + name.name + "' because it is an incompatible object type.",
                           16);
        bindModule(x, cat, name.name, xtype);
        cat.replaceModule(*existing, text);
    }
    if (header) setTriggerInfo(cat, cat.findObject(name.name)->id, *header, parent);
    recordModule(x, cat, name.name);
    txn.commit();
    x.done();
}

// DROP FUNCTION|TRIGGER [IF EXISTS] name [, name]: each name fails or succeeds on its own.
void dropRoutines(Exec &x)
{
    const auto &t = x.stmt.tokens;
    const bool trigger = t[1].kw("trigger");
    std::size_t i = 2;
    bool ifExists = false;
    if (t[i].kw("if") && t[i + 1].kw("exists")) {
        ifExists = true;
        i += 2;
    }
    bool failed = false;
    while (true) {
        const std::size_t start = i;
        const ObjectName name = readObjectName(t, i);
        const std::string written = x.stmt.text.substr(t[start].begin - t[0].begin, t[i - 1].end - t[start].begin);
        try {
            const Database db = resolveDdlDatabase(x, name);
            StoreConn &store = x.session.store();
            StoreTxn txn(store);
            Catalog cat(store, db);
            auto obj = cat.findObject(name.name);
            const auto fits = [&](const std::string &k) {
                return trigger ? k == "TR" : (k == "FN" || k == "IF" || k == "TF");
            };
            const bool known = obj && (fits(obj->xtype) || obj->xtype == "U" || obj->xtype == "V" ||
                                       obj->xtype == "P" || obj->xtype == "TR" || obj->xtype == "FN" ||
                                       obj->xtype == "IF" || obj->xtype == "TF");
            if (!known) {
                if (!ifExists)
                    throw SqlError(3701, "Cannot drop the " + std::string(trigger ? "trigger" : "function") + " '" +
                                             name.name + "', because it does not exist or you do not have permission.",
                                   11);
            } else if (!fits(obj->xtype)) {
                throw SqlError(3705, "Cannot use DROP " + std::string(trigger ? "TRIGGER" : "FUNCTION") + " with '" +
                                         name.name + "' because '" + name.name + "' is a " + noun(obj->xtype) +
                                         ". Use DROP " + upperNoun(obj->xtype) + ".", 16);
            } else {
                failIfReferenced(cat, *obj, trigger ? "DROP TRIGGER" : "DROP FUNCTION", written);
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

namespace {

void setDisabled(Catalog &cat, const std::vector<ObjectRow> &triggers, bool disable)
{
    for (const ObjectRow &tr : triggers)
        cat.store().run("UPDATE cat_module_info SET is_disabled = ? WHERE dbk = ? AND object_id = ?",
                        {std::int64_t{disable ? 1 : 0}, cat.database().dbk, tr.id});
}

std::vector<ObjectRow> triggersOf(const Catalog &cat, std::int64_t tableId)
{
    StoreStmt st(cat.store().raw(), "SELECT id, name, trim(xtype), parent_obj FROM cat_sysobjects WHERE dbk = ? AND "
                                    "parent_obj = ? AND xtype = 'TR' ORDER BY id");
    st.bind(1, cat.database().dbk).bind(2, tableId);
    std::vector<ObjectRow> out;
    while (st.step())
        out.push_back({st.intAt(0), st.textAt(1), st.textAt(2), st.intAt(3)});
    return out;
}

}  // namespace

// ENABLE|DISABLE TRIGGER name[, name]|ALL ON table
void execTriggerToggle(Exec &x)
{
    const auto &t = x.stmt.tokens;
    const bool disable = t[0].kw("disable");
    if (!t[1].kw("trigger"))
        syntaxError(t[1]);
    std::size_t i = 2;
    std::vector<ObjectName> names;
    const bool all = t[i].kw("all") && t[i + 1].kw("on");
    if (all) {
        ++i;
    } else {
        while (true) {
            names.push_back(readObjectName(t, i));
            if (!t[i].is(Tok::Comma)) break;
            ++i;
        }
    }
    if (!t[i].kw("on"))
        syntaxError(t[i]);
    ++i;
    if (t[i].kw("database") || (t[i].kw("all") && t[i + 1].kw("server")))
        notSupported("A DDL trigger");
    const std::size_t start = i;
    const ObjectName table = readObjectName(t, i);
    const std::string written = x.stmt.text.substr(t[start].begin - t[0].begin, t[i - 1].end - t[start].begin);
    if (!t[i].is(Tok::End))
        syntaxError(t[i]);
    const Database db = resolveDdlDatabase(x, table);
    StoreConn &store = x.session.store();
    StoreTxn txn(store);
    Catalog cat(store, db);
    auto parent = cat.findObject(table.name);
    if (!parent || (parent->xtype != "U" && parent->xtype != "V"))
        throw SqlError(1088, "Cannot find the object \"" + written +
                                 "\" because it does not exist or you do not have permissions.", 16);
    std::vector<ObjectRow> chosen = all ? triggersOf(cat, parent->id) : std::vector<ObjectRow>{};
    for (const ObjectName &n : names) {
        auto tr = cat.findObject(n.name);
        if (!tr || tr->xtype != "TR" || tr->parent != parent->id)
            throw SqlError(1088, "Cannot find the object \"" + n.name +
                                     "\" because it does not exist or you do not have permissions.", 16);
        chosen.push_back(*tr);
    }
    setDisabled(cat, chosen, disable);
    txn.commit();
    x.done();
}

void alterTableTriggers(Exec &x, Catalog &cat, const ObjectRow &table, std::size_t &i)
{
    const auto &t = x.stmt.tokens;
    const bool disable = t[i].kw("disable");
    if (!t[i + 1].kw("trigger"))
        syntaxError(t[i + 1]);
    i += 2;
    if (t[i].kw("all")) {
        ++i;
        setDisabled(cat, triggersOf(cat, table.id), disable);
        return;
    }
    std::vector<ObjectRow> chosen;
    while (true) {
        const std::string name = readName(t, i);
        auto tr = cat.findObject(name);
        if (!tr || tr->xtype != "TR" || tr->parent != table.id)
            throw SqlError(4920, "ALTER TABLE failed because trigger '" + name + "' does not belong to table '" +
                                     table.name + "'.", 16);
        chosen.push_back(*tr);
        if (!t[i].is(Tok::Comma)) break;
        ++i;
    }
    setDisabled(cat, chosen, disable);
}

void failIfTriggered(const Catalog &cat, const ObjectRow &table)
{
    StoreStmt st(cat.store().raw(), "SELECT o.name FROM cat_sysobjects o JOIN cat_module_info m ON m.dbk = o.dbk AND "
                                    "m.object_id = o.id WHERE o.dbk = ? AND o.parent_obj = ? AND o.xtype = 'TR' AND "
                                    "m.is_disabled = 0 ORDER BY o.id");
    st.bind(1, cat.database().dbk).bind(2, table.id);
    if (st.step())
        notSupported("Changing rows of a table with an enabled trigger (" + st.textAt(0) + ")");
}

void forgetModule(StoreConn &conn, std::int64_t dbk, std::int64_t id)
{
    conn.run("DELETE FROM cat_module_info WHERE dbk = ? AND object_id = ?", {dbk, id});
    conn.run("DELETE FROM cat_sql_dependencies WHERE dbk = ? AND referencing_id = ?", {dbk, id});
    conn.run("DELETE FROM cat_parameters WHERE dbk = ? AND object_id = ?", {dbk, id});
}

}  // namespace sqlsim
