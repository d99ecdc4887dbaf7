#include "db/ConnectionString.h"
#include "db/DbError.h"

#include "tests/db/QtPrinters.h"

#include <gtest/gtest.h>

using namespace dbsync;

namespace {

const OdbcDriverChoice kFreeTds{OdbcDriverChoice::Kind::FreeTds, "FreeTDS"};
const OdbcDriverChoice kMicrosoft{OdbcDriverChoice::Kind::Microsoft, "ODBC Driver 18 for SQL Server"};

bool noFiles(const QString &) { return false; }

}  // namespace

TEST(ConnectionString, OleDbTextIsBuiltPieceByPiece)
{
    EXPECT_EQ(buildConnectionString("pw", "sa", std::nullopt, "10.0.0.5"),
              "Provider=SQLOLEDB.1;Persist Security Info=True;;Password=pw;User ID=sa;Data Source=10.0.0.5");
    EXPECT_EQ(buildConnectionString("pw", "sa", QString(" shop "), "127.0.0.1,1433"),
              "Provider=SQLOLEDB.1;Persist Security Info=True;;Password=pw;User ID=sa;"
              "Initial Catalog= shop ;Data Source=127.0.0.1,1433");
    EXPECT_EQ(buildConnectionString("", "sa", std::nullopt, "h"),
              "Provider=SQLOLEDB.1;Persist Security Info=True;;Password=;User ID=sa;Data Source=h");
}

TEST(ConnectionString, TrimRemovesBlanksAndControlsOnly)
{
    EXPECT_EQ(trimBlanksAndControls(" \t shop\r\n"), "shop");
    EXPECT_EQ(trimBlanksAndControls("a b"), "a b");
    EXPECT_EQ(trimBlanksAndControls("   "), "");
    EXPECT_EQ(trimBlanksAndControls(QString::fromUtf8("\u3000库\u3000")), QString::fromUtf8("\u3000库\u3000"));
}

TEST(ConnectionString, OleDbParsingFollowsTheProviderRules)
{
    const auto pairs = parseOleDbConnectionString(
        "Provider=SQLOLEDB.1;Persist Security Info=True;;Password=p w ;User ID='a;b''c';Data Source=\"x\"");
    ASSERT_EQ(pairs.size(), 5);
    EXPECT_EQ(pairs[2].first, "Password");
    EXPECT_EQ(pairs[2].second, "p w");
    EXPECT_EQ(pairs[3].second, "a;b'c");
    EXPECT_EQ(pairs[4].second, "x");
    EXPECT_THROW(parseOleDbConnectionString("Password=a;b;User ID=x"), DbError);
    EXPECT_THROW(parseOleDbConnectionString("Password='open"), DbError);
    EXPECT_THROW(parseOleDbConnectionString("=x"), DbError);
}

TEST(ConnectionString, TranslatesForFreeTds)
{
    EXPECT_EQ(toOdbcConnectionString(buildConnectionString("pw", "sa", QString("shop"), "127.0.0.1,14330"), kFreeTds),
              "DRIVER={FreeTDS};Server=127.0.0.1;Port=14330;UID=sa;PWD=pw;Database=shop;"
              "TDS_Version=7.4;ClientCharset=UTF-8");
    EXPECT_EQ(toOdbcConnectionString(buildConnectionString("p", "u", std::nullopt, "(local),1500"), kFreeTds),
              "DRIVER={FreeTDS};Server=127.0.0.1;Port=1500;UID=u;PWD=p;TDS_Version=7.4;ClientCharset=UTF-8");
}

// Each address form as each driver is given it: a bare host is port 1433, an instance is left to
// the SQL Server Browser, a port given wins over an instance.
TEST(ConnectionString, AddressForms)
{
    const struct {
        QString address, freeTds, microsoft;
    } cases[] = {
        {"dbhost", "Server=dbhost;Port=1433", "Server=dbhost,1433"},
        {" tcp:dbhost , 1500 ", "Server=dbhost;Port=1500", "Server=dbhost,1500"},
        {"TCP:.", "Server=127.0.0.1;Port=1433", "Server=127.0.0.1,1433"},
        {"dbhost\\SQLEXPRESS", "Server=dbhost\\SQLEXPRESS", "Server=dbhost\\SQLEXPRESS"},
        {"(local)\\INST,1501", "Server=127.0.0.1;Port=1501", "Server=127.0.0.1\\INST,1501"},
    };
    for (const auto &c : cases) {
        const QString freeTds = toOdbcConnectionString(buildConnectionString("", "sa", std::nullopt, c.address), kFreeTds);
        EXPECT_EQ(freeTds, "DRIVER={FreeTDS};" + c.freeTds + ";UID=sa;PWD=;TDS_Version=7.4;ClientCharset=UTF-8");
        const QString microsoft =
            toOdbcConnectionString(buildConnectionString("pw", "sa", std::nullopt, c.address), kMicrosoft);
        EXPECT_EQ(microsoft, "DRIVER={ODBC Driver 18 for SQL Server};" + c.microsoft
                                 + ";UID=sa;PWD=pw;Encrypt=no;TrustServerCertificate=yes");
    }
}

TEST(ConnectionString, OdbcValuesAreBracedWhereNeeded)
{
    using K = OdbcDriverChoice::Kind;
    for (K kind : {K::FreeTds, K::Microsoft}) {
        EXPECT_EQ(odbcValue("plain", kind), "plain");
        EXPECT_EQ(odbcValue("", kind), "");
        EXPECT_EQ(odbcValue("a;b", kind), "{a;b}");
        EXPECT_EQ(odbcValue("{x", kind), "{{x}");
        EXPECT_EQ(odbcValue(" lead", kind), "{ lead}");
        EXPECT_EQ(odbcValue(QString::fromUtf8("数据库"), kind), QString::fromUtf8("数据库"));
    }
    // FreeTDS takes a braced value as it stands, up to the first "};".
    EXPECT_EQ(odbcValue("a}b", K::FreeTds), "a}b");
    EXPECT_EQ(odbcValue("a;}", K::FreeTds), "{a;}}");
    EXPECT_EQ(odbcValue("{ab}", K::FreeTds), "{{ab}}");
    EXPECT_EQ(odbcValue(QString::fromUtf8("p'w;{x}--中 文"), K::FreeTds), QString::fromUtf8("{p'w;{x}--中 文}"));
    EXPECT_THROW(odbcValue("x};UID=evil", K::FreeTds), DbError);
    EXPECT_EQ(odbcValue("a}b", K::Microsoft), "{a}}b}");
    EXPECT_EQ(odbcValue("{ab}", K::Microsoft), "{{ab}}}");
    EXPECT_EQ(odbcValue("x};UID=evil", K::Microsoft), "{x}};UID=evil}");
    // A catalogue name cannot add keywords of its own.
    EXPECT_EQ(toOdbcConnectionString("Password=p;User ID=u;Initial Catalog='x;UID=evil';Data Source=h", kFreeTds),
              "DRIVER={FreeTDS};Server=h;Port=1433;UID=u;PWD=p;Database={x;UID=evil};TDS_Version=7.4;ClientCharset=UTF-8");
}

TEST(ConnectionString, ValuesThatBreakTheOleDbSyntaxAreRejected)
{
    // A semicolon in a value as typed: the provider's own complaint, nothing is connected.
    try {
        toOdbcConnectionString(buildConnectionString("a;b", "sa", std::nullopt, "h"), kFreeTds);
        FAIL() << "no error";
    } catch (const DbError &e) {
        EXPECT_STREQ(e.what(), "Format of the initialization string does not conform to the OLE DB specification.");
    }
    EXPECT_THROW(toOdbcConnectionString(buildConnectionString("a;Server=evil", "sa", std::nullopt, "h"), kFreeTds),
                 DbError);
}

TEST(ConnectionString, ParametersGoToOdbcWhole)
{
    const ConnectionParameters p{QString::fromUtf8("p'w;{x}--中 文"), QString::fromUtf8("o'd;[x]--中文"),
                                 QString(" shop "), "127.0.0.1,1500"};
    EXPECT_EQ(buildConnectionString(p),
              QString::fromUtf8("Provider=SQLOLEDB.1;Persist Security Info=True;;Password=p'w;{x}--中 文;"
                                "User ID=o'd;[x]--中文;Initial Catalog= shop ;Data Source=127.0.0.1,1500"));
    EXPECT_EQ(toOdbcConnectionString(p, kFreeTds),
              QString::fromUtf8("DRIVER={FreeTDS};Server=127.0.0.1;Port=1500;UID={o'd;[x]--中文};"
                                "PWD={p'w;{x}--中 文};Database={ shop };TDS_Version=7.4;ClientCharset=UTF-8"));

    const ConnectionParameters parsed = parametersFromConnectionString(
        "Provider=SQLOLEDB.1;Persist Security Info=True;;Password=pw;User ID=sa;Data Source=h,1");
    EXPECT_EQ(parsed.password, "pw");
    EXPECT_EQ(parsed.login, "sa");
    EXPECT_FALSE(parsed.initialCatalog);
    EXPECT_EQ(parsed.address, "h,1");
    EXPECT_THROW(parametersFromConnectionString("Password=p;Server=evil"), DbError);
}

TEST(ConnectionString, OleDbValueQuotesOnlyWhatWouldBreak)
{
    EXPECT_EQ(oleDbValue("secret"), "secret");
    EXPECT_EQ(oleDbValue(" spaced "), " spaced ");
    EXPECT_EQ(oleDbValue("a;b"), "\"a;b\"");
    EXPECT_EQ(oleDbValue("'x"), "\"'x\"");
    EXPECT_EQ(oleDbValue("\"x;\""), "\"\"\"x;\"\"\"");
    const auto pairs = parseOleDbConnectionString("Password=" + oleDbValue("\"x;\"") + ";User ID=u");
    EXPECT_EQ(pairs[0].second, "\"x;\"");
}

TEST(DriverChoice, PrefersMicrosoftThenFreeTds)
{
    const QList<OdbcDriverInfo> all = {{"FreeTDS", "libtdsodbc.so"},
                                       {"ODBC Driver 17 for SQL Server", "/opt/microsoft/msodbcsql17/lib64/x.so"},
                                       {"ODBC Driver 18 for SQL Server", "/opt/microsoft/msodbcsql18/lib64/x.so"}};
    auto choice = chooseOdbcDriver(all, noFiles);
    ASSERT_TRUE(choice);
    EXPECT_EQ(choice->kind, OdbcDriverChoice::Kind::Microsoft);
    EXPECT_EQ(choice->driver, "ODBC Driver 18 for SQL Server");

    choice = chooseOdbcDriver({all[0], all[1]}, noFiles);
    EXPECT_EQ(choice->driver, "ODBC Driver 17 for SQL Server");

    choice = chooseOdbcDriver({{"PostgreSQL", "psqlodbcw.so"}, all[0]}, noFiles);
    EXPECT_EQ(choice->kind, OdbcDriverChoice::Kind::FreeTds);
    EXPECT_EQ(choice->driver, "FreeTDS");
}

TEST(DriverChoice, FindsFreeTdsByLibraryOrPath)
{
    auto choice = chooseOdbcDriver({{"TDS", "/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so"}}, noFiles);
    ASSERT_TRUE(choice);
    EXPECT_EQ(choice->driver, "TDS");

    choice = chooseOdbcDriver({}, [](const QString &path) { return path == "/usr/local/lib/libtdsodbc.so"; });
    ASSERT_TRUE(choice);
    EXPECT_EQ(choice->kind, OdbcDriverChoice::Kind::FreeTds);
    EXPECT_EQ(choice->driver, "/usr/local/lib/libtdsodbc.so");

    EXPECT_FALSE(chooseOdbcDriver({{"PostgreSQL", "psqlodbcw.so"}}, noFiles));
}

TEST(DriverChoice, FindsTheDistributionsUnregisteredFreeTds)
{
    // Where each distribution's FreeTDS ODBC package puts the library.
    for (const QString &path : {QStringLiteral("/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so"),  // Debian, Ubuntu
                               QStringLiteral("/usr/lib/aarch64-linux-gnu/odbc/libtdsodbc.so"),
                               QStringLiteral("/usr/lib/arm-linux-gnueabihf/odbc/libtdsodbc.so"),
                               QStringLiteral("/usr/lib64/libtdsodbc.so.0")}) {  // Fedora
        const auto choice = chooseOdbcDriver({}, [&path](const QString &candidate) { return candidate == path; });
        ASSERT_TRUE(choice) << path.toStdString();
        EXPECT_EQ(choice->kind, OdbcDriverChoice::Kind::FreeTds);
        EXPECT_EQ(choice->driver, path);
    }
    // A registered driver wins over a library found on disk.
    const auto choice = chooseOdbcDriver({{"ODBC Driver 18 for SQL Server", "msodbcsql18.dll"}},
                                         [](const QString &) { return true; });
    ASSERT_TRUE(choice);
    EXPECT_EQ(choice->kind, OdbcDriverChoice::Kind::Microsoft);
}
