// Table names of a translated query: catalogue views, user tables, OPENDATASOURCE.
#include "sim/engine/types/AliasTypes.h"
#include "sim/engine/catalog/Catalog.h"
#include "sim/engine/modules/Modules.h"
#include "sim/engine/rows/Rows.h"
#include "sim/engine/query/Translate.h"

#include <algorithm>

namespace sqlsim {

namespace {

const char *const objectColumns =
    "name, object_id, principal_id, schema_id, parent_object_id, type, type_desc, create_date, "
    "modify_date, is_ms_shipped, is_published, is_schema_published";

// Columns each catalogue view shows, in SQL Server's order, and the store table behind it.
struct CatalogueView {
    const char *name;
    bool sysSchemaOnly;  // sys.objects and the like; the compatibility views answer under any schema
    const char *table;
    const char *columns;
    const char *filter = "";  // more of the WHERE clause
};

const CatalogueView views[] = {
    {"sysobjects", false, "cat_sysobjects",
     "name, id, xtype, uid, info, status, base_schema_ver, replinfo, parent_obj, crdate, ftcatid, "
     "schema_ver, stats_schema_ver, type, userstat, sysstat, indexdel, refdate, version, deltrig, "
     "instrig, updtrig, seltrig, category, cache"},
    {"syscolumns", false, "cat_syscolumns",
     "name, id, xtype, typestat, xusertype, length, xprec, xscale, colid, xoffset, bitpos, reserved, "
     "colstat, cdefault, domain, number, colorder, autoval, offset, collationid, language, status, "
     "type, usertype, printfmt, prec, scale, iscomputed, isoutparam, isnullable, collation, tdscollation"},
    {"syscomments", false, "cat_syscomments",
     "id, number, colid, status, ctext, texttype, language, encrypted, compressed, text"},
    {"sysindexes", false, "cat_sysindexes",
     "id, status, first, indid, root, minlen, keycnt, groupid, dpages, reserved, used, rowcnt, "
     "rowmodctr, reserved3, reserved4, xmaxlen, maxirow, OrigFillFactor, StatVersion, reserved2, "
     "FirstIAM, impid, lockflags, pgmodctr, keys, name, statblob, maxlen, rows"},
    {"sysindexkeys", false, "cat_sysindexkeys", "id, indid, colid, keyno"},
    {"sysforeignkeys", false, "cat_sysforeignkeys", "constid, fkeyid, rkeyid, fkey, rkey, keyno"},
    {"objects", true, "cat_objects",
     "name, object_id, principal_id, schema_id, parent_object_id, type, type_desc, create_date, "
     "modify_date, is_ms_shipped, is_published, is_schema_published"},
    {"extended_properties", true, "cat_extended_properties",
     "class, class_desc, major_id, minor_id, name, value"},
    {"sql_modules", true, "cat_sql_modules",
     "object_id, definition, uses_ansi_nulls, uses_quoted_identifier, is_schema_bound, "
     "uses_database_collation, is_recompiled, null_on_null_input, execute_as_principal_id"},
    // A few catalogue views besides the tool's, for tests that check what DDL left.
    {"tables", true, "cat_objects", objectColumns, " AND type = 'U'"},
    {"views", true, "cat_objects", objectColumns, " AND type = 'V'"},
    {"procedures", true, "cat_objects", objectColumns, " AND type = 'P'"},
    {"columns", true, "cat_syscolumns",
     "id AS object_id, name, colid AS column_id, xtype AS system_type_id, xusertype AS user_type_id, "
     "length AS max_length, xprec AS precision, xscale AS scale, collation AS collation_name, "
     "isnullable AS is_nullable, (status & 128) / 128 AS is_identity, iscomputed AS is_computed, "
     "cdefault AS default_object_id"},
    {"identity_columns", true, "cat_syscolumns",
     "id AS object_id, name, colid AS column_id, seed AS seed_value, increment AS increment_value",
     " AND (status & 128) <> 0"},
    {"indexes", true, "cat_indexes",
     "object_id, name, index_id, type, type_desc, is_unique, data_space_id, ignore_dup_key, is_primary_key, "
     "is_unique_constraint, fill_factor, is_padded, is_disabled, is_hypothetical, allow_row_locks, "
     "allow_page_locks, has_filter, filter_definition, compression_delay, suppress_dup_key_messages, "
     "auto_created, optimize_for_sequential_key"},
    {"index_columns", true, "cat_index_columns",
     "object_id, index_id, index_column_id, column_id, key_ordinal, partition_ordinal, is_descending_key, "
     "is_included_column"},
    // Each index's statistics; is_hypothetical stands for the flags that are always 0 here.
    {"stats", true, "cat_indexes",
     "object_id, name, index_id AS stats_id, auto_created, is_hypothetical AS user_created, no_recompute, "
     "has_filter, filter_definition, is_hypothetical AS is_temporary, is_hypothetical AS is_incremental",
     " AND index_id > 0"},
    {"key_constraints", true,
     "(SELECT o.*, i.index_id AS unique_index_id, i.is_system_named FROM cat_objects o JOIN cat_indexes i ON "
     "i.dbk = o.dbk AND i.object_id = o.parent_object_id AND i.name = o.name)",
     "name, object_id, principal_id, schema_id, parent_object_id, type, type_desc, create_date, modify_date, "
     "is_ms_shipped, is_published, is_schema_published, unique_index_id, is_system_named",
     " AND type IN ('PK', 'UQ')"},
    {"check_constraints", true, "cat_check_constraints",
     "name, object_id, principal_id, schema_id, parent_object_id, type, type_desc, create_date, modify_date, "
     "is_ms_shipped, is_published, is_schema_published, is_disabled, is_not_for_replication, is_not_trusted, "
     "parent_column_id, definition, uses_database_collation, is_system_named"},
    {"foreign_keys", true, "cat_foreign_keys",
     "name, object_id, principal_id, schema_id, parent_object_id, type, type_desc, create_date, modify_date, "
     "is_ms_shipped, is_published, is_schema_published, referenced_object_id, key_index_id, is_disabled, "
     "is_not_for_replication, is_not_trusted, delete_referential_action, delete_referential_action_desc, "
     "update_referential_action, update_referential_action_desc, is_system_named"},
    {"foreign_key_columns", true, "cat_sysforeignkeys",
     "constid AS constraint_object_id, keyno AS constraint_column_id, fkeyid AS parent_object_id, "
     "fkey AS parent_column_id, rkeyid AS referenced_object_id, rkey AS referenced_column_id"},
    {"default_constraints", true, "cat_sysobjects",
     "name, id AS object_id, parent_obj AS parent_object_id, info AS parent_column_id, "
     "(SELECT text FROM cat_syscomments c WHERE c.dbk = cat_sysobjects.dbk AND c.id = cat_sysobjects.id) "
     "AS definition, "
     // a generated name ends in its object id's hex digits
     "CASE WHEN name LIKE 'DF\\_\\_%' ESCAPE '\\' AND substr(name, -8) = substr(printf('%08X', id), -8) "
     "THEN 1 ELSE 0 END AS is_system_named",
     " AND xtype = 'D'"},
};

}  // namespace

Translator::NameRef Translator::readTableName(std::size_t &i)
{
    NameRef ref;
    const std::size_t start = i;
    std::vector<std::string> parts;
    if (t_[i].kw("opendatasource") && t_[i + 1].is(Tok::LParen)) {
        ref.remote = openDataSource(i);
        if (!t_[i].is(Tok::Dot))
            syntaxError(t_[i]);
        ++i;
        parts.push_back("");  // the server is the data source
    }
    parts.push_back(readName(t_, i));
    while (t_[i].is(Tok::Dot)) {
        ++i;
        if (t_[i].is(Tok::Dot)) {
            parts.push_back("");
            continue;
        }
        parts.push_back(readName(t_, i));
    }
    if (parts.size() > 4)
        throw SqlError(117, "The object name '" + std::string(x_.stmt.text.substr(t_[start].begin - x_.stmt.tokens.front().begin,
                                                                                     t_[i - 1].end - t_[start].begin)) +
                                "' contains more than the maximum number of prefixes. The maximum is 3.", 15);
    while (parts.size() < 4)
        parts.insert(parts.begin(), "");
    ref.parts = parts;
    ref.written = std::string(x_.stmt.text.substr(t_[start].begin - x_.stmt.tokens.front().begin,
                                                  t_[i - 1].end - t_[start].begin));
    return ref;
}

ResolvedDb Translator::openDataSource(std::size_t &i)
{
    // OPENDATASOURCE('provider', 'key=value;...')
    const std::size_t close = matchParen(i + 1);
    if (close != i + 5 || !(t_[i + 2].is(Tok::String) || t_[i + 2].is(Tok::NString)) || !t_[i + 3].is(Tok::Comma) ||
        !(t_[i + 4].is(Tok::String) || t_[i + 4].is(Tok::NString)))
        syntaxError(t_[i + 2]);
    Instance &local = x_.session.instance();
    if (!local.adHocQueriesEnabled())
        throw SqlError(15281,
                       "SQL Server blocked access to STATEMENT 'OpenRowset/OpenDatasource' of component 'Ad Hoc "
                       "Distributed Queries' because this component is turned off as part of the security "
                       "configuration for this server. A system administrator can enable the use of 'Ad Hoc "
                       "Distributed Queries' by using sp_configure. For more information about enabling 'Ad Hoc "
                       "Distributed Queries', see \"Surface Area Configuration\" in SQL Server Books Online.",
                       16);
    const std::string provider = t_[i + 2].text;
    std::string p = lower(provider);
    if (!local.config.oledbProviders || (p != "sqloledb" && p != "sqloledb.1" && p.rfind("sqlncli", 0) != 0))
        throw SqlError(7403, "The OLE DB provider \"" + provider + "\" has not been registered.", 16).aborting();
    std::string dataSource, user, password;
    std::string_view conn = t_[i + 4].text;
    while (!conn.empty()) {
        const auto semi = conn.find(';');
        std::string_view pair = conn.substr(0, semi);
        conn = semi == std::string_view::npos ? std::string_view{} : conn.substr(semi + 1);
        const auto eq = pair.find('=');
        if (eq == std::string_view::npos)
            continue;
        std::string key = lower(pair.substr(0, eq));
        key.erase(std::remove(key.begin(), key.end(), ' '), key.end());
        const std::string value(pair.substr(eq + 1));
        if (key == "datasource" || key == "server" || key == "address" || key == "addr")
            dataSource = value;
        else if (key == "userid" || key == "uid" || key == "user")
            user = value;
        else if (key == "password" || key == "pwd")
            password = value;
    }
    i = close + 1;
    auto remote = local.engine->resolveDataSource(dataSource);
    if (!remote) {
        x_.info(7412, "OLE DB provider \"" + provider + "\" for linked server \"(null)\" returned message "
                      "\"[DBNETLIB][ConnectionOpen (Connect()).]SQL Server does not exist or access denied.\".");
        throw SqlError(7303, "Cannot initialize the data source object of OLE DB provider \"" + provider +
                                 "\" for linked server \"(null)\".", 16).aborting();
    }
    const LoginSpec *login = remote->findLogin(user);
    if (!login || login->password != password) {
        x_.info(7412, "OLE DB provider \"" + provider + "\" for linked server \"(null)\" returned message "
                      "\"Login failed for user '" + user + "'.\".");
        throw SqlError(7303, "Cannot initialize the data source object of OLE DB provider \"" + provider +
                                 "\" for linked server \"(null)\".", 16).aborting();
    }
    ResolvedDb r;
    r.instance = remote;
    r.remote = true;
    return r;
}

ResolvedDb Translator::resolveDatabase(const NameRef &name)
{
    if (name.remote) {
        ResolvedDb r = *name.remote;
        auto db = r.instance->findDatabase(name.parts[1]);
        if (name.parts[1].empty() || !db)
            throw SqlError(7314, "The OLE DB provider \"SQLOLEDB\" for linked server \"(null)\" does not contain the table "
                                 "\"" + name.parts[1] + "\".\"" + (name.parts[2].empty() ? "dbo" : name.parts[2]) +
                                     "\".\"" + name.parts[3] + "\". The table either does not exist or the current "
                                     "user does not have permissions on that table.", 16).aborting();
        r.db = *db;
        return r;
    }
    if (!name.parts[0].empty() && !iequals(name.parts[0], x_.session.instance().config.name))
        throw SqlError(7202, "Could not find server '" + name.parts[0] +
                                 "' in sys.servers. Verify that the correct server name was specified.", 16).aborting();
    const std::string dbName = name.parts[1].empty() ? x_.session.currentDatabase() : name.parts[1];
    auto db = x_.session.instance().findDatabase(dbName);
    if (!db)
        throw SqlError(911, "Database '" + dbName + "' does not exist. Make sure that the name is entered correctly.", 16)
            .aborting();
    ResolvedDb r;
    r.instance = x_.session.instance().engine->findInstance(x_.session.instance().config.name);
    r.db = *db;
    return r;
}

std::string Translator::tableSql(const NameRef &name)
{
    const ResolvedDb where = resolveDatabase(name);
    const std::string object = lower(name.parts[3]);
    const std::string schema = lower(name.parts[2]);
    const std::string dbk = std::to_string(where.db.dbk);
    if (object == "sysdatabases" || (object == "databases" && schema == "sys")) {
        const std::string inst = std::to_string(where.instance->key);
        if (object == "databases")
            return "(SELECT name, dbid AS database_id, crdate AS create_date, cmptlevel AS compatibility_level "
                   "FROM ss_databases WHERE inst = " + inst + ")";
        return "(SELECT name, dbid, sid, mode, status, status2, crdate, reserved, category, cmptlevel, filename, "
               "version FROM ss_databases WHERE inst = " + inst + ")";
    }
    if (object == "systypes" && (schema.empty() || schema == "dbo" || schema == "sys"))
        return typesView(where.db.dbk, true);
    if (object == "types" && schema == "sys")
        return typesView(where.db.dbk, false);
    for (const CatalogueView &v : views) {
        if (object != v.name)
            continue;
        if (v.sysSchemaOnly ? schema == "sys" : (schema.empty() || schema == "dbo" || schema == "sys"))
            return std::string("(SELECT ") + v.columns + " FROM " + v.table + " WHERE dbk = " + dbk + v.filter + ")";
    }
    if (std::string sql = moduleCatalogueView(object, schema, where.db.dbk); !sql.empty())
        return sql;
    // A user table reads its rows; a view cannot be read here.
    if (schema.empty() || schema == "dbo") {
        StoreConn &store = x_.session.store();
        Catalog cat(store, where.db);
        if (auto obj = cat.findObject(name.parts[3]); obj && obj->xtype == "U") {
            const bool rows = hasRowTable(store, where.db, obj->id);
            std::string cols;
            for (const ColumnInfo &c : tableColumns(store, where.db, obj->id)) {
                cols += (cols.empty() ? "" : ", ") + (rows ? quoteIdent(c.name) : "NULL AS " + quoteIdent(c.name));
                // A table that never held a row has no store table; its columns keep their types.
                if (!rows) typeHints_.emplace(lower(c.name), storageDecl(c));
            }
            return rows ? "(SELECT " + cols + " FROM " + rowTable(where.db, obj->id) + ")" : "(SELECT " + cols + " WHERE 0)";
        } else if (obj && obj->xtype == "V") {
            notSupported("Reading the view " + obj->name);
        }
    }
    if (where.remote)
        throw SqlError(7314, "The OLE DB provider \"SQLOLEDB\" for linked server \"(null)\" does not contain the table "
                             "\"" + where.db.name + "\".\"" + (name.parts[2].empty() ? "dbo" : name.parts[2]) + "\".\"" +
                                 name.parts[3] + "\". The table either does not exist or the current user does "
                                 "not have permissions on that table.", 16).aborting();
    throw SqlError(208, "Invalid object name '" + name.written + "'.", 16).aborting();
}

}  // namespace sqlsim
