#include "schema/ColumnDiffQuery.h"

#include "db/ResultSet.h"
#include "db/SqlQuote.h"
#include "schema/LineTemplate.h"

#include <iterator>

namespace dbsync::schema {

namespace {

// {S} remote schema prefix, {D} remote database prefix, {T} target database name,
// {TEST1}/{TEST2} the table tests of the first two codes. Trailing blanks are part of the text.
const char *const kColumnDiffLines[] = {
    "select 比较结果=case when a.表名1 is null and {TEST1} then '1' ",  // 1
    "when b.表名2 is null and {TEST2} then '2'                ",  // 2
    "when a.字段名 is null then '3' ",  // 3
    "when b.字段名 is null  then '4'  ",  // 4
    "when a.标识 <>b.标识 then '10'     ",  // 5
    "when a.类型 <>b.类型 then '5' ",  // 6
    "when a.允许空 <>b.允许空 then '5'  ",  // 7
    "when a.占用字节数 <>b.占用字节数 then '5'  ",  // 8
    "when a.长度 <>b.长度 then '5'    ",  // 9
    "when a.小数位数 <>b.小数位数 then '9'  ",  // 10
    "when a.默认值 <>b.默认值 then '8' ",  // 11
    "when a.字段说明 <>b.字段说明 then ' 字段说明不同 '  ",  // 12
    "when a.主键 <>b.主键 then '6'  ",  // 13
    "when a.外键 <>b.外键2 then '7'  ",  // 14
    "else '' end,  ",  // 15
    "*",  // 16
    "from (SELECT  ",  // 17
    "表名1=d.name,字段名=a.name,外键=h.name ,序号=a.colid,主键名=i.name, ",  // 18
    "标识=case when a.status=0x80 then 1 else 0 end,  ",  // 19
    "主键=case when exists(SELECT 1 FROM {S}sysobjects where xtype='PK' and parent_obj=a.id and name in (   ",  // 20
    "SELECT name FROM {S}sysindexes WHERE indid in(                      ",  // 21
    "SELECT indid FROM {S}sysindexkeys WHERE id = a.id AND colid=a.colid  ",  // 22
    "))) then 1 else 0 end,                                                           ",  // 23
    "类型=b.name,占用字节数=a.length,长度=a.prec,小数位数=a.scale,允许空=a.isnullable,  ",  // 24
    "默认值=isnull(e.text,''),字段说明=isnull(g.[value],'')           ",  // 25
    "FROM {S}syscolumns a                                  ",  // 26
    "left join {S}systypes b on a.xtype=b.xusertype       ",  // 27
    "inner join {S}sysobjects d on a.id=d.id  and d.xtype='U' and  d.name <>' dtproperties '   ",  // 28
    "left join {S}sysobjects I on a.id=I.parent_obj  and I.xtype='PK'   ",  // 29
    "left join {S}syscomments e on a.cdefault=e.id   ",  // 30
    " left join  {D}.sys.sysforeignkeys f on f.fkeyid=a.id  ",  // 31
    "left join  {D}.sys.objects h on f.constid=h.object_id       ",  // 32
    "left join {D}.sys.extended_properties g        ",  // 33
    "ON             ",  // 34
    "a.ID=g.major_id AND a.COLID=g.minor_id    ",  // 35
    ") a       ",  // 36
    "full join (SELECT        ",  // 37
    "表名2=d.name,字段名=a.name,外键2=h.name,序号=a.colid,主键名2=i.name, ",  // 38
    "标识=case when a.status=0x80 then 1 else 0 end,    ",  // 39
    "主键=case when exists(SELECT 1 FROM {T}.dbo.sysobjects where xtype='PK' and parent_obj=a.id and name in (  ",  // 40
    "SELECT name FROM {T}.dbo.sysindexes WHERE indid in(     ",  // 41
    "SELECT indid FROM {T}.dbo.sysindexkeys WHERE id = a.id AND colid=a.colid    ",  // 42
    "))) then 1 else 0 end,                                                        ",  // 43
    "类型=b.name,占用字节数=a.length,长度=a.prec,小数位数=a.scale,允许空=a.isnullable,  ",  // 44
    "默认值=isnull(e.text,''),字段说明=isnull(g.[value],'')          ",  // 45
    "FROM {T}.dbo.syscolumns a                              ",  // 46
    "left join {T}.dbo.systypes b on a.xtype=b.xusertype    ",  // 47
    "inner join {T}.dbo.sysobjects d on a.id=d.id  and d.xtype='U' and  d.name <>' dtproperties '   ",  // 48
    "left join {T}.dbo.sysobjects I on a.id=I.parent_obj  and I.xtype='PK'   ",  // 49
    "left join {T}.dbo.syscomments e on a.cdefault=e.id    ",  // 50
    " left join  {T}.sys.sysforeignkeys f on f.fkeyid=a.id   ",  // 51
    "left join  {T}.sys.objects h on f.constid=h.object_id          ",  // 52
    "left join {T}.sys.extended_properties g       ",  // 53
    "ON                                    ",  // 54
    "a.ID=g.major_id AND a.COLID=g.minor_id    ",  // 55
    ") b on a.表名1=b.表名2 and a.字段名=b.字段名    ",  // 56
    "where a.表名1 is null or a.字段名 is null or b.表名2 is null or b.字段名 is null   ",  // 57
    "or a.标识 <>b.标识 or a.主键 <>b.主键 or a.类型 <>b.类型             ",  // 58
    "or a.占用字节数 <>b.占用字节数 or a.长度 <>b.长度 or a.小数位数 <>b.小数位数   ",  // 59
    "or a.允许空 <>b.允许空 or a.默认值 <>b.默认值 or a.字段说明 <>b.字段说明   ",  // 60
    "order by isnull(a.表名1,b.表名2),isnull(a.序号,b.序号)   ",  // 61
};

// Lines of the refresh form that differ (1-based line numbers).
const struct {
    int line;
    const char *text;
} kRefreshLines[] = {
    {18, "表名1=d.name,字段名=a.name,外键=h.name ,主键名=i.name, "},
    {22, "SELECT indid FROM {S}sysindexkeys WHERE id = a.id AND colid=a.colid    "},
    {38, "表名2=d.name,字段名=a.name,外键2=h.name,主键名2=i.name, "},
    {42, "SELECT indid FROM {T}.dbo.sysindexkeys WHERE id = a.id AND colid=a.colid      "},
    {61, "order by isnull(a.表名1,b.表名2)   "},
};

// Code "1": the sample has no user table of the target's name; code "2": the other way round.
// Each is evaluated on its own side, the sample's through the remote schema prefix.
const char *const kTableTest1 = "not exists(select 1 from {S}sysobjects where xtype='U' and name=b.表名2)";
const char *const kTableTest2 = "not exists(select 1 from {T}.dbo.sysobjects where xtype='U' and name=a.表名1)";

QHash<QString, QString> slotValues(const QString &schemaPrefix, const QString &databasePrefix,
                              const QString &targetDatabase)
{
    QHash<QString, QString> values{
        {QStringLiteral("S"), schemaPrefix},
        {QStringLiteral("D"), databasePrefix},
        {QStringLiteral("T"), quoteIdentifier(targetDatabase)},
    };
    values.insert(QStringLiteral("TEST1"), fillLine(kTableTest1, values));
    values.insert(QStringLiteral("TEST2"), fillLine(kTableTest2, values));
    return values;
}

}  // namespace

QStringList columnDiffQueryLines(const QString &schemaPrefix, const QString &databasePrefix,
                                 const QString &targetDatabase)
{
    return fillLines(kColumnDiffLines, int(std::size(kColumnDiffLines)),
                     slotValues(schemaPrefix, databasePrefix, targetDatabase));
}

QStringList columnRefreshQueryLines(const QString &schemaPrefix, const QString &databasePrefix,
                                    const QString &targetDatabase)
{
    const auto values = slotValues(schemaPrefix, databasePrefix, targetDatabase);
    QStringList lines = fillLines(kColumnDiffLines, int(std::size(kColumnDiffLines)), values);
    for (const auto &replaced : kRefreshLines)
        lines[replaced.line - 1] = fillLine(replaced.text, values);
    return lines;
}

QStringList columnSideQueryLines(ColumnSide side, const QString &database, bool refreshForm)
{
    const QString name = quoteIdentifier(database);
    const QString schemaPrefix = name + QStringLiteral(".dbo.");
    QStringList all = refreshForm ? columnRefreshQueryLines(schemaPrefix, name, database)
                                  : columnDiffQueryLines(schemaPrefix, name, database);
    // The derived table's own lines, behind the SELECT that opens it.
    const int first = side == ColumnSide::Sample ? 18 : 38;
    QStringList lines = all.mid(first - 1, 18);
    lines.prepend(side == ColumnSide::Sample ? QStringLiteral("SELECT  ") : QStringLiteral("SELECT        "));
    return lines;
}

QStringList userTableQueryLines(const QString &database)
{
    return {QStringLiteral("select name from ") + quoteIdentifier(database)
            + QStringLiteral(".dbo.sysobjects where xtype='U'")};
}

QList<int> columnListingWidths()
{
    QList<int> widths;
    for (int column = 0; column <= 24; ++column)
        widths.append(column == 0 || column == 4 || column == 8 || column == 12 || column == 16 || column == 21
                          ? 60
                          : 50);
    return widths;
}

ColumnDiffRow readColumnDiffRow(const ResultSet &result, int row)
{
    const auto text = [&](const char *field) { return result.text(row, QString::fromUtf8(field)); };
    ColumnDiffRow r;
    r.code = text("比较结果");
    r.sampleTable = text("表名1");
    r.sampleColumn = text("字段名");
    const int position = result.fieldIndex(QStringLiteral("序号"));
    if (position >= 0 && result.value(row, position).isValid())
        r.samplePosition = result.value(row, position).toInt();
    r.sampleType = text("类型");
    r.sampleLength = text("长度");
    r.sampleScale = text("小数位数");
    r.sampleNullable = text("允许空");
    r.samplePrimaryKey = text("主键");
    r.sampleIdentity = text("标识");
    r.sampleDefault = text("默认值");
    r.targetTable = text("表名2");
    r.targetColumn = text("字段名_1");
    r.targetForeignKey = text("外键2");
    r.targetPrimaryKeyName = text("主键名2");
    r.targetType = text("类型_1");
    r.targetLength = text("长度_1");
    r.targetScale = text("小数位数_1");
    r.targetIdentity = text("标识_1");
    return r;
}

}  // namespace dbsync::schema
