// CHECK conditions as SQL Server stores them: each written form gives the stored text, and
// the stored text gives itself again (scripts replay stored definitions).
#include "sim/engine/constraints/CheckText.h"

#include <gtest/gtest.h>

namespace sqlsim {
namespace {

const std::vector<std::string> columns = {"Price", "Status", "Discount", "Class", "PersonType", "BirthDate",
                                          "Shelf", "Flag", "a", "b", "c", "Name"};

std::string stored(const std::string &written)
{
    return normaliseCheck(tokenize(written), columns).definition;
}

int refusal(const std::string &written)
{
    try {
        stored(written);
    } catch (const SqlError &e) {
        return e.number;
    }
    return 0;
}

TEST(CheckText, StoredAsSqlServerStoresIt)
{
    const std::pair<const char *, const char *> cases[] = {
        {"price >= 0", "([Price]>=(0))"},
        {"Status IN ('A','B')", "([Status]='B' OR [Status]='A')"},
        {"Discount BETWEEN 0 AND 1", "([Discount]>=(0) AND [Discount]<=(1))"},
        {"UPPER(Class) IN ('L','M','H') OR Class IS NULL",
         "(upper([Class])='H' OR upper([Class])='M' OR upper([Class])='L' OR [Class] IS NULL)"},
        {"PersonType IS NULL OR UPPER(PersonType) IN ('SC','VC')",
         "([PersonType] IS NULL OR (upper([PersonType])='VC' OR upper([PersonType])='SC'))"},
        {"BirthDate >= '1930-01-01' AND BirthDate <= DATEADD(yy, -18, GETDATE())",
         "([BirthDate]>='1930-01-01' AND [BirthDate]<=dateadd(year,(-18),getdate()))"},
        {"Shelf LIKE '[A-Za-z]' OR Shelf = 'N/A'", "([Shelf] like '[A-Za-z]' OR [Shelf]='N/A')"},
        {"Flag = 1", "([Flag]=(1))"},
        {"a != 3 AND NOT (b > 0 OR b IS NOT NULL)", "([a]<>(3) AND NOT ([b]>(0) OR [b] IS NOT NULL))"},
        {"((a + b) + c * 2.50) > -a", "(([a]+[b])+([c]*(2.50))>-[a])"},
        {"a NOT IN (1, 2) AND Name NOT LIKE N'x''y%'", "([a]<>(2) AND [a]<>(1) AND NOT [Name] like N'x''y%')"},
        {"CAST(a AS varchar(10)) <> '' OR CASE WHEN a > 0 THEN 1 ELSE 0 END = 1",
         "(CONVERT([varchar](10),[a])<>'' OR case when [a]>(0) then (1) else (0) end=(1))"},
    };
    for (const auto &[written, expected] : cases) {
        EXPECT_EQ(stored(written), expected) << written;
        EXPECT_EQ(stored(expected), expected) << "again: " << expected;
    }
}

TEST(CheckText, RefusesWhatSqlServerRefuses)
{
    EXPECT_EQ(refusal("x > 0"), 207);
    EXPECT_EQ(refusal("a IN (SELECT 1)"), 1046);
    EXPECT_EQ(refusal("EXISTS (SELECT 1)"), 1046);
    EXPECT_EQ(refusal("a + 1"), 4145);
    EXPECT_EQ(refusal("dbo.f(a) = 1"), 50000);
}

}  // namespace
}  // namespace sqlsim
