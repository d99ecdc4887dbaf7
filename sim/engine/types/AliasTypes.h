#pragma once
// Alias types (CREATE TYPE x FROM base, sp_addtype): per database, in systypes and sys.types.

#include "sim/engine/catalog/Procedures.h"
#include "sim/engine/types/Types.h"

namespace sqlsim {

// While one lives on this thread, column types may name the database's alias types.
class AliasTypeScope {
public:
    AliasTypeScope(StoreConn &conn, const Database &db);
    ~AliasTypeScope();
    AliasTypeScope(const AliasTypeScope &) = delete;
    AliasTypeScope &operator=(const AliasTypeScope &) = delete;

private:
    const AliasTypeScope *outer_;
    StoreConn &conn_;
    Database db_;
    friend std::optional<ColumnShape> findAliasType(std::string_view name);
};
std::optional<ColumnShape> findAliasType(std::string_view name);

// The system type a column's xusertype or xtype names (an alias column: its base type).
const SystemType *typeOfColumn(std::int64_t xusertype, std::int64_t xtype);

void createAliasType(Exec &x);
void dropAliasType(Exec &x);
void execAddType(Exec &x, const std::vector<ProcArg> &args);

// systypes (compatibility) and sys.types of a database, as a FROM source.
std::string typesView(std::int64_t dbk, bool compatibility);

}  // namespace sqlsim
