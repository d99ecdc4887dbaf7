#pragma once
// One database's schema as plain values, read from its catalogue views: tables with their
// columns, keys, indexes, checks, foreign keys and triggers; views, procedures and functions;
// alias types. Names are as the server stores them; they match without regard to case, as
// under the server's default collation.

#include <QList>
#include <QString>
#include <QStringList>

#include <initializer_list>
#include <optional>

namespace dbsync::model {

// A column's type as the catalogue gives it: the type's name (an alias type's own name), its
// size in bytes (-1 for MAX), precision and scale.
struct TypeRef {
    QString name;
    bool alias = false;     // a user-defined alias type, written by name
    int maxLength = 0;      // bytes, as sys.columns.max_length; -1 for MAX
    int precision = 0;
    int scale = 0;

    bool operator==(const TypeRef &) const = default;
};

struct DefaultDef {
    QString name;
    QString definition;  // as stored, e.g. "((0))"
    bool systemNamed = false;

    bool operator==(const DefaultDef &) const = default;
};

struct Column {
    QString name;
    TypeRef type;
    bool nullable = true;
    bool identity = false;
    qint64 seed = 1;
    qint64 increment = 1;
    std::optional<DefaultDef> defaultConstraint;
    QString computed;   // a computed column's definition; empty for a stored column

    bool operator==(const Column &) const = default;
};

struct IndexColumn {
    QString name;
    bool descending = false;

    bool operator==(const IndexColumn &) const = default;
};

enum class IndexRole {
    Index,             // CREATE INDEX
    PrimaryKey,        // PRIMARY KEY constraint
    UniqueConstraint,  // UNIQUE constraint
};

struct Index {
    QString name;
    IndexRole role = IndexRole::Index;
    bool unique = false;
    bool clustered = false;
    QList<IndexColumn> keys;
    QStringList included;
    QString filter;            // as stored, e.g. "([Active]=(1))"; empty without a filter
    bool systemNamed = false;  // a key constraint whose name the server made

    bool operator==(const Index &) const = default;
};

struct Check {
    QString name;
    QString definition;  // as stored, e.g. "([Price]>=(0))"
    bool disabled = false;
    bool notTrusted = false;
    bool systemNamed = false;

    bool operator==(const Check &) const = default;
};

enum class ReferentialAction { NoAction = 0, Cascade = 1, SetNull = 2, SetDefault = 3 };

struct ForeignKey {
    QString name;
    QStringList columns;
    QString referencedSchema = QStringLiteral("dbo");
    QString referencedTable;
    QStringList referencedColumns;
    ReferentialAction onDelete = ReferentialAction::NoAction;
    ReferentialAction onUpdate = ReferentialAction::NoAction;
    bool disabled = false;
    bool notTrusted = false;
    bool systemNamed = false;

    bool operator==(const ForeignKey &) const = default;
};

enum class ModuleKind {
    View,
    Procedure,
    ScalarFunction,       // FN
    InlineFunction,       // IF
    TableFunction,        // TF
    Trigger,              // TR
};

// A view, procedure, function or trigger: its text, as the server keeps it, is its definition.
struct Module {
    QString schema = QStringLiteral("dbo");
    QString name;
    ModuleKind kind = ModuleKind::View;
    QString definition;      // empty when encrypted
    bool encrypted = false;
    bool schemaBound = false;
    QString table;           // a trigger's table
    bool disabled = false;   // a trigger's state
    // What the definition names: tables, views, functions and procedures of this database.
    QStringList references;

    bool operator==(const Module &) const = default;
};

struct Table {
    QString schema = QStringLiteral("dbo");
    QString name;
    QList<Column> columns;  // in column order
    QList<Index> indexes;   // primary key, unique constraints and indexes
    QList<Check> checks;
    QList<ForeignKey> foreignKeys;

    bool operator==(const Table &) const = default;

    const Column *column(const QString &name) const;
    const Index *primaryKey() const;
};

struct AliasType {
    QString schema = QStringLiteral("dbo");
    QString name;
    TypeRef base;  // the system type with its size
    bool nullable = true;

    bool operator==(const AliasType &) const = default;
};

// An object the tool lists but does not synchronise, with the reason shown to the user.
struct Unsupported {
    QString kind;    // as listed, e.g. "视图"
    QString schema;
    QString name;
    QString reason;

    bool operator==(const Unsupported &) const = default;
};

struct Database {
    QList<AliasType> types;
    QList<Table> tables;
    QList<Module> modules;  // triggers included
    QList<Unsupported> unsupported;

    const Table *table(const QString &schema, const QString &name) const;
    const Module *module(const QString &schema, const QString &name) const;
    const AliasType *type(const QString &schema, const QString &name) const;
};

// Names match as the server's default collation matches them.
bool sameName(const QString &a, const QString &b);
// Whether a system type's name is one of these (any case).
bool isTypeNamed(const QString &name, std::initializer_list<const char *> names);

// "[schema].[name]" with closing brackets doubled.
QString bracket(const QString &name);
QString qualified(const QString &schema, const QString &name);

}  // namespace dbsync::model
