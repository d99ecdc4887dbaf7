#include "schema/TableSync.h"

#include "db/ResultSet.h"
#include "db/SqlQuote.h"

#include <QSet>
#include <algorithm>
#include <climits>

namespace dbsync::schema {

namespace {

bool isOneOf(const QString &type, std::initializer_list<const char *> names)
{
    for (const char *name : names)
        if (type.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QString paren(const QString &inside)
{
    return QLatin1Char('(') + inside + QLatin1Char(')');
}

QString key(const QString &a, const QString &b)
{
    return a.toLower() + QChar(0) + b.toLower();
}

// Builds the plan row by row; remembers what it has already done so that duplicate listing
// rows (one per foreign key or description pairing) and rows of one table do not repeat it.
class Planner {
public:
    Planner(const TableSyncContext &context, const QList<DefaultConstraint> &defaults)
        : m_context(context), m_database(quoteIdentifier(context.targetDatabase)),
          m_schemaPrefix(context.schemaPrefix)
    {
        for (const DefaultConstraint &d : defaults)
            m_defaults.insert(key(d.table, d.column), d.name);
    }

    TableSyncPlan plan(const QList<ColumnDiffRow> &rows)
    {
        // A rebuild is made from the target's catalogue as it stands before anything runs, and
        // it re-creates what the other rows' statements would name: it runs alone, first, and
        // the command ends after it as after a table created or dropped.
        for (qsizetype i = 0; i < rows.size() && m_context.rebuildTable; ++i) {
            if (rows[i].code == QLatin1String("10")) {
                rebuild(rows, i);
                m_plan.endsEarly = true;
                m_plan.endingRow = i;
                return m_plan;
            }
        }
        for (qsizetype i = 0; i < rows.size() && !m_plan.endsEarly; ++i) {
            row(rows, i);
            if (m_plan.endsEarly)
                m_plan.endingRow = i;
        }
        return m_plan;
    }

private:
    // The default constraint codes "4" and "8" create, quoted.
    static QString defaultName(const QString &tableName, const QString &column)
    {
        return quoteIdentifier(QStringLiteral("DF_") + tableName + QLatin1Char('_') + column);
    }

    QString table(const QString &name) const { return m_database + QLatin1String(".dbo.") + quoteIdentifier(name); }

    void statement(const QStringList &lines)
    {
        add({StepRunner::ADOQuery4, lines, StepEcho::WhenChecked});
    }

    void add(const SyncStep &step)
    {
        const QString id = QString::number(int(step.runner)) + QChar(0) + step.lines.join(QChar(0));
        if (m_done.contains(id))
            return;
        m_done.insert(id);
        m_plan.steps.append(step);
    }

    // "alter table T drop constraint  C" on ADOCommand1, once per constraint.
    void dropConstraint(const QString &tableName, const QString &constraint, StepEcho echo)
    {
        if (constraint.isEmpty() || m_dropped.contains(key(tableName, constraint)))
            return;
        m_dropped.insert(key(tableName, constraint));
        add({StepRunner::ADOCommand1,
             {QStringLiteral("alter table ") + quoteIdentifier(tableName) + QStringLiteral(" drop constraint  ")
              + quoteIdentifier(constraint)},
             echo});
    }

    // A default on the column keeps the server from dropping or altering it, or from adding
    // another: drop it first.
    void dropDefault(const ColumnDiffRow &r)
    {
        const QString name = m_defaults.value(key(r.targetTable, r.targetColumn));
        dropConstraint(r.targetTable, name, StepEcho::WhenChecked);
    }

    QStringList typedColumn(const QString &head, const ColumnDiffRow &r, TypeRule rule) const
    {
        QStringList lines{head + quoteIdentifier(r.sampleColumn) + QLatin1String("  ") + r.sampleType};
        const QString suffix = typeSuffix(rule, r.sampleType, r.sampleLength, r.sampleScale);
        if (!suffix.isEmpty())
            lines.append(suffix);
        lines.append(nullabilityLine(r.sampleNullable));
        return lines;
    }

    void row(const QList<ColumnDiffRow> &rows, qsizetype index)
    {
        const ColumnDiffRow &r = rows[index];
        const QString &code = r.code;
        if (code == QLatin1String("2") && m_context.sampleColumns) {
            statement(createTableLines(m_context.targetDatabase, r.sampleTable, *m_context.sampleColumns));
            m_plan.endsEarly = true;
        } else if (code == QLatin1String("2")) {
            // The copy reads the sample server inside the statement: it runs on its own,
            // after what came before it has been committed.
            SyncStep copy{StepRunner::ADOQuery4,
                          {QStringLiteral("select * into ") + table(r.sampleTable) + QStringLiteral(" from ")
                           + m_schemaPrefix + quoteIdentifier(r.sampleTable) + QStringLiteral(" where 1=2")}};
            copy.alone = true;
            add(copy);
            m_plan.endsEarly = true;
        } else if (code == QLatin1String("1")) {
            statement({QStringLiteral("DROP TABLE ") + table(r.targetTable)});
            m_plan.lossChecks.append(tableDropCheck(table(r.targetTable), r.targetTable));
            m_plan.endsEarly = true;
        } else if (code == QLatin1String("4")) {
            QStringList lines = typedColumn(QStringLiteral("alter table ") + table(r.sampleTable) + QStringLiteral(" add "),
                                            r, TypeRule::Add);
            // With the sample's default in the same statement the server fills the rows the
            // table already holds: a NOT NULL column could not be added to them otherwise
            // (4901), and a nullable one would leave them NULL without "with values". Named
            // as code "8" names it, so the next listing shows no default difference.
            if (!r.sampleDefault.isEmpty())
                lines.append(QStringLiteral(" constraint ") + defaultName(r.sampleTable, r.sampleColumn)
                             + QStringLiteral(" default ") + r.sampleDefault
                             + (r.sampleNullable == QLatin1String("1") ? QStringLiteral(" with values") : QString()));
            statement(lines);
        } else if (code == QLatin1String("7")) {
            statement({QStringLiteral("Alter table ") + table(r.targetTable) + QStringLiteral(" Drop constraint ")
                       + quoteIdentifier(r.targetForeignKey) + QStringLiteral("  ")});
        } else if (code == QLatin1String("3")) {
            dropConstraint(r.targetTable, r.targetForeignKey, StepEcho::Never);
            dropDefault(r);
            statement({QStringLiteral("alter table ") + table(r.targetTable) + QStringLiteral(" drop column ")
                       + quoteIdentifier(r.targetColumn)});
            checkLoss(columnDropCheck(table(r.targetTable), r.targetTable, r.targetColumn));
        } else if (code == QLatin1String("5") || code == QLatin1String("9")) {
            const bool scale = code == QLatin1String("9");
            if (!scale)
                dropConstraint(r.targetTable, r.targetPrimaryKeyName, StepEcho::WhenChecked);
            dropDefault(r);
            statement(typedColumn(QStringLiteral("alter table ") + table(r.sampleTable) + QStringLiteral(" alter column "),
                                  r, scale ? TypeRule::AlterWithScale : TypeRule::Alter));
            if (const auto check = typeChangeCheck(table(r.targetTable), r.targetTable, r.targetColumn,
                                                   columnType(r.targetType, r.targetLength, r.targetScale),
                                                   columnType(r.sampleType, r.sampleLength, r.sampleScale)))
                checkLoss(*check);
        } else if (code == QLatin1String("6")) {
            // A table has one key: when the target's covers other columns, drop it first; the
            // next listing then shows every column of the sample's key, added as one.
            if (r.samplePrimaryKey == QLatin1String("1") && r.targetPrimaryKeyName.isEmpty())
                addPrimaryKey(rows, index);
            else if (!r.targetPrimaryKeyName.isEmpty() && !m_dropped.contains(key(r.targetTable, r.targetPrimaryKeyName))) {
                m_dropped.insert(key(r.targetTable, r.targetPrimaryKeyName));
                statement({QStringLiteral("Alter table ") + table(r.targetTable) + QStringLiteral(" Drop Constraint ")
                           + quoteIdentifier(r.targetPrimaryKeyName) + QStringLiteral("  ")});
            }
        } else if (code == QLatin1String("8")) {
            dropDefault(r);
            if (!r.sampleDefault.isEmpty()) {
                statement({QStringLiteral("Alter table ") + table(r.targetTable) + QStringLiteral(" add constraint ")
                           + defaultName(r.targetTable, r.sampleColumn) + QStringLiteral(" default ") + r.sampleDefault
                           + QStringLiteral(" for ") + quoteIdentifier(r.sampleColumn) + QLatin1Char(' ')});
            }
        }
        // Any other code (" 字段说明不同 ", "") has no action.
    }

    static ColumnType columnType(const QString &type, const QString &length, const QString &scale)
    {
        return {type, length.toInt(), scale.toInt()};
    }

    void checkLoss(const DataLossCheck &check)
    {
        if (!m_plan.lossChecks.contains(check))
            m_plan.lossChecks.append(check);
    }

    // The identity property cannot be altered: the table is rebuilt with its rows and values,
    // for every code "10" row of it.
    void rebuild(const QList<ColumnDiffRow> &rows, qsizetype index)
    {
        const QString tableName = rows[index].targetTable;
        QList<std::pair<QString, bool>> columns;
        for (qsizetype i = index; i < rows.size(); ++i) {
            const ColumnDiffRow &r = rows[i];
            if (r.code == QLatin1String("10") && r.targetTable.compare(tableName, Qt::CaseInsensitive) == 0) {
                const std::pair<QString, bool> column{r.targetColumn, r.sampleIdentity == QLatin1String("1")};
                if (!columns.contains(column))
                    columns.append(column);
            }
        }
        for (const SyncStep &step : m_context.rebuildTable(tableName, columns))
            add(step);
    }

    // One constraint over every column that the rows add to the key of this table, in column
    // order (rows without a position keep their listing order, after those with one).
    void addPrimaryKey(const QList<ColumnDiffRow> &rows, qsizetype index)
    {
        const QString tableName = rows[index].sampleTable;
        if (m_keyedTables.contains(tableName.toLower()))
            return;
        m_keyedTables.insert(tableName.toLower());
        QList<const ColumnDiffRow *> keyRows;
        QSet<QString> columns;
        for (qsizetype i = index; i < rows.size(); ++i) {
            const ColumnDiffRow &r = rows[i];
            if (r.code == QLatin1String("6") && r.samplePrimaryKey == QLatin1String("1")
                && r.sampleTable.compare(tableName, Qt::CaseInsensitive) == 0 && !columns.contains(r.sampleColumn.toLower())) {
                columns.insert(r.sampleColumn.toLower());
                keyRows.append(&r);
            }
            if (r.code == QLatin1String("2") || r.code == QLatin1String("1"))
                break;  // the command ends there; later rows never run
        }
        std::stable_sort(keyRows.begin(), keyRows.end(), [](const ColumnDiffRow *a, const ColumnDiffRow *b) {
            return a->samplePosition.value_or(INT_MAX) < b->samplePosition.value_or(INT_MAX);
        });
        QStringList names;
        for (const ColumnDiffRow *r : keyRows)
            names.append(quoteIdentifier(r->sampleColumn));
        statement({QStringLiteral("alter table ") + table(tableName) + QStringLiteral(" Add constraint ")
                   + quoteIdentifier(QStringLiteral("pk_") + tableName) + QStringLiteral(" primary key (")
                   + names.join(QLatin1Char(',')) + QLatin1Char(')')});
    }

    const TableSyncContext &m_context;
    QString m_database;
    QString m_schemaPrefix;
    QHash<QString, QString> m_defaults;
    QSet<QString> m_done;
    QSet<QString> m_dropped;
    QSet<QString> m_keyedTables;
    TableSyncPlan m_plan;
};

}  // namespace

QString typeSuffix(TypeRule rule, const QString &type, const QString &length, const QString &scale)
{
    if (isOneOf(type, {"decimal", "numeric"}))
        return paren(length + QLatin1Char(',') + scale);
    if (isOneOf(type, {"char", "varchar", "nchar", "nvarchar", "binary", "varbinary"}))
        return length == QLatin1String("-1") ? QStringLiteral("(MAX)") : paren(length);
    if (isOneOf(type, {"time", "datetime2", "datetimeoffset"}))
        return paren(scale);
    if (isOneOf(type, {"bit", "tinyint", "smallint", "int", "bigint", "money", "smallmoney", "float", "real", "date",
                       "datetime", "smalldatetime", "uniqueidentifier", "text", "ntext", "image", "xml", "sysname",
                       "timestamp", "sql_variant", "hierarchyid", "geometry", "geography"}))
        return QString();
    switch (rule) {
    case TypeRule::Add:
        return length == QLatin1String("-1") ? QStringLiteral("(MAX)") : paren(length);
    case TypeRule::Alter:
        return paren(length);
    case TypeRule::AlterWithScale:
        return paren(length + QLatin1Char(',') + scale);
    }
    return QString();
}

QStringList sampleColumnsQueryLines(const QString &sampleDatabase, const QString &table)
{
    const QString database = quoteIdentifier(sampleDatabase);
    return {
        QStringLiteral("select 字段名=a.name,类型=b.name,长度=a.prec,小数位数=a.scale,允许空=a.isnullable"),
        QStringLiteral("from ") + database + QStringLiteral(".dbo.syscolumns a left join ") + database
            + QStringLiteral(".dbo.systypes b on a.xtype=b.xusertype"),
        QStringLiteral("inner join ") + database + QStringLiteral(".dbo.sysobjects d on a.id=d.id and d.xtype='U'"),
        QStringLiteral("where d.name=N'") + quoteStringLiteralContent(table) + QStringLiteral("'"),
        QStringLiteral("order by a.colid"),
    };
}

QList<SampleColumn> readSampleColumns(const ResultSet &result)
{
    QList<SampleColumn> columns;
    for (int row = 0; row < result.rowCount(); ++row)
        columns.append({result.text(row, QStringLiteral("字段名")), result.text(row, QStringLiteral("类型")),
                        result.text(row, QStringLiteral("长度")), result.text(row, QStringLiteral("小数位数")),
                        result.text(row, QStringLiteral("允许空"))});
    return columns;
}

QStringList createTableLines(const QString &targetDatabase, const QString &table, const QList<SampleColumn> &columns)
{
    QStringList lines{QStringLiteral("create table ") + quoteIdentifier(targetDatabase) + QStringLiteral(".dbo.")
                      + quoteIdentifier(table) + QStringLiteral(" (")};
    for (qsizetype i = 0; i < columns.size(); ++i) {
        const SampleColumn &c = columns[i];
        lines.append(quoteIdentifier(c.name) + QLatin1Char(' ') + c.type + typeSuffix(TypeRule::Add, c.type, c.length, c.scale)
                     + QLatin1Char(' ') + nullabilityLine(c.nullable) + (i + 1 < columns.size() ? QStringLiteral(",") : QString()));
    }
    lines.append(QStringLiteral(")"));
    return lines;
}

QString nullabilityLine(const QString &nullable)
{
    return nullable == QLatin1String("1") ? QStringLiteral("null") : QStringLiteral("not null");
}

QStringList defaultLookupTables(const QList<ColumnDiffRow> &selected)
{
    QStringList tables;
    for (const ColumnDiffRow &r : selected) {
        if (r.code == QLatin1String("2") || r.code == QLatin1String("1"))
            break;
        const bool needs = r.code == QLatin1String("3") || r.code == QLatin1String("5") || r.code == QLatin1String("9")
            || r.code == QLatin1String("8");
        if (needs && !r.targetTable.isEmpty() && !tables.contains(r.targetTable, Qt::CaseInsensitive))
            tables.append(r.targetTable);
    }
    return tables;
}

QStringList defaultConstraintQueryLines(const QString &targetDatabase, const QStringList &tables)
{
    if (tables.isEmpty())
        return {};
    const QString db = quoteIdentifier(targetDatabase);
    QStringList literals;
    for (const QString &t : tables)
        literals.append(QStringLiteral("N'") + quoteStringLiteralContent(t) + QLatin1Char('\''));
    return {
        QStringLiteral("select tablename=o.name,columnname=c.name,constraintname=d.name"),
        QStringLiteral("from ") + db + QStringLiteral(".dbo.syscolumns c"),
        QStringLiteral("inner join ") + db + QStringLiteral(".dbo.sysobjects o on c.id=o.id and o.xtype='U'"),
        QStringLiteral("inner join ") + db + QStringLiteral(".dbo.sysobjects d on c.cdefault=d.id and d.xtype='D'"),
        QStringLiteral("where o.name in(") + literals.join(QLatin1Char(',')) + QLatin1Char(')'),
    };
}

QList<DefaultConstraint> readDefaultConstraints(const ResultSet &result)
{
    QList<DefaultConstraint> defaults;
    for (int row = 0; row < result.rowCount(); ++row)
        defaults.append({result.text(row, QStringLiteral("tablename")), result.text(row, QStringLiteral("columnname")),
                         result.text(row, QStringLiteral("constraintname"))});
    return defaults;
}

TableSyncPlan planTableSync(const QList<ColumnDiffRow> &selected, const TableSyncContext &context,
                            const QList<DefaultConstraint> &targetDefaults)
{
    return Planner(context, targetDefaults).plan(selected);
}

}  // namespace dbsync::schema
