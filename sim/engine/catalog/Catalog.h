#pragma once
// The schema catalogue of one database in the store: reading and writing its rows the way
// SQL Server's DDL leaves them.

#include "sim/engine/core/Internal.h"
#include "sim/engine/types/Types.h"

namespace sqlsim {

struct ObjectRow {
    std::int64_t id = 0;
    std::string name;
    std::string xtype;  // trimmed: "U", "V", "P", "PK", "F", "D"
    std::int64_t parent = 0;
};

struct ColumnRow {
    std::int64_t colid = 0;
    std::string name;
    std::int64_t xtype = 0;
    std::int64_t xusertype = 0;
    std::int64_t length = 0;
    std::int64_t prec = 0;
    std::optional<std::int64_t> scale;
    bool nullable = true;
    bool identity = false;
    std::int64_t seed = 1;
    std::int64_t increment = 1;
    std::int64_t cdefault = 0;
};

class Catalog {
public:
    Catalog(StoreConn &conn, const Database &db) : conn_(conn), db_(db) {}
    const Database &database() const { return db_; }
    StoreConn &store() const { return conn_; }

    std::optional<ObjectRow> findObject(std::string_view name) const;
    std::optional<ObjectRow> findObject(std::int64_t id) const;
    std::vector<ColumnRow> columns(std::int64_t tableId) const;
    std::optional<ColumnRow> findColumn(std::int64_t tableId, std::string_view name) const;
    std::optional<ObjectRow> primaryKeyOf(std::int64_t tableId) const;
    std::vector<std::string> primaryKeyColumns(std::int64_t tableId) const;
    // What SQL Server names in 5074 for a column: with altered, only the objects that the
    // column's new type breaks (ALTER COLUMN), otherwise all of them (DROP COLUMN).
    struct Dependent {
        std::string kind;  // "object", "index", "statistics"
        std::string name;
    };
    std::vector<Dependent> dependentsOf(std::int64_t tableId, const ColumnRow &column,
                                        const ColumnShape *altered = nullptr) const;

    std::int64_t createTable(const std::string &name);
    void addColumn(std::int64_t tableId, const std::string &tableName, const ColumnSpec &column);
    void alterColumn(std::int64_t tableId, const ColumnRow &old, const ColumnSpec &column);
    void dropColumn(std::int64_t tableId, std::int64_t colid);
    std::string addDefault(std::int64_t tableId, const std::string &tableName, const ColumnRow &column,
                           const std::string &name, const std::string &text);
    // A PRIMARY KEY or UNIQUE constraint with its index.
    std::string addPrimaryKey(std::int64_t tableId, const std::string &tableName, const PrimaryKeySpec &pk);
    std::string addForeignKey(std::int64_t tableId, const std::string &tableName, const ForeignKeySpec &fk);
    // A CHECK constraint's object and syscomments text; column: a column constraint's column.
    std::string addCheck(std::int64_t tableId, const std::string &tableName, const std::string &column,
                         const std::string &name, const std::string &definition);
    void dropConstraint(const ObjectRow &constraint);
    void dropTable(const ObjectRow &table);

    void createModule(const std::string &name, const std::string &xtype, const std::string &text);
    void replaceModule(const ObjectRow &object, const std::string &text);
    void dropObject(const ObjectRow &object);
    void markSystem(const ObjectRow &object);

    // Extended property on a table (colid 0) or column.
    bool hasProperty(std::int64_t major, std::int64_t minor, const std::string &name) const;
    void setProperty(std::int64_t major, std::int64_t minor, const std::string &name, const Param &value, bool add);
    void dropProperty(std::int64_t major, std::int64_t minor, const std::string &name);

private:
    std::int64_t newObjectId();
    void insertObject(std::int64_t id, const std::string &name, const std::string &xtype, std::int64_t parent);

    StoreConn &conn_;
    Database db_;
};

// The database a DDL statement addresses: [db.][schema.]name at tokens[i]; advances i.
struct ObjectName {
    std::string database;  // empty: the session's
    std::string schema;
    std::string name;
};
ObjectName readObjectName(const std::vector<Token> &tokens, std::size_t &i);
Database resolveDdlDatabase(Exec &x, const ObjectName &name);

// syscomments rows: text split into pieces of at most 4000 characters.
std::vector<std::string> splitComments(const std::string &text);

void execSelectInto(Exec &x, std::size_t intoPos);

}  // namespace sqlsim
