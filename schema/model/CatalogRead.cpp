#include "schema/model/CatalogRead.h"

#include "db/RowVisitor.h"

#include <QHash>

#include <cstring>
#include <memory>
#include <stdexcept>
#include <unordered_map>
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


// A row set's fields by name, failing loudly when the server's answer lacks one.
class Fields {
public:
    void reset(const QStringList &names, const char *what)
    {
        names_ = names;
        what_ = what;
        found_.clear();
    }
    // Each field is looked up by name once: thousands of rows ask for the same few.
    int at(const char *field) const
    {
        for (const auto &[name, i] : found_)
            if (name == field || std::strcmp(name, field) == 0)
                return i;
        int i = 0;
        while (i < names_.size() && names_[i].compare(QLatin1String(field), Qt::CaseInsensitive) != 0)
            ++i;
        if (i == names_.size())
            throw std::runtime_error(std::string("the catalogue's answer for ") + what_ + " has no field " + field);
        found_.emplace_back(field, i);
        return i;
    }

private:
    QStringList names_;
    const char *what_ = "";
    mutable std::vector<std::pair<const char *, int>> found_;
};

// One copy of each text that repeats from row to row (column and type names, defaults): a
// large schema has the same few thousands of times, and each copy costs an allocation.
class SharedTexts {
public:
    QString get(QStringView text)
    {
        if (const auto at = texts_.find(text); at != texts_.end())
            return at->second;
        QString copy = text.toString();
        const QStringView key = copy;  // the moved string keeps its characters where they are
        return texts_.emplace(key, std::move(copy)).first->second;
    }

private:
    struct Hash {
        std::size_t operator()(QStringView text) const { return qHash(text); }
    };
    std::unordered_map<QStringView, QString, Hash> texts_;
};

// One row read by field name.
class Row {
public:
    Row(const FetchedRow &row, const Fields &fields, SharedTexts &shared) : r_(row), f_(fields), s_(shared) {}
    QString text(const char *field) const { return r_.text(f_.at(field)).trimmed(); }
    // Text as stored: definitions keep their blanks and line breaks.
    QString raw(const char *field) const { return r_.text(f_.at(field)); }
    // As text() and raw(), for a field whose values repeat.
    QString name(const char *field) const { return shared(field, true); }
    QString sharedRaw(const char *field) const { return shared(field, false); }
    qint64 number(const char *field) const { return r_.number(f_.at(field)); }
    bool flag(const char *field) const { return number(field) != 0; }
    bool isNull(const char *field) const { return r_.isNull(f_.at(field)); }

private:
    QString shared(const char *field, bool trim) const
    {
        const int at = f_.at(field);
        QStringView view;
        if (!r_.textView(at, view) || view.isEmpty())
            return trim ? r_.text(at).trimmed() : r_.text(at);
        return s_.get(trim ? view.trimmed() : view);
    }
    const FetchedRow &r_;
    const Fields &f_;
    SharedTexts &s_;
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


struct CatalogBuilder::State {
    explicit State(bool modulesOnly)
    {
        for (int q = 0; q < QueryCount; ++q)
            if (!modulesOnly || q == Tables || q == Modules || q == Dependencies)
                order.push_back(Query(q));
    }

    std::vector<Query> order;  // the queries whose row sets come, in turn
    std::size_t done = 0;      // row sets begun
    Query query = QueryCount;
    Fields fields;
    SharedTexts shared;
    Database db;

    QHash<qint64, qsizetype> tableAt;  // by object id; tables outside dbo are not read further
    QHash<qint64, QString> tableNames;
    QSet<qint64> computedTables;
    QHash<QPair<qint64, qint64>, QPair<qsizetype, qsizetype>> indexAt;  // (table, index id) -> position
    QHash<qint64, QPair<qsizetype, qsizetype>> keyAt;
    QHash<qint64, qsizetype> moduleAt;
    // The rows come by table: each table's columns gather here and go to it sized once.
    qint64 columnsOf = -1;
    QList<Column> columns;

    // Texts too long for the block-fetched queries come last: where each one goes, by kind and
    // ids, and the texts by the same key.
    struct LongText {
        char kind;
        qsizetype table, item;
    };
    QHash<QString, LongText> pending;
    static QString longKey(QLatin1Char kind, qint64 object, qint64 part)
    {
        return QString(kind) + QLatin1Char('|') + QString::number(object) + QLatin1Char('|') + QString::number(part);
    }
    // The short form of a definition; a null one may be long, to be filled in from LongTexts.
    QString definition(const Row &row, const char *field, char kind, qint64 object, qint64 part,
                       qsizetype table, qsizetype item)
    {
        if (row.isNull(field))
            pending.insert(longKey(QLatin1Char(kind), object, part), {kind, table, item});
        return row.sharedRaw(field);
    }

    void flushColumns()
    {
        if (columnsOf < 0)
            return;
        QList<Column> &to = db.tables[tableAt.value(columnsOf)].columns;
        to.reserve(to.size() + columns.size());
        for (Column &c : columns)
            to << std::move(c);
        columns.clear();
        columnsOf = -1;
    }

    void type(const Row &row)
    {
        AliasType t;
        t.schema = row.name("schema_name");
        t.name = row.text("name");
        t.base = {row.name("base_name"), false, int(row.number("max_length")), int(row.number("precision")),
                  int(row.number("scale"))};
        t.nullable = row.flag("is_nullable");
        if (isDbo(t.schema))
            db.types << t;
        else
            db.unsupported << Unsupported{QStringLiteral("类型"), t.schema, t.name, QStringLiteral("不在 dbo 架构中")};
    }

    void table(const Row &row)
    {
        const qint64 id = row.number("object_id");
        const QString schema = row.name("schema_name");
        const QString name = row.text("name");
        tableNames.insert(id, name);
        if (!isDbo(schema)) {
            db.unsupported << Unsupported{QStringLiteral("表"), schema, name, QStringLiteral("不在 dbo 架构中")};
            return;
        }
        Table t;
        t.schema = schema;
        t.name = name;
        tableAt.insert(id, db.tables.size());
        db.tables << std::move(t);
    }

    void column(const Row &row)
    {
        const qint64 id = row.number("object_id");
        if (id != columnsOf) {
            flushColumns();
            if (!tableAt.contains(id))
                return;
            columnsOf = id;
        }
        Column c;
        c.name = row.name("name");
        c.type = {row.name("type_name"), row.flag("is_user_defined"), int(row.number("max_length")),
                  int(row.number("precision")), int(row.number("scale"))};
        c.nullable = row.flag("is_nullable");
        c.identity = row.flag("is_identity");
        if (c.identity) {
            c.seed = row.number("seed_value");
            c.increment = row.number("increment_value");
        }
        if (row.flag("is_computed"))
            computedTables.insert(id);
        if (!row.isNull("default_name")) {
            const qsizetype at = tableAt.value(id);
            c.defaultConstraint = DefaultDef{
                row.text("default_name"),
                definition(row, "default_definition", 'D', id, row.number("column_id"), at,
                           db.tables[at].columns.size() + columns.size()),
                row.flag("default_system_named")};
        }
        columns << std::move(c);
    }

    void index(const Row &row)
    {
        const qint64 id = row.number("object_id");
        const auto at = tableAt.constFind(id);
        if (at == tableAt.constEnd())
            return;
        QList<Index> &indexes = db.tables[*at].indexes;
        Index i;
        i.name = row.text("name");
        i.role = row.flag("is_primary_key")         ? IndexRole::PrimaryKey
                 : row.flag("is_unique_constraint") ? IndexRole::UniqueConstraint
                                                    : IndexRole::Index;
        i.unique = row.flag("is_unique");
        i.clustered = row.number("type") == 1;
        const qint64 indexId = row.number("index_id");
        if (row.flag("has_filter"))
            i.filter = definition(row, "filter_definition", 'F', id, indexId, *at, indexes.size());
        i.systemNamed = i.role != IndexRole::Index && row.flag("is_system_named");
        indexAt.insert({id, indexId}, {*at, indexes.size()});
        indexes << std::move(i);
    }

    void indexColumn(const Row &row)
    {
        const auto at = indexAt.constFind({row.number("object_id"), row.number("index_id")});
        if (at == indexAt.constEnd())
            return;
        Index &i = db.tables[at->first].indexes[at->second];
        if (row.flag("is_included_column"))
            i.included << row.name("name");
        else
            i.keys << IndexColumn{row.name("name"), row.flag("is_descending_key")};
    }

    void check(const Row &row)
    {
        const qint64 id = row.number("parent_object_id");
        const auto at = tableAt.constFind(id);
        if (at == tableAt.constEnd())
            return;
        QList<Check> &checks = db.tables[*at].checks;
        checks << Check{row.text("name"),
                        definition(row, "definition", 'C', id, row.number("object_id"), *at, checks.size()),
                        row.flag("is_disabled"), row.flag("is_not_trusted"), row.flag("is_system_named")};
    }

    void foreignKey(const Row &row)
    {
        const auto at = tableAt.constFind(row.number("parent_object_id"));
        if (at == tableAt.constEnd())
            return;
        ForeignKey f;
        f.name = row.text("name");
        const qint64 referenced = row.number("referenced_object_id");
        f.referencedTable = tableNames.value(referenced);
        if (const auto rt = tableAt.constFind(referenced); rt != tableAt.constEnd())
            f.referencedSchema = db.tables[*rt].schema;
        f.onDelete = ReferentialAction(row.number("delete_referential_action"));
        f.onUpdate = ReferentialAction(row.number("update_referential_action"));
        f.disabled = row.flag("is_disabled");
        f.notTrusted = row.flag("is_not_trusted");
        f.systemNamed = row.flag("is_system_named");
        keyAt.insert(row.number("object_id"), {*at, db.tables[*at].foreignKeys.size()});
        db.tables[*at].foreignKeys << std::move(f);
    }

    void foreignKeyColumn(const Row &row)
    {
        const auto at = keyAt.constFind(row.number("constraint_object_id"));
        if (at == keyAt.constEnd())
            return;
        ForeignKey &f = db.tables[at->first].foreignKeys[at->second];
        f.columns << row.name("column_name");
        f.referencedColumns << row.name("referenced_column_name");
    }

    void module(const Row &row)
    {
        const QString type = row.name("type");
        Module m;
        m.schema = row.name("schema_name");
        m.name = row.text("name");
        const QString caption = moduleCaption(type);
        if (!isDbo(m.schema)) {
            db.unsupported << Unsupported{caption, m.schema, m.name, QStringLiteral("不在 dbo 架构中")};
            return;
        }
        if (type == QLatin1String("FS") || type == QLatin1String("FT") || type == QLatin1String("PC")
            || type == QLatin1String("TA")) {
            db.unsupported << Unsupported{caption, m.schema, m.name, QStringLiteral("CLR 对象")};
            return;
        }
        if (row.isNull("definition")) {
            db.unsupported << Unsupported{caption, m.schema, m.name, QStringLiteral("定义已加密")};
            return;
        }
        m.kind = moduleKind(type);
        m.definition = row.raw("definition");
        m.schemaBound = row.flag("is_schema_bound");
        if (m.kind == ModuleKind::Trigger) {
            m.table = tableNames.value(row.number("parent_object_id"));
            m.disabled = row.flag("is_disabled");
        }
        moduleAt.insert(row.number("object_id"), db.modules.size());
        db.modules << std::move(m);
    }

    void dependency(const Row &row)
    {
        const auto at = moduleAt.constFind(row.number("referencing_id"));
        if (at == moduleAt.constEnd())
            return;
        const QString schema = row.name("referenced_schema_name");
        const QString name = row.text("referenced_entity_name");
        const QString ref = schema.isEmpty() ? name : schema + QLatin1Char('.') + name;
        if (!db.modules[*at].references.contains(ref))
            db.modules[*at].references << ref;
    }

    void longText(const Row &row)
    {
        const QString kind = row.text("kind");
        if (kind.size() != 1)
            return;
        const auto to = pending.constFind(longKey(QLatin1Char(kind[0].toLatin1()), row.number("object_id"),
                                                  row.number("part_id")));
        if (to == pending.constEnd())
            return;  // a short text, taken as it came
        Table &t = db.tables[to->table];
        const QString text = row.raw("text");
        if (to->kind == 'D')
            t.columns[to->item].defaultConstraint->definition = text;
        else if (to->kind == 'F')
            t.indexes[to->item].filter = text;
        else
            t.checks[to->item].definition = text;
    }
};

CatalogBuilder::CatalogBuilder(bool modulesOnly) : d(std::make_unique<State>(modulesOnly)) {}

CatalogBuilder::~CatalogBuilder() = default;

void CatalogBuilder::begin(const QStringList &fieldNames)
{
    static const char *const kWhat[QueryCount] = {"types",  "tables",       "columns",     "indexes",
                                                  "index columns", "checks", "foreign keys", "foreign key columns",
                                                  "modules", "dependencies", "long texts"};
    if (d->done == d->order.size())
        throw std::runtime_error("the catalogue's answer has more row sets than queries");
    d->query = d->order[d->done++];
    d->fields.reset(fieldNames, kWhat[d->query]);
}

void CatalogBuilder::row(const FetchedRow &fetched)
{
    const Row row(fetched, d->fields, d->shared);
    switch (d->query) {
    case Types: d->type(row); break;
    case Tables: d->table(row); break;
    case Columns: d->column(row); break;
    case Indexes: d->index(row); break;
    case IndexColumns: d->indexColumn(row); break;
    case Checks: d->check(row); break;
    case ForeignKeys: d->foreignKey(row); break;
    case ForeignKeyColumns: d->foreignKeyColumn(row); break;
    case Modules: d->module(row); break;
    case Dependencies: d->dependency(row); break;
    case LongTexts: d->longText(row); break;
    case QueryCount: break;
    }
}

void CatalogBuilder::end()
{
    if (d->query == Columns)
        d->flushColumns();
}

Database CatalogBuilder::take()
{
    if (d->done != d->order.size())
        throw std::runtime_error("the catalogue was read incompletely");
    Database &db = d->db;
    // Left out whole: created as plain columns, a computed column would hold stale values.
    QStringList computed;
    for (qint64 id : std::as_const(d->computedTables)) {
        const Table &t = db.tables[d->tableAt.value(id)];
        db.unsupported << Unsupported{QStringLiteral("表"), t.schema, t.name, QStringLiteral("含计算列")};
        computed << t.name;
    }
    db.tables.removeIf([&](const Table &t) { return computed.contains(t.name); });
    return std::move(db);
}

Database readCatalogBatch(const QList<ResultSet> &results, bool modulesOnly)
{
    CatalogBuilder builder(modulesOnly);
    for (const ResultSet &result : results)
        visitRows(result, builder);
    return builder.take();
}

Database readDatabase(const QList<ResultSet> &results)
{
    if (results.size() != QueryCount)
        throw std::runtime_error("the catalogue was read incompletely");
    return readCatalogBatch(results);
}

}  // namespace dbsync::model
