// The catalogue views and metadata functions of functions, triggers, schemas and dependencies.
#include "sim/engine/modules/Modules.h"
#include "sim/engine/types/AliasTypes.h"

namespace sqlsim {

namespace {

// SQL Server's schemas of a new database: the four fixed ones and the fixed roles' schemas.
const char *const schemasSql =
    "(SELECT column1 AS name, column2 AS schema_id, column3 AS principal_id FROM (VALUES "
    "('dbo', 1, 1), ('guest', 2, 2), ('INFORMATION_SCHEMA', 3, 3), ('sys', 4, 4), "
    "('db_owner', 16384, 16384), ('db_accessadmin', 16385, 16385), ('db_securityadmin', 16386, 16386), "
    "('db_ddladmin', 16387, 16387), ('db_backupoperator', 16389, 16389), ('db_datareader', 16390, 16390), "
    "('db_datawriter', 16391, 16391), ('db_denydatareader', 16392, 16392), ('db_denydatawriter', 16393, 16393)))";

std::string unquote(const std::string &sql)
{
    const auto a = sql.find('\'');
    const auto b = sql.rfind('\'');
    return a == std::string::npos || b <= a ? std::string() : lower(sql.substr(a + 1, b - a - 1));
}

}  // namespace

std::string moduleCatalogueView(const std::string &object, const std::string &schema, std::int64_t dbk)
{
    if (schema != "sys") return {};
    const std::string d = std::to_string(dbk);
    if (object == "schemas") return schemasSql;
    if (object == "parameters") return parametersView(dbk);
    if (object == "triggers")
        return "(SELECT o.name, o.id AS object_id, 1 AS parent_class, 'OBJECT_OR_COLUMN' AS parent_class_desc, "
               "o.parent_obj AS parent_id, 'TR' AS type, 'SQL_TRIGGER' AS type_desc, o.crdate AS create_date, "
               "o.refdate AS modify_date, 0 AS is_ms_shipped, m.is_disabled, 0 AS is_not_for_replication, "
               "m.is_instead_of_trigger FROM cat_sysobjects o JOIN cat_module_info m ON m.dbk = o.dbk AND "
               "m.object_id = o.id WHERE o.dbk = " + d + " AND o.xtype = 'TR')";
    if (object == "trigger_events") {
        std::string sql = "(";
        const char *const kinds[] = {"INSERT", "UPDATE", "DELETE"};
        for (int k = 0; k < 3; ++k)
            sql += std::string(k ? " UNION ALL " : "") + "SELECT object_id, " + std::to_string(k + 1) +
                   " AS type, '" + kinds[k] + "' AS type_desc, 0 AS is_first, 0 AS is_last, NULL AS event_group_type, "
                   "NULL AS event_group_type_desc, 1 AS is_trigger_event FROM cat_module_info WHERE dbk = " + d +
                   " AND (events & " + std::to_string(1 << k) + ") <> 0";
        return sql + ")";
    }
    if (object == "sql_expression_dependencies")
        return "(SELECT referencing_id, 0 AS referencing_minor_id, 1 AS referencing_class, "
               "'OBJECT_OR_COLUMN' AS referencing_class_desc, is_schema_bound_reference, 1 AS referenced_class, "
               "'OBJECT_OR_COLUMN' AS referenced_class_desc, NULL AS referenced_server_name, "
               "referenced_database_name, referenced_schema_name, referenced_entity_name, "
               "CASE WHEN referenced_id IS NOT NULL THEN referenced_id WHEN is_caller_dependent = 1 OR "
               "referenced_database_name IS NOT NULL OR ifnull(referenced_schema_name, 'dbo') <> 'dbo' THEN NULL "
               "ELSE (SELECT o.id FROM cat_sysobjects o WHERE o.dbk = d.dbk AND o.name = d.referenced_entity_name) "
               "END AS referenced_id, referenced_minor_id, is_caller_dependent, 0 AS is_ambiguous "
               "FROM cat_sql_dependencies d WHERE dbk = " + d + ")";
    return {};
}

std::string metadataFunction(const std::string &name, const std::vector<std::string> &args, std::int64_t dbk)
{
    const std::string d = std::to_string(dbk);
    if (name == "object_name" && args.size() == 1)
        return "(SELECT name FROM cat_sysobjects WHERE dbk = " + d + " AND id = (" + args[0] + "))";
    if (name == "schema_name" && args.size() <= 1)
        return args.empty() ? "'dbo'"
                            : "(SELECT name FROM " + std::string(schemasSql) + " WHERE schema_id = (" + args[0] + "))";
    if (name == "type_name" && args.size() == 1)
        return "(SELECT name FROM " + typesView(dbk, true) + " WHERE xusertype = (" + args[0] + "))";
    if (name != "objectproperty" || args.size() != 2) return {};
    const std::string p = unquote(args[1]);
    std::string value;
    const auto is = [](const char *xtype) { return std::string("trim(o.xtype) = '") + xtype + "'"; };
    if (p == "isusertable") value = is("U");
    else if (p == "isview") value = is("V");
    else if (p == "isprocedure") value = is("P");
    else if (p == "istrigger") value = is("TR");
    else if (p == "isscalarfunction") value = is("FN");
    else if (p == "isinlinefunction") value = is("IF");
    else if (p == "istablefunction") value = is("TF");
    else if (p == "istable") value = is("U");
    else if (p == "isprimarykey") value = is("PK");
    else if (p == "isforeignkey") value = is("F");
    else if (p == "isdefaultcnst") value = is("D");
    else if (p == "isschemabound") value = "ifnull(s.is_schema_bound, 0) = 1";
    else if (p == "execistriggerdisabled") value = "m.is_disabled = 1";
    else if (p == "execisinsteadoftrigger") value = "m.is_instead_of_trigger = 1";
    else if (p == "execisaftertrigger") value = "m.is_instead_of_trigger = 0";
    else if (p == "execisinserttrigger") value = "(m.events & 1) <> 0";
    else if (p == "execisupdatetrigger") value = "(m.events & 2) <> 0";
    else if (p == "execisdeletetrigger") value = "(m.events & 4) <> 0";
    else if (p == "ismsshipped") value = "o.status < 0";
    else notSupported("OBJECTPROPERTY '" + p + "'");
    // Trigger properties of an object that is no trigger are NULL, as SQL Server answers.
    const bool triggerOnly = p.rfind("exec", 0) == 0;
    return "(SELECT CASE WHEN " + std::string(triggerOnly ? "m.object_id IS NULL THEN NULL WHEN " : "") + value +
           " THEN 1 ELSE 0 END FROM cat_sysobjects o LEFT JOIN cat_module_info m ON m.dbk = o.dbk AND "
           "m.object_id = o.id LEFT JOIN cat_sql_modules s ON s.dbk = o.dbk AND s.object_id = o.id WHERE o.dbk = " +
           d + " AND o.id = (" + args[0] + "))";
}

}  // namespace sqlsim
