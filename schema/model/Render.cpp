#include "schema/model/Render.h"

namespace dbsync::model {

namespace {

const QLatin1String kNewLine("\r\n");

QString referentialAction(ReferentialAction action)
{
    switch (action) {
    case ReferentialAction::Cascade:
        return QStringLiteral("CASCADE");
    case ReferentialAction::SetNull:
        return QStringLiteral("SET NULL");
    case ReferentialAction::SetDefault:
        return QStringLiteral("SET DEFAULT");
    case ReferentialAction::NoAction:
        break;
    }
    return QStringLiteral("NO ACTION");
}

QString bracketedList(const QStringList &names)
{
    QStringList out;
    for (const QString &n : names)
        out << bracket(n);
    return out.join(QStringLiteral(", "));
}

QString keyList(const QList<IndexColumn> &keys)
{
    QStringList out;
    for (const IndexColumn &k : keys)
        out << bracket(k.name) + (k.descending ? QStringLiteral(" DESC") : QStringLiteral(" ASC"));
    return out.join(QStringLiteral(", "));
}

// "CONSTRAINT [name] " unless the server named it: then the target names its own.
QString constraintName(const QString &name, bool systemNamed)
{
    return systemNamed ? QString() : QStringLiteral("CONSTRAINT ") + bracket(name) + QLatin1Char(' ');
}

QString keyConstraint(const Index &key)
{
    return constraintName(key.name, key.systemNamed)
           + (key.role == IndexRole::PrimaryKey ? QStringLiteral("PRIMARY KEY ") : QStringLiteral("UNIQUE "))
           + (key.clustered ? QStringLiteral("CLUSTERED") : QStringLiteral("NONCLUSTERED")) + QStringLiteral(" (")
           + keyList(key.keys) + QLatin1Char(')');
}

QString checkConstraint(const Check &check)
{
    return constraintName(check.name, check.systemNamed) + QStringLiteral("CHECK ") + check.definition;
}

QString alterTable(const Table &table)
{
    return QStringLiteral("ALTER TABLE ") + qualified(table.schema, table.name) + QLatin1Char(' ');
}

}  // namespace

QString typeText(const TypeRef &type)
{
    if (type.alias)
        return bracket(type.name);
    const QString name = type.name.toLower();
    if (isTypeNamed(name, {"char", "varchar", "binary", "varbinary"}))
        return name + QLatin1Char('(')
               + (type.maxLength < 0 ? QStringLiteral("max") : QString::number(type.maxLength)) + QLatin1Char(')');
    if (isTypeNamed(name, {"nchar", "nvarchar"}))
        return name + QLatin1Char('(')
               + (type.maxLength < 0 ? QStringLiteral("max") : QString::number(type.maxLength / 2)) + QLatin1Char(')');
    if (isTypeNamed(name, {"decimal", "numeric"}))
        return name + QLatin1Char('(') + QString::number(type.precision) + QLatin1Char(',')
               + QString::number(type.scale) + QLatin1Char(')');
    if (isTypeNamed(name, {"datetime2", "time", "datetimeoffset"}))
        return name + QLatin1Char('(') + QString::number(type.scale) + QLatin1Char(')');
    return name;
}

QString columnText(const Column &column)
{
    QString out = bracket(column.name) + QLatin1Char(' ');
    if (!column.computed.isEmpty())
        return out + QStringLiteral("AS ") + column.computed;
    out += typeText(column.type);
    if (column.identity)
        out += QStringLiteral(" IDENTITY(") + QString::number(column.seed) + QLatin1Char(',')
               + QString::number(column.increment) + QLatin1Char(')');
    out += column.nullable ? QStringLiteral(" NULL") : QStringLiteral(" NOT NULL");
    if (column.defaultConstraint)
        out += QLatin1Char(' ') + constraintName(column.defaultConstraint->name, column.defaultConstraint->systemNamed)
               + QStringLiteral("DEFAULT ") + column.defaultConstraint->definition;
    return out;
}

QString createType(const AliasType &type)
{
    return QStringLiteral("CREATE TYPE ") + qualified(type.schema, type.name) + QStringLiteral(" FROM ")
           + typeText(type.base) + (type.nullable ? QStringLiteral(" NULL") : QStringLiteral(" NOT NULL"));
}

QString dropType(const AliasType &type)
{
    return QStringLiteral("DROP TYPE ") + qualified(type.schema, type.name);
}

QString createTable(const Table &table)
{
    QStringList parts;
    for (const Column &c : table.columns)
        parts << QStringLiteral("  ") + columnText(c);
    for (const Index &i : table.indexes)
        if (i.role != IndexRole::Index)
            parts << QStringLiteral("  ") + keyConstraint(i);
    for (const Check &c : table.checks)
        if (!c.notTrusted && !c.disabled)
            parts << QStringLiteral("  ") + checkConstraint(c);
    return QStringLiteral("CREATE TABLE ") + qualified(table.schema, table.name) + QStringLiteral(" (") + kNewLine
           + parts.join(QLatin1Char(',') + kNewLine) + kNewLine + QLatin1Char(')');
}

QString dropTable(const Table &table)
{
    return QStringLiteral("DROP TABLE ") + qualified(table.schema, table.name);
}

QString addColumn(const Table &table, const Column &column)
{
    QString out = alterTable(table) + QStringLiteral("ADD ") + columnText(column);
    // Rows already there take the default too, as they would had the column always existed.
    if (column.defaultConstraint && column.nullable && column.computed.isEmpty())
        out += QStringLiteral(" WITH VALUES");
    return out;
}

QString alterColumn(const Table &table, const Column &column)
{
    return alterTable(table) + QStringLiteral("ALTER COLUMN ") + bracket(column.name) + QLatin1Char(' ')
           + typeText(column.type) + (column.nullable ? QStringLiteral(" NULL") : QStringLiteral(" NOT NULL"));
}

QString dropColumn(const Table &table, const QString &column)
{
    return alterTable(table) + QStringLiteral("DROP COLUMN ") + bracket(column);
}

QString addDefault(const Table &table, const Column &column)
{
    const DefaultDef &d = *column.defaultConstraint;
    return alterTable(table) + QStringLiteral("ADD ") + constraintName(d.name, d.systemNamed) + QStringLiteral("DEFAULT ")
           + d.definition + QStringLiteral(" FOR ") + bracket(column.name);
}

QString dropConstraint(const Table &table, const QString &constraint)
{
    return alterTable(table) + QStringLiteral("DROP CONSTRAINT ") + bracket(constraint);
}

QString createIndex(const Table &table, const Index &index)
{
    if (index.role != IndexRole::Index)
        return alterTable(table) + QStringLiteral("ADD ") + keyConstraint(index);
    QString out = QStringLiteral("CREATE ") + (index.unique ? QStringLiteral("UNIQUE ") : QString())
                  + (index.clustered ? QStringLiteral("CLUSTERED") : QStringLiteral("NONCLUSTERED"))
                  + QStringLiteral(" INDEX ") + bracket(index.name) + QStringLiteral(" ON ")
                  + qualified(table.schema, table.name) + QStringLiteral(" (") + keyList(index.keys) + QLatin1Char(')');
    if (!index.included.isEmpty())
        out += QStringLiteral(" INCLUDE (") + bracketedList(index.included) + QLatin1Char(')');
    if (!index.filter.isEmpty())
        out += QStringLiteral(" WHERE ") + index.filter;
    return out;
}

QString dropIndex(const Table &table, const Index &index)
{
    if (index.role != IndexRole::Index)
        return dropConstraint(table, index.name);
    return QStringLiteral("DROP INDEX ") + bracket(index.name) + QStringLiteral(" ON ")
           + qualified(table.schema, table.name);
}

QString addCheck(const Table &table, const Check &check)
{
    return alterTable(table) + (check.notTrusted ? QStringLiteral("WITH NOCHECK ADD ") : QStringLiteral("WITH CHECK ADD "))
           + checkConstraint(check);
}

QString addForeignKey(const Table &table, const ForeignKey &key)
{
    return alterTable(table) + (key.notTrusted ? QStringLiteral("WITH NOCHECK ADD ") : QStringLiteral("WITH CHECK ADD "))
           + constraintName(key.name, key.systemNamed) + QStringLiteral("FOREIGN KEY (") + bracketedList(key.columns)
           + QStringLiteral(") REFERENCES ") + qualified(key.referencedSchema, key.referencedTable) + QStringLiteral(" (")
           + bracketedList(key.referencedColumns) + QStringLiteral(") ON DELETE ") + referentialAction(key.onDelete)
           + QStringLiteral(" ON UPDATE ") + referentialAction(key.onUpdate);
}

QString setConstraintEnabled(const Table &table, const QString &constraint, bool enabled)
{
    return alterTable(table) + (enabled ? QStringLiteral("CHECK CONSTRAINT ") : QStringLiteral("NOCHECK CONSTRAINT "))
           + bracket(constraint);
}

QString createModule(const Module &module)
{
    return module.definition;
}

QString dropModule(const Module &module)
{
    QString kind;
    switch (module.kind) {
    case ModuleKind::View:
        kind = QStringLiteral("VIEW");
        break;
    case ModuleKind::Procedure:
        kind = QStringLiteral("PROCEDURE");
        break;
    case ModuleKind::ScalarFunction:
    case ModuleKind::InlineFunction:
    case ModuleKind::TableFunction:
        kind = QStringLiteral("FUNCTION");
        break;
    case ModuleKind::Trigger:
        kind = QStringLiteral("TRIGGER");
        break;
    }
    return QStringLiteral("DROP ") + kind + QLatin1Char(' ') + qualified(module.schema, module.name);
}

QString setTriggerEnabled(const Module &trigger, bool enabled)
{
    return (enabled ? QStringLiteral("ENABLE TRIGGER ") : QStringLiteral("DISABLE TRIGGER "))
           + qualified(trigger.schema, trigger.name) + QStringLiteral(" ON ") + qualified(trigger.schema, trigger.table);
}

}  // namespace dbsync::model
