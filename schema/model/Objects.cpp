#include "schema/model/Objects.h"

#include "schema/Collation.h"

namespace dbsync::model {

bool sameName(const QString &a, const QString &b)
{
    return schema::compareCollated(a, b) == 0;
}

bool isTypeNamed(const QString &name, std::initializer_list<const char *> names)
{
    for (const char *n : names)
        if (name.compare(QLatin1String(n), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QString bracket(const QString &name)
{
    // Called for every name of every statement rendered: one allocation when nothing is escaped.
    if (!name.contains(QLatin1Char(']'))) {
        QString out;
        out.reserve(name.size() + 2);
        out.append(QLatin1Char('[')).append(name).append(QLatin1Char(']'));
        return out;
    }
    QString escaped = name;
    escaped.replace(QLatin1Char(']'), QLatin1String("]]"));
    return QLatin1Char('[') + escaped + QLatin1Char(']');
}

QString qualified(const QString &schema, const QString &name)
{
    return bracket(schema) + QLatin1Char('.') + bracket(name);
}

namespace {

template <typename List, typename Pred>
auto findIn(const List &list, Pred pred) -> decltype(&list.front())
{
    for (const auto &item : list)
        if (pred(item))
            return &item;
    return nullptr;
}

}  // namespace

const Column *Table::column(const QString &columnName) const
{
    return findIn(columns, [&](const Column &c) { return sameName(c.name, columnName); });
}

const Index *Table::primaryKey() const
{
    return findIn(indexes, [](const Index &i) { return i.role == IndexRole::PrimaryKey; });
}

const Table *Database::table(const QString &schemaName, const QString &name) const
{
    return findIn(tables, [&](const Table &t) { return sameName(t.schema, schemaName) && sameName(t.name, name); });
}

const Module *Database::module(const QString &schemaName, const QString &name) const
{
    return findIn(modules, [&](const Module &m) { return sameName(m.schema, schemaName) && sameName(m.name, name); });
}

const AliasType *Database::type(const QString &schemaName, const QString &name) const
{
    return findIn(types, [&](const AliasType &t) { return sameName(t.schema, schemaName) && sameName(t.name, name); });
}

}  // namespace dbsync::model
