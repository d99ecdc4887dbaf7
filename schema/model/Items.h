#pragma once
// A schema as a flat list of items that compare one to one across the two sides: each with
// the key that pairs it with its counterpart, the text that decides whether the two are the
// same, the keys of the items it needs, and where its definition is, for the statements that
// create, change and drop it. Those are rendered when asked for: a listing of equal schemas
// needs none, and a plan only its own items'.

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
    QStringList needs;  // keys of the items that must exist for this one
    // Part of its table's CREATE TABLE: created with the table, dropped with it.
    bool inTableDefinition = false;
    // A stored column: ALTER COLUMN changes its type and nullability (not its identity
    // property: the planner rebuilds the table for that).
    bool alterable = false;
    // A module bound to what it reads (views and functions WITH SCHEMABINDING): what it needs
    // cannot change under it.
    bool schemaBound = false;
    // Its definition in ItemSet::database: the position of its type, table or module, and for
    // a part of a table its position among the table's columns (a default: its column's),
    // indexes, checks or foreign keys.
    qsizetype object = -1;
    qsizetype part = -1;
};

struct ItemSet {
    QList<Item> items;
    QHash<QString, qsizetype> byKey;
    // The schema the items were made of (shared, not copied). A rebuilt table is made from its
    // columns, not its items.
    Database database;
    QHash<QString, qsizetype> tableAt;  // a table's key -> its position in database.tables

    const Item *find(const QString &key) const;
    const Table *table(const QString &key) const;  // nullptr when the set has no such table
};

// The statements that create and drop the item, and a stored column's ALTER COLUMN, from its
// set's definition of it; each a batch of its own.
QStringList createStatements(const ItemSet &set, const Item &item);
QStringList dropStatements(const ItemSet &set, const Item &item);
QString alterStatement(const ItemSet &set, const Item &item);

// Every item of the database, tables before what they hold, in catalogue order.
ItemSet itemsOf(const Database &database);

// Whether the two hold the same types, tables and modules (matched by key), each exactly as
// the other has it: names, parts and their order. Then no item of one differs from the
// other's, and comparing them needs no items at all.
bool sameObjects(const Database &a, const Database &b);
// The set of a database with its tables found by key but no items made: for a comparison
// of objects that are all the same.
ItemSet withoutItems(const Database &database);

// Keys, so that both sides and the planner build them alike.
QString tableKey(const QString &schema, const QString &table);
QString columnKey(const QString &tableKey, const QString &column);

}  // namespace dbsync::model
