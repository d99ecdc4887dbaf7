#pragma once
// SQL Server's system types as its catalogue records them, and column definitions.

#include "sim/engine/core/Lexer.h"

#include <optional>
#include <string>
#include <vector>

namespace sqlsim {

struct SystemType {
    const char *name;
    int xtype;
    int xusertype;
    int length;     // systypes.length
    int xprec;
    int xscale;
    int prec;       // systypes.prec
    int scale;      // systypes.scale, -1 for NULL
    bool sized;     // takes (n) or (max)
    bool decimal;   // takes (p[,s])
    bool unicode;
    bool padded;    // ANSI padding applies (char, varchar, binary, varbinary)
    bool variable;
};

const std::vector<SystemType> &systemTypes();
const SystemType *findSystemType(std::string_view name);

// A column as syscolumns describes it.
struct ColumnShape {
    const SystemType *type = nullptr;
    int length = 0;      // bytes, -1 for max
    int prec = 0;        // characters for character types, precision otherwise
    std::optional<int> scale;
    int xprec = 0;
    int xscale = 0;
    int xusertype = 0;         // an alias type's id; 0: the system type's
    bool notNullType = false;  // an alias type declared NOT NULL
};

// sys.foreign_keys' referential actions: 0 NO_ACTION, 1 CASCADE, 2 SET_NULL, 3 SET_DEFAULT.
struct ForeignKeySpec {
    std::string name;  // empty: SQL Server names it
    std::vector<std::string> columns;
    std::string refTable;
    std::vector<std::string> refColumns;
    int onDelete = 0;
    int onUpdate = 0;
    bool notForReplication = false;
    bool checkRows = true;  // false: WITH NOCHECK, the rows are not checked and the key is not trusted
};

// CHECK [NOT FOR REPLICATION] (condition): the condition's tokens, End-terminated.
struct CheckSpec {
    std::string name;
    std::vector<Token> condition;
    std::string column;  // a column constraint's column
    bool notForReplication = false;
    bool checkRows = true;
};

// Storage options of an index (WITH (...)); those that change no result are only accepted.
struct IndexOptions {
    bool padIndex = false;
    int fillFactor = 0;
    bool allowRowLocks = true;
    bool allowPageLocks = true;
    bool optimizeForSequentialKey = false;
    bool statisticsNoRecompute = false;
};

// A PRIMARY KEY, or with unique set a UNIQUE constraint.
struct PrimaryKeySpec {
    std::string name;
    std::vector<std::string> columns;
    bool clustered = true;
    bool clusterWritten = false;  // CLUSTERED or NONCLUSTERED was written
    bool unique = false;
    std::vector<bool> descending;  // per column
    IndexOptions options;
};

struct ColumnSpec {
    std::string name;
    ColumnShape shape;
    std::optional<bool> nullable;  // unset: nullable unless identity or key
    bool identity = false;
    std::int64_t seed = 1;
    std::int64_t increment = 1;
    std::optional<std::string> defaultText;  // normalised, e.g. "((0))"
    std::string defaultName;
    bool withValues = false;  // DEFAULT ... WITH VALUES: existing rows get the default too
    std::optional<PrimaryKeySpec> primaryKey;
    std::optional<PrimaryKeySpec> uniqueKey;
    std::optional<ForeignKeySpec> foreignKey;
    std::vector<CheckSpec> checks;
};

// Reads a type at tokens[i] with its (n) / (max) / (p,s); columnNumber and name for messages.
ColumnShape readColumnType(const std::vector<Token> &tokens, std::size_t &i, int columnNumber,
                           const std::string &columnName);
// A column definition: name type [IDENTITY(s,i)] [NULL|NOT NULL] [CONSTRAINT n] [DEFAULT e]
// [PRIMARY KEY] [REFERENCES t(c)], ending at a top-level comma or closing parenthesis.
ColumnSpec readColumnSpec(const std::vector<Token> &tokens, std::size_t &i, int columnNumber);
// The default's text as SQL Server stores it: ((0)), ('abc'), (getdate()).
std::string normaliseDefault(const std::vector<Token> &tokens, std::size_t begin, std::size_t end);
std::size_t skipExpression(const std::vector<Token> &tokens, std::size_t i);
// REFERENCES table [(columns)] [ON DELETE|UPDATE action] at tokens[i].
ForeignKeySpec readReferences(const std::vector<Token> &tokens, std::size_t &i);
// CHECK [NOT FOR REPLICATION] (condition) at tokens[i].
CheckSpec readCheck(const std::vector<Token> &tokens, std::size_t &i, const std::string &name);
std::vector<std::string> readNameList(const std::vector<Token> &tokens, std::size_t &i);
void checkIdentifier(const std::string &name);

}  // namespace sqlsim
