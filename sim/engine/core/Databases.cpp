// CREATE DATABASE and DROP DATABASE.
#include "sim/engine/core/Internal.h"
#include "sim/engine/types/Types.h"

namespace sqlsim {

namespace {

bool isSystemDatabase(std::string_view name)
{
    return iequals(name, "master") || iequals(name, "tempdb") || iequals(name, "model") || iequals(name, "msdb");
}

void requireSysadmin(Exec &x, const std::string &permissionText)
{
    if (!x.session.login().sysadmin)
        throw SqlError(262, permissionText, 14);
}

}  // namespace

void execCreateDatabase(Exec &x)
{
    const auto &t = x.stmt.tokens;
    std::size_t i = 2;
    const std::string name = readName(t, i);
    if (t[i].kw("on") || t[i].kw("collate") || t[i].kw("with") || t[i].kw("containment"))
        notSupported("CREATE DATABASE with options");
    if (!t[i].is(Tok::End))
        syntaxError(t[i]);
    checkIdentifier(name);
    requireSysadmin(x, "CREATE DATABASE permission denied in database 'master'.");
    Instance &inst = x.session.instance();
    StoreConn &store = x.session.store();
    // The store's write lock first, then the instance's: sessions that only read the list
    // never wait for another writer.
    StoreTxn txn(store);
    std::lock_guard lock(inst.mu);
    for (const Database &d : inst.databases)
        if (iequals(d.name, name))
            throw SqlError(1801, "Database '" + name + "' already exists. Choose a different database name.", 16);
    const Database added = addDatabase(inst, store, name);
    try {
        txn.commit();
    } catch (const StoreError &) {
        std::erase_if(inst.databases, [&](const Database &d) { return d.dbid == added.dbid; });
        throw;
    }
    x.done();
}

void execDropDatabase(Exec &x)
{
    const auto &t = x.stmt.tokens;
    std::size_t i = 2;
    Instance &inst = x.session.instance();
    bool anyFailed = false;
    while (true) {
        const std::string name = readName(t, i);
        std::optional<SqlError> failure;
        if (isSystemDatabase(name)) {
            failure = SqlError(3708, "Cannot drop the database '" + name + "' because it is a system database.", 16);
        } else if (!x.session.login().sysadmin) {
            failure = SqlError(3701, "Cannot drop the database '" + name +
                                         "', because it does not exist or you do not have permission.", 14);
        } else if (iequals(name, x.session.currentDatabase())) {
            failure = SqlError(3702, "Cannot drop database \"" + name + "\" because it is currently in use.", 16);
        } else {
            StoreConn &store = x.session.store();
            StoreTxn txn(store);
            std::lock_guard lock(inst.mu);
            std::optional<Database> found;
            for (const Database &d : inst.databases)
                if (iequals(d.name, name))
                    found = d;
            if (!found) {
                failure = SqlError(3701, "Cannot drop the database '" + name +
                                             "', because it does not exist or you do not have permission.", 11);
            } else {
                removeDatabase(inst, store, *found);
                try {
                    txn.commit();
                } catch (const StoreError &) {
                    inst.databases.push_back(*found);
                    throw;
                }
            }
        }
        if (failure) {
            // Each name is dropped or reported on its own, as SQL Server does.
            Message m;
            m.number = failure->number;
            m.severity = failure->severity;
            m.text = failure->what();
            m.line = x.stmt.line;
            x.sink.message(m);
            anyFailed = true;
        }
        if (!t[i].is(Tok::Comma))
            break;
        ++i;
    }
    if (!t[i].is(Tok::End))
        syntaxError(t[i]);
    x.sink.statementDone(std::nullopt, anyFailed);
}

}  // namespace sqlsim
