#include "schema/model/Rebuild.h"

#include "schema/model/Render.h"

namespace dbsync::model {

namespace {

const QLatin1String kNewLine("\r\n");

bool canCarryIdentity(const TypeRef &type)
{
    if (type.alias)
        return false;
    return isTypeNamed(type.name, {"tinyint", "smallint", "int", "bigint"})
           || (isTypeNamed(type.name, {"decimal", "numeric"}) && type.scale == 0);
}

// The server writes these itself; an INSERT may not name them.
bool isRowVersion(const TypeRef &type)
{
    return !type.alias && isTypeNamed(type.name, {"timestamp", "rowversion"});
}

QString stringLiteral(const QString &text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("''"));
    return QStringLiteral("N'") + quoted + QLatin1Char('\'');
}

bool isTable(const Table &table, const QString &schema, const QString &name)
{
    return sameName(table.schema, schema) && sameName(table.name, name);
}

// A module's reference ("dbo.Orders", or "Orders" in the module's own schema) names schema.name.
bool refersTo(const Module &module, const QString &schema, const QString &name)
{
    for (const QString &ref : module.references) {
        const qsizetype dot = ref.indexOf(QLatin1Char('.'));
        const QString refSchema = dot > 0 ? ref.left(dot) : module.schema;
        const QString refName = dot > 0 ? ref.mid(dot + 1) : ref;
        if (sameName(refSchema, schema) && sameName(refName, name))
            return true;
    }
    return false;
}

// Schema-bound modules over the table, directly or through one another: DROP TABLE fails
// while they exist. In creation order, each after the bound modules it reads.
QList<const Module *> boundModules(const Database &db, const Table &table)
{
    QList<const Module *> found;
    for (bool grew = true; grew;) {
        grew = false;
        for (const Module &m : db.modules) {
            if (!m.schemaBound || found.contains(&m))
                continue;
            bool reads = refersTo(m, table.schema, table.name);
            for (const Module *f : found)
                reads = reads || refersTo(m, f->schema, f->name);
            if (reads) {
                found << &m;
                grew = true;
            }
        }
    }
    QList<const Module *> ordered;
    while (ordered.size() < found.size()) {
        const qsizetype before = ordered.size();
        for (const Module *m : found) {
            if (ordered.contains(m))
                continue;
            bool ready = true;
            for (const Module *other : found)
                if (other != m && !ordered.contains(other) && refersTo(*m, other->schema, other->name))
                    ready = false;
            if (ready)
                ordered << m;
        }
        if (ordered.size() == before)  // a cycle the server would not have allowed
            for (const Module *m : found)
                if (!ordered.contains(m))
                    ordered << m;
    }
    return ordered;
}

}  // namespace

bool needsRebuild(const Column &current, const Column &wanted)
{
    if (!current.computed.isEmpty() || !wanted.computed.isEmpty())
        return false;
    if (current.identity != wanted.identity)
        return true;
    return current.identity && (current.seed != wanted.seed || current.increment != wanted.increment);
}

QString rebuildName(const Table &table)
{
    return (QStringLiteral("tmp_dbsync_") + table.name).left(128);  // the server's longest name
}

QStringList rebuildCore(const Table &current, const Table &wanted)
{
    Table fresh;
    fresh.schema = current.schema;
    fresh.name = rebuildName(wanted);
    for (Column c : wanted.columns) {
        c.defaultConstraint.reset();
        fresh.columns << c;
    }
    const QString freshName = qualified(fresh.schema, fresh.name);

    QStringList into, from;
    bool identityCopied = false;
    for (const Column &w : wanted.columns) {
        const Column *c = current.column(w.name);
        if (!w.computed.isEmpty() || isRowVersion(w.type))
            continue;
        if (!c) {
            // A new column gets its default in every row, as ADD with a default gives it:
            // the table's default constraints come only after the copy.
            if (w.defaultConstraint && !w.identity) {
                into << bracket(w.name);
                from << w.defaultConstraint->definition;
            }
            continue;
        }
        if (!c->computed.isEmpty())
            continue;
        into << bracket(w.name);
        from << bracket(c->name);
        identityCopied = identityCopied || w.identity;
    }

    QStringList out;
    out << createTable(fresh);
    if (!into.isEmpty()) {
        QString copy = QStringLiteral("INSERT INTO ") + freshName + QStringLiteral(" (") + into.join(QStringLiteral(", "))
                       + QStringLiteral(") SELECT ") + from.join(QStringLiteral(", ")) + QStringLiteral(" FROM ")
                       + qualified(current.schema, current.name);
        // Kept as they are: other tables' rows refer to these numbers.
        if (identityCopied)
            copy = QStringLiteral("SET IDENTITY_INSERT ") + freshName + QStringLiteral(" ON") + kNewLine + copy + kNewLine
                   + QStringLiteral("SET IDENTITY_INSERT ") + freshName + QStringLiteral(" OFF");
        out << copy;
    }
    out << dropTable(current);
    out << QStringLiteral("EXEC sp_rename ") + stringLiteral(freshName) + QStringLiteral(", ") + stringLiteral(wanted.name);
    return out;
}

QStringList rebuildWithDependents(const Database &db, const Table &current, const Table &wanted)
{
    QList<std::pair<const Table *, const ForeignKey *>> incoming;
    for (const Table &t : db.tables) {
        if (isTable(t, current.schema, current.name))
            continue;
        for (const ForeignKey &f : t.foreignKeys)
            if (sameName(f.referencedSchema, current.schema) && sameName(f.referencedTable, current.name))
                incoming.append({&t, &f});
    }
    const QList<const Module *> bound = boundModules(db, current);

    QStringList out;
    for (const auto &[table, key] : incoming)
        out << dropConstraint(*table, key->name);
    for (auto it = bound.crbegin(); it != bound.crend(); ++it)
        out << dropModule(**it);

    out << rebuildCore(current, wanted);

    // The renamed table is in current's schema under wanted's name.
    Table renamed = wanted;
    renamed.schema = current.schema;
    // The clustered one first: the others would otherwise be built twice.
    for (const Index &i : renamed.indexes)
        if (i.clustered)
            out << createIndex(renamed, i);
    for (const Index &i : renamed.indexes)
        if (!i.clustered)
            out << createIndex(renamed, i);
    for (const Column &c : renamed.columns)
        if (c.defaultConstraint && c.computed.isEmpty())
            out << addDefault(renamed, c);
    for (const Check &c : renamed.checks) {
        out << addCheck(renamed, c);
        if (c.disabled)
            out << setConstraintEnabled(renamed, c.name, false);
    }
    for (const ForeignKey &f : renamed.foreignKeys) {
        out << addForeignKey(renamed, f);
        if (f.disabled)
            out << setConstraintEnabled(renamed, f.name, false);
    }
    for (const Module &m : db.modules) {
        // An encrypted trigger's text is not readable: it cannot be made again.
        if (m.kind != ModuleKind::Trigger || !sameName(m.schema, current.schema) || !sameName(m.table, current.name)
            || m.definition.isEmpty())
            continue;
        out << createModule(m);
        if (m.disabled)
            out << setTriggerEnabled(m, false);
    }
    for (const Module *m : bound)
        if (!m->definition.isEmpty())
            out << createModule(*m);
    for (const auto &[table, key] : incoming) {
        out << addForeignKey(*table, *key);
        if (key->disabled)
            out << setConstraintEnabled(*table, key->name, false);
    }
    return out;
}

Table withIdentity(const Table &table, const QString &column, bool identity)
{
    Table out = table;
    for (Column &c : out.columns) {
        if (!sameName(c.name, column))
            continue;
        c.identity = identity;
        c.seed = 1;
        c.increment = 1;
        if (!identity)
            continue;
        c.nullable = false;
        c.computed.clear();
        c.defaultConstraint.reset();  // the server allows no default on an identity column
        if (!canCarryIdentity(c.type))
            c.type = TypeRef{QStringLiteral("int"), false, 4, 10, 0};
    }
    return out;
}

}  // namespace dbsync::model
