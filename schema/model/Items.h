#pragma once
// A schema as a flat list of items that compare one to one across the two sides: each with
// the key that pairs it with its counterpart, the text that decides whether the two are the
// same, the statements that create and drop it, and the keys of the items it needs.

#include "schema/model/Objects.h"

#include <QHash>

namespace dbsync::model {

enum class ItemKind {
    Type,
    Table,
    Column,
    Default,
    PrimaryKey,
    UniqueConstraint,
    Index,
    Check,
    ForeignKey,
    View,
    Function,
    Procedure,
    Trigger,
};

// The listing's name of a kind ("表", "列", "索引", ...).
QString kindCaption(ItemKind kind);

struct Item {
    ItemKind kind = ItemKind::Table;
    QString key;       // pairs the item with its counterpart on the other side
    QString tableKey;  // the owning table's key; empty for types and tables
    QString schema;
    QString table;     // the owning table's name, for the listing
    QString name;      // as listed; for a column or a key, its own name
    QString compare;   // equal texts: the two sides' items are the same
    QStringList create;
    QStringList drop;
    QStringList needs;  // keys of the items that must exist for this one
    // Part of its table's CREATE TABLE: created with the table, dropped with it.
    bool inTableDefinition = false;
    // A stored column: ALTER COLUMN changes its type and nullability (not its identity
    // property: the planner rebuilds the table for that).
    bool alterable = false;
    QString alter;      // the ALTER COLUMN statement, from the sample's definition
    // A module bound to what it reads (views and functions WITH SCHEMABINDING): what it needs
    // cannot change under it.
    bool schemaBound = false;
};

struct ItemSet {
    QList<Item> items;
    QHash<QString, qsizetype> byKey;
    // Each table whole, by its key: a rebuilt table is made from its columns, not its items.
    QHash<QString, Table> tables;

    const Item *find(const QString &key) const;
};

// Every item of the database, tables before what they hold, in catalogue order.
ItemSet itemsOf(const Database &database);

// Keys, so that both sides and the planner build them alike.
QString tableKey(const QString &schema, const QString &table);
QString columnKey(const QString &tableKey, const QString &column);

// The columns of a table that a definition names in brackets ("([Price]>=(0))").
QStringList columnsNamedIn(const QString &definition, const Table &table);

}  // namespace dbsync::model
