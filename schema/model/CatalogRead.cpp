#include "schema/model/CatalogRead.h"

#include <QHash>

#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

namespace dbsync::model {

namespace {

enum Query {
    Types,
    Tables,
    Columns,
    Indexes,
    IndexColumns,
    Checks,
    ForeignKeys,
    ForeignKeyColumns,
    Modules,
    Dependencies,
    LongTexts,
    QueryCount
};

// Defaults, filters and checks are nvarchar(max) but nearly always short. A result with a MAX
// column is fetched a row at a time; as nvarchar(4000) it comes in blocks. 2,000 characters
// take at most 4,000 UTF-16 units, so a value that short is never cut; a longer one is null
// here and comes whole from the LongTexts query (which in the usual schema has no rows).
#define DBSYNC_SHORT_TEXT(column) \
    "case when len(" column " + N'.') <= 2001 then cast(" column " as nvarchar(4000)) end"
#define DBSYNC_LONG_TEXT(column) "len(" column " + N'.') > 2001"

const char *const kQueries[QueryCount] = {
    // Types
    "select s.name as schema_name, t.name, b.name as base_name, t.max_length, t.precision, t.scale, t.is_nullable "
    "from sys.types t join sys.schemas s on s.schema_id = t.schema_id "
    "join sys.types b on b.user_type_id = t.system_type_id "
    "where t.is_user_defined = 1 order by t.user_type_id",
    // Tables
    "select t.object_id, s.name as schema_name, t.name from sys.tables t "
    "join sys.schemas s on s.schema_id = t.schema_id where t.is_ms_shipped = 0 order by t.object_id",
    // Columns
    "select c.object_id, c.column_id, c.name, ty.name as type_name, ty.is_user_defined, c.max_length, "
    "c.precision, c.scale, c.is_nullable, c.is_identity, c.is_computed, ic.seed_value, ic.increment_value, "
    "dc.name as default_name, " DBSYNC_SHORT_TEXT("dc.definition") " as default_definition, "
    "dc.is_system_named as default_system_named "
    "from sys.columns c join sys.tables t on t.object_id = c.object_id "
    "join sys.types ty on ty.user_type_id = c.user_type_id "
    "left join sys.identity_columns ic on ic.object_id = c.object_id and ic.column_id = c.column_id "
    "left join sys.default_constraints dc on dc.object_id = c.default_object_id "
    "where t.is_ms_shipped = 0 order by c.object_id, c.column_id",
    // Indexes
    "select i.object_id, i.index_id, i.name, i.type, i.is_unique, i.is_primary_key, i.is_unique_constraint, "
    "i.has_filter, " DBSYNC_SHORT_TEXT("i.filter_definition") " as filter_definition, k.is_system_named "
    "from sys.indexes i join sys.tables t on t.object_id = i.object_id "
    "left join sys.key_constraints k on k.parent_object_id = i.object_id and k.unique_index_id = i.index_id "
    "where t.is_ms_shipped = 0 and i.index_id > 0 order by i.object_id, i.index_id",
    // IndexColumns
    "select ic.object_id, ic.index_id, c.name, ic.key_ordinal, ic.is_descending_key, ic.is_included_column "
    "from sys.index_columns ic join sys.tables t on t.object_id = ic.object_id "
    "join sys.columns c on c.object_id = ic.object_id and c.column_id = ic.column_id "
    "where t.is_ms_shipped = 0 order by ic.object_id, ic.index_id, ic.key_ordinal, ic.index_column_id",
    // Checks
    "select cc.parent_object_id, cc.object_id, cc.name, " DBSYNC_SHORT_TEXT("cc.definition") " as definition, "
    "cc.is_disabled, cc.is_not_trusted, cc.is_system_named "
    "from sys.check_constraints cc join sys.tables t on t.object_id = cc.parent_object_id "
    "where t.is_ms_shipped = 0 order by cc.parent_object_id, cc.object_id",
    // ForeignKeys
    "select fk.object_id, fk.parent_object_id, fk.name, fk.referenced_object_id, fk.delete_referential_action, "
    "fk.update_referential_action, fk.is_disabled, fk.is_not_trusted, fk.is_system_named "
    "from sys.foreign_keys fk join sys.tables t on t.object_id = fk.parent_object_id "
    "where t.is_ms_shipped = 0 order by fk.parent_object_id, fk.object_id",
    // ForeignKeyColumns
    "select fkc.constraint_object_id, pc.name as column_name, rc.name as referenced_column_name "
    "from sys.foreign_key_columns fkc "
    "join sys.columns pc on pc.object_id = fkc.parent_object_id and pc.column_id = fkc.parent_column_id "
    "join sys.columns rc on rc.object_id = fkc.referenced_object_id and rc.column_id = fkc.referenced_column_id "
    "order by fkc.constraint_object_id, fkc.constraint_column_id",
    // Modules
    "select o.object_id, s.name as schema_name, o.name, o.type, o.parent_object_id, m.definition, "
    "m.is_schema_bound, tr.is_disabled "
    "from sys.objects o join sys.schemas s on s.schema_id = o.schema_id "
    "left join sys.sql_modules m on m.object_id = o.object_id "
    "left join sys.triggers tr on tr.object_id = o.object_id "
    "where o.is_ms_shipped = 0 and o.type in ('V','P','FN','IF','TF','TR','FS','FT','PC','TA') "
    "order by o.object_id",
    // Dependencies
    "select d.referencing_id, d.referenced_schema_name, d.referenced_entity_name "
    "from sys.sql_expression_dependencies d order by d.referencing_id",
    // LongTexts: D a default by its column, F an index's filter, C a check by its own id
    "select 'D' as kind, dc.parent_object_id as object_id, cast(dc.parent_column_id as int) as part_id, "
    "dc.definition as text "
    "from sys.default_constraints dc where " DBSYNC_LONG_TEXT("dc.definition") " "
    "union all select 'F', i.object_id, cast(i.index_id as int), i.filter_definition from sys.indexes i "
    "where " DBSYNC_LONG_TEXT("i.filter_definition") " "
    "union all select 'C', cc.parent_object_id, cc.object_id, cc.definition from sys.check_constraints cc "
    "where " DBSYNC_LONG_TEXT("cc.definition"),
};

#undef DBSYNC_SHORT_TEXT
#undef DBSYNC_LONG_TEXT

// Reads a result's fields by name, failing loudly when the server's answer lacks one.
class Reader {
public:
    Reader(const ResultSet &result, const char *what) : r_(result), what_(what) {}
    int rows() const { return r_.rowCount(); }
    QString text(int row, const char *field) const { return r_.value(row, index(field)).toString().trimmed(); }
    // Text as stored: definitions keep their blanks and line breaks.
    QString raw(int row, const char *field) const { return r_.value(row, index(field)).toString(); }
    qint64 number(int row, const char *field) const
    {
        // Numbers arrive as qlonglong: read in place, without the conversions' dispatch.
        const QVariant &v = r_.value(row, index(field));
        return v.typeId() == QMetaType::LongLong ? *static_cast<const qlonglong *>(v.constData()) : v.toLongLong();
    }
    bool flag(int row, const char *field) const { return number(row, field) != 0; }
    bool isNull(int row, const char *field) const { return r_.value(row, index(field)).isNull(); }

private:
    // Each field is looked up by name once: thousands of rows ask for the same few.
    int index(const char *field) const
    {
        for (const auto &[name, at] : found_)
            if (name == field || std::strcmp(name, field) == 0)
                return at;
        const int i = r_.fieldIndex(QLatin1String(field));
        if (i < 0)
            throw std::runtime_error(std::string("the catalogue's answer for ") + what_ + " has no field " + field);
        found_.emplace_back(field, i);
        return i;
    }
    const ResultSet &r_;
    const char *what_;
    mutable std::vector<std::pair<const char *, int>> found_;
};

bool isDbo(const QString &schema)
{
    return schema.compare(QLatin1String("dbo"), Qt::CaseInsensitive) == 0;
}

ModuleKind moduleKind(const QString &type)
{
    if (type == QLatin1String("V"))
        return ModuleKind::View;
    if (type == QLatin1String("P"))
        return ModuleKind::Procedure;
    if (type == QLatin1String("FN"))
        return ModuleKind::ScalarFunction;
    if (type == QLatin1String("IF"))
        return ModuleKind::InlineFunction;
    if (type == QLatin1String("TF"))
        return ModuleKind::TableFunction;
    return ModuleKind::Trigger;
}

QString moduleCaption(const QString &type)
{
    if (type == QLatin1String("V"))
        return QStringLiteral("视图");
    if (type == QLatin1String("P") || type == QLatin1String("PC"))
        return QStringLiteral("存储过程");
    if (type == QLatin1String("TR") || type == QLatin1String("TA"))
        return QStringLiteral("触发器");
    return QStringLiteral("函数");
}

}  // namespace

QStringList catalogQueries(const QString &database, bool modulesOnly)
{
    const QString prefix = bracket(database) + QStringLiteral(".sys.");
    QStringList out;
    for (int q = 0; q < QueryCount; ++q) {
        const bool wanted = !modulesOnly || q == Tables || q == Modules || q == Dependencies;
        out << (wanted ? QString::fromLatin1(kQueries[q]).replace(QLatin1String("sys."), prefix) : QString());
    }
    return out;
}

QString catalogBatch(const QString &database, bool modulesOnly)
{
    QStringList wanted = catalogQueries(database, modulesOnly);
    wanted.removeAll(QString());
    return wanted.join(QStringLiteral("\r\n"));
}

Database readCatalogBatch(const QList<ResultSet> &results, bool modulesOnly)
{
    const QStringList queries = catalogQueries(QString(), modulesOnly);
    if (results.size() != queries.size() - queries.count(QString()))
        throw std::runtime_error("the catalogue was read incompletely");
    QList<ResultSet> each;
    qsizetype next = 0;
    for (const QString &query : queries)
        each << (query.isEmpty() ? ResultSet() : results[next++]);
    return readDatabase(each);
}

Database readDatabase(const QList<ResultSet> &results)
{
    if (results.size() != QueryCount)
        throw std::runtime_error("the catalogue was read incompletely");
    Database db;

    // Texts too long for the block-fetched queries, by kind and ids; a short one is taken as is.
    QHash<QString, QString> longTexts;
    const Reader longs(results[LongTexts], "long texts");
    for (int r = 0; r < longs.rows(); ++r)
        longTexts.insert(longs.text(r, "kind") + QLatin1Char('|') + QString::number(longs.number(r, "object_id"))
                             + QLatin1Char('|') + QString::number(longs.number(r, "part_id")),
                         longs.raw(r, "text"));
    const auto definition = [&](const Reader &reader, int row, const char *field, const char *kind, qint64 object,
                                qint64 part) {
        if (longTexts.isEmpty() || !reader.isNull(row, field))
            return reader.raw(row, field);
        return longTexts.value(QLatin1String(kind) + QLatin1Char('|') + QString::number(object) + QLatin1Char('|')
                               + QString::number(part));
    };

    const Reader types(results[Types], "types");
    for (int r = 0; r < types.rows(); ++r) {
        AliasType t;
        t.schema = types.text(r, "schema_name");
        t.name = types.text(r, "name");
        t.base = {types.text(r, "base_name"), false, int(types.number(r, "max_length")), int(types.number(r, "precision")),
                  int(types.number(r, "scale"))};
        t.nullable = types.flag(r, "is_nullable");
        if (isDbo(t.schema))
            db.types << t;
        else
            db.unsupported << Unsupported{QStringLiteral("类型"), t.schema, t.name, QStringLiteral("不在 dbo 架构中")};
    }

    // Tables by object id; those outside dbo are listed, not read further.
    QHash<qint64, qsizetype> tableAt;
    QHash<qint64, QString> tableNames;
    const Reader tables(results[Tables], "tables");
    for (int r = 0; r < tables.rows(); ++r) {
        const qint64 id = tables.number(r, "object_id");
        const QString schema = tables.text(r, "schema_name");
        const QString name = tables.text(r, "name");
        tableNames.insert(id, name);
        if (!isDbo(schema)) {
            db.unsupported << Unsupported{QStringLiteral("表"), schema, name, QStringLiteral("不在 dbo 架构中")};
            continue;
        }
        Table t;
        t.schema = schema;
        t.name = name;
        tableAt.insert(id, db.tables.size());
        db.tables << std::move(t);
    }
    QSet<qint64> computedTables;

    const Reader columns(results[Columns], "columns");
    // The rows come by table: each table's list is sized once, at its first row.
    qint64 sized = -1;
    for (int r = 0; r < columns.rows(); ++r) {
        const qint64 id = columns.number(r, "object_id");
        const auto at = tableAt.constFind(id);
        if (at == tableAt.constEnd())
            continue;
        if (id != sized) {
            int end = r + 1;
            while (end < columns.rows() && columns.number(end, "object_id") == id)
                ++end;
            db.tables[*at].columns.reserve(end - r);
            sized = id;
        }
        Column c;
        c.name = columns.text(r, "name");
        c.type = {columns.text(r, "type_name"), columns.flag(r, "is_user_defined"), int(columns.number(r, "max_length")),
                  int(columns.number(r, "precision")), int(columns.number(r, "scale"))};
        c.nullable = columns.flag(r, "is_nullable");
        c.identity = columns.flag(r, "is_identity");
        if (c.identity) {
            c.seed = columns.number(r, "seed_value");
            c.increment = columns.number(r, "increment_value");
        }
        if (columns.flag(r, "is_computed"))
            computedTables.insert(id);
        if (!columns.isNull(r, "default_name"))
            c.defaultConstraint = DefaultDef{
                columns.text(r, "default_name"),
                definition(columns, r, "default_definition", "D", id, columns.number(r, "column_id")),
                columns.flag(r, "default_system_named")};
        db.tables[*at].columns << std::move(c);
    }

    QHash<QPair<qint64, qint64>, QPair<qsizetype, qsizetype>> indexAt;  // (table, index id) -> position
    const Reader indexes(results[Indexes], "indexes");
    for (int r = 0; r < indexes.rows(); ++r) {
        const qint64 id = indexes.number(r, "object_id");
        const auto at = tableAt.constFind(id);
        if (at == tableAt.constEnd())
            continue;
        Index i;
        i.name = indexes.text(r, "name");
        i.role = indexes.flag(r, "is_primary_key")         ? IndexRole::PrimaryKey
                 : indexes.flag(r, "is_unique_constraint") ? IndexRole::UniqueConstraint
                                                           : IndexRole::Index;
        i.unique = indexes.flag(r, "is_unique");
        i.clustered = indexes.number(r, "type") == 1;
        if (indexes.flag(r, "has_filter"))
            i.filter = definition(indexes, r, "filter_definition", "F", id, indexes.number(r, "index_id"));
        i.systemNamed = i.role != IndexRole::Index && indexes.flag(r, "is_system_named");
        indexAt.insert({id, indexes.number(r, "index_id")}, {*at, db.tables[*at].indexes.size()});
        db.tables[*at].indexes << std::move(i);
    }
    const Reader indexColumns(results[IndexColumns], "index columns");
    for (int r = 0; r < indexColumns.rows(); ++r) {
        const auto at = indexAt.constFind({indexColumns.number(r, "object_id"), indexColumns.number(r, "index_id")});
        if (at == indexAt.constEnd())
            continue;
        Index &i = db.tables[at->first].indexes[at->second];
        if (indexColumns.flag(r, "is_included_column"))
            i.included << indexColumns.text(r, "name");
        else
            i.keys << IndexColumn{indexColumns.text(r, "name"), indexColumns.flag(r, "is_descending_key")};
    }

    const Reader checks(results[Checks], "checks");
    for (int r = 0; r < checks.rows(); ++r) {
        const qint64 id = checks.number(r, "parent_object_id");
        const auto at = tableAt.constFind(id);
        if (at == tableAt.constEnd())
            continue;
        db.tables[*at].checks << Check{checks.text(r, "name"),
                                       definition(checks, r, "definition", "C", id, checks.number(r, "object_id")),
                                       checks.flag(r, "is_disabled"),
                                       checks.flag(r, "is_not_trusted"), checks.flag(r, "is_system_named")};
    }

    QHash<qint64, QPair<qsizetype, qsizetype>> keyAt;
    const Reader keys(results[ForeignKeys], "foreign keys");
    for (int r = 0; r < keys.rows(); ++r) {
        const auto at = tableAt.constFind(keys.number(r, "parent_object_id"));
        if (at == tableAt.constEnd())
            continue;
        ForeignKey f;
        f.name = keys.text(r, "name");
        const qint64 referenced = keys.number(r, "referenced_object_id");
        f.referencedTable = tableNames.value(referenced);
        if (const auto rt = tableAt.constFind(referenced); rt != tableAt.constEnd())
            f.referencedSchema = db.tables[*rt].schema;
        f.onDelete = ReferentialAction(keys.number(r, "delete_referential_action"));
        f.onUpdate = ReferentialAction(keys.number(r, "update_referential_action"));
        f.disabled = keys.flag(r, "is_disabled");
        f.notTrusted = keys.flag(r, "is_not_trusted");
        f.systemNamed = keys.flag(r, "is_system_named");
        keyAt.insert(keys.number(r, "object_id"), {*at, db.tables[*at].foreignKeys.size()});
        db.tables[*at].foreignKeys << std::move(f);
    }
    const Reader keyColumns(results[ForeignKeyColumns], "foreign key columns");
    for (int r = 0; r < keyColumns.rows(); ++r) {
        const auto at = keyAt.constFind(keyColumns.number(r, "constraint_object_id"));
        if (at == keyAt.constEnd())
            continue;
        ForeignKey &f = db.tables[at->first].foreignKeys[at->second];
        f.columns << keyColumns.text(r, "column_name");
        f.referencedColumns << keyColumns.text(r, "referenced_column_name");
    }

    // Left out whole: created as plain columns, a computed column would hold stale values.
    QStringList computed;
    for (qint64 id : computedTables) {
        const Table &t = db.tables[tableAt.value(id)];
        db.unsupported << Unsupported{QStringLiteral("表"), t.schema, t.name, QStringLiteral("含计算列")};
        computed << t.name;
    }
    db.tables.removeIf([&](const Table &t) { return computed.contains(t.name); });

    QHash<qint64, qsizetype> moduleAt;
    const Reader modules(results[Modules], "modules");
    for (int r = 0; r < modules.rows(); ++r) {
        const QString type = modules.text(r, "type");
        Module m;
        m.schema = modules.text(r, "schema_name");
        m.name = modules.text(r, "name");
        const QString caption = moduleCaption(type);
        if (!isDbo(m.schema)) {
            db.unsupported << Unsupported{caption, m.schema, m.name, QStringLiteral("不在 dbo 架构中")};
            continue;
        }
        if (type == QLatin1String("FS") || type == QLatin1String("FT") || type == QLatin1String("PC")
            || type == QLatin1String("TA")) {
            db.unsupported << Unsupported{caption, m.schema, m.name, QStringLiteral("CLR 对象")};
            continue;
        }
        if (modules.isNull(r, "definition")) {
            db.unsupported << Unsupported{caption, m.schema, m.name, QStringLiteral("定义已加密")};
            continue;
        }
        m.kind = moduleKind(type);
        m.definition = modules.raw(r, "definition");
        m.schemaBound = modules.flag(r, "is_schema_bound");
        if (m.kind == ModuleKind::Trigger) {
            m.table = tableNames.value(modules.number(r, "parent_object_id"));
            m.disabled = modules.flag(r, "is_disabled");
        }
        moduleAt.insert(modules.number(r, "object_id"), db.modules.size());
        db.modules << std::move(m);
    }
    const Reader dependencies(results[Dependencies], "dependencies");
    for (int r = 0; r < dependencies.rows(); ++r) {
        const auto at = moduleAt.constFind(dependencies.number(r, "referencing_id"));
        if (at == moduleAt.constEnd())
            continue;
        const QString schema = dependencies.text(r, "referenced_schema_name");
        const QString name = dependencies.text(r, "referenced_entity_name");
        const QString ref = schema.isEmpty() ? name : schema + QLatin1Char('.') + name;
        if (!db.modules[*at].references.contains(ref))
            db.modules[*at].references << ref;
    }
    return db;
}

}  // namespace dbsync::model
