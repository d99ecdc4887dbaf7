// The local comparison's join and decisions on hand-made side answers: collation, the codes in
// their order, comparisons with a null, pairings, order; and the per-side query texts.

#include "schema/Collation.h"
#include "schema/ColumnDiffQuery.h"
#include "schema/LocalComparison.h"
#include "schema/RoutineDiffQuery.h"

#include <gtest/gtest.h>

using namespace dbsync;
using namespace dbsync::schema;

namespace {

const QStringList kSampleFields{"表名1", "字段名", "外键", "序号", "主键名", "标识", "主键", "类型",
                                "占用字节数", "长度", "小数位数", "允许空", "默认值", "字段说明"};
const QStringList kTargetFields{"表名2", "字段名", "外键2", "序号", "主键名2", "标识", "主键", "类型",
                                "占用字节数", "长度", "小数位数", "允许空", "默认值", "字段说明"};

// One description row: an int column unless changed.
struct Column {
    QString table, column;
    qlonglong position = 1;
    QVariant foreignKey, type = QStringLiteral("int"), scale = qlonglong(0), defaultText = QString(),
                         description = QString();
    qlonglong identity = 0;
};

Column col(const QString &table, const QString &column, qlonglong position, const QVariant &foreignKey = {})
{
    Column c;
    c.table = table;
    c.column = column;
    c.position = position;
    c.foreignKey = foreignKey;
    return c;
}

ResultSet side(const QStringList &fields, const QList<Column> &columns)
{
    ResultSet r(fields);
    for (const Column &c : columns)
        r.appendRow({c.table, c.column, c.foreignKey, c.position, QVariant(), c.identity, qlonglong(0), c.type,
                     qlonglong(4), qlonglong(10), c.scale, qlonglong(1), c.defaultText, c.description});
    return r;
}

QStringList rowsOf(const ResultSet &r)
{
    QStringList out;
    for (int i = 0; i < r.rowCount(); ++i)
        out << r.text(i, "比较结果") + "|" + r.text(i, "表名1") + "." + r.text(i, "字段名") + "|" + r.text(i, "表名2")
                + "." + r.text(i, "字段名_1");
    return out;
}

TEST(Collation, CaseWidthKanaAndTrailingBlanksButNotAccents)
{
    EXPECT_EQ(compareCollated("Orders  ", "oRDERS"), 0);
    EXPECT_EQ(compareCollated("ÉCOLE", "école"), 0);
    EXPECT_NE(compareCollated("école", "ecole"), 0);
    EXPECT_EQ(compareCollated("ＡＢＣ", "abc"), 0);     // full-width
    EXPECT_EQ(compareCollated("カナ", "かな"), 0);       // katakana and hiragana
    EXPECT_EQ(compareCollated("ΣΟΦΙΑ", "σοφια"), 0);
    EXPECT_NE(compareCollated(" a", "a"), 0);            // leading blanks count
    EXPECT_LT(compareCollated("B_x", "b_Y"), 0);
    EXPECT_LT(compareCollated("订单", "𠀀"), 0);          // code point order beyond the BMP
}

TEST(LocalColumnComparison, CodesInTheirOrderAndNullsThatDoNotCompare)
{
    Column c_type = col("t", "c_type", 2), c_ident = col("t", "c_ident", 3), c_scale = col("t", "c_scale", 4),
        c_desc = col("t", "c_desc", 5), c_fk = col("t", "c_fk", 6), c_null = col("t", "c_null", 7);
    Column t_type = c_type, t_ident = c_ident, t_scale = c_scale, t_desc = c_desc, t_fk = c_fk, t_null = c_null;
    t_type.type = QString("bigint");
    t_ident.identity = 1;
    t_ident.type = QString("bigint");  // identity comes first
    t_scale.scale = qlonglong(2);
    t_desc.description = QString("Memo ");
    c_desc.description = QString("memo");  // equal under the collation
    t_fk.foreignKey = QString("FK_b");
    c_fk.foreignKey = QString("FK_a");  // the foreign key alone lists nothing
    c_null.type = QVariant();           // a null on one side compares as not different
    t_null.type = QString("int");
    const ResultSet r = compareColumnSides(
        side(kSampleFields, {col("t", "id", 1), c_type, c_ident, c_scale, c_desc, c_fk, c_null, col("t", "s_only", 8),
                             col("only_s", "a", 1)}),
        side(kTargetFields, {col("T", "ID", 1), t_type, t_ident, t_scale, t_desc, t_fk, t_null, col("t", "t_only", 9),
                             col("only_t", "b", 1)}),
        {"t", "only_s"}, {"t", "only_t"});
    EXPECT_EQ(r.fieldNames().mid(0, 3), (QStringList{"比较结果", "表名1", "字段名"}));
    EXPECT_EQ(r.fieldNames().value(16), "字段名_1");
    EXPECT_EQ(rowsOf(r), (QStringList{"2|only_s.a|.", "1|.|only_t.b", "5|t.c_type|t.c_type", "10|t.c_ident|t.c_ident",
                                      "9|t.c_scale|t.c_scale", "4|t.s_only|.", "3|.|t.t_only"}));
}

TEST(LocalColumnComparison, EveryPairingOfForeignKeyRowsAndTheRefreshOrder)
{
    Column a1 = col("t", "c", 1, QString("FK_1")), a2 = col("t", "c", 1, QString("FK_2"));
    Column b1 = col("t", "c", 1, QString("FK_3")), b2 = col("t", "c", 1, QString("FK_4"));
    b1.type = b2.type = QString("bigint");
    const ResultSet r = compareColumnSides(side(kSampleFields, {a1, a2}), side(kTargetFields, {b1, b2}), {"t"}, {"t"});
    ASSERT_EQ(r.rowCount(), 4);
    QStringList pairs;
    for (int i = 0; i < r.rowCount(); ++i)
        pairs << r.text(i, "外键") + "-" + r.text(i, "外键2");
    EXPECT_EQ(pairs, (QStringList{"FK_1-FK_3", "FK_1-FK_4", "FK_2-FK_3", "FK_2-FK_4"}));

    // Without positions the rows sort by table only: within one they keep the join's order.
    QStringList sampleFields = kSampleFields, targetFields = kTargetFields;
    sampleFields.removeAt(3);
    targetFields.removeAt(3);
    ResultSet s(sampleFields), t(targetFields);
    for (const char *name : {"z", "a"})
        s.appendRow({"B", name, {}, {}, 0, 0, "int", 4, 10, 0, 1, "", ""});
    s.appendRow({"a", "m", {}, {}, 0, 0, "int", 4, 10, 0, 1, "", ""});
    t.appendRow({"b", "y", {}, {}, 0, 0, "int", 4, 10, 0, 1, "", ""});
    const ResultSet refresh = compareColumnSides(s, t, {"B", "a"}, {"b"});
    EXPECT_EQ(refresh.fieldIndex("序号"), -1);
    EXPECT_EQ(rowsOf(refresh), (QStringList{"2|a.m|.", "4|B.z|.", "4|B.a|.", "3|.|b.y"}));
}

TEST(LocalRoutineComparison, TextRowsPairByNameTypeAndNumber)
{
    const QStringList fields{"name", "xtype", "colid", "text"};
    ResultSet s(fields), t(fields);
    s.appendRow({"v_same", "V ", 1, "create view v_same as select 1"});
    s.appendRow({"P_Diff", "P ", 1, "create proc p as select 1"});
    s.appendRow({"p_diff", "P ", 2, "-- more"});
    s.appendRow({"kind", "V ", 1, "v"});
    t.appendRow({"V_SAME", "V ", 1, "CREATE VIEW v_same AS SELECT 1  "});  // equal under the collation
    t.appendRow({"p_diff", "P ", 1, "create proc p as select 2"});
    t.appendRow({"kind", "P ", 1, "p"});
    const ResultSet r = compareRoutineSides(s, t);
    EXPECT_EQ(r.fieldNames(), (QStringList{"类型", "匹配情况", "对象名称", "atext", "btext"}));
    QStringList rows;
    for (int i = 0; i < r.rowCount(); ++i)
        rows << r.text(i, "类型") + "|" + r.text(i, "匹配情况") + "|" + r.text(i, "对象名称") + "|"
                    + (r.value(i, "btext").isValid() ? "b" : "null");
    EXPECT_EQ(rows, (QStringList{"存储过程|结构不同|P_Diff|b", "存储过程|目标无|p_diff|null", "视图|目标无|kind|null",
                                 "存储过程|源无|kind|b"}));
}

TEST(LocalSideQueries, TheListingsOwnDerivedTablesWithLocalNames)
{
    const QStringList full = columnDiffQueryLines("[my db].dbo.", "[my db]", "tgt");
    const QStringList sample = columnSideQueryLines(ColumnSide::Sample, "my db", false);
    ASSERT_EQ(sample.size(), 19);
    EXPECT_EQ(sample[0], "SELECT  ");
    EXPECT_EQ(sample.mid(1), full.mid(17, 18));
    const QStringList target = columnSideQueryLines(ColumnSide::Target, "tgt", true);
    EXPECT_EQ(target[0], "SELECT        ");
    EXPECT_EQ(target.mid(1), columnRefreshQueryLines("x.dbo.", "x", "tgt").mid(37, 18));
    EXPECT_EQ(routineSideQueryLines("a]b"), routineDiffQueryLines("x", "a]b").mid(11, 3));
    EXPECT_EQ(localSchemaPrefix("a]b"), "[a]]b]..");
}

}  // namespace
