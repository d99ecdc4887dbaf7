// The catalogue's row sets turned into the model, as the listing reads them: row by row, texts
// too long for the short form filled in from the last row set.
#include "schema/model/CatalogRead.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace dbsync;
using namespace dbsync::model;

namespace {

ResultSet rows(const QStringList &names, const QList<QVariantList> &values)
{
    ResultSet r(names);
    for (const QVariantList &v : values)
        r.appendRow(QVector<QVariant>(v.begin(), v.end()));
    return r;
}

const QStringList kColumnFields{"object_id", "column_id", "name", "type_name", "is_user_defined", "max_length",
                                "precision", "scale", "is_nullable", "is_identity", "is_computed", "seed_value",
                                "increment_value", "default_name", "default_definition", "default_system_named"};

QVariantList column(qint64 table, qint64 id, const QString &name, const QVariant &defaultName = {},
                    const QVariant &definition = {})
{
    return {table, id, name, QStringLiteral("int "), 0, 4, 10, 0, 1, 0, 0, QVariant(), QVariant(), defaultName,
            definition, 0};
}

// The eleven row sets of a whole catalogue: two dbo tables, columns of table 1 split around
// table 2's, an index with a filter, two checks, and the long texts.
QList<ResultSet> catalogue(const QList<QVariantList> &columns, const QList<QVariantList> &longTexts)
{
    const QVariant null;
    return {
        ResultSet(),
        rows({"object_id", "schema_name", "name"}, {{1, "dbo", "T1"}, {2, " dbo ", "T2"}}),
        rows(kColumnFields, columns),
        rows({"object_id", "index_id", "name", "type", "is_unique", "is_primary_key", "is_unique_constraint",
              "has_filter", "filter_definition", "is_system_named"},
             {{1, 2, "IX_long", 2, 0, 0, 0, 1, null, null}, {1, 3, "IX_short", 2, 0, 0, 0, 1, "([a]>(0))", null}}),
        rows({"object_id", "index_id", "name", "key_ordinal", "is_descending_key", "is_included_column"},
             {{1, 2, " a", 1, 0, 0}, {1, 3, "a ", 1, 1, 0}}),
        rows({"parent_object_id", "object_id", "name", "definition", "is_disabled", "is_not_trusted", "is_system_named"},
             {{1, 10, "CK_long", null, 0, 0, 0}, {1, 11, "CK_short", "([a]<>(1))", 0, 0, 0}}),
        ResultSet(),
        ResultSet(),
        ResultSet(),
        ResultSet(),
        rows({"kind", "object_id", "part_id", "text"}, longTexts),
    };
}

}  // namespace

TEST(CatalogRead, LongTextsFillOnlyWhatTheShortFormLeftOut)
{
    const QString longDefault = QString(2100, QChar(0x4E2D)), longFilter = QStringLiteral(" ([a] <> N'") + QString(2500, 'f') + "') ";
    const QString longCheck = QString(3000, 'c');
    const Database db = readDatabase(catalogue(
        {column(1, 1, "a", "DF_a", QVariant()), column(1, 2, "b", "DF_b", " ((1)) "), column(2, 1, "a"),
         column(1, 3, "c", "DF_c", QVariant())},
        {{"D", 1, 1, longDefault}, {"D", 1, 2, "not this"}, {"D", 1, 3, "((3))"}, {"F", 1, 2, longFilter},
         {"F", 1, 3, "not this"}, {"C", 1, 10, longCheck}, {"C", 1, 11, "not this"}, {"D", 9, 1, "no such table"}}));

    ASSERT_EQ(db.tables.size(), 2);
    const Table &t1 = db.tables[0];
    ASSERT_EQ(t1.columns.size(), 3);  // its rows came split by table 2's, in column order still
    EXPECT_EQ(t1.columns[0].name, "a");
    EXPECT_EQ(t1.columns[1].name, "b");
    EXPECT_EQ(t1.columns[2].name, "c");
    EXPECT_EQ(t1.columns[0].type.name, "int");
    EXPECT_EQ(t1.columns[0].defaultConstraint->definition, longDefault);
    EXPECT_EQ(t1.columns[1].defaultConstraint->definition, " ((1)) ");  // as stored, blanks kept
    EXPECT_EQ(t1.columns[2].defaultConstraint->definition, "((3))");
    EXPECT_EQ(t1.indexes[0].filter, longFilter);
    EXPECT_EQ(t1.indexes[1].filter, "([a]>(0))");
    EXPECT_EQ(t1.indexes[0].keys.value(0).name, "a");
    EXPECT_EQ(t1.indexes[1].keys.value(0).name, "a");
    EXPECT_TRUE(t1.indexes[1].keys.value(0).descending);
    EXPECT_EQ(t1.checks[0].definition, longCheck);
    EXPECT_EQ(t1.checks[1].definition, "([a]<>(1))");
    EXPECT_EQ(db.tables[1].schema, "dbo");
    ASSERT_EQ(db.tables[1].columns.size(), 1);
    EXPECT_FALSE(db.tables[1].columns[0].defaultConstraint);

    // The same rows fed one at a time give the same model.
    CatalogBuilder builder;
    for (const ResultSet &r : catalogue({column(1, 1, "a", "DF_a", QVariant()), column(1, 2, "b")},
                                        {{"D", 1, 1, longDefault}}))
        visitRows(r, builder);
    const Database fed = builder.take();
    EXPECT_EQ(fed.tables[0].columns[0].defaultConstraint->definition, longDefault);
    EXPECT_EQ(fed.tables[0].columns[1].name, "b");
}

TEST(CatalogRead, AnIncompleteOrStrangeAnswerIsRefused)
{
    QList<ResultSet> sets = catalogue({column(1, 1, "a")}, {});
    const QList<ResultSet> whole = sets;
    sets.removeLast();
    EXPECT_THROW(readCatalogBatch(sets), std::runtime_error);
    sets = whole;
    sets << ResultSet();
    EXPECT_THROW(readCatalogBatch(sets), std::runtime_error);

    sets = whole;
    sets[2] = rows({"object_id", "column_id"}, {{1, 1}});
    try {
        readCatalogBatch(sets);
        FAIL() << "a column without its name was read";
    } catch (const std::runtime_error &e) {
        EXPECT_STREQ(e.what(), "the catalogue's answer for columns has no field name");
    }
    // The routine listing's batch has three row sets: tables, modules, dependencies.
    EXPECT_NO_THROW(readCatalogBatch({whole[1], ResultSet(), ResultSet()}, true));
    EXPECT_THROW(readCatalogBatch({whole[1], ResultSet()}, true), std::runtime_error);
}
