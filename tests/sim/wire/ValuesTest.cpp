// Values as the wire types hold them, and whole COLMETADATA/ROW tokens.
#include "sim/tds/Requests.h"
#include "sim/tds/Tokens.h"
#include "sim/tds/Values.h"

#include <gtest/gtest.h>

using namespace sqlsim;
using namespace sqlsim::tds;

TEST(Values, DecimalSignMagnitudeAndRounding)
{
    EXPECT_EQ(encodeDecimal("-12.50", 5, 2), (Bytes{0, 0xE2, 0x04, 0, 0}));  // 1250
    EXPECT_EQ(encodeDecimal("1.005", 5, 2), (Bytes{1, 101, 0, 0, 0}));      // half away from zero
    EXPECT_EQ(encodeDecimal("7", 10, 3), (Bytes{1, 0x58, 0x1B, 0, 0, 0, 0, 0, 0}));  // 7000
    EXPECT_EQ(encodeDecimal("-0.00", 5, 2), (Bytes{1, 0, 0, 0, 0}));        // no negative zero
    EXPECT_EQ(encodeDecimal("99999999999999999999999999999999999999", 38, 0).size(), 17u);
    EXPECT_THROW(encodeDecimal("1000", 3, 0), std::runtime_error);  // overflows the precision
    EXPECT_THROW(encodeDecimal("12a", 5, 0), std::runtime_error);
    EXPECT_THROW(encodeDecimal("", 5, 0), std::runtime_error);
    EXPECT_EQ(decimalBytes(9), 5u);
    EXPECT_EQ(decimalBytes(10), 9u);
    EXPECT_EQ(decimalBytes(28), 13u);
    EXPECT_EQ(decimalBytes(29), 17u);
}

TEST(Values, IntegersAreRangeChecked)
{
    EXPECT_EQ(checkedInt(std::int64_t{255}, 1), 255);
    EXPECT_THROW(checkedInt(std::int64_t{-1}, 1), std::runtime_error);  // tinyint is unsigned
    EXPECT_THROW(checkedInt(std::int64_t{32768}, 2), std::runtime_error);
    EXPECT_THROW(checkedInt(std::int64_t{2147483648LL}, 4), std::runtime_error);
    EXPECT_EQ(checkedInt(std::string(" 17 "), 4), 17);
    EXPECT_THROW(valueAsInt(std::string("x")), std::runtime_error);
    EXPECT_EQ(scaledInteger(DecimalValue{"-1.23456"}, 4), -12346);
}

TEST(Values, DatesAndGuids)
{
    EXPECT_EQ(dateText(DateTimeValue{0, 0}), "1900-01-01");
    EXPECT_EQ(dateText(DateTimeValue{-1, 0}), "1899-12-31");
    EXPECT_EQ(dateText(DateTimeValue{45000, 0}), "2023-03-17");
    EXPECT_EQ(dateTimeText(DateTimeValue{45000, 300 * 3661 + 150}), "2023-03-17 01:01:01.500");
    EXPECT_EQ(dateTimeText(DateTimeValue{0, 1}), "1900-01-01 00:00:00.003");
    EXPECT_EQ(dateTimeText(valueAsDateTime(std::string("2023-03-17 01:01:01.500"))), "2023-03-17 01:01:01.500");
    EXPECT_EQ(valueAsDateTime(std::string("1899-12-31")).days, -1);
    EXPECT_THROW(valueAsDateTime(std::string("2023-13-01")), std::runtime_error);

    const Bytes guid = valueAsGuid(std::string("6F9619FF-8B86-D011-B42D-00C04FC964FF"));
    EXPECT_EQ(guid, (Bytes{0xFF, 0x19, 0x96, 0x6F, 0x86, 0x8B, 0x11, 0xD0, 0xB4, 0x2D, 0x00, 0xC0,
                           0x4F, 0xC9, 0x64, 0xFF}));
    EXPECT_THROW(valueAsGuid(std::string("6F9619FF")), std::runtime_error);
}

TEST(Values, SqlVariantBaseTypes)
{
    EXPECT_EQ(encodeVariant(std::int64_t{7}), (Bytes{6, 0, 0, 0, 0x38, 0, 7, 0, 0, 0}));
    EXPECT_EQ(encodeVariant(std::int64_t{1} << 40)[4], 0x7F);  // bigint
    const Bytes text = encodeVariant(std::string("ab"));
    EXPECT_EQ(text, (Bytes{13, 0, 0, 0, 0xE7, 7, 0x09, 0x04, 0xD0, 0x00, 0x34, 0x40, 0x1F, 'a', 0, 'b', 0}));
    const Bytes dec = encodeVariant(DecimalValue{"-3.25"});
    EXPECT_EQ((Bytes(dec.begin() + 4, dec.begin() + 8)), (Bytes{0x6C, 2, 3, 2}));  // numeric(3,2)
    EXPECT_EQ(dec[8], 0);                                                       // negative
    EXPECT_EQ(encodeVariant(std::monostate{}), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(encodeVariant(DateTimeValue{1, 2})[4], 0x3D);
}

TEST(Columns, MetadataTypesForOldAndNewClients)
{
    const std::vector<Column> cols = {{"n", {TypeId::NVarChar, -1}, true},
                                      {"d", {TypeId::Date}, false}};
    Writer w74;
    writeColMetadata(w74, cols, kTds74);
    const Bytes &b = w74.bytes();
    // count, then user type (4), flags, NVARCHAR with 0xFFFF (PLP), collation, name
    EXPECT_EQ((Bytes(b.begin(), b.begin() + 14)),
              (Bytes{0x81, 2, 0, 0, 0, 0, 0, 1, 0, 0xE7, 0xFF, 0xFF, 0x09, 0x04}));
    // text and ntext travel as MAX types whatever length the engine gives them.
    Writer text;
    writeColMetadata(text, {{"t", {TypeId::NText, 0}, true}}, kTds74);
    EXPECT_EQ((Bytes(text.bytes().begin() + 9, text.bytes().begin() + 12)), (Bytes{0xE7, 0xFF, 0xFF}));

    Writer w71;
    writeColMetadata(w71, cols, kTds71);
    const Bytes &o = w71.bytes();
    // 7.1: 2-byte user type, MAX becomes NTEXT, date becomes nvarchar(10)
    EXPECT_EQ(o[7], 0x63);
    EXPECT_NE(std::find(o.begin() + 8, o.end(), 0xE7), o.end());
}

TEST(Columns, RowValuesAndNulls)
{
    const std::vector<Column> cols = {{"i", {TypeId::Int}, true},
                                      {"v", {TypeId::VarChar, 10}, true},
                                      {"m", {TypeId::NVarChar, -1}, true},
                                      {"c", {TypeId::NChar, 3}, true}};
    Writer w;
    writeRow(w, cols, {std::int64_t{5}, std::string("\xc3\xa9"), std::string("ab"), std::string("x")}, kTds74);
    EXPECT_EQ(w.bytes(), (Bytes{0xD1, 4, 5, 0, 0, 0, 1, 0, 0xE9,
                                4, 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0, 'a', 0, 'b', 0, 0, 0, 0, 0,
                                6, 0, 'x', 0, ' ', 0, ' ', 0}));
    Writer n;
    writeRow(n, cols, Row(4), kTds74);
    EXPECT_EQ(n.bytes(), (Bytes{0xD1, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));

    EXPECT_THROW(writeRow(w, cols, Row(3), kTds74), std::runtime_error);
    Writer bad;
    EXPECT_THROW(writeRow(bad, {{"i", {TypeId::SmallInt}, true}}, {std::int64_t{70000}}, kTds74),
                 std::runtime_error);
}
