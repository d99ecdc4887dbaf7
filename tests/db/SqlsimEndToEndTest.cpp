// The data access layer against two sqlsim servers: what reaches the server, what comes back,
// and how failures surface.

#include "db/AdoCommand.h"
#include "db/AdoConnection.h"
#include "db/AdoQuery.h"
#include "db/ConnectionString.h"
#include "db/CrossServer.h"
#include "db/DatabaseObjects.h"
#include "db/DbError.h"
#include "db/ServerAccess.h"
#include "tests/db/QtPrinters.h"
#include "tests/db/SqlsimProcess.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>
#include <memory>

using namespace dbsync;
using dbsync::test::SqlsimProcess;

namespace {

class RecordingLists : public DatabaseLists {
public:
    QStringList sample, target;
    QStringList calls;
    void clearSample() override { sample.clear(), calls << "clearSample"; }
    void clearTarget() override { target.clear(), calls << "clearTarget"; }
    void appendSample(const QString &name) override { sample << name; }
    void appendTarget(const QString &name) override { target << name; }
};

class SqlsimEndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (test::sqlsimBinary().isEmpty())
            return;
        SqlsimProcess::Server sample{"sample", QString::fromUtf8("用户"), QString::fromUtf8("密'码]-- x"),
                                     {"shop", QString::fromUtf8("样本库")}};
        SqlsimProcess::Server target{"target", "admin", "p'w;{x}]--", {"shop", "other"}};
        sim = std::make_unique<SqlsimProcess>(QList<SqlsimProcess::Server>{sample, target});
    }
    static void TearDownTestSuite() { sim.reset(); }

    void SetUp() override
    {
        if (!sim)
            GTEST_SKIP() << "sqlsim is not built";
    }

    static ServerFields fields()
    {
        ServerFields f;
        f.EIP = sim->address("sample");
        f.EUser = QString::fromUtf8("用户");
        f.EPassword = QString::fromUtf8(" 密'码]-- x\t");
        f.ComboBox1 = "shop";
        f.Edit2 = " " + sim->address("target") + " ";
        f.Edit3 = "admin";
        f.MaskEdit1 = "p'w;{x}]--";
        f.ComboBox2 = "shop";
        return f;
    }

    static QStringList batchesSince(const QString &server, qsizetype before)
    {
        return sim->batches(server).mid(before);
    }

    static std::unique_ptr<SqlsimProcess> sim;
};

std::unique_ptr<SqlsimProcess> SqlsimEndToEnd::sim;

}  // namespace

TEST_F(SqlsimEndToEnd, ListsBothServersInServerOrder)
{
    DatabaseObjects db;
    RecordingLists lists;
    const qsizetype sampleBefore = sim->batches("sample").size();
    const qsizetype targetBefore = sim->batches("target").size();
    listDatabases(fields(), db.ADOConnection1, db.ADOConnection2, db.ADOQuery1, db.ADOQuery4, lists);

    EXPECT_TRUE(db.ADOConnection1.isOpen());
    EXPECT_TRUE(db.ADOConnection2.isOpen());
    EXPECT_FALSE(db.ADOConnection3.isOpen());
    EXPECT_TRUE(db.ADOQuery1.isOpen());
    EXPECT_TRUE(db.ADOQuery4.isOpen());
    ASSERT_GE(lists.sample.size(), 2);
    EXPECT_EQ(lists.sample.mid(lists.sample.size() - 2), QStringList({"shop", QString::fromUtf8("样本库")}));
    EXPECT_TRUE(lists.sample.contains("master"));
    EXPECT_EQ(lists.target.mid(lists.target.size() - 2), QStringList({"shop", "other"}));
    EXPECT_FALSE(lists.target.contains(QString::fromUtf8("样本库")));
    EXPECT_EQ(lists.calls, QStringList({"clearSample", "clearTarget", "clearTarget"}));
    EXPECT_EQ(batchesSince("sample", sampleBefore), QStringList{"select name from master..sysdatabases "});
    EXPECT_EQ(batchesSince("target", targetBefore), QStringList{"select name from master..sysdatabases "});
}

TEST_F(SqlsimEndToEnd, ConnectOpensAllThreeAndReopensEveryTime)
{
    DatabaseObjects db;
    connectServers(fields(), db.ADOConnection1, db.ADOConnection2, db.ADOConnection3);
    EXPECT_TRUE(db.ADOConnection1.isOpen() && db.ADOConnection2.isOpen() && db.ADOConnection3.isOpen());
    EXPECT_EQ(db.ADOConnection3.connectionString(),
              "Provider=SQLOLEDB.1;Persist Security Info=True;;Password=p'w;{x}]--;User ID=admin;"
              "Initial Catalog=shop;Data Source=" + sim->address("target"));

    db.ADOQuery3.setSql({"select db_name() as d"});
    db.ADOQuery3.open();
    EXPECT_EQ(db.ADOQuery3.fieldText("d"), "shop");

    ServerFields other = fields();
    other.ComboBox2 = "other";
    connectServers(other, db.ADOConnection1, db.ADOConnection2, db.ADOConnection3);
    db.ADOQuery3.close();
    db.ADOQuery3.open();
    EXPECT_EQ(db.ADOQuery3.fieldText("d"), "other");
}

TEST_F(SqlsimEndToEnd, WrongPasswordShowsTheServerTextAndStopsThere)
{
    DatabaseObjects db;
    connectServers(fields(), db.ADOConnection1, db.ADOConnection2, db.ADOConnection3);
    const QString earlierTargetDatabase = db.ADOConnection3.connectionString();

    ServerFields f = fields();
    f.Edit3 = "x";
    try {
        connectServers(f, db.ADOConnection1, db.ADOConnection2, db.ADOConnection3);
        FAIL() << "login succeeded";
    } catch (const DbError &e) {
        EXPECT_STREQ(e.what(), "Login failed for user 'x'.");
    }
    EXPECT_TRUE(db.ADOConnection1.isOpen());
    EXPECT_FALSE(db.ADOConnection2.isOpen());
    EXPECT_EQ(db.ADOConnection2.connectionString(), targetServerConnectionString(f));
    EXPECT_TRUE(db.ADOConnection3.isOpen());
    EXPECT_EQ(db.ADOConnection3.connectionString(), earlierTargetDatabase);

    // The window stays usable: the right values connect again.
    connectServers(fields(), db.ADOConnection1, db.ADOConnection2, db.ADOConnection3);
    EXPECT_TRUE(db.ADOConnection2.isOpen());
}

TEST_F(SqlsimEndToEnd, MissingInitialCatalogAndDownServerFail)
{
    AdoConnection connection;
    ServerFields f = fields();
    f.ComboBox2 = "nope";
    try {
        reopenConnection(connection, targetDatabaseParameters(f));
        FAIL() << "opened";
    } catch (const DbError &e) {
        EXPECT_STREQ(e.what(), "Cannot open database \"nope\" requested by the login. The login failed.");
    }
    EXPECT_FALSE(connection.isOpen());

    QElapsedTimer timer;
    timer.start();
    // Nothing listens on port 1 of the loopback.
    EXPECT_THROW(reopenConnection(connection, buildConnectionString("pw", "sa", std::nullopt, "127.0.0.1,1")), DbError);
    EXPECT_LT(timer.elapsed(), 16000);
    EXPECT_FALSE(connection.isOpen());
}

TEST_F(SqlsimEndToEnd, ValuesArriveAsTextNumbersAndNulls)
{
    AdoConnection connection;
    reopenConnection(connection, sampleServerConnectionString(fields()));
    AdoQuery query(&connection, 0);
    query.setSql({"select N'中文名称' as name, 42 as n, 2.5 as d, null as z,", "  1 as n, '' as e"});
    query.open();
    EXPECT_EQ(query.result().fieldNames(), QStringList({"name", "n", "d", "z", "n_1", "e"}));
    EXPECT_EQ(query.fieldByName("name").toString(), QString::fromUtf8("中文名称"));
    EXPECT_EQ(query.fieldByName("n").typeId(), QMetaType::LongLong);
    EXPECT_EQ(query.fieldByName("n").toLongLong(), 42);
    EXPECT_DOUBLE_EQ(query.fieldByName("d").toDouble(), 2.5);
    EXPECT_FALSE(query.fieldByName("z").isValid());
    EXPECT_EQ(query.fieldText("z"), "");
    EXPECT_EQ(query.fieldByName("n_1").toLongLong(), 1);
    EXPECT_TRUE(query.fieldByName("e").isValid());
    EXPECT_EQ(query.fieldText("e"), "");
    EXPECT_EQ(sim->batches("sample").back(),
              QString::fromUtf8("select N'中文名称' as name, 42 as n, 2.5 as d, null as z,\r\n  1 as n, '' as e"));
}

TEST_F(SqlsimEndToEnd, MaxTypesAndSqlVariantArriveWhole)
{
    AdoConnection connection;
    ServerFields sample = fields();
    reopenConnection(connection, buildConnectionString(QString::fromUtf8("密'码]-- x"), QString::fromUtf8("用户"),
                                                       QString("shop"), sample.EIP));
    AdoCommand command(&connection);
    command.setCommandText(QString::fromUtf8("create table 客户 (名称 nvarchar(50) null)"));
    command.execute();
    command.setCommandText(QString::fromUtf8("exec sp_addextendedproperty 'MS_Description', N'客户名称', "
                                             "'schema', 'dbo', 'table', N'客户', 'column', N'名称'"));
    command.execute();
    const QString body = "create procedure 长过程 as select N'" + QString(5000, QChar(0x4E2D)) + "' as x";
    command.setCommandText(body);
    command.execute();

    AdoQuery query(&connection, 0);
    query.setSql({"select value from sys.extended_properties"});
    query.open();
    EXPECT_EQ(query.fieldText("value"), QString::fromUtf8("客户名称"));
    query.close();
    // More than one fetch piece, through a MAX column.
    query.setSql({"select definition from sys.sql_modules"});
    query.open();
    EXPECT_EQ(query.fieldText("definition"), body);
}

// Bound columns fetched in blocks: more rows than one block holds, numbers, decimals and text,
// and nulls in each column. (The listings mix bound columns with sql_variant ones.)
TEST_F(SqlsimEndToEnd, ManyRowsOfEveryKindArriveInOrder)
{
    AdoConnection connection;
    reopenConnection(connection, sampleServerConnectionString(fields()));
    QStringList digits;
    for (int i = 0; i < 30; ++i)
        digits << QString("select %1 as k").arg(i);
    const QString numbers = "(" + digits.join(" union all ") + ")";
    AdoQuery query(&connection, 0);
    query.setSql({"select a.k * 30 + b.k as n,",
                  "  case when b.k = 7 then null else N'名' + cast(a.k as nvarchar) end as t,",
                  "  case when b.k = 8 then null else b.k * 0.25 end as d,",
                  "  case when b.k = 9 then null else b.k / 8e0 end as f",
                  "from " + numbers + " a cross join " + numbers + " b order by n"});
    query.open();
    const dbsync::ResultSet &r = query.result();
    ASSERT_EQ(r.rowCount(), 900);
    for (int row = 0; row < 900; ++row) {
        const int a = row / 30, b = row % 30;
        ASSERT_EQ(r.value(row, "n").toLongLong(), row);
        if (b == 7)
            EXPECT_FALSE(r.value(row, "t").isValid());
        else
            EXPECT_EQ(r.value(row, "t").toString(), QString::fromUtf8("名") + QString::number(a));
        if (b == 8)
            EXPECT_FALSE(r.value(row, "d").isValid());
        else
            EXPECT_DOUBLE_EQ(r.value(row, "d").toDouble(), b / 4.0);
        if (b == 9)
            EXPECT_FALSE(r.value(row, "f").isValid());
        else
            EXPECT_DOUBLE_EQ(r.value(row, "f").toDouble(), b / 8.0);
    }
}

TEST_F(SqlsimEndToEnd, MalformedStringFailsBeforeTheServer)
{
    AdoConnection connection;
    ServerFields f = fields();
    f.EPassword = "pw;x--";
    const auto attempts = [] {
        qsizetype n = 0;
        for (const QJsonObject &event : sim->events())
            n += event.value("event").toString().startsWith("login");
        return n;
    };
    const qsizetype before = attempts();
    try {
        reopenConnection(connection, sampleServerConnectionString(f));
        FAIL() << "opened";
    } catch (const DbError &e) {
        EXPECT_STREQ(e.what(), "Format of the initialization string does not conform to the OLE DB specification.");
    }
    EXPECT_EQ(attempts(), before);
}

TEST_F(SqlsimEndToEnd, HostileFieldsRunOnlyTheListQuery)
{
    DatabaseObjects db;
    RecordingLists lists;
    ServerFields f = fields();
    f.ComboBox1 = "x'; drop database shop--";
    f.ComboBox2 = QString::fromUtf8("[目标]; select 1 --");
    const qsizetype sampleBefore = sim->batches("sample").size();
    const qsizetype targetBefore = sim->batches("target").size();
    listDatabases(f, db.ADOConnection1, db.ADOConnection2, db.ADOQuery1, db.ADOQuery4, lists);
    EXPECT_EQ(batchesSince("sample", sampleBefore), QStringList{databaseListQuery()});
    EXPECT_EQ(batchesSince("target", targetBefore), QStringList{databaseListQuery()});

    // As an initial catalogue the name is only a name: the login fails on it, nothing runs.
    EXPECT_THROW(connectServers(f, db.ADOConnection1, db.ADOConnection2, db.ADOConnection3), DbError);
    EXPECT_TRUE(db.ADOConnection2.isOpen());
    EXPECT_FALSE(db.ADOConnection3.isOpen());
    EXPECT_EQ(batchesSince("target", targetBefore), QStringList{databaseListQuery()});
}

TEST_F(SqlsimEndToEnd, RowsWalkForwardAndByBookmark)
{
    AdoConnection connection;
    reopenConnection(connection, sampleServerConnectionString(fields()));
    AdoQuery query(&connection, 0);
    query.setSql({databaseListQuery()});
    query.open();
    const QStringList names = readDatabaseList(query);
    ASSERT_GE(names.size(), 3);
    EXPECT_TRUE(query.eof());
    EXPECT_THROW(query.fieldByName("name"), DbError);
    query.moveToBookmark(1);
    EXPECT_EQ(query.fieldText("name"), names[1]);
    EXPECT_THROW(query.moveToBookmark(int(names.size())), DbError);
    EXPECT_THROW(query.fieldByName("nosuchfield"), DbError);
    query.close();
    EXPECT_TRUE(query.eof());
    EXPECT_THROW(query.fieldByName("name"), DbError);
}

TEST_F(SqlsimEndToEnd, EnablingStepSendsTheFourStatements)
{
    DatabaseObjects db;
    connectServers(fields(), db.ADOConnection1, db.ADOConnection2, db.ADOConnection3);
    const qsizetype before = sim->batches("target").size();
    runEnablingStep(db.ADOCommand1);
    runEnablingStep(db.ADOCommand1);  // already on: still no error
    EXPECT_EQ(batchesSince("target", before), enablingStatements() + enablingStatements());
}

TEST_F(SqlsimEndToEnd, ErrorsAnywhereInABatchSurfaceAndMessagesDoNot)
{
    AdoConnection connection;
    reopenConnection(connection, sampleServerConnectionString(fields()));
    AdoCommand command(&connection);
    command.setCommandText("print 'just saying'");
    EXPECT_NO_THROW(command.execute());

    command.setCommandText("select 1 as a\r\nselect * from no_such_table");
    try {
        command.execute();
        FAIL() << "no error";
    } catch (const DbError &e) {
        EXPECT_STREQ(e.what(), "Invalid object name 'no_such_table'.");
    }
    AdoQuery query(&connection);
    query.setSql({"select 1 as a", "select * from no_such_table"});
    EXPECT_THROW(query.open(), DbError);
    EXPECT_FALSE(query.isOpen());
    query.setSql({"print 'only a message'"});
    EXPECT_THROW(query.open(), DbError);  // no row set
    EXPECT_NO_THROW(query.execSQL());
}

// Several queries in one round trip: every row set in order, empty ones kept, messages and
// row counts passed over; an error in any of them opens nothing.
TEST_F(SqlsimEndToEnd, OneBatchGivesEveryRowSetInOrder)
{
    AdoConnection first, second;
    reopenConnection(first, sampleServerConnectionString(fields()));
    reopenConnection(second, sampleServerConnectionString(fields()));
    AdoQuery a(&first, 0), b(&second, 0);
    a.setSql({"select 1 as n union all select 2", "print 'between'", "select N'名' as t where 1 = 0",
              "set xact_abort on", "select 3 as x, null as z"});
    b.setSql({"select 'only' as t"});
    const qsizetype before = sim->batches("sample").size();
    AdoQuery::openAllTogether({&a, &b});
    EXPECT_EQ(batchesSince("sample", before).size(), 2);
    ASSERT_EQ(a.results().size(), 3);
    EXPECT_EQ(a.results()[0].rowCount(), 2);
    EXPECT_EQ(a.results()[0].value(1, "n").toLongLong(), 2);
    EXPECT_EQ(a.results()[1].fieldNames(), QStringList{"t"});
    EXPECT_EQ(a.results()[1].rowCount(), 0);
    EXPECT_EQ(a.results()[2].value(0, "x").toLongLong(), 3);
    EXPECT_FALSE(a.results()[2].value(0, "z").isValid());
    EXPECT_EQ(a.result().fieldNames(), QStringList{"n"});  // the first, as open() gives it
    EXPECT_EQ(a.fieldByName("n").toLongLong(), 1);
    ASSERT_EQ(b.results().size(), 1);
    EXPECT_EQ(b.fieldText("t"), "only");

    a.close();
    EXPECT_TRUE(a.results().isEmpty());
    a.setSql({"select 1 as n", "select * from no_such_table", "select 2 as m"});
    EXPECT_THROW(a.openAll(), DbError);
    EXPECT_FALSE(a.isOpen());
    EXPECT_TRUE(a.results().isEmpty());
    // open() still keeps the first row set alone.
    a.setSql({"select 1 as n", "select 2 as m"});
    a.open();
    EXPECT_EQ(a.results().size(), 1);
}

// Rows handed over as fetched read as the stored ones do, through every accessor: bound
// numbers and texts, decimals, nulls, a MAX text read in pieces (so a row at a time), blanks
// kept; text views exist only for texts held in place.
TEST_F(SqlsimEndToEnd, VisitedRowsReadAsStoredOnes)
{
    AdoConnection first, second;
    reopenConnection(first, sampleServerConnectionString(fields()));
    reopenConnection(second, sampleServerConnectionString(fields()));
    QStringList digits;
    for (int i = 0; i < 30; ++i)
        digits << QString("select %1 as k").arg(i);
    const QString numbers = "(" + digits.join(" union all ") + ")";
    const QStringList batch{
        "select a.k * 30 + b.k as n, N' 名' + cast(a.k * 30 + b.k as nvarchar(10)) + N' ' as t,",
        "  cast(b.k as decimal(9,2)) / 4 as d, cast(b.k as decimal(9,0)) as w,",
        "  case when b.k % 3 = 0 then null else b.k end as z",
        "from " + numbers + " a cross join " + numbers + " b order by n",
        "select k, cast(N'长' + cast(k as nvarchar(10)) as nvarchar(max)) as m, N' ' + cast(k as nvarchar(10)) as t",
        "from " + numbers + " a order by k",
        "select 'only' as t where 1 = 0",
        "select null as n, 7 as n"};
    AdoQuery stored(&first, 0), visited(&second, 0);
    stored.setSql(batch);
    visited.setSql(batch);
    stored.openAll();

    struct Recorder : RowVisitor {
        QList<QStringList> names;
        QList<QList<QVariantList>> rows;  // per row set, per row: each column's readings
        void begin(const QStringList &fieldNames) override { names << fieldNames, rows.append(QList<QVariantList>()); }
        void row(const FetchedRow &row) override
        {
            QVariantList cells;
            for (int c = 0; c < names.back().size(); ++c) {
                QStringView view;
                const bool inPlace = row.textView(c, view);
                cells.append(QVariant(QVariantList{row.value(c), row.isNull(c), row.number(c), row.text(c),
                                                   inPlace ? QVariant(view.toString()) : QVariant()}));
            }
            rows.back().append(cells);
        }
    };
    const auto recorder = std::make_shared<Recorder>();
    AdoQuery::visitAllTogether({{&visited, recorder}});
    EXPECT_FALSE(visited.isOpen());

    ASSERT_EQ(recorder->rows.size(), stored.results().size());
    for (qsizetype s = 0; s < stored.results().size(); ++s) {
        const ResultSet &expected = stored.results()[s];
        EXPECT_EQ(recorder->names[s], expected.fieldNames());
        ASSERT_EQ(recorder->rows[s].size(), expected.rowCount());
        for (int r = 0; r < expected.rowCount(); ++r)
            for (int c = 0; c < expected.fieldCount(); ++c) {
                const QVariant &v = expected.value(r, c);
                const QVariantList got = recorder->rows[s][r][c].toList();
                ASSERT_EQ(got[0], v) << s << " " << r << " " << c;
                EXPECT_EQ(got[1].toBool(), v.isNull());
                EXPECT_EQ(got[2].toLongLong(), v.toLongLong());
                EXPECT_EQ(got[3].toString(), v.toString());
                if (got[4].isValid()) {
                    EXPECT_EQ(got[4].toString(), v.toString());
                }
            }
    }
    ASSERT_EQ(recorder->rows[0].size(), 900);
    EXPECT_EQ(recorder->rows[0][899][1].toList()[4].toString(), QString::fromUtf8(" 名899 "));  // bound, in place
    EXPECT_FALSE(recorder->rows[0][1][0].toList()[4].isValid());  // a number has no text view
    ASSERT_EQ(recorder->rows[1].size(), 30);
    EXPECT_EQ(recorder->rows[1][29][1].toList()[3].toString(), QString::fromUtf8("长29"));
    EXPECT_EQ(recorder->names[3], QStringList({"n", "n_1"}));

    // An error anywhere in the batch surfaces; so does a batch without any row set.
    visited.setSql({"select 1 as n", "select * from no_such_table"});
    EXPECT_THROW(AdoQuery::visitAllTogether({{&visited, std::make_shared<Recorder>()}}), DbError);
    visited.setSql({"print 'only a message'"});
    EXPECT_THROW(AdoQuery::visitAllTogether({{&visited, std::make_shared<Recorder>()}}), DbError);
}

TEST_F(SqlsimEndToEnd, StalledStatementTimesOutAndTheConnectionGoesOn)
{
    AdoConnection connection;
    reopenConnection(connection, sampleServerConnectionString(fields()));
    AdoCommand arm(&connection);
    arm.setCommandText("exec sqlsim_fault 'stall', 1, 'stall_me', 10");
    arm.execute();

    AdoQuery query(&connection, 1);
    query.setSql({"select 1 as stall_me"});
    QElapsedTimer timer;
    timer.start();
    try {
        query.open();
        FAIL() << "no time-out";
    } catch (const DbError &e) {
        EXPECT_EQ(e.sqlState(), "HYT00") << e.what();
    }
    EXPECT_LT(timer.elapsed(), 8000);
    query.open();
    EXPECT_EQ(query.fieldByName("stall_me").toLongLong(), 1);
}

TEST_F(SqlsimEndToEnd, DroppedConnectionGivesAnErrorAndReconnectingHelps)
{
    DatabaseObjects db;
    connectServers(fields(), db.ADOConnection1, db.ADOConnection2, db.ADOConnection3);
    AdoCommand arm(&db.ADOConnection1);
    arm.setCommandText("exec sqlsim_fault 'drop', 1, 'drop_me'");
    arm.execute();
    db.ADOQuery1.setSql({"select 1 as drop_me"});
    EXPECT_THROW(db.ADOQuery1.open(), DbError);
    EXPECT_THROW(db.ADOQuery1.open(), DbError);  // the link is gone for good

    connectServers(fields(), db.ADOConnection1, db.ADOConnection2, db.ADOConnection3);
    db.ADOQuery1.open();
    EXPECT_EQ(db.ADOQuery1.fieldByName("drop_me").toLongLong(), 1);
}
