#include "schema/RoutineDiffQuery.h"

#include "db/ResultSet.h"
#include "schema/LineTemplate.h"

#include <iterator>

namespace dbsync::schema {

namespace {

// {S} remote schema prefix, {T} target database name with "]" doubled (the brackets are in
// the text). Trailing blanks are part of the text.
const char *const kRoutineDiffLines[] = {
    "select 类型=case isnull(a.xtype,b.xtype) when 'V' then '视图' else '存储过程' end ",  // 1
    ",匹配情况=case    ",  // 2
    "when a.name is null then '源无' ",  // 3
    "when b.name is null then '目标无'  ",  // 4
    "else '结构不同' end      ",  // 5
    ",对象名称=isnull(a.name,b.name),a.text as atext, b.text as btext   ",  // 6
    "from(                           ",  // 7
    "select a.name,a.xtype,b.colid,b.text    ",  // 8
    "from {S}sysobjects a,{S}syscomments b    ",  // 9
    "where a.id=b.id and a.xtype in('V','P') and a.status>=0   ",  // 10
    ")a full join(                                       ",  // 11
    "select a.name,a.xtype,b.colid,b.text               ",  // 12
    "from [{T}]..sysobjects a,[{T}]..syscomments b  ",  // 13
    "where a.id=b.id and a.xtype in('V','P') and a.status>=0   ",  // 14
    ")b on a.name=b.name and a.xtype=b.xtype and a.colid=b.colid   ",  // 15
    "where a.name is null      ",  // 16
    "or b.name is null  ",  // 17
    "or isnull(a.text,'') <>isnull(b.text,'')   ",  // 18
};

// A name as it stands between square brackets.
QString bracketsDoubled(const QString &name)
{
    QString doubled = name;
    doubled.replace(QLatin1Char(']'), QLatin1String("]]"));
    return doubled;
}

}  // namespace

QStringList routineDiffQueryLines(const QString &schemaPrefix, const QString &targetDatabase)
{
    return fillLines(kRoutineDiffLines, int(std::size(kRoutineDiffLines)),
                     {{QStringLiteral("S"), schemaPrefix}, {QStringLiteral("T"), bracketsDoubled(targetDatabase)}});
}

QString localSchemaPrefix(const QString &database)
{
    return QLatin1Char('[') + bracketsDoubled(database) + QStringLiteral("]..");
}

QStringList routineSideQueryLines(const QString &database)
{
    // The target's derived table serves both sides: it already names its database in brackets.
    return fillLines(kRoutineDiffLines + 11, 3, {{QStringLiteral("T"), bracketsDoubled(database)}});
}

QList<int> routineListingWidths()
{
    return {60, 80, 80, 250, 250};
}

RoutineDiffRow readRoutineDiffRow(const ResultSet &result, int row)
{
    RoutineDiffRow r;
    r.kind = result.text(row, QStringLiteral("类型"));
    r.match = result.text(row, QStringLiteral("匹配情况"));
    r.name = result.text(row, QStringLiteral("对象名称"));
    r.sampleText = result.text(row, QStringLiteral("atext"));
    return r;
}

}  // namespace dbsync::schema
