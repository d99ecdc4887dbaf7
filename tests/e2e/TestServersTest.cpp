// Reading the real servers' accounts from the environment: all or nothing per side and per pair,
// so that a mistyped variable never quietly runs the suite on sqlsim instead.

#include "tests/e2e/TestServers.h"

#include <gtest/gtest.h>

#include <map>

using dbsync::test::accountFromVariables;
using dbsync::test::realServersFrom;

namespace {

struct Variables {
    std::map<QString, QString> values;
    QString operator()(const QString &name) const
    {
        const auto it = values.find(name);
        return it == values.end() ? QString() : it->second;
    }
};

const Variables kBoth{{{"DBSYNC_E2E_SAMPLE", " 10.0.0.2,1433 "},
                       {"DBSYNC_E2E_SAMPLE_USER", "sa"},
                       {"DBSYNC_E2E_SAMPLE_PASSWORD", "p;w'1"},
                       {"DBSYNC_E2E_TARGET", "10.0.0.3,1433"},
                       {"DBSYNC_E2E_TARGET_USER", "admin"},
                       {"DBSYNC_E2E_TARGET_PASSWORD", ""}}};

}  // namespace

TEST(TestServers, NoVariablesMeansSqlsim)
{
    EXPECT_FALSE(realServersFrom(Variables{}).has_value());
}

TEST(TestServers, BothSidesGiveTheirAccountsAsWritten)
{
    const auto real = realServersFrom(kBoth);
    ASSERT_TRUE(real.has_value());
    EXPECT_EQ(real->first.address, "10.0.0.2,1433");  // blanks around the address go
    EXPECT_EQ(real->first.login, "sa");
    EXPECT_EQ(real->first.password, "p;w'1");
    EXPECT_EQ(real->second.address, "10.0.0.3,1433");
    EXPECT_EQ(real->second.login, "admin");
    EXPECT_EQ(real->second.password, "");  // an empty password is a password
}

TEST(TestServers, HalfNamedSidesAndPairsAreErrors)
{
    Variables noUser = kBoth;
    noUser.values.erase("DBSYNC_E2E_TARGET_USER");
    EXPECT_THROW(realServersFrom(noUser), std::invalid_argument);

    Variables onlyPassword;
    onlyPassword.values["DBSYNC_E2E_SAMPLE_PASSWORD"] = "x";
    EXPECT_THROW(accountFromVariables("sample", onlyPassword), std::invalid_argument);

    Variables sampleOnly = kBoth;
    for (const char *name : {"DBSYNC_E2E_TARGET", "DBSYNC_E2E_TARGET_USER", "DBSYNC_E2E_TARGET_PASSWORD"})
        sampleOnly.values.erase(name);
    EXPECT_TRUE(accountFromVariables("sample", sampleOnly).has_value());
    EXPECT_FALSE(accountFromVariables("target", sampleOnly).has_value());
    EXPECT_THROW(realServersFrom(sampleOnly), std::invalid_argument);
}
