// The listing query texts, compared line by line with the texts the tool must send.

#include "db/ResultSet.h"
#include "schema/ColumnDiffQuery.h"
#include "schema/RoutineDiffQuery.h"

#include <gtest/gtest.h>

#include <iterator>
#include <utility>

using namespace dbsync::schema;

namespace {

const QString kDatabasePrefix =
    QStringLiteral("OPENDATASOURCE('SQLOLEDB','Data Source=10.1.1.9;User ID=sa;Password=pw').sample");
const QString kSchemaPrefix = kDatabasePrefix + QStringLiteral(".dbo.");

const char *const kExpected18[] = {
    "select 类型=case isnull(a.xtype,b.xtype) when 'V' then '视图' else '存储过程' end ",
    ",匹配情况=case    ",
    "when a.name is null then '源无' ",
    "when b.name is null then '目标无'  ",
    "else '结构不同' end      ",
    ",对象名称=isnull(a.name,b.name),a.text as atext, b.text as btext   ",
    "from(                           ",
    "select a.name,a.xtype,b.colid,b.text    ",
    "from OPENDATASOURCE('SQLOLEDB','Data Source=10.1.1.9;User ID=sa;Password=pw').sample.dbo.sysobjects a,OPENDATASOURCE('SQLOLEDB','Data Source=10.1.1.9;User ID=sa;Password=pw').sample.dbo.syscomments b    ",
    "where a.id=b.id and a.xtype in('V','P') and a.status>=0   ",
    ")a full join(                                       ",
    "select a.name,a.xtype,b.colid,b.text               ",
    "from [target]..sysobjects a,[target]..syscomments b  ",
    "where a.id=b.id and a.xtype in('V','P') and a.status>=0   ",
    ")b on a.name=b.name and a.xtype=b.xtype and a.colid=b.colid   ",
    "where a.name is null      ",
    "or b.name is null  ",
    "or isnull(a.text,'') <>isnull(b.text,'')   ",
};

const char *const kExpected61[] = {
    "select 比较结果=case when a.表名1 is null and not exists(select 1 from OPENDATASOURCE('SQLOLEDB','Data Source=10.1.1.9;User ID=sa;Password=pw').sample.dbo.sysobjects where xtype='U' and name=b.表名2) then '1' ",
    "when b.表名2 is null and not exists(select 1 from target.dbo.sysobjects where xtype='U' and name=a.表名1) then '2'                ",
    "when a.字段名 is null then '3' ",
    "when b.字段名 is null  then '4'  ",
    "when a.标识 <>b.标识 then '10'     ",
    "when a.类型 <>b.类型 then '5' ",
    "when a.允许空 <>b.允许空 then '5'  ",
    "when a.占用字节数 <>b.占用字节数 then '5'  ",
    "when a.长度 <>b.长度 then '5'    ",
    "when a.小数位数 <>b.小数位数 then '9'  ",
    "when a.默认值 <>b.默认值 then '8' ",
    "when a.字段说明 <>b.字段说明 then ' 字段说明不同 '  ",
    "when a.主键 <>b.主键 then '6'  ",
    "when a.外键 <>b.外键2 then '7'  ",
    "else '' end,  ",
    "*",
    "from (SELECT  ",
    "表名1=d.name,字段名=a.name,外键=h.name ,序号=a.colid,主键名=i.name, ",
    "标识=case when a.status=0x80 then 1 else 0 end,  ",
    "主键=case when exists(SELECT 1 FROM OPENDATASOURCE('SQLOLEDB','Data Source=10.1.1.9;User ID=sa;Password=pw').sample.dbo.sysobjects where xtype='PK' and parent_obj=a.id and name in (   ",
    "SELECT name FROM OPENDATASOURCE('SQLOLEDB','Data Source=10.1.1.9;User ID=sa;Password=pw').sample.dbo.sysindexes WHERE indid in(                      ",
    "SELECT indid FROM OPENDATASOURCE('SQLOLEDB','Data Source=10.1.1.9;User ID=sa;Password=pw').sample.dbo.sysindexkeys WHERE id = a.id AND colid=a.colid  ",
    "))) then 1 else 0 end,                                                           ",
    "类型=b.name,占用字节数=a.length,长度=a.prec,小数位数=a.scale,允许空=a.isnullable,  ",
    "默认值=isnull(e.text,''),字段说明=isnull(g.[value],'')           ",
    "FROM OPENDATASOURCE('SQLOLEDB','Data Source=10.1.1.9;User ID=sa;Password=pw').sample.dbo.syscolumns a                                  ",
    "left join OPENDATASOURCE('SQLOLEDB','Data Source=10.1.1.9;User ID=sa;Password=pw').sample.dbo.systypes b on a.xtype=b.xusertype       ",
    "inner join OPENDATASOURCE('SQLOLEDB','Data Source=10.1.1.9;User ID=sa;Password=pw').sample.dbo.sysobjects d on a.id=d.id  and d.xtype='U' and  d.name <>' dtproperties '   ",
    "left join OPENDATASOURCE('SQLOLEDB','Data Source=10.1.1.9;User ID=sa;Password=pw').sample.dbo.sysobjects I on a.id=I.parent_obj  and I.xtype='PK'   ",
    "left join OPENDATASOURCE('SQLOLEDB','Data Source=10.1.1.9;User ID=sa;Password=pw').sample.dbo.syscomments e on a.cdefault=e.id   ",
    " left join  OPENDATASOURCE('SQLOLEDB','Data Source=10.1.1.9;User ID=sa;Password=pw').sample.sys.sysforeignkeys f on f.fkeyid=a.id  ",
    "left join  OPENDATASOURCE('SQLOLEDB','Data Source=10.1.1.9;User ID=sa;Password=pw').sample.sys.objects h on f.constid=h.object_id       ",
    "left join OPENDATASOURCE('SQLOLEDB','Data Source=10.1.1.9;User ID=sa;Password=pw').sample.sys.extended_properties g        ",
    "ON             ",
    "a.ID=g.major_id AND a.COLID=g.minor_id    ",
    ") a       ",
    "full join (SELECT        ",
    "表名2=d.name,字段名=a.name,外键2=h.name,序号=a.colid,主键名2=i.name, ",
    "标识=case when a.status=0x80 then 1 else 0 end,    ",
    "主键=case when exists(SELECT 1 FROM target.dbo.sysobjects where xtype='PK' and parent_obj=a.id and name in (  ",
    "SELECT name FROM target.dbo.sysindexes WHERE indid in(     ",
    "SELECT indid FROM target.dbo.sysindexkeys WHERE id = a.id AND colid=a.colid    ",
    "))) then 1 else 0 end,                                                        ",
    "类型=b.name,占用字节数=a.length,长度=a.prec,小数位数=a.scale,允许空=a.isnullable,  ",
    "默认值=isnull(e.text,''),字段说明=isnull(g.[value],'')          ",
    "FROM target.dbo.syscolumns a                              ",
    "left join target.dbo.systypes b on a.xtype=b.xusertype    ",
    "inner join target.dbo.sysobjects d on a.id=d.id  and d.xtype='U' and  d.name <>' dtproperties '   ",
    "left join target.dbo.sysobjects I on a.id=I.parent_obj  and I.xtype='PK'   ",
    "left join target.dbo.syscomments e on a.cdefault=e.id    ",
    " left join  target.sys.sysforeignkeys f on f.fkeyid=a.id   ",
    "left join  target.sys.objects h on f.constid=h.object_id          ",
    "left join target.sys.extended_properties g       ",
    "ON                                    ",
    "a.ID=g.major_id AND a.COLID=g.minor_id    ",
    ") b on a.表名1=b.表名2 and a.字段名=b.字段名    ",
    "where a.表名1 is null or a.字段名 is null or b.表名2 is null or b.字段名 is null   ",
    "or a.标识 <>b.标识 or a.主键 <>b.主键 or a.类型 <>b.类型             ",
    "or a.占用字节数 <>b.占用字节数 or a.长度 <>b.长度 or a.小数位数 <>b.小数位数   ",
    "or a.允许空 <>b.允许空 or a.默认值 <>b.默认值 or a.字段说明 <>b.字段说明   ",
    "order by isnull(a.表名1,b.表名2),isnull(a.序号,b.序号)   ",
};
const std::pair<int, const char *> kRefreshReplaced[] = {
    {18, "表名1=d.name,字段名=a.name,外键=h.name ,主键名=i.name, "},
    {22, "SELECT indid FROM OPENDATASOURCE('SQLOLEDB','Data Source=10.1.1.9;User ID=sa;Password=pw').sample.dbo.sysindexkeys WHERE id = a.id AND colid=a.colid    "},
    {38, "表名2=d.name,字段名=a.name,外键2=h.name,主键名2=i.name, "},
    {42, "SELECT indid FROM target.dbo.sysindexkeys WHERE id = a.id AND colid=a.colid      "},
    {61, "order by isnull(a.表名1,b.表名2)   "},
};

QStringList expected(const char *const *lines, int count)
{
    QStringList list;
    for (int i = 0; i < count; ++i)
        list.append(QString::fromUtf8(lines[i]));
    return list;
}

void expectSameLines(const QStringList &actual, const QStringList &wanted)
{
    ASSERT_EQ(actual.size(), wanted.size());
    for (qsizetype i = 0; i < wanted.size(); ++i)
        EXPECT_EQ(actual[i].toStdString(), wanted[i].toStdString()) << "line " << i + 1;
}

}  // namespace

TEST(RoutineDiffQuery, EighteenLinesForOrdinaryNames)
{
    expectSameLines(routineDiffQueryLines(kSchemaPrefix, QStringLiteral("target")),
                    expected(kExpected18, int(std::size(kExpected18))));
}

TEST(RoutineDiffQuery, TrailingBlanksAreKept)
{
    const QStringList lines = routineDiffQueryLines(kSchemaPrefix, QStringLiteral("target"));
    const int blanks[] = {1, 4, 1, 2, 6, 3, 27, 4, 4, 3, 39, 15, 2, 3, 3, 6, 2, 3};
    for (int i = 0; i < 18; ++i) {
        const QString &line = lines[i];
        int n = 0;
        while (n < line.size() && line[line.size() - 1 - n] == QLatin1Char(' '))
            ++n;
        EXPECT_EQ(n, blanks[i]) << "line " << i + 1;
    }
}

TEST(RoutineDiffQuery, TargetNameIsBracketedWithClosingBracketDoubled)
{
    const QStringList lines = routineDiffQueryLines(kSchemaPrefix, QStringLiteral("my]db 1"));
    EXPECT_EQ(lines[12], QStringLiteral("from [my]]db 1]..sysobjects a,[my]]db 1]..syscomments b  "));
    // A prefix holding slot-like text is inserted once and never filled again.
    const QStringList odd = routineDiffQueryLines(QStringLiteral("x{T}."), QStringLiteral("t"));
    EXPECT_EQ(odd[8], QStringLiteral("from x{T}.sysobjects a,x{T}.syscomments b    "));
    EXPECT_EQ(routineListingWidths(), (QList<int>{60, 80, 80, 250, 250}));
}

TEST(RoutineDiffQuery, ReadsListingRowByFieldName)
{
    dbsync::ResultSet result({QStringLiteral("类型"), QStringLiteral("匹配情况"), QStringLiteral("对象名称"),
                              QStringLiteral("atext"), QStringLiteral("btext")});
    result.appendRow({QStringLiteral("视图"), QStringLiteral("源无"), QStringLiteral("v1"), QVariant(),
                      QStringLiteral("create view v1 as select 1 a")});
    const RoutineDiffRow row = readRoutineDiffRow(result, 0);
    EXPECT_EQ(row.kind, QStringLiteral("视图"));
    EXPECT_EQ(row.match, kSampleMissing);
    EXPECT_EQ(row.name, QStringLiteral("v1"));
    EXPECT_TRUE(row.sampleText.isEmpty());
}

TEST(ColumnDiffQuery, SixtyOneLinesForOrdinaryNames)
{
    expectSameLines(columnDiffQueryLines(kSchemaPrefix, kDatabasePrefix, QStringLiteral("target")),
                    expected(kExpected61, int(std::size(kExpected61))));
}

TEST(ColumnDiffQuery, RefreshReplacesFiveLines)
{
    QStringList wanted = expected(kExpected61, int(std::size(kExpected61)));
    for (const auto &[line, text] : kRefreshReplaced)
        wanted[line - 1] = QString::fromUtf8(text);
    expectSameLines(columnRefreshQueryLines(kSchemaPrefix, kDatabasePrefix, QStringLiteral("target")), wanted);
}

TEST(ColumnDiffQuery, IrregularTargetNameIsQuotedEverywhere)
{
    const QStringList lines = columnDiffQueryLines(kSchemaPrefix, kDatabasePrefix, QStringLiteral("my db"));
    EXPECT_EQ(lines[1], QStringLiteral("when b.表名2 is null and not exists(select 1 from [my db].dbo.sysobjects "
                                       "where xtype='U' and name=a.表名1) then '2'                "));
    EXPECT_EQ(lines[45], QStringLiteral("FROM [my db].dbo.syscolumns a                              "));
    EXPECT_EQ(lines[50], QStringLiteral(" left join  [my db].sys.sysforeignkeys f on f.fkeyid=a.id   "));
    for (const QString &line : lines)
        EXPECT_FALSE(line.contains(QStringLiteral(" my db."))) << line.toStdString();
}

TEST(ColumnDiffQuery, GridWidths)
{
    const QList<int> widths = columnListingWidths();
    ASSERT_EQ(widths.size(), 25);
    for (int i = 0; i < 25; ++i)
        EXPECT_EQ(widths[i], (i == 0 || i == 4 || i == 8 || i == 12 || i == 16 || i == 21) ? 60 : 50) << i;
}

TEST(ColumnDiffQuery, ReadsRowsOfBothListingForms)
{
    const QStringList sample = {"比较结果", "表名1", "字段名", "外键", "序号", "主键名", "标识", "主键", "类型",
                                "占用字节数", "长度", "小数位数", "允许空", "默认值", "字段说明"};
    QStringList fields = sample;
    fields << "表名2" << "字段名" << "外键2" << "序号" << "主键名2" << "标识" << "主键" << "类型" << "占用字节数"
           << "长度" << "小数位数" << "允许空" << "默认值" << "字段说明";
    dbsync::ResultSet listing(fields);
    listing.appendRow({"5", "orders", "state", QVariant(), qlonglong(3), "pk_orders", qlonglong(0), qlonglong(0),
                       "varchar", qlonglong(20), qlonglong(20), qlonglong(0), qlonglong(1), "('a')", "",
                       "orders", "state", "fk_x", qlonglong(4), "PK_o", qlonglong(0), qlonglong(0), "int",
                       qlonglong(4), qlonglong(10), qlonglong(0), qlonglong(0), "", ""});
    const ColumnDiffRow row = readColumnDiffRow(listing, 0);
    EXPECT_EQ(row.code, "5");
    EXPECT_EQ(row.samplePosition, 3);
    EXPECT_EQ(row.sampleType, "varchar");
    EXPECT_EQ(row.sampleLength, "20");
    EXPECT_EQ(row.sampleNullable, "1");
    EXPECT_EQ(row.sampleDefault, "('a')");
    EXPECT_EQ(row.targetColumn, "state");
    EXPECT_EQ(row.targetForeignKey, "fk_x");
    EXPECT_EQ(row.targetPrimaryKeyName, "PK_o");

    // The refresh listing has no 序号 fields; a code "2" row has no target side.
    QStringList refreshFields = fields;
    refreshFields.removeAll(QStringLiteral("序号"));
    dbsync::ResultSet refreshed(refreshFields);
    QVector<QVariant> values(refreshFields.size());
    values[0] = "2";
    values[1] = "neu";
    refreshed.appendRow(values);
    const ColumnDiffRow missing = readColumnDiffRow(refreshed, 0);
    EXPECT_FALSE(missing.samplePosition.has_value());
    EXPECT_EQ(missing.sampleTable, "neu");
    EXPECT_TRUE(missing.targetTable.isEmpty());

    dbsync::ResultSet other({QStringLiteral("类型")});
    other.appendRow({"x"});
    EXPECT_THROW(readColumnDiffRow(other, 0), std::runtime_error);
}
