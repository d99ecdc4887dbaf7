#pragma once
// What differs between the sample and the target, item by item, and the ordered statements
// that make the target like the sample for a choice of those differences: the objects a
// change needs are created first, the objects that stand in its way are dropped first and
// created again afterwards with the sample's definition, drops in reverse dependency order.
// A column whose identity property changes takes its whole table rebuilt (Rebuild.h), which
// keeps every row and its numbers.

#include "schema/model/Items.h"

#include <QSet>

namespace dbsync::model {

enum class Change {
    OnlyInSample,  // 目标无: created in the target
    OnlyInTarget,  // 源无: dropped from the target
    Differs,       // 结构不同: changed in the target
};

// The listing's match text: "目标无", "源无", "结构不同", as the routine listing words them.
QString changeCaption(Change change);

struct Difference {
    ItemKind kind = ItemKind::Table;
    Change change = Change::Differs;
    QString key;
    QString schema;
    QString table;       // the owning table, empty for types, tables and modules
    QString name;
};

// Every difference, in the sample's order, then what only the target has. Parts of a table
// that only one side has go with the table's own row.
QList<Difference> differences(const ItemSet &sample, const ItemSet &target);

// The statements that create the item of that key on that side, one per line, as the listing
// shows them (atext, btext); empty when the side has no such item.
QString definitionText(const ItemSet &side, const QString &key);

enum class StepAction { Drop, Alter, Create };

struct PlanStep {
    StepAction action = StepAction::Create;
    ItemKind kind = ItemKind::Table;
    QString key;
    QString statement;
    QString subject;  // "外键 Orders.FK_Orders_Customers", for messages
    // A part of a table created just before it (an index, a key): it may run in the table's
    // batch, whose subject then names the table.
    bool withTable = false;
};

// Where running a plan may lose values, for the caller to ask before it runs: a table dropped,
// a column dropped, or a column whose type changes (ALTER COLUMN, or the copy into a rebuilt
// table). Whether a change of type can lose values the caller judges from the two types.
struct ValueLoss {
    enum class What { DropTable, DropColumn, ChangeType } what = What::DropTable;
    QString schema, table, column;  // column empty for a table
    TypeRef from, to;               // the target's type (a dropped column's too), the sample's

    bool operator==(const ValueLoss &) const = default;
};

struct SyncPlan {
    QList<PlanStep> steps;
    QList<ValueLoss> valueLosses;
    // Objects whose order could not be settled (their dependencies form a cycle): they run
    // last, in the usual order of their kinds.
    QStringList unordered;
};

// The steps for the chosen differences (by key; all of them when chosen is empty).
SyncPlan planSync(const ItemSet &sample, const ItemSet &target, const QSet<QString> &chosen = {});

}  // namespace dbsync::model
