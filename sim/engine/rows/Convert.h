#pragma once
// Values of user-table columns: what a literal, a stored value or a query result is in
// T-SQL's terms, and its conversion to a column's type with SQL Server's rules and errors.

#include "sim/engine/core/Lexer.h"
#include "sim/engine/core/Store.h"
#include "sim/engine/types/Types.h"

#include <optional>
#include <string>

namespace sqlsim {

// A value with the T-SQL type class it came in.
struct Typed {
    enum class Kind { Null, Int, Decimal, Float, VarChar, NVarChar, Binary, DateTime, Guid };
    Kind kind = Kind::Null;
    std::int64_t i = 0;
    double f = 0;
    std::string text;  // decimal digits "-12.50", string value, "YYYY-MM-DD HH:MM:SS.fff", guid
    std::vector<std::uint8_t> bytes;
    bool isNull() const { return kind == Kind::Null; }
};

// A user-table column as conversions need it.
struct ColumnInfo {
    std::string name;
    const SystemType *type = nullptr;
    int chars = 0;      // character and binary types: the declared length (-1 = max)
    int precision = 0;  // decimal, numeric and money
    int scale = 0;
    bool nullable = true;
    bool identity = false;
    std::int64_t seed = 1;
    std::int64_t increment = 1;
    std::optional<std::string> defaultText;  // as stored, e.g. "((0))"
    std::int64_t colid = 0;
};

// Where a conversion happens, for SQL Server's messages.
struct ConvertSite {
    std::string table;  // db.dbo.t, as 515 and 2628 name it
    const char *verb = "INSERT";
};

// The SQLite declaration of a column's storage: "INTEGER", "decimal(10,2)", "TEXT COLLATE SSCI", ...
std::string storageDecl(const ColumnInfo &column);

// A literal token (with an optional leading minus) as T-SQL types it.
Typed literalValue(const Token &token, bool negative);
// A value as the store holds it for that column.
Typed storedValue(const Param &stored, const ColumnInfo &column);
// A query result's value with the result column's type.
Typed resultValue(const Value &value, const ColumnType &type);

// Converts to the column's type and checks nullability; throws SqlError as SQL Server would.
Param toColumn(const Typed &value, const ColumnInfo &column, const ConvertSite &site);

// The value as SQL Server prints a key value in 2627 and 1505: (1), (abc).
std::string keyText(const Param &stored);

}  // namespace sqlsim
