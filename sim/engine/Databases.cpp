// CREATE DATABASE and DROP DATABASE.
#include "sim/engine/Internal.h"

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
    if (name.size() > 128)
        throw SqlError(103, "The identifier that starts with '" + name.substr(0, 128) +
                                "' is too long. Maximum length is 128.", 15);
    requireSysadmin(x, "CREATE DATABASE permission denied in database 'master'.");
    Instance &inst = x.session.instance();
    StoreConn &store = x.session.store();
    std::lock_guard lock(inst.mu);
    for (const Database &d : inst.databases)
        if (iequals(d.name, name))
            throw SqlError(1801, "Database '" + name + "' already exists. Choose a different database name.", 16);
    StoreTxn txn(store);
    addDatabase(inst, store, name);
    txn.commit();
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
            std::lock_guard lock(inst.mu);
            const Database *found = nullptr;
            for (const Database &d : inst.databases)
                if (iequals(d.name, name))
                    found = &d;
            if (!found) {
                failure = SqlError(3701, "Cannot drop the database '" + name +
                                             "', because it does not exist or you do not have permission.", 11);
            } else {
                StoreTxn txn(store);
                removeDatabase(inst, store, *found);
                txn.commit();
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
