// sp_rename of a user table or a column. Everything else of a table (columns, rows, identity,
// indexes, constraints, triggers, extended properties) is keyed by the table's object id, so a
// table changes only its name; the store transaction undoes it like any other DDL.
#include "sim/engine/catalog/Catalog.h"
#include "sim/engine/catalog/Procedures.h"
#include "sim/engine/modules/Modules.h"
#include "sim/engine/rows/Rows.h"

#include <algorithm>
#include <map>

namespace sqlsim {

namespace {

std::string upperCase(std::string s)
{
    for (char &c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// A name's parts as PARSENAME reads them: [quoted]]], "quoted""" or plain text between dots;
// empty when the name does not parse or has more than four parts.
std::vector<std::string> nameParts(std::string_view s)
{
    std::vector<std::string> parts;
    std::size_t i = 0;
    while (true) {
        std::string part;
        if (i < s.size() && (s[i] == '[' || s[i] == '"')) {
            const char close = s[i] == '[' ? ']' : '"';
            ++i;
            while (true) {
                if (i >= s.size()) return {};
                if (s[i] == close) {
                    if (i + 1 < s.size() && s[i + 1] == close) {
                        part += close;
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                part += s[i++];
            }
            if (i < s.size() && s[i] != '.') return {};
        } else {
            while (i < s.size() && s[i] != '.') part += s[i++];
        }
        parts.push_back(part);
        if (i == s.size()) break;
        ++i;  // the dot
    }
    if (parts.size() > 4 || parts.back().empty()) return {};
    return parts;
}

std::string nounOf(const std::string &xtype)
{
    if (xtype == "V") return "a view";
    if (xtype == "P") return "a procedure";
    if (xtype == "TR") return "a trigger";
    if (xtype == "FN" || xtype == "IF" || xtype == "TF") return "a function";
    if (xtype == "PK" || xtype == "UQ" || xtype == "F" || xtype == "C" || xtype == "D") return "a constraint";
    return "an object of type " + xtype;
}

struct RenameArgs {
    std::string objname;
    std::optional<std::string> newname;
    std::optional<std::string> objtype;  // as written; none when NULL or not given
};

RenameArgs readArgs(const std::vector<ProcArg> &args)
{
    static const char *const order[] = {"@objname", "@newname", "@objtype"};
    std::map<std::string, const ProcArg *> named;
    bool byName = false;
    for (std::size_t k = 0; k < args.size(); ++k) {
        std::string key = args[k].name;
        if (key.empty()) {
            if (byName)
                throw SqlError(119, "Must pass parameter number " + std::to_string(k + 1) +
                                        " and subsequent parameters as '@name = value'. After the form '@name = "
                                        "value' has been used, all subsequent parameters must be passed in the "
                                        "form '@name = value'.", 15);
            if (k >= std::size(order))
                throw SqlError(8144, "Procedure or function sp_rename has too many arguments specified.", 16);
            key = order[k];
        } else {
            byName = true;
            if (std::find(std::begin(order), std::end(order), key) == std::end(order))
                throw SqlError(8145, args[k].name + " is not a parameter for procedure sp_rename.", 16);
        }
        named[key] = &args[k];
    }
    for (const char *required : {"@objname", "@newname"})
        if (!named.count(required))
            throw SqlError(201, std::string("Procedure or function 'sp_rename' expects parameter '") + required +
                                    "', which was not supplied.", 16);
    RenameArgs out;
    out.objname = argText(*named["@objname"]).value_or("");
    out.newname = argText(*named["@newname"]);
    if (named.count("@objtype")) out.objtype = argText(*named["@objtype"]);
    return out;
}

class Renamer {
public:
    Renamer(const RenameArgs &args, Catalog &cat) : args_(args), cat_(cat) {}

    void run()
    {
        const std::string type = args_.objtype ? upperCase(*args_.objtype) : std::string();
        if (!type.empty() && type != "OBJECT" && type != "COLUMN" && type != "INDEX" && type != "DATABASE" &&
            type != "USERDATATYPE" && type != "STATISTICS")
            throw SqlError(15249, "Error: Explicit @objtype '" + *args_.objtype + "' is unrecognized.", 11);
        if (type == "INDEX" || type == "STATISTICS") notSupported("sp_rename of an index or statistics");
        if (type == "DATABASE") notSupported("sp_rename of a database");
        if (type == "USERDATATYPE") notSupported("sp_rename of a data type");
        parts_ = nameParts(args_.objname);
        if (parts_.empty())
            throw SqlError(15253, "Syntax error parsing SQL identifier '" + args_.objname + "'.", 11);
        if (!args_.newname)
            throw SqlError(15223, "Error: The input parameter 'newname' is not allowed to be null.", 11);
        if (args_.newname->empty()) notSupported("An empty new name for sp_rename");
        if (type.empty() || type == "OBJECT") {
            if (auto object = findObject(type == "OBJECT")) return renameObject(*object);
            if (type == "OBJECT") throw ambiguous();
            // A one-part name can be nothing but an object.
            if (parts_.size() == 1)
                throw SqlError(15225, "No item by the name of '" + args_.objname +
                                          "' could be found in the current database '" + cat_.database().name +
                                          "', given that @itemtype was input as '(null)'.", 11);
        }
        if (parts_.size() < 2) throw ambiguous();
        renameColumn(type.empty());
    }

private:
    SqlError ambiguous() const
    {
        return SqlError(15248, "Either the parameter @objname is ambiguous or the claimed @objtype (" +
                                   args_.objtype.value_or("(null)") + ") is wrong.", 11);
    }

    // [database.]dbo.name must name the current database and the dbo schema.
    bool inScope(std::size_t schemaAt, bool explicitDatabase) const
    {
        if (schemaAt >= 1 && !parts_[schemaAt - 1].empty() &&
            !iequals(parts_[schemaAt - 1], cat_.database().name)) {
            if (explicitDatabase)
                throw SqlError(15333, "Error: Qualified @oldname references a database (" + parts_[schemaAt - 1] +
                                          ") other than the current database.", 11);
            return false;
        }
        return parts_[schemaAt].empty() || iequals(parts_[schemaAt], "dbo");
    }

    std::optional<ObjectRow> findObject(bool explicitType) const
    {
        if (parts_.size() > 3) return std::nullopt;
        if (parts_.size() >= 2 && !inScope(parts_.size() - 2, explicitType && parts_.size() == 3))
            return std::nullopt;
        return cat_.findObject(parts_.back());
    }

    void failIfNameTaken(std::int64_t self) const
    {
        auto other = cat_.findObject(*args_.newname);
        if (other && other->id != self)
            throw SqlError(15335, "Error: The new name '" + *args_.newname +
                                      "' is already in use as a object name and would cause a duplicate that is "
                                      "not permitted.", 11);
    }

    // Schema-bound modules hold the table (or the column) by its name.
    void failIfEnforced(std::int64_t table, std::optional<std::int64_t> colid) const
    {
        const std::string sql = "SELECT count(*) FROM cat_sql_dependencies WHERE dbk = ? AND "
                                "is_schema_bound_reference = 1 AND referenced_id = ? AND referencing_id <> ?" +
                                std::string(colid ? " AND referenced_minor_id = ?" : "");
        std::vector<Param> params{cat_.database().dbk, table, table};
        if (colid) params.emplace_back(*colid);
        if (cat_.store().scalarInt(sql, params) > 0)
            throw SqlError(15336, "Object '" + args_.objname +
                                      "' cannot be renamed because the object participates in enforced "
                                      "dependencies.", 16);
    }

    void renameObject(const ObjectRow &object)
    {
        if (object.xtype != "U") notSupported("sp_rename of " + nounOf(object.xtype) + " (" + object.name + ")");
        failIfNameTaken(object.id);
        failIfEnforced(object.id, std::nullopt);
        cat_.store().run("UPDATE cat_sysobjects SET name = ?, refdate = ? WHERE dbk = ? AND id = ?",
                         {*args_.newname, nowText(), cat_.database().dbk, object.id});
    }

    void renameColumn(bool guessed)
    {
        // [[database.]schema.]table.column
        const std::size_t tableAt = parts_.size() - 2;
        if (tableAt >= 1 && !inScope(tableAt - 1, parts_.size() == 4)) throw ambiguous();
        auto table = cat_.findObject(parts_[tableAt]);
        if (!table || table->xtype != "U") throw ambiguous();
        auto column = cat_.findColumn(table->id, parts_.back());
        if (!column) {
            if (guessed && cat_.store().scalarInt("SELECT count(*) FROM cat_indexes WHERE dbk = ? AND object_id = ? "
                                                  "AND name = ?",
                                                  {cat_.database().dbk, table->id, parts_.back()}) > 0)
                notSupported("sp_rename of an index or statistics");
            throw ambiguous();
        }
        const std::string &now = *args_.newname;
        auto other = cat_.findColumn(table->id, now);
        if (other && other->colid != column->colid)
            throw SqlError(15335, "Error: The new name '" + now +
                                      "' is already in use as a COLUMN name and would cause a duplicate that is "
                                      "not permitted.", 11);
        failIfEnforced(table->id, column->colid);
        // Check conditions and index filters keep the column's name in their text.
        StoreConn &store = cat_.store();
        const std::int64_t dbk = cat_.database().dbk;
        if (store.scalarInt("SELECT count(*) FROM cat_check_columns WHERE dbk = ? AND tableid = ? AND colid = ?",
                            {dbk, table->id, column->colid}) > 0)
            notSupported("sp_rename of a column that a CHECK constraint reads (" + column->name + ")");
        if (store.scalarInt("SELECT count(*) FROM cat_indexes WHERE dbk = ? AND object_id = ? AND "
                            "instr(lower(filter_definition), lower(?)) > 0",
                            {dbk, table->id, "[" + column->name + "]"}) > 0)
            notSupported("sp_rename of a column that an index filter reads (" + column->name + ")");
        store.run("UPDATE cat_syscolumns SET name = ? WHERE dbk = ? AND id = ? AND colid = ?",
                  {now, dbk, table->id, column->colid});
        renameRowColumn(store, cat_.database(), table->id, column->name, now);
    }

    const RenameArgs &args_;
    Catalog &cat_;
    std::vector<std::string> parts_;
};

}  // namespace

void execRename(Exec &x, const std::vector<ProcArg> &args)
{
    const RenameArgs parsed = readArgs(args);
    auto db = x.session.instance().findDatabase(x.session.currentDatabase());
    if (!db)
        throw SqlError(911, "Database '" + x.session.currentDatabase() +
                                "' does not exist. Make sure that the name is entered correctly.", 16);
    StoreConn &store = x.session.store();
    StoreTxn txn(store);
    Catalog cat(store, *db);
    Renamer(parsed, cat).run();
    txn.commit();
    Message m;
    m.number = 15477;
    m.severity = 10;
    m.text = "Caution: Changing any part of an object name could break scripts and stored procedures.";
    m.line = x.stmt.line;
    x.sink.message(m);
    x.done();
}

}  // namespace sqlsim
