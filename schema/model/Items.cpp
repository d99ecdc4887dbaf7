#include "schema/model/Items.h"

#include "schema/Collation.h"
#include "schema/model/NamesInText.h"
#include "schema/model/Render.h"

#include <QSet>

namespace dbsync::model {

namespace {

QString ck(const QString &name)
{
    return schema::collationKey(name);
}

// Appends ck(name): a key is made for every item and every name it needs, and nearly all names
// are ASCII, folded here without a copy of their own.
void appendKey(QString &out, const QString &name)
{
    qsizetype end = name.size();
    while (end > 0 && name[end - 1] == QLatin1Char(' '))
        --end;
    const QChar *c = name.constData();
    for (qsizetype i = 0; i < end; ++i)
        if (c[i].unicode() >= 0x80) {
            out.append(ck(name));
            return;
        }
    for (qsizetype i = 0; i < end; ++i) {
        const char16_t u = c[i].unicode();
        out.append(QChar(u >= 'A' && u <= 'Z' ? char16_t(u + 32) : u));
    }
}

QString flag(bool value)
{
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

QString keySignature(const QList<IndexColumn> &keys)
{
    QStringList out;
    for (const IndexColumn &k : keys)
        out << ck(k.name) + (k.descending ? QStringLiteral(" desc") : QString());
    return out.join(QLatin1Char(','));
}

QString namesSignature(const QStringList &names)
{
    QStringList out;
    for (const QString &n : names)
        out << ck(n);
    return out.join(QLatin1Char(','));
}

ItemKind moduleItemKind(ModuleKind kind)
{
    switch (kind) {
    case ModuleKind::View:
        return ItemKind::View;
    case ModuleKind::Procedure:
        return ItemKind::Procedure;
    case ModuleKind::Trigger:
        return ItemKind::Trigger;
    case ModuleKind::ScalarFunction:
    case ModuleKind::InlineFunction:
    case ModuleKind::TableFunction:
        break;
    }
    return ItemKind::Function;
}

// "<kind>|schema.name", case folded as the keys are.
QString objectKey(QLatin1String kind, const QString &schema, const QString &name)
{
    QString key;
    key.reserve(kind.size() + 1 + schema.size() + name.size());
    key.append(kind);
    appendKey(key, schema);
    key.append(QLatin1Char('.'));
    appendKey(key, name);
    return key;
}

QString moduleKey(const QString &schema, const QString &name)
{
    return objectKey(QLatin1String("module|"), schema, name);
}

ItemKind indexItemKind(IndexRole role)
{
    switch (role) {
    case IndexRole::PrimaryKey:
        return ItemKind::PrimaryKey;
    case IndexRole::UniqueConstraint:
        return ItemKind::UniqueConstraint;
    case IndexRole::Index:
        break;
    }
    return ItemKind::Index;
}

class Builder {
public:
    explicit Builder(const Database &db)
    {
        set_.database = db;
        // Name look-ups by collation key: a large schema names thousands of tables and modules.
        // Each table's and column's key is made once and shared by the items that need it.
        const Database &d = set_.database;
        set_.tableAt.reserve(d.tables.size());
        columnKeys_.resize(d.tables.size());
        for (qsizetype i = 0; i < d.tables.size(); ++i) {
            const Table &t = d.tables[i];
            const QString tk = tableKey(t.schema, t.name);
            tableKeys_ << tk;
            set_.tableAt.insert(tk, i);
            columnKeys_[i].reserve(t.columns.size());
            for (const Column &c : t.columns)
                columnKeys_[i] << columnKey(tk, c.name);
        }
        for (const AliasType &t : d.types)
            typeKeys_ << QStringLiteral("type|") + ck(t.schema) + QLatin1Char('.') + ck(t.name);
        for (const Module &m : d.modules)
            modules_.insert(moduleKey(m.schema, m.name), &m);
    }

    ItemSet build()
    {
        const Database &d = set_.database;
        // Sized once: growing a list of thousands of items moves each of them many times.
        qsizetype count = d.types.size() + d.modules.size();
        for (const Table &t : d.tables)
            count += 1 + 2 * t.columns.size() + t.indexes.size() + t.checks.size() + t.foreignKeys.size();
        set_.items.reserve(count);
        set_.byKey.reserve(count);
        for (qsizetype i = 0; i < d.types.size(); ++i)
            addType(d.types[i], i);
        for (qsizetype i = 0; i < d.tables.size(); ++i)
            addTable(d.tables[i], i);
        for (qsizetype i = 0; i < d.modules.size(); ++i)
            addModule(d.modules[i], i);
        return std::move(set_);
    }

private:
    void add(Item item)
    {
        set_.byKey.insert(item.key, set_.items.size());
        set_.items.append(std::move(item));
    }

    static Item child(const Table &table, const QString &tk, qsizetype object, qsizetype part, ItemKind kind,
                      QString key, const QString &name)
    {
        Item item;
        item.kind = kind;
        item.tableKey = tk;
        item.key = std::move(key);
        item.schema = table.schema;
        item.table = table.name;
        item.name = name;
        item.object = object;
        item.part = part;
        return item;
    }

    QString typeNeed(const TypeRef &type) const
    {
        if (!type.alias)
            return {};
        const QList<AliasType> &types = set_.database.types;
        for (qsizetype i = 0; i < types.size(); ++i)
            if (sameName(types[i].name, type.name))
                return typeKeys_[i];
        return {};
    }

    // The alias types a check or a routine converts to or declares something of: it holds them,
    // a type cannot be dropped while it is there.
    QStringList typesDeclaredIn(const QString &definition) const
    {
        QStringList out;
        const QList<AliasType> &types = set_.database.types;
        for (qsizetype i = 0; i < types.size(); ++i)
            if (declaresType(definition, types[i].name))
                out << typeKeys_[i];
        return out;
    }

    // The key of a column of the table at that position, shared with the column's own item.
    QString columnNeed(qsizetype tableAt, const QString &tk, const QString &column) const
    {
        if (tableAt >= 0) {
            const QList<Column> &columns = set_.database.tables[tableAt].columns;
            for (qsizetype i = 0; i < columns.size(); ++i)
                if (sameName(columns[i].name, column))
                    return columnKeys_[tableAt][i];
        }
        return columnKey(tk, column);
    }

    void addType(const AliasType &type, qsizetype at)
    {
        Item item;
        item.kind = ItemKind::Type;
        item.key = typeKeys_[at];
        item.schema = type.schema;
        item.name = type.name;
        item.compare = createType(type);
        item.object = at;
        add(std::move(item));
    }

    void addTable(const Table &table, qsizetype at)
    {
        const QString &tk = tableKeys_[at];
        Item t;
        t.kind = ItemKind::Table;
        t.key = tk;
        t.schema = table.schema;
        t.name = table.name;
        t.table = table.name;
        t.compare = QStringLiteral("table");  // its parts are compared one by one
        t.object = at;
        for (const Column &c : table.columns)
            if (const QString need = typeNeed(c.type); !need.isEmpty() && !t.needs.contains(need))
                t.needs << need;
        add(std::move(t));

        for (qsizetype i = 0; i < table.columns.size(); ++i)
            addColumn(table, tk, at, i);
        for (qsizetype i = 0; i < table.indexes.size(); ++i)
            addIndex(table, tk, at, i);
        for (qsizetype i = 0; i < table.checks.size(); ++i)
            addCheck(table, tk, at, i);
        for (qsizetype i = 0; i < table.foreignKeys.size(); ++i)
            addForeignKey(table, tk, at, i);
    }

    void addColumn(const Table &table, const QString &tk, qsizetype at, qsizetype part)
    {
        const Column &column = table.columns[part];
        const QString &key = columnKeys_[at][part];
        Item c = child(table, tk, at, part, ItemKind::Column, key, column.name);
        Column bare = column;
        bare.defaultConstraint.reset();
        c.compare = columnText(bare) + QStringLiteral("|identity ") + flag(column.identity);
        c.alterable = column.computed.isEmpty();
        c.inTableDefinition = true;
        c.needs << tk;
        if (const QString need = typeNeed(column.type); !need.isEmpty())
            c.needs << need;
        if (!column.computed.isEmpty())
            for (const QString &named : columnsNamedIn(column.computed, table))
                c.needs << columnNeed(at, tk, named);
        add(std::move(c));

        if (!column.defaultConstraint)
            return;
        const DefaultDef &d = *column.defaultConstraint;
        Item df = child(table, tk, at, part, ItemKind::Default, tk + QStringLiteral("|df|") + ck(column.name), d.name);
        df.compare = d.definition + QStringLiteral("|name ") + (d.systemNamed ? QString() : ck(d.name));
        df.inTableDefinition = true;
        df.needs << key;
        add(std::move(df));
    }

    static QString indexSuffix(const Index &index)
    {
        if (index.role == IndexRole::PrimaryKey)
            return QStringLiteral("|pk");
        if (index.role == IndexRole::UniqueConstraint && index.systemNamed)
            return QStringLiteral("|uq|") + keySignature(index.keys);
        return QStringLiteral("|ix|") + ck(index.name);
    }

    void addIndex(const Table &table, const QString &tk, qsizetype at, qsizetype part)
    {
        const Index &index = table.indexes[part];
        Item i = child(table, tk, at, part, indexItemKind(index.role), tk + indexSuffix(index), index.name);
        i.compare = QStringList{flag(index.unique), flag(index.clustered), keySignature(index.keys),
                                namesSignature(index.included), index.filter,
                                index.systemNamed ? QString() : ck(index.name)}
                        .join(QLatin1Char('|'));
        i.inTableDefinition = index.role != IndexRole::Index;
        i.needs << tk;
        for (const IndexColumn &k : index.keys)
            i.needs << columnNeed(at, tk, k.name);
        for (const QString &c : index.included)
            i.needs << columnNeed(at, tk, c);
        for (const QString &c : columnsNamedIn(index.filter, table))
            i.needs << columnNeed(at, tk, c);
        add(std::move(i));
    }

    void addCheck(const Table &table, const QString &tk, qsizetype at, qsizetype part)
    {
        const Check &check = table.checks[part];
        const QString suffix = check.systemNamed ? QStringLiteral("|ck|=") + check.definition
                                                 : QStringLiteral("|ck|") + ck(check.name);
        Item c = child(table, tk, at, part, ItemKind::Check, tk + suffix, check.name);
        c.compare = check.definition + QStringLiteral("|") + flag(check.disabled) + flag(check.notTrusted);
        c.inTableDefinition = !check.disabled && !check.notTrusted;
        c.needs << tk;
        for (const QString &named : columnsNamedIn(check.definition, table))
            c.needs << columnNeed(at, tk, named);
        c.needs << typesDeclaredIn(check.definition);
        add(std::move(c));
    }

    void addForeignKey(const Table &table, const QString &tk, qsizetype at, qsizetype part)
    {
        const ForeignKey &key = table.foreignKeys[part];
        const QString rk = tableKey(key.referencedSchema, key.referencedTable);
        const QString signature = namesSignature(key.columns) + QStringLiteral("->") + rk + QLatin1Char('(')
                                  + namesSignature(key.referencedColumns) + QLatin1Char(')');
        const QString suffix = key.systemNamed ? QStringLiteral("|fk|=") + signature : QStringLiteral("|fk|") + ck(key.name);
        Item f = child(table, tk, at, part, ItemKind::ForeignKey, tk + suffix, key.name);
        f.compare = QStringList{signature, QString::number(int(key.onDelete)), QString::number(int(key.onUpdate)),
                                flag(key.disabled), flag(key.notTrusted)}
                        .join(QLatin1Char('|'));
        const qsizetype referencedAt = set_.tableAt.value(rk, -1);
        f.needs << tk << rk;
        for (const QString &c : key.columns)
            f.needs << columnNeed(at, tk, c);
        for (const QString &c : key.referencedColumns)
            f.needs << columnNeed(referencedAt, rk, c);
        // The key it references: dropping that one needs this one gone first.
        if (referencedAt >= 0) {
            const Table *referenced = &set_.database.tables[referencedAt];
            QStringList wanted;
            for (const QString &c : key.referencedColumns)
                wanted << ck(c);
            wanted.sort();
            for (const Index &i : referenced->indexes) {
                if (!i.unique || !i.filter.isEmpty() || i.keys.size() != wanted.size())
                    continue;
                QStringList cols;
                for (const IndexColumn &k : i.keys)
                    cols << ck(k.name);
                cols.sort();
                if (cols == wanted)
                    f.needs << rk + indexSuffix(i);
            }
        }
        add(std::move(f));
    }

    void addModule(const Module &module, qsizetype at)
    {
        Item m;
        m.kind = moduleItemKind(module.kind);
        m.key = moduleKey(module.schema, module.name);
        m.schema = module.schema;
        m.name = module.name;
        m.schemaBound = module.schemaBound;
        m.object = at;
        m.compare = QString::number(int(module.kind)) + QLatin1Char('|') + flag(module.disabled) + QLatin1Char('|')
                    + module.definition;
        if (module.kind == ModuleKind::Trigger) {
            m.table = module.table;
            m.tableKey = tableKey(module.schema, module.table);
            m.needs << m.tableKey;
        }
        // Views and inline functions are bound when created, as is whatever is schema-bound;
        // procedures, triggers and other functions resolve names when they run.
        const bool bindsAtCreation =
            module.kind == ModuleKind::View || module.kind == ModuleKind::InlineFunction || module.schemaBound;
        for (const QString &ref : bindsAtCreation ? module.references : QStringList()) {
            const qsizetype dot = ref.indexOf(QLatin1Char('.'));
            const QString refSchema = dot > 0 ? ref.left(dot) : module.schema;
            const QString refName = dot > 0 ? ref.mid(dot + 1) : ref;
            if (const QString tk = tableKey(refSchema, refName); set_.tableAt.contains(tk))
                m.needs << tk;
            else if (const Module *other = modules_.value(moduleKey(refSchema, refName)); other && other != &module)
                m.needs << moduleKey(refSchema, refName);
        }
        m.needs << typesDeclaredIn(module.definition);
        add(std::move(m));
    }

    ItemSet set_;
    QStringList tableKeys_;          // by table position
    QList<QStringList> columnKeys_;  // by table and column position
    QStringList typeKeys_;
    QHash<QString, const Module *> modules_;
};

// Each of a matched by key to one of b that equals it; false too when a key is not unique
// on a side (its items would then pair otherwise).
template <typename T, typename Key>
bool sameByKey(const QList<T> &a, const QList<T> &b, Key key)
{
    if (a.size() != b.size())
        return false;
    QHash<QString, qsizetype> inB;
    inB.reserve(b.size());
    for (qsizetype i = 0; i < b.size(); ++i)
        inB.insert(key(b[i]), i);
    if (inB.size() != b.size())
        return false;
    QSet<qsizetype> matched;
    matched.reserve(a.size());
    for (const T &x : a) {
        const auto it = inB.constFind(key(x));
        if (it == inB.constEnd() || matched.contains(*it) || !(b[*it] == x))
            return false;
        matched.insert(*it);
    }
    return true;
}

}  // namespace

bool sameObjects(const Database &a, const Database &b)
{
    return sameByKey(a.types, b.types,
                     [](const AliasType &t) { return QStringLiteral("type|") + ck(t.schema) + QLatin1Char('.') + ck(t.name); })
           && sameByKey(a.tables, b.tables, [](const Table &t) { return tableKey(t.schema, t.name); })
           && sameByKey(a.modules, b.modules, [](const Module &m) { return moduleKey(m.schema, m.name); });
}

ItemSet withoutItems(const Database &database)
{
    ItemSet set;
    set.database = database;
    set.tableAt.reserve(database.tables.size());
    for (qsizetype i = 0; i < database.tables.size(); ++i)
        set.tableAt.insert(tableKey(database.tables[i].schema, database.tables[i].name), i);
    return set;
}

QString kindCaption(ItemKind kind)
{
    switch (kind) {
    case ItemKind::Type:
        return QStringLiteral("类型");
    case ItemKind::Table:
        return QStringLiteral("表");
    case ItemKind::Column:
        return QStringLiteral("列");
    case ItemKind::Default:
        return QStringLiteral("默认值");
    case ItemKind::PrimaryKey:
        return QStringLiteral("主键");
    case ItemKind::UniqueConstraint:
        return QStringLiteral("唯一约束");
    case ItemKind::Index:
        return QStringLiteral("索引");
    case ItemKind::Check:
        return QStringLiteral("检查约束");
    case ItemKind::ForeignKey:
        return QStringLiteral("外键");
    case ItemKind::View:
        return QStringLiteral("视图");
    case ItemKind::Function:
        return QStringLiteral("函数");
    case ItemKind::Procedure:
        return QStringLiteral("存储过程");
    case ItemKind::Trigger:
        return QStringLiteral("触发器");
    }
    return {};
}

const Item *ItemSet::find(const QString &key) const
{
    const auto it = byKey.constFind(key);
    return it == byKey.constEnd() ? nullptr : &items[*it];
}

const Table *ItemSet::table(const QString &key) const
{
    const auto it = tableAt.constFind(key);
    return it == tableAt.constEnd() ? nullptr : &database.tables[*it];
}

QStringList createStatements(const ItemSet &set, const Item &item)
{
    if (item.kind == ItemKind::Type)
        return {createType(set.database.types[item.object])};
    if (item.tableKey.isEmpty() || item.kind == ItemKind::Trigger) {
        if (item.kind == ItemKind::Table)
            return {createTable(set.database.tables[item.object])};
        const Module &m = set.database.modules[item.object];
        QStringList out{createModule(m)};
        if (m.kind == ModuleKind::Trigger && m.disabled)
            out << setTriggerEnabled(m, false);
        return out;
    }
    const Table &table = set.database.tables[item.object];
    switch (item.kind) {
    case ItemKind::Column:
        return {model::addColumn(table, table.columns[item.part])};
    case ItemKind::Default:
        return {addDefault(table, table.columns[item.part])};
    case ItemKind::PrimaryKey:
    case ItemKind::UniqueConstraint:
    case ItemKind::Index:
        return {createIndex(table, table.indexes[item.part])};
    case ItemKind::Check: {
        const Check &c = table.checks[item.part];
        QStringList out{model::addCheck(table, c)};
        if (c.disabled)
            out << setConstraintEnabled(table, c.name, false);
        return out;
    }
    case ItemKind::ForeignKey: {
        const ForeignKey &f = table.foreignKeys[item.part];
        QStringList out{model::addForeignKey(table, f)};
        if (f.disabled)
            out << setConstraintEnabled(table, f.name, false);
        return out;
    }
    default:
        break;
    }
    return {};
}

QStringList dropStatements(const ItemSet &set, const Item &item)
{
    switch (item.kind) {
    case ItemKind::Type:
        return {dropType(set.database.types[item.object])};
    case ItemKind::Table:
        return {dropTable(set.database.tables[item.object])};
    case ItemKind::View:
    case ItemKind::Function:
    case ItemKind::Procedure:
    case ItemKind::Trigger:
        return {dropModule(set.database.modules[item.object])};
    default:
        break;
    }
    const Table &table = set.database.tables[item.object];
    switch (item.kind) {
    case ItemKind::Column:
        return {dropColumn(table, table.columns[item.part].name)};
    case ItemKind::Default:
        return {dropConstraint(table, table.columns[item.part].defaultConstraint->name)};
    case ItemKind::PrimaryKey:
    case ItemKind::UniqueConstraint:
    case ItemKind::Index:
        return {dropIndex(table, table.indexes[item.part])};
    case ItemKind::Check:
        return {dropConstraint(table, table.checks[item.part].name)};
    case ItemKind::ForeignKey:
        return {dropConstraint(table, table.foreignKeys[item.part].name)};
    default:
        break;
    }
    return {};
}

QString alterStatement(const ItemSet &set, const Item &item)
{
    if (item.kind != ItemKind::Column)
        return {};
    const Table &table = set.database.tables[item.object];
    return alterColumn(table, table.columns[item.part]);
}

ItemSet itemsOf(const Database &database)
{
    return Builder(database).build();
}

QString tableKey(const QString &schemaName, const QString &table)
{
    return objectKey(QLatin1String("table|"), schemaName, table);
}

QString columnKey(const QString &tableKeyText, const QString &column)
{
    QString key;
    key.reserve(tableKeyText.size() + 5 + column.size());
    key.append(tableKeyText).append(QLatin1String("|col|"));
    appendKey(key, column);
    return key;
}

}  // namespace dbsync::model
