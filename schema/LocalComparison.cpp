#include "schema/LocalComparison.h"

#include "schema/Collation.h"
#include "schema/RoutineDiffQuery.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <stdexcept>
#include <utility>
#include <vector>

namespace dbsync::schema {

namespace {

bool isNumber(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return true;
    default:
        return false;
    }
}

bool isIntegral(const QVariant &v)
{
    return isNumber(v) && v.typeId() != QMetaType::Double;
}

const QString &textOf(const QVariant &v)
{
    return *static_cast<const QString *>(v.constData());
}

// SQL's a <> b: false when either is null; texts under the collation.
bool differs(const QVariant &a, const QVariant &b)
{
    if (!a.isValid() || !b.isValid())
        return false;
    if (a.typeId() == QMetaType::QString && b.typeId() == QMetaType::QString)
        return compareCollated(textOf(a), textOf(b)) != 0;
    if (isIntegral(a) && isIntegral(b))
        return a.toLongLong() != b.toLongLong();
    if (isNumber(a) && isNumber(b))
        return a.toDouble() != b.toDouble();
    return a != b;  // values of different kinds (a property of another type) are not equal
}

int field(const ResultSet &side, const char *name)
{
    const int index = side.fieldIndex(QString::fromUtf8(name));
    if (index < 0)
        throw std::runtime_error(std::string("The comparison side has no field ") + name + ".");
    return index;
}

QSet<QString> tableKeys(const QStringList &names)
{
    QSet<QString> keys;
    for (const QString &name : names)
        keys.insert(collationKey(name));
    return keys;
}

// Where each of the fields the listing reads stands in one side's answer.
struct ColumnFields {
    int table, column, foreignKey, position, identity, primaryKey, type, bytes, length, scale, nullable,
        defaultText, description;
    ColumnFields(const ResultSet &side, bool sample)
        : table(field(side, sample ? "表名1" : "表名2")), column(field(side, "字段名")),
          foreignKey(field(side, sample ? "外键" : "外键2")),
          position(side.fieldIndex(QStringLiteral("序号"))), identity(field(side, "标识")),
          primaryKey(field(side, "主键")), type(field(side, "类型")), bytes(field(side, "占用字节数")),
          length(field(side, "长度")), scale(field(side, "小数位数")), nullable(field(side, "允许空")),
          defaultText(field(side, "默认值")), description(field(side, "字段说明"))
    {
    }
};

// The listing's CASE, test by test in its order.
QString columnCode(const ResultSet *a, int ra, const ColumnFields &fa, const ResultSet *b, int rb,
                   const ColumnFields &fb, const QSet<QString> &sampleTables, const QSet<QString> &targetTables)
{
    if (!a && !sampleTables.contains(collationKey(b->value(rb, fb.table).toString())))
        return QStringLiteral("1");
    if (!b && !targetTables.contains(collationKey(a->value(ra, fa.table).toString())))
        return QStringLiteral("2");
    if (!a)
        return QStringLiteral("3");
    if (!b)
        return QStringLiteral("4");
    const auto d = [&](int ia, int ib) { return differs(a->value(ra, ia), b->value(rb, ib)); };
    if (d(fa.identity, fb.identity))
        return QStringLiteral("10");
    if (d(fa.type, fb.type) || d(fa.nullable, fb.nullable) || d(fa.bytes, fb.bytes) || d(fa.length, fb.length))
        return QStringLiteral("5");
    if (d(fa.scale, fb.scale))
        return QStringLiteral("9");
    if (d(fa.defaultText, fb.defaultText))
        return QStringLiteral("8");
    if (d(fa.description, fb.description))
        return QStringLiteral(" 字段说明不同 ");
    if (d(fa.primaryKey, fb.primaryKey))
        return QStringLiteral("6");
    if (d(fa.foreignKey, fb.foreignKey))
        return QStringLiteral("7");
    return QString();
}

// The listing's WHERE for a pair whose both sides are there.
bool pairListed(const ResultSet &a, int ra, const ColumnFields &fa, const ResultSet &b, int rb,
                const ColumnFields &fb)
{
    const auto d = [&](int ia, int ib) { return differs(a.value(ra, ia), b.value(rb, ib)); };
    return d(fa.identity, fb.identity) || d(fa.primaryKey, fb.primaryKey) || d(fa.type, fb.type)
        || d(fa.bytes, fb.bytes) || d(fa.length, fb.length) || d(fa.scale, fb.scale)
        || d(fa.nullable, fb.nullable) || d(fa.defaultText, fb.defaultText)
        || d(fa.description, fb.description);
}

// Output row with its sort keys.
struct Listed {
    int sampleRow = -1;
    int targetRow = -1;
    QString code;
    QString tableKey;
    qlonglong position = 0;
};

void appendSide(QVariant *cells, const ResultSet &side, int row)
{
    for (int c = 0; c < side.fieldCount(); ++c)
        cells[c] = side.value(row, c);
}

}  // namespace

ResultSet compareColumnSides(const ResultSet &sample, const ResultSet &target, const QStringList &sampleTables,
                             const QStringList &targetTables)
{
    const ColumnFields fa(sample, true), fb(target, false);
    const QSet<QString> sampleKeys = tableKeys(sampleTables), targetKeys = tableKeys(targetTables);
    const bool byPosition = fa.position >= 0 && fb.position >= 0;

    // Target rows by table and column name, each name's rows chained in their order.
    const auto nameKey = [](const ResultSet &side, int row, int table, int column) {
        return collationKey(side.value(row, table).toString()) + QChar(0)
            + collationKey(side.value(row, column).toString());
    };
    QHash<QString, std::pair<int, int>> firstAndLast;
    firstAndLast.reserve(target.rowCount());
    std::vector<int> nextOfSameName(std::size_t(target.rowCount()), -1);
    for (int rb = 0; rb < target.rowCount(); ++rb) {
        const QString key = nameKey(target, rb, fb.table, fb.column);
        const auto slot = firstAndLast.find(key);
        if (slot == firstAndLast.end()) {
            firstAndLast.insert(key, {rb, rb});
        } else {
            nextOfSameName[std::size_t(slot->second)] = rb;
            slot->second = rb;
        }
    }

    QList<Listed> listed;
    QList<bool> paired(target.rowCount(), false);
    const auto add = [&](int ra, int rb) {
        Listed l{ra, rb, {}, {}, 0};
        const ResultSet *a = ra >= 0 ? &sample : nullptr;
        const ResultSet *b = rb >= 0 ? &target : nullptr;
        l.code = columnCode(a, ra, fa, b, rb, fb, sampleKeys, targetKeys);
        l.tableKey = collationKey(a ? sample.value(ra, fa.table).toString() : target.value(rb, fb.table).toString());
        if (byPosition)
            l.position = a ? sample.value(ra, fa.position).toLongLong() : target.value(rb, fb.position).toLongLong();
        listed.append(std::move(l));
    };
    for (int ra = 0; ra < sample.rowCount(); ++ra) {
        const auto match = firstAndLast.constFind(nameKey(sample, ra, fa.table, fa.column));
        if (match == firstAndLast.constEnd()) {
            add(ra, -1);
            continue;
        }
        for (int rb = match->first; rb >= 0; rb = nextOfSameName[std::size_t(rb)]) {
            paired[rb] = true;
            if (pairListed(sample, ra, fa, target, rb, fb))
                add(ra, rb);
        }
    }
    for (int rb = 0; rb < target.rowCount(); ++rb)
        if (!paired[rb])
            add(-1, rb);

    std::stable_sort(listed.begin(), listed.end(), [byPosition](const Listed &x, const Listed &y) {
        const int c = x.tableKey.compare(y.tableKey);
        if (c != 0 || !byPosition)
            return c < 0;
        return x.position < y.position;
    });

    ResultSet result(QStringList{QStringLiteral("比较结果")} + sample.fieldNames() + target.fieldNames());
    result.reserveRows(int(listed.size()));
    for (const Listed &l : listed) {
        QVariant *cells = result.appendNullRow();
        cells[0] = l.code;
        if (l.sampleRow >= 0)
            appendSide(cells + 1, sample, l.sampleRow);
        if (l.targetRow >= 0)
            appendSide(cells + 1 + sample.fieldCount(), target, l.targetRow);
    }
    return result;
}

ResultSet compareRoutineSides(const ResultSet &sample, const ResultSet &target)
{
    struct Fields {
        int name, type, row, text;
        explicit Fields(const ResultSet &side)
            : name(field(side, "name")), type(field(side, "xtype")), row(field(side, "colid")),
              text(field(side, "text"))
        {
        }
    };
    const Fields fa(sample), fb(target);
    using Key = std::pair<std::pair<QString, QString>, qlonglong>;
    const auto key = [](const ResultSet &side, const Fields &f, int r) {
        return Key{{collationKey(side.value(r, f.name).toString()), collationKey(side.value(r, f.type).toString())},
                   side.value(r, f.row).toLongLong()};
    };
    QHash<Key, QList<int>> targetByKey;
    for (int rb = 0; rb < target.rowCount(); ++rb)
        targetByKey[key(target, fb, rb)].append(rb);

    ResultSet result(QStringList{QStringLiteral("类型"), QStringLiteral("匹配情况"), QStringLiteral("对象名称"),
                                 QStringLiteral("atext"), QStringLiteral("btext")});
    const auto add = [&](int ra, int rb) {
        const QVariant type = ra >= 0 ? sample.value(ra, fa.type) : target.value(rb, fb.type);
        QVariant *cells = result.appendNullRow();
        cells[0] = collationKey(type.toString()) == QLatin1String("v") ? QStringLiteral("视图") : QStringLiteral("存储过程");
        cells[1] = ra < 0 ? kSampleMissing : rb < 0 ? kTargetMissing : kTextDiffers;
        cells[2] = ra >= 0 ? sample.value(ra, fa.name) : target.value(rb, fb.name);
        if (ra >= 0)
            cells[3] = sample.value(ra, fa.text);
        if (rb >= 0)
            cells[4] = target.value(rb, fb.text);
    };
    QList<bool> paired(target.rowCount(), false);
    for (int ra = 0; ra < sample.rowCount(); ++ra) {
        const auto match = targetByKey.constFind(key(sample, fa, ra));
        if (match == targetByKey.constEnd()) {
            add(ra, -1);
            continue;
        }
        const QString sampleText = sample.value(ra, fa.text).toString();  // null counts as ''
        for (int rb : *match) {
            paired[rb] = true;
            if (compareCollated(sampleText, target.value(rb, fb.text).toString()) != 0)
                add(ra, rb);
        }
    }
    for (int rb = 0; rb < target.rowCount(); ++rb)
        if (!paired[rb])
            add(-1, rb);
    return result;
}

}  // namespace dbsync::schema
