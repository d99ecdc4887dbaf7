#pragma once
// Functions, triggers and what a module's body names: creating them, binding a view or an
// inline function at creation, the dependencies sys.sql_expression_dependencies lists, and
// the refusals schema binding and triggers bring to other statements.

#include "sim/engine/catalog/Catalog.h"

namespace sqlsim {

// CREATE|ALTER FUNCTION|TRIGGER; DROP FUNCTION|TRIGGER; ENABLE|DISABLE TRIGGER.
bool isRoutineKind(const Token &what);
void createOrAlterRoutine(Exec &x, bool alter);
void dropRoutines(Exec &x);
void execTriggerToggle(Exec &x);
// ALTER TABLE t ENABLE|DISABLE TRIGGER name|ALL, tokens[i] at ENABLE or DISABLE.
void alterTableTriggers(Exec &x, Catalog &cat, const ObjectRow &table, std::size_t &i);

// Called before a view or procedure is written: binds the body where SQL Server binds it
// at creation (208, 207, schema binding's rules).
void bindModule(Exec &x, Catalog &cat, const std::string &name, const std::string &xtype);
// Called once a module's rows are written: records what its body names.
void recordModule(Exec &x, Catalog &cat, const std::string &name);

// sys.parameters rows of a procedure or function whose header ends at body.
void recordParameters(Exec &x, Catalog &cat, std::int64_t id, const std::string &xtype, std::size_t body);
std::string parametersView(std::int64_t dbk);

// The first object (by id) that uses the alias type: a column, a parameter or return type, or a
// module body that declares a variable or a table column of it or converts to it.
std::optional<std::string> typeUsedBy(const Catalog &cat, std::int64_t xusertype, const std::string &typeName);
bool moduleUsesType(const std::string &definition, std::string_view typeName);

// The schema-bound objects that read the column (names, for 5074).
std::vector<std::string> schemaBoundDependents(const Catalog &cat, std::int64_t tableId, std::int64_t colid);
// 3729 when a schema-bound object references the object; statement as "DROP TABLE".
void failIfReferenced(Catalog &cat, const ObjectRow &object, const std::string &statement,
                      const std::string &written);
// A DML statement on a table with an enabled trigger is refused: sqlsim does not run bodies.
void failIfTriggered(const Catalog &cat, const ObjectRow &table);
// Removes what the store keeps about a module besides its object row.
void forgetModule(StoreConn &conn, std::int64_t dbk, std::int64_t id);

// Catalogue views of this room (sys.triggers, sys.schemas, ...), as a FROM source; empty when
// the name is not one of them.
std::string moduleCatalogueView(const std::string &object, const std::string &schema, std::int64_t dbk);
// OBJECT_NAME, SCHEMA_NAME, TYPE_NAME, OBJECTPROPERTY over translated arguments; empty when
// the function is not one of them.
std::string metadataFunction(const std::string &name, const std::vector<std::string> &args, std::int64_t dbk);

}  // namespace sqlsim
