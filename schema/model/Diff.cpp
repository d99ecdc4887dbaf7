// What differs between the two sides, item by item, as the listings show it.
#include "schema/model/Plan.h"

namespace dbsync::model {

namespace {

// A part of a table that only its own side has: it goes with the table's row.
bool partOfOneSidedTable(const Item &item, const ItemSet &other)
{
    return !item.tableKey.isEmpty() && !other.find(item.tableKey);
}

Difference differenceOf(const Item &item, Change change)
{
    Difference d;
    d.kind = item.kind;
    d.change = change;
    d.key = item.key;
    d.schema = item.schema;
    d.table = item.kind == ItemKind::Table ? QString() : item.table;
    d.name = item.name;
    return d;
}

}  // namespace

QString changeCaption(Change change)
{
    switch (change) {
    case Change::OnlyInSample:
        return QStringLiteral("目标无");
    case Change::OnlyInTarget:
        return QStringLiteral("源无");
    case Change::Differs:
        break;
    }
    return QStringLiteral("结构不同");
}

QList<Difference> differences(const ItemSet &sample, const ItemSet &target)
{
    QList<Difference> out;
    for (const Item &s : sample.items) {
        if (partOfOneSidedTable(s, target))
            continue;
        const Item *t = target.find(s.key);
        if (!t)
            out << differenceOf(s, Change::OnlyInSample);
        else if (t->compare != s.compare)
            out << differenceOf(s, Change::Differs);
    }
    for (const Item &t : target.items)
        if (!partOfOneSidedTable(t, sample) && !sample.find(t.key))
            out << differenceOf(t, Change::OnlyInTarget);
    return out;
}

QString definitionText(const ItemSet &side, const QString &key)
{
    const Item *item = side.find(key);
    return item ? createStatements(side, *item).join(QStringLiteral("\r\n")) : QString();
}

}  // namespace dbsync::model
