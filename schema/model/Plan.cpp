#include "schema/model/Plan.h"

#include "schema/model/Rebuild.h"
#include "schema/model/Render.h"

#include <QHash>

#include <algorithm>
#include <set>
#include <tuple>

namespace dbsync::model {

namespace {

QString defaultsColumn(const Item &item)
{
    QString key = item.key;
    const qsizetype at = key.lastIndexOf(QLatin1String("|df|"));
    return key.replace(at, 4, QLatin1String("|col|"));
}

bool isTypeKey(const QString &key)
{
    return key.startsWith(QLatin1String("type|"));
}

// An alias type's base type with its size, as that side defines the type; a system type as it is.
TypeRef baseOf(const ItemSet &side, const TypeRef &type)
{
    if (type.alias)
        for (const AliasType &t : side.database.types)
            if (sameName(t.name, type.name))
                return t.base;
    return type;
}

int kindRank(ItemKind kind)
{
    return int(kind);  // the enumeration is in creation order
}

// What ALTER TABLE or CREATE INDEX makes on a table (triggers are modules: a batch of their own).
bool isTablePart(ItemKind kind)
{
    return kind == ItemKind::Column || kind == ItemKind::Default || kind == ItemKind::PrimaryKey
           || kind == ItemKind::UniqueConstraint || kind == ItemKind::Index || kind == ItemKind::Check
           || kind == ItemKind::ForeignKey;
}

class Planner {
public:
    Planner(const ItemSet &sample, const ItemSet &target) : s_(sample), t_(target)
    {
        for (const Item &item : s_.items)
            if (!item.tableKey.isEmpty())
                sampleParts_[item.tableKey] << item.key;
        for (const Item &item : t_.items)
            if (!item.tableKey.isEmpty())
                targetParts_[item.tableKey] << item.key;
    }

    void choose(const Difference &d)
    {
        switch (d.change) {
        case Change::OnlyInSample:
            // ADD puts a column last: one that goes before columns the target has takes its
            // table rebuilt, so that the columns stand in the sample's order.
            if (d.kind == ItemKind::Column && addsBeforeExistingColumns(*s_.find(d.key)))
                rebuild(s_.find(d.key)->tableKey);
            else
                create(d.key);
            break;
        case Change::OnlyInTarget:
            drop(d.key);
            break;
        case Change::Differs: {
            const Item *si = s_.find(d.key);
            const Item *ti = t_.find(d.key);
            const Column *sc = d.kind == ItemKind::Column ? columnOf(s_, *si) : nullptr;
            const Column *tc = d.kind == ItemKind::Column ? columnOf(t_, *ti) : nullptr;
            if (sc && tc && needsRebuild(*tc, *sc)) {
                // Dropping and adding the column would number the rows anew.
                rebuild(si->tableKey);
            } else if (d.kind == ItemKind::Column && si->alterable && ti->alterable) {
                alters_.insert(d.key);
            } else {
                drop(d.key);
                create(d.key);
            }
            break;
        }
        }
    }

    void close()
    {
        // A rebuilt table gets the sample's columns as they are: nothing to alter on it.
        for (auto it = alters_.begin(); it != alters_.end();) {
            const Item *item = s_.find(*it);
            it = item && rebuilds_.contains(item->tableKey) ? alters_.erase(it) : std::next(it);
        }
        for (bool changed = true; changed;) {
            changed = moveOffDroppedTypes();
            changed = dropDependents() || changed;
            changed = createPrerequisites() || changed;
        }
        // A column that was only moved off its type goes back to it, as the target had it,
        // once the type is there again; a changed or rebuilt column gets the sample's anyway.
        for (auto it = offs_.cbegin(); it != offs_.cend(); ++it) {
            const Item *item = t_.find(it.key());
            if (creates_.contains(it.value()) && !alters_.contains(it.key()) && !rebuilds_.contains(item->tableKey))
                backs_.insert(it.key());
        }
    }

    SyncPlan order() const;
    QList<ValueLoss> valueLosses() const;

private:
    static const Column *columnOf(const ItemSet &side, const Item &column)
    {
        const Table *table = side.table(column.tableKey);
        return table ? table->column(column.name) : nullptr;
    }

    void rebuild(const QString &tableKey)
    {
        rebuilds_.insert(tableKey);
        drop(tableKey);
        create(tableKey);
    }

    bool addsBeforeExistingColumns(const Item &column) const
    {
        const Table *sample = s_.table(column.tableKey);
        const Table *target = t_.table(column.tableKey);
        if (!sample || !target)
            return false;
        bool after = false;
        for (const Column &c : sample->columns) {
            if (sameName(c.name, column.name))
                after = true;
            else if (after && c.computed.isEmpty() && target->column(c.name))
                return true;
        }
        return false;
    }

    void create(const QString &key)
    {
        if (creates_.contains(key))
            return;
        creates_.insert(key);
        unchecked_.append(key);
        const Item *item = s_.find(key);
        if (item && item->kind == ItemKind::Table)
            for (const QString &child : sampleParts_.value(key))
                if (!creates_.contains(child)) {
                    creates_.insert(child);
                    unchecked_.append(child);
                }
    }

    void drop(const QString &key)
    {
        if (drops_.contains(key))
            return;
        drops_.insert(key);
        const Item *item = t_.find(key);
        if (item && item->kind == ItemKind::Table)
            for (const QString &child : targetParts_.value(key))
                drops_.insert(child);
    }

    bool changing(const QString &key) const
    {
        return drops_.contains(key) || alters_.contains(key) || offs_.contains(key);
    }

    // An alias type cannot be dropped while a column is of it: the columns that stay (also
    // those of a table about to be rebuilt, which still holds its rows) are first changed to
    // the type's base type, which keeps every value.
    bool moveOffDroppedTypes()
    {
        bool changed = false;
        for (const Item &y : t_.items) {
            if (y.kind != ItemKind::Column || offs_.contains(y.key))
                continue;
            if (drops_.contains(y.tableKey) ? !rebuilds_.contains(y.tableKey) : drops_.contains(y.key))
                continue;
            for (const QString &n : y.needs)
                if (isTypeKey(n) && drops_.contains(n)) {
                    offs_.insert(y.key, n);
                    offTypes_[y.tableKey].insert(n);
                    changed = true;
                    break;
                }
        }
        return changed;
    }

    // Whether a target object must go before the others' drops and changes run.
    bool standsInTheWay(const Item &y) const
    {
        const bool survives = (y.kind == ItemKind::View || y.kind == ItemKind::Function
                               || y.kind == ItemKind::Procedure)
                              && !y.schemaBound;
        for (const QString &n : y.needs) {
            if (!changing(n))
                continue;
            // A type is held by every routine that declares something of it.
            if (!survives || isTypeKey(n))
                return true;
        }
        if (!y.schemaBound)
            return false;
        // Bound to a table: no column of it may change.
        for (const QString &n : y.needs)
            if (n.startsWith(QLatin1String("table|")))
                for (const QString &k : alters_)
                    if (k.startsWith(n + QLatin1String("|col|")))
                        return true;
        for (const QString &n : y.needs)
            if (n.startsWith(QLatin1String("table|")))
                for (const QString &k : drops_)
                    if (k.startsWith(n + QLatin1String("|col|")))
                        return true;
        for (const QString &n : y.needs)
            if (n.startsWith(QLatin1String("table|")))
                for (auto it = offs_.cbegin(); it != offs_.cend(); ++it)
                    if (it.key().startsWith(n + QLatin1String("|col|")))
                        return true;
        return false;
    }

    bool dropDependents()
    {
        bool changed = false;
        for (const Item &y : t_.items) {
            // Tables and columns are never dropped to make way: they hold the rows.
            if (y.kind == ItemKind::Table || y.kind == ItemKind::Column)
                continue;
            if (drops_.contains(y.key) || !standsInTheWay(y))
                continue;
            drop(y.key);
            // Back again afterwards, as the sample defines it.
            if (s_.find(y.key))
                create(y.key);
            changed = true;
        }
        return changed;
    }

    // Each creation's needs are looked at once: a new schema has tens of thousands of items.
    bool createPrerequisites()
    {
        bool changed = false;
        while (!unchecked_.isEmpty()) {
            const Item *x = s_.find(unchecked_.takeLast());
            if (!x)
                continue;
            for (const QString &n : x->needs) {
                if (creates_.contains(n) || alters_.contains(n) || (t_.find(n) && !drops_.contains(n)) || !s_.find(n))
                    continue;
                create(n);
                changed = true;
            }
        }
        return changed;
    }

    // Created by the statement that creates its table or its column. A rebuilt table is
    // created bare: only its columns come with it.
    bool covered(const Item &x) const
    {
        if (rebuilds_.contains(x.tableKey))
            return x.kind == ItemKind::Column;
        if (x.inTableDefinition && creates_.contains(x.tableKey))
            return true;
        return x.kind == ItemKind::Default && creates_.contains(defaultsColumn(x));
    }

    // Dropped with its table. Foreign keys go first on their own, so that tables that refer
    // to one another can be dropped in any order.
    bool implicit(const Item &y) const
    {
        if (y.tableKey.isEmpty() || y.kind == ItemKind::ForeignKey || !drops_.contains(y.tableKey))
            return false;
        // A rebuilt table's column moved off its type: what stands on the column goes first.
        if (rebuilds_.contains(y.tableKey) && y.kind != ItemKind::Column)
            for (const QString &n : y.needs)
                if (offs_.contains(n))
                    return false;
        return true;
    }

    // Whether the item still holds what it needs when its drop, change or rebuild runs: a
    // column moved off its type (or a table whose columns were) no longer holds the type.
    bool holds(const Item &item, const QString &need) const
    {
        if (!isTypeKey(need))
            return true;
        return offs_.value(item.key) != need && !offTypes_.value(item.key).contains(need);
    }

    const ItemSet &s_;
    const ItemSet &t_;
    QSet<QString> drops_, alters_, creates_;
    QStringList unchecked_;  // creations whose needs are still to be looked at
    QSet<QString> rebuilds_;  // tables copied into a new one: their drop runs with their creation
    QHash<QString, QString> offs_;  // target columns moved off a dropped type -> the type's key
    QHash<QString, QSet<QString>> offTypes_;  // a table's key -> the types its columns were moved off
    QSet<QString> backs_;  // columns set back to their type when it is created again
    QHash<QString, QStringList> sampleParts_, targetParts_;  // a table's key -> its parts' keys
};

// A column's move off its alias type and back to it are changes of the target's column.
enum class Move { None, Off, Back };

struct Node {
    StepAction action;
    QString key;
    const Item *item;  // the target's for a drop, a move off or back, the sample's otherwise
    Move move = Move::None;
};

SyncPlan Planner::order() const
{
    QList<Node> nodes;
    QHash<QString, int> dropAt, alterAt, createAt, offAt, backAt;
    auto addNodes = [&](const auto &keys, StepAction action, const ItemSet &side, QHash<QString, int> &at,
                        Move move = Move::None) {
        for (const Item &item : side.items)
            if (keys.contains(item.key)) {
                at.insert(item.key, int(nodes.size()));
                nodes.append({action, item.key, &item, move});
            }
    };
    nodes.reserve(drops_.size() + alters_.size() + creates_.size() + offs_.size() + backs_.size());
    for (auto [at, keys] : {std::pair{&dropAt, &drops_}, {&alterAt, &alters_}, {&createAt, &creates_}})
        if (!keys->isEmpty())  // an empty hash that was never sized answers without hashing
            at->reserve(keys->size());
    addNodes(drops_, StepAction::Drop, t_, dropAt);
    addNodes(alters_, StepAction::Alter, s_, alterAt);
    addNodes(creates_, StepAction::Create, s_, createAt);
    if (!offs_.isEmpty()) {
        addNodes(offs_, StepAction::Alter, t_, offAt, Move::Off);
        addNodes(backs_, StepAction::Alter, t_, backAt, Move::Back);
    }

    QList<QList<int>> after(nodes.size());  // edges: node -> nodes that must wait for it
    QList<QList<int>> before(nodes.size());  // the same edges from the other end
    QList<int> waiting(nodes.size(), 0);
    auto edge = [&](int first, int then) {
        if (first == then || after[first].contains(then))
            return;
        after[first].append(then);
        before[then].append(first);
        ++waiting[then];
    };
    // The node of that key in that step, or -1.
    const auto nodeOf = [](const QHash<QString, int> &at, const QString &key) { return at.value(key, -1); };
    for (int i = 0; i < nodes.size(); ++i) {
        const Node &n = nodes[i];
        switch (n.action) {
        case StepAction::Drop: {
            for (const QString &need : n.item->needs) {
                if (const int d = nodeOf(dropAt, need); d >= 0 && holds(*n.item, need))
                    edge(i, d);
                if (const int a = nodeOf(alterAt, need); a >= 0)
                    edge(i, a);
                if (const int o = nodeOf(offAt, need); o >= 0)
                    edge(i, o);
            }
            const int c = nodeOf(createAt, n.key);
            if (c >= 0)
                edge(i, c);
            // A rebuilt table goes only when its copy is made: what it needs stays until then.
            if (c >= 0 && rebuilds_.contains(n.key))
                for (const QString &need : n.item->needs)
                    if (const int d = nodeOf(dropAt, need); d >= 0 && holds(*n.item, need))
                        edge(c, d);
            break;
        }
        case StepAction::Alter:
            if (n.move == Move::Off) {
                if (const int d = nodeOf(dropAt, offs_.value(n.key)); d >= 0)
                    edge(i, d);
                break;
            }
            if (n.move == Move::Back) {
                edge(nodeOf(offAt, n.key), i);
                if (const int c = nodeOf(createAt, offs_.value(n.key)); c >= 0)
                    edge(c, i);
                break;
            }
            for (const QString &need : n.item->needs)
                if (const int c = nodeOf(createAt, need); c >= 0)
                    edge(c, i);
            if (const int o = nodeOf(offAt, n.key); o >= 0)
                edge(o, i);
            if (const Item *old = t_.find(n.key))
                for (const QString &need : old->needs)
                    if (const int d = nodeOf(dropAt, need); d >= 0 && holds(*old, need))
                        edge(i, d);
            break;
        case StepAction::Create:
            for (const QString &need : n.item->needs) {
                if (const int c = nodeOf(createAt, need); c >= 0)
                    edge(c, i);
                if (const int a = nodeOf(alterAt, need); a >= 0)
                    edge(a, i);
                if (const int b = nodeOf(backAt, need); b >= 0)
                    edge(b, i);
            }
            break;
        }
    }

    // Drops first, latest kinds first; then changes; then creations, earliest kinds first.
    auto priority = [&](int i) {
        const Node &n = nodes[i];
        const int phase = n.action == StepAction::Drop ? 0 : n.action == StepAction::Alter ? 1 : 2;
        const int rank = n.action == StepAction::Drop ? -kindRank(n.item->kind) : kindRank(n.item->kind);
        return std::make_tuple(phase, rank, i);
    };
    std::set<std::tuple<int, int, int>> ready;
    for (int i = 0; i < nodes.size(); ++i)
        if (waiting[i] == 0)
            ready.insert(priority(i));
    QList<int> sequence;
    QList<bool> placed(nodes.size(), false);
    while (sequence.size() < nodes.size()) {
        if (ready.empty()) {
            // A cycle: the rest in priority order.
            for (int i = 0; i < nodes.size(); ++i)
                if (!placed[i])
                    ready.insert(priority(i));
        }
        const int i = std::get<2>(*ready.begin());
        ready.erase(ready.begin());
        if (placed[i])
            continue;
        placed[i] = true;
        sequence.append(i);
        for (int then : after[i])
            if (--waiting[then] == 0 && !placed[then])
                ready.insert(priority(then));
    }

    // The parts of a table created here follow it and run in its batch, where what they need
    // is there by then: one round trip for the table with its indexes and keys instead of one
    // each. Only after every drop and change, so no part comes before a drop it waits for
    // unsaid (a constraint's name freed by a dropped table).
    QList<int> at(nodes.size());
    for (int k = 0; k < sequence.size(); ++k)
        at[sequence[k]] = k;
    int lastChange = -1;
    for (int k = 0; k < sequence.size(); ++k)
        if (nodes[sequence[k]].action != StepAction::Create)
            lastChange = k;
    QList<int> placedAt = at;  // a part that moves takes its table's place
    QHash<int, QList<int>> parts;   // a table's creation -> the parts that follow it
    QList<bool> moved(nodes.size(), false);
    for (int i : sequence) {
        const Node &n = nodes[i];
        const int table = n.action == StepAction::Create && isTablePart(n.item->kind) && !rebuilds_.contains(n.item->tableKey)
                              ? createAt.value(n.item->tableKey, -1)
                              : -1;
        if (table < 0 || at[table] <= lastChange || at[table] >= at[i] || waiting[i] > 0)
            continue;
        const bool ready = std::all_of(before[i].begin(), before[i].end(), [&](int p) { return placedAt[p] <= at[table]; });
        if (!ready)
            continue;
        parts[table].append(i);
        moved[i] = true;
        placedAt[i] = at[table];
    }
    QList<int> ordered;
    for (int i : sequence) {
        if (moved[i])
            continue;
        ordered.append(i);
        ordered.append(parts.value(i));
    }

    SyncPlan plan;
    for (int i : ordered) {
        const Node &n = nodes[i];
        if (waiting[i] > 0)
            plan.unordered << n.item->name;
        QStringList statements;
        if (n.move != Move::None) {
            const Table &table = *t_.table(n.item->tableKey);
            Column column = table.columns[n.item->part];
            if (n.move == Move::Off)
                column.type = baseOf(t_, column.type);
            statements << alterColumn(table, column);
        } else if (rebuilds_.contains(n.key)) {
            if (n.action == StepAction::Create)
                statements = rebuildCore(*t_.table(n.key), *s_.table(n.key));
        } else if (n.action == StepAction::Drop && !implicit(*n.item))
            statements = dropStatements(t_, *n.item);
        else if (n.action == StepAction::Alter)
            statements << alterStatement(s_, *n.item);
        else if (n.action == StepAction::Create && !covered(*n.item))
            statements = createStatements(s_, *n.item);
        if (statements.isEmpty())  // made or dropped with its table or column
            continue;
        const QString subject = kindCaption(n.item->kind) + QLatin1Char(' ')
                                + (n.item->table.isEmpty() || n.item->kind == ItemKind::Table
                                       ? n.item->name
                                       : n.item->table + QLatin1Char('.') + n.item->name);
        for (const QString &s : statements)
            plan.steps.append({n.action, n.item->kind, n.key, s, subject, moved[i]});
    }
    plan.valueLosses = valueLosses();
    return plan;
}

bool sameType(const TypeRef &a, const TypeRef &b)
{
    return a.alias == b.alias && sameName(a.name, b.name) && a.maxLength == b.maxLength && a.precision == b.precision
           && a.scale == b.scale;
}

QList<ValueLoss> Planner::valueLosses() const
{
    using What = ValueLoss::What;
    QList<ValueLoss> out;
    for (const Item &y : t_.items) {
        if (y.kind == ItemKind::Table && rebuilds_.contains(y.key)) {
            // What the copy into the rebuilt table leaves behind or converts.
            const Table &was = *t_.table(y.key);
            const Table &will = *s_.table(y.key);
            for (const Column &c : was.columns) {
                const Column *w = will.column(c.name);
                if (!c.computed.isEmpty())
                    continue;
                if (!w || !w->computed.isEmpty())
                    out.append({What::DropColumn, y.schema, y.name, c.name, c.type, {}});
                else if (const TypeRef from = baseOf(t_, c.type), to = baseOf(s_, w->type); !sameType(from, to))
                    out.append({What::ChangeType, y.schema, y.name, c.name, from, to});
            }
        } else if (y.kind == ItemKind::Table && drops_.contains(y.key)) {
            out.append({What::DropTable, y.schema, y.name, {}, {}, {}});
        } else if (y.kind == ItemKind::Column && drops_.contains(y.key) && !drops_.contains(y.tableKey)) {
            // A computed column holds no values of its own.
            const Column *c = columnOf(t_, y);
            if (!c || c->computed.isEmpty())
                out.append({What::DropColumn, y.schema, y.table, y.name, c ? c->type : TypeRef{}, {}});
        } else if (y.kind == ItemKind::Column && alters_.contains(y.key)) {
            const Column *from = columnOf(t_, y);
            const Item *sample = s_.find(y.key);
            const Column *to = sample ? columnOf(s_, *sample) : nullptr;
            out.append({What::ChangeType, y.schema, y.table, y.name, from ? baseOf(t_, from->type) : TypeRef{},
                        to ? baseOf(s_, to->type) : TypeRef{}});
        } else if (y.kind == ItemKind::Column && backs_.contains(y.key)) {
            // Back to its type as the sample now defines it.
            const TypeRef type = columnOf(t_, y)->type;
            out.append({What::ChangeType, y.schema, y.table, y.name, baseOf(t_, type), baseOf(s_, type)});
        }
    }
    return out;
}

}  // namespace

SyncPlan planSync(const ItemSet &sample, const ItemSet &target, const QSet<QString> &chosen)
{
    Planner planner(sample, target);
    for (const Difference &d : differences(sample, target))
        if (chosen.isEmpty() || chosen.contains(d.key))
            planner.choose(d);
    planner.close();
    return planner.order();
}

}  // namespace dbsync::model
