#include "schema/model/Items.h"

#include "schema/Collation.h"
#include "schema/model/Render.h"

#include <QRegularExpression>

namespace dbsync::model {

namespace {

QString ck(const QString &name)
{
    return schema::collationKey(name);
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
    explicit Builder(const Database &db) : db_(db)
    {
        // Name look-ups by collation key: a large schema names thousands of tables and modules.
        for (const Table &t : db_.tables)
            tables_.insert(tableKey(t.schema, t.name), &t);
        for (const Module &m : db_.modules)
            modules_.insert(moduleKey(m.schema, m.name), &m);
    }

    ItemSet build()
    {
        // Sized once: growing a list of thousands of items moves each of them many times.
        qsizetype count = db_.types.size() + db_.modules.size();
        for (const Table &t : db_.tables)
            count += 1 + 2 * t.columns.size() + t.indexes.size() + t.checks.size() + t.foreignKeys.size();
        set_.items.reserve(count);
        set_.byKey.reserve(count);
        set_.tables.reserve(db_.tables.size());
        for (const AliasType &t : db_.types)
            addType(t);
        for (const Table &t : db_.tables)
            addTable(t);
        for (const Module &m : db_.modules)
            addModule(m);
        return std::move(set_);
    }

private:
    void add(Item item)
    {
        set_.byKey.insert(item.key, set_.items.size());
        set_.items.append(std::move(item));
    }

    Item child(const Table &table, ItemKind kind, const QString &suffix, const QString &name)
    {
        Item item;
        item.kind = kind;
        item.tableKey = tableKey(table.schema, table.name);
        item.key = item.tableKey + suffix;
        item.schema = table.schema;
        item.table = table.name;
        item.name = name;
        return item;
    }

    QString typeNeed(const TypeRef &type) const
    {
        if (!type.alias)
            return {};
        for (const AliasType &t : db_.types)
            if (sameName(t.name, type.name))
                return QStringLiteral("type|") + ck(t.schema) + QLatin1Char('.') + ck(t.name);
        return {};
    }

    void addType(const AliasType &type)
    {
        Item item;
        item.kind = ItemKind::Type;
        item.key = QStringLiteral("type|") + ck(type.schema) + QLatin1Char('.') + ck(type.name);
        item.schema = type.schema;
        item.name = type.name;
        item.compare = createType(type);
        item.create << createType(type);
        item.drop << dropType(type);
        add(std::move(item));
    }

    void addTable(const Table &table)
    {
        const QString tk = tableKey(table.schema, table.name);
        set_.tables.insert(tk, table);
        Item t;
        t.kind = ItemKind::Table;
        t.key = tk;
        t.schema = table.schema;
        t.name = table.name;
        t.table = table.name;
        t.compare = QStringLiteral("table");  // its parts are compared one by one
        t.create << createTable(table);
        t.drop << dropTable(table);
        for (const Column &c : table.columns)
            if (const QString need = typeNeed(c.type); !need.isEmpty() && !t.needs.contains(need))
                t.needs << need;
        add(std::move(t));

        for (const Column &c : table.columns)
            addColumn(table, c);
        for (const Index &i : table.indexes)
            addIndex(table, i);
        for (const Check &c : table.checks)
            addCheck(table, c);
        for (const ForeignKey &f : table.foreignKeys)
            addForeignKey(table, f);
    }

    void addColumn(const Table &table, const Column &column)
    {
        const QString tk = tableKey(table.schema, table.name);
        Item c = child(table, ItemKind::Column, QStringLiteral("|col|") + ck(column.name), column.name);
        Column bare = column;
        bare.defaultConstraint.reset();
        c.compare = columnText(bare) + QStringLiteral("|identity ") + flag(column.identity);
        c.create << model::addColumn(table, column);
        c.drop << dropColumn(table, column.name);
        c.alter = alterColumn(table, column);
        c.alterable = column.computed.isEmpty();
        c.inTableDefinition = true;
        c.needs << tk;
        if (const QString need = typeNeed(column.type); !need.isEmpty())
            c.needs << need;
        if (!column.computed.isEmpty())
            for (const QString &named : columnsNamedIn(column.computed, table))
                c.needs << columnKey(tk, named);
        add(std::move(c));

        if (!column.defaultConstraint)
            return;
        const DefaultDef &d = *column.defaultConstraint;
        Item df = child(table, ItemKind::Default, QStringLiteral("|df|") + ck(column.name), d.name);
        df.compare = d.definition + QStringLiteral("|name ") + (d.systemNamed ? QString() : ck(d.name));
        df.create << addDefault(table, column);
        df.drop << dropConstraint(table, d.name);
        df.inTableDefinition = true;
        df.needs << columnKey(tk, column.name);
        add(std::move(df));
    }

    void addIndex(const Table &table, const Index &index)
    {
        const QString tk = tableKey(table.schema, table.name);
        QString suffix;
        if (index.role == IndexRole::PrimaryKey)
            suffix = QStringLiteral("|pk");
        else if (index.role == IndexRole::UniqueConstraint && index.systemNamed)
            suffix = QStringLiteral("|uq|") + keySignature(index.keys);
        else
            suffix = QStringLiteral("|ix|") + ck(index.name);
        Item i = child(table, indexItemKind(index.role), suffix, index.name);
        i.compare = QStringList{flag(index.unique), flag(index.clustered), keySignature(index.keys),
                                namesSignature(index.included), index.filter,
                                index.systemNamed ? QString() : ck(index.name)}
                        .join(QLatin1Char('|'));
        i.create << createIndex(table, index);
        i.drop << dropIndex(table, index);
        i.inTableDefinition = index.role != IndexRole::Index;
        i.needs << tk;
        for (const IndexColumn &k : index.keys)
            i.needs << columnKey(tk, k.name);
        for (const QString &c : index.included)
            i.needs << columnKey(tk, c);
        for (const QString &c : columnsNamedIn(index.filter, table))
            i.needs << columnKey(tk, c);
        add(std::move(i));
    }

    void addCheck(const Table &table, const Check &check)
    {
        const QString tk = tableKey(table.schema, table.name);
        const QString suffix = check.systemNamed ? QStringLiteral("|ck|=") + check.definition
                                                 : QStringLiteral("|ck|") + ck(check.name);
        Item c = child(table, ItemKind::Check, suffix, check.name);
        c.compare = check.definition + QStringLiteral("|") + flag(check.disabled) + flag(check.notTrusted);
        c.create << model::addCheck(table, check);
        if (check.disabled)
            c.create << setConstraintEnabled(table, check.name, false);
        c.drop << dropConstraint(table, check.name);
        c.inTableDefinition = !check.disabled && !check.notTrusted;
        c.needs << tk;
        for (const QString &named : columnsNamedIn(check.definition, table))
            c.needs << columnKey(tk, named);
        add(std::move(c));
    }

    void addForeignKey(const Table &table, const ForeignKey &key)
    {
        const QString tk = tableKey(table.schema, table.name);
        const QString rk = tableKey(key.referencedSchema, key.referencedTable);
        const QString signature = namesSignature(key.columns) + QStringLiteral("->") + rk + QLatin1Char('(')
                                  + namesSignature(key.referencedColumns) + QLatin1Char(')');
        const QString suffix = key.systemNamed ? QStringLiteral("|fk|=") + signature : QStringLiteral("|fk|") + ck(key.name);
        Item f = child(table, ItemKind::ForeignKey, suffix, key.name);
        f.compare = QStringList{signature, QString::number(int(key.onDelete)), QString::number(int(key.onUpdate)),
                                flag(key.disabled), flag(key.notTrusted)}
                        .join(QLatin1Char('|'));
        f.create << model::addForeignKey(table, key);
        if (key.disabled)
            f.create << setConstraintEnabled(table, key.name, false);
        f.drop << dropConstraint(table, key.name);
        f.needs << tk << rk;
        for (const QString &c : key.columns)
            f.needs << columnKey(tk, c);
        for (const QString &c : key.referencedColumns)
            f.needs << columnKey(rk, c);
        // The key it references: dropping that one needs this one gone first.
        if (const Table *referenced = tables_.value(rk))
            for (const Index &i : referenced->indexes) {
                QStringList cols;
                for (const IndexColumn &k : i.keys)
                    cols << ck(k.name);
                QStringList wanted;
                for (const QString &c : key.referencedColumns)
                    wanted << ck(c);
                cols.sort();
                wanted.sort();
                if (i.unique && i.filter.isEmpty() && cols == wanted) {
                    QString ks;
                    if (i.role == IndexRole::PrimaryKey)
                        ks = QStringLiteral("|pk");
                    else if (i.role == IndexRole::UniqueConstraint && i.systemNamed)
                        ks = QStringLiteral("|uq|") + keySignature(i.keys);
                    else
                        ks = QStringLiteral("|ix|") + ck(i.name);
                    f.needs << rk + ks;
                }
            }
        add(std::move(f));
    }

    void addModule(const Module &module)
    {
        Item m;
        m.kind = moduleItemKind(module.kind);
        m.key = moduleKey(module.schema, module.name);
        m.schema = module.schema;
        m.name = module.name;
        m.schemaBound = module.schemaBound;
        m.compare = QString::number(int(module.kind)) + QLatin1Char('|') + flag(module.disabled) + QLatin1Char('|')
                    + module.definition;
        m.create << createModule(module);
        if (module.kind == ModuleKind::Trigger && module.disabled)
            m.create << setTriggerEnabled(module, false);
        m.drop << dropModule(module);
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
            if (tables_.contains(tableKey(refSchema, refName)))
                m.needs << tableKey(refSchema, refName);
            else if (const Module *other = modules_.value(moduleKey(refSchema, refName)); other && other != &module)
                m.needs << moduleKey(refSchema, refName);
        }
        add(std::move(m));
    }

    static QString moduleKey(const QString &schema, const QString &name)
    {
        return QStringLiteral("module|") + ck(schema) + QLatin1Char('.') + ck(name);
    }

    const Database &db_;
    ItemSet set_;
    QHash<QString, const Table *> tables_;
    QHash<QString, const Module *> modules_;
};

}  // namespace

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

ItemSet itemsOf(const Database &database)
{
    return Builder(database).build();
}

QString tableKey(const QString &schemaName, const QString &table)
{
    return QStringLiteral("table|") + ck(schemaName) + QLatin1Char('.') + ck(table);
}

QString columnKey(const QString &tableKeyText, const QString &column)
{
    return tableKeyText + QStringLiteral("|col|") + ck(column);
}

QStringList columnsNamedIn(const QString &definition, const Table &table)
{
    static const QRegularExpression bracketed(QStringLiteral("\\[((?:[^\\]]|\\]\\])+)\\]"));
    QStringList out;
    for (auto it = bracketed.globalMatch(definition); it.hasNext();) {
        QString name = it.next().captured(1);
        name.replace(QLatin1String("]]"), QLatin1String("]"));
        if (const Column *c = table.column(name); c && !out.contains(c->name))
            out << c->name;
    }
    return out;
}

}  // namespace dbsync::model
