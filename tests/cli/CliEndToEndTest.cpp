// dbsync-cli end to end: the program against two sqlsim servers, each command and exit status,
// what the target server was sent (sqlsim's log), and bad input.
#include "settings/ConnectionSettings.h"
#include "tests/db/SqlsimProcess.h"

#include "db/AdoCommand.h"
#include "db/AdoConnection.h"
#include "db/ConnectionString.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

using namespace dbsync;
using dbsync::test::SqlsimProcess;

namespace {

struct Outcome {
    int status = -1;
    QString out, err;
};

class Cli : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "cli_e2e_tests";
        static char *argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            new QCoreApplication(argc, argv);
        // "linux" has no SQLOLEDB provider: only the local comparison works against it.
        sim = std::make_unique<SqlsimProcess>(QList<SqlsimProcess::Server>{
            {"sample", "sa", "pw1", {}}, {"target", "sa", "pw2", {}}, {"linux", "sa", "pw2", {}, true, false}});
    }
    static void TearDownTestSuite() { sim.reset(); }

    void SetUp() override
    {
        static int counter = 0;
        ++counter;
        sampleDb = QStringLiteral("cs%1").arg(counter);
        targetDb = QStringLiteral("ct%1").arg(counter);
        exec("sample", "master", "create database " + sampleDb);
        exec("target", "master", "create database " + targetDb);
        exec("linux", "master", "create database " + targetDb);
    }

    static void exec(const QString &server, const QString &db, const QString &sql)
    {
        AdoConnection c;
        c.setConnectionString(buildConnectionString(server == "sample" ? "pw1" : "pw2", "sa", db, sim->address(server)));
        c.open();
        AdoCommand command(&c, 30);
        command.setCommandText(sql);
        command.execute();
    }
    void onSample(const QString &sql) { exec("sample", sampleDb, sql); }
    void onTarget(const QString &sql) { exec("target", targetDb, sql); }

    QStringList connection() const
    {
        return {"--sample", sim->address("sample"), "--sample-login", "sa", "--sample-db", sampleDb,
                "--target", sim->address("target"), "--target-login", "sa", "--target-db", targetDb};
    }

    // Runs dbsync-cli with the arguments; the passwords in the environment unless told; standard
    // output to the file when one is given.
    static Outcome run(const QStringList &args, const QString &samplePassword = "pw1",
                       const QString &targetPassword = "pw2", const QString &outputFile = {})
    {
        QProcess p;
        if (!outputFile.isEmpty())
            p.setStandardOutputFile(outputFile);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DBSYNC_SAMPLE_PASSWORD");
        env.remove("DBSYNC_TARGET_PASSWORD");
        if (!samplePassword.isNull())
            env.insert("DBSYNC_SAMPLE_PASSWORD", samplePassword);
        if (!targetPassword.isNull())
            env.insert("DBSYNC_TARGET_PASSWORD", targetPassword);
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(DBSYNC_CLI_PATH), args);
        EXPECT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << "crashed: " << args.join(' ').toStdString();
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
    }
    Outcome run(const QString &command, const QString &kind, const QStringList &more = {})
    {
        return run(QStringList{command, kind} + connection() + more);
    }

    static qsizetype mark() { return sim->batches("target").size(); }
    static QStringList sentSince(qsizetype before) { return sim->batches("target").mid(before); }

    static std::unique_ptr<SqlsimProcess> sim;
    QString sampleDb, targetDb;
};

std::unique_ptr<SqlsimProcess> Cli::sim;

}  // namespace

TEST_F(Cli, ListPrintsTheWindowsFieldsAndExitsOneWhenThereAreRows)
{
    Outcome o = run("list", "tables");
    EXPECT_EQ(o.status, 0) << o.err.toStdString();
    EXPECT_TRUE(o.out.startsWith("比较结果\t表名1\t字段名\t外键\t序号\t"));
    EXPECT_EQ(o.out.count('\n'), 1);  // the header line alone
    EXPECT_EQ(o.err, "");             // not a terminal: no progress

    onSample("create table orders (id int not null, name varchar(30) null)");
    o = run("list", "tables", {"--format", "csv"});
    EXPECT_EQ(o.status, 1) << o.err.toStdString();
    const QStringList lines = o.out.split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].startsWith("比较结果,表名1,字段名,"));
    EXPECT_TRUE(lines[1].startsWith("2,orders,id,"));
    EXPECT_TRUE(lines[2].startsWith("2,orders,name,"));

    o = run("list", "tables", {"--format", "json"});
    const QJsonObject json = QJsonDocument::fromJson(o.out.toUtf8()).object();
    EXPECT_EQ(json["fields"].toArray().size(), 29);
    EXPECT_EQ(json["rows"].toArray().size(), 2);

    onTarget("create procedure p1 as select 1");
    o = run("list", "routines");
    EXPECT_EQ(o.status, 1);
    EXPECT_TRUE(o.out.startsWith("类型\t匹配情况\t对象名称\tatext\tbtext\n存储过程\t源无\tp1\t"));
}

TEST_F(Cli, ScriptShowsGoSeparatedStatementsWithoutThePasswordAndRunsNothing)
{
    onSample("create table orders (id int not null)");
    onSample("create table common (a int null, b varchar(20) null)");
    onTarget("create table common (a int null)");
    const qsizetype before = mark();
    Outcome o = run("script", "tables");
    EXPECT_EQ(o.status, 1) << o.err.toStdString();
    EXPECT_TRUE(o.out.startsWith("-- dbsync "));
    // The copy reads the sample server: it runs after the transaction has been committed.
    EXPECT_TRUE(o.out.contains("\r\n\r\nalter table " + targetDb + ".dbo.common add b  varchar\r\n(20)\r\nnull\r\nGO\r\n"
                               "\r\nIF @@TRANCOUNT = 0 SET NOEXEC ON\r\nGO\r\n\r\nCOMMIT TRANSACTION\r\nGO\r\n"
                               "\r\nselect * into " + targetDb + ".dbo.orders from OPENDATASOURCE('SQLOLEDB','Data Source="
                               + sim->address("sample") + ";User ID=sa;Password=********')." + sampleDb
                               + ".dbo.orders where 1=2\r\nGO\r\n"))
        << o.out.toStdString();
    EXPECT_FALSE(o.out.contains("pw1"));
    for (const QString &b : sentSince(before))
        EXPECT_TRUE(b.startsWith("exec sp_configure") || b == "reconfigure" || b.startsWith("select"))
            << b.toStdString();

    QTemporaryDir dir;
    const QString file = dir.filePath("out.sql");
    o = run("script", "tables", {"--object", "orders", "--output", file, "--with-password"});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out, "");
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString saved = QString::fromUtf8(f.readAll());
    EXPECT_TRUE(saved.contains("Password=pw1')"));
    EXPECT_FALSE(saved.contains("common"));

    o = run("script", "tables", {"--code", "8"});
    EXPECT_EQ(o.status, 0);
    EXPECT_TRUE(o.out.contains("-- 没有要执行的语句。"));
}

TEST_F(Cli, SyncTablesBacksUpFirstAndRepeatsUntilNothingIsLeft)
{
    onSample("create table common (a int null, b varchar(20) null)");
    onSample("create table orders (id int not null, name varchar(30) null)");
    onTarget("create table common (a int null)");
    onTarget("create table legacy (x int null)");

    // One round ends at the first table create or drop: actionable rows are left.
    Outcome o = run("sync", "tables", {"--rounds", "1", "--no-backup"});
    EXPECT_EQ(o.status, 1) << o.err.toStdString();
    EXPECT_TRUE(o.out.contains("add b  varchar"));
    EXPECT_TRUE(o.out.contains("DROP TABLE " + targetDb + ".dbo.legacy\r\nGO\r\n"));

    const qsizetype before = mark();
    o = run("sync", "tables");
    EXPECT_EQ(o.status, 0) << o.err.toStdString();
    QStringList changes;
    for (const QString &b : sentSince(before))
        if (!b.startsWith("exec sp_configure") && b != "reconfigure" && !b.startsWith("select 比较结果")
            && !b.startsWith("select tablename="))
            changes << b;
    ASSERT_EQ(changes.size(), 2);
    EXPECT_TRUE(changes[0].startsWith("backup database " + targetDb + " to disk = 'c:\\" + targetDb));
    EXPECT_TRUE(changes[1].startsWith("select * into " + targetDb + ".dbo.orders from "));
    EXPECT_TRUE(o.err.contains("已经在服务器C盘上备份"));
    EXPECT_FALSE(o.out.contains("pw1"));
    EXPECT_EQ(QDir(sim->backupDir("target")).entryList(QDir::Files).filter(targetDb).size(), 1);
    EXPECT_EQ(run("list", "tables").status, 0);
}

TEST_F(Cli, SyncThatWouldLoseValuesRunsNothingWithoutAllowDataLoss)
{
    onSample("create table common (a int null)");
    onTarget("create table common (a int null, note varchar(20) null)");
    onTarget("insert into common values (1, 'kept'), (2, NULL)");
    onTarget("create table zz_legacy (x int null)");
    onTarget("insert into zz_legacy values (7)");
    const qsizetype before = mark();
    Outcome o = run("sync", "tables");
    EXPECT_EQ(o.status, 2) << o.err.toStdString();
    EXPECT_TRUE(o.err.contains("列 common.note：删除列，有 1 行的值不为空")) << o.err.toStdString();
    EXPECT_TRUE(o.err.contains("表 zz_legacy：删除表，表中有 1 行数据"));
    EXPECT_TRUE(o.err.contains("--allow-data-loss"));
    EXPECT_EQ(o.out, QString());
    for (const QString &b : sentSince(before))  // no backup, no statement
        EXPECT_TRUE(b.startsWith("exec sp_configure") || b == "reconfigure" || b.startsWith("select")) << b.toStdString();

    o = run("sync", "tables", {"--allow-data-loss", "--no-backup"});
    EXPECT_EQ(o.status, 0) << o.err.toStdString();
    EXPECT_EQ(run("list", "tables").status, 0);

    // Allowed, but refused by the server half way: the round is rolled back, and says so.
    onSample("alter table common add extra int null");
    onSample("create table zz_legacy (x int null)");
    onTarget("create table zz_legacy (x varchar(20) null)");
    onTarget("insert into zz_legacy values ('not a number')");
    o = run("sync", "tables", {"--allow-data-loss", "--no-backup", "--code", "4", "--code", "5"});
    EXPECT_EQ(o.status, 2) << o.err.toStdString();
    EXPECT_TRUE(o.err.contains("同步已全部撤销，目标数据库没有任何改动")) << o.err.toStdString();
    EXPECT_EQ(run("script", "tables", {"--code", "4"}).status, 1);  // extra was taken back

    onTarget("update zz_legacy set x = '12'");
    o = run("sync", "tables", {"--allow-data-loss", "--no-backup"});
    EXPECT_EQ(o.status, 0) << o.err.toStdString();
    EXPECT_EQ(run("list", "tables").status, 0);
}

TEST_F(Cli, SyncRoutinesEndsWithNothingActionable)
{
    onSample("create view v1 as select 1 as a");
    onSample("create procedure p1 as select 2");
    onTarget("create procedure old_p as select 3");
    const qsizetype before = mark();
    Outcome o = run("sync", "routines", {"--no-backup"});
    EXPECT_EQ(o.status, 0) << o.err.toStdString();
    for (const QString &b : sentSince(before))
        EXPECT_FALSE(b.startsWith("backup")) << b.toStdString();
    EXPECT_EQ(run("list", "routines").status, 0);
}

TEST_F(Cli, AllObjectsScriptCompletelyAndSyncInOneRound)
{
    for (const QString &side : {QStringLiteral("sample"), QStringLiteral("target")})
        exec(side, side == "sample" ? sampleDb : targetDb,
             "create table customers (id int not null primary key, code varchar(10) not null)");
    onSample("alter table customers add constraint CK_code check (code <> '')");
    onSample("create index IX_code on customers (code desc)");
    onSample("create table [order] (id int identity(1,1) not null primary key, "
             "customer int not null constraint FK_order_customers references customers (id), "
             "placed datetime not null default (getdate()))");
    onSample("create view open_orders as select id, customer from dbo.[order]");
    onTarget("insert customers values (1, 'a')");

    Outcome o = run("list", "objects");
    EXPECT_EQ(o.status, 1) << o.err.toStdString();
    EXPECT_EQ(o.out.count(QChar(10)), 1 + 2) << o.out.toStdString();  // header, the check, the index

    // The script has everything, the new table whole with its key and foreign key.
    o = run("script", "all");
    EXPECT_EQ(o.status, 1) << o.err.toStdString();
    for (const char *part : {"CREATE TABLE [dbo].[order] (", "[id] int IDENTITY(1,1) NOT NULL", "PRIMARY KEY CLUSTERED",
                             "FOREIGN KEY ([customer]) REFERENCES [dbo].[customers] ([id])",
                             "CREATE NONCLUSTERED INDEX [IX_code]", "CHECK ([code]<>'')", "create view open_orders"})
        EXPECT_TRUE(o.out.contains(part, Qt::CaseInsensitive)) << part << "\n" << o.out.toStdString();
    EXPECT_LT(o.out.indexOf("CREATE TABLE [dbo].[order]"), o.out.indexOf("FOREIGN KEY"));
    EXPECT_LT(o.out.indexOf("FOREIGN KEY"), o.out.indexOf("create view open_orders"));

    const qsizetype before = mark();
    o = run("sync", "all", {"--no-backup"});
    EXPECT_EQ(o.status, 0) << o.err.toStdString();
    EXPECT_TRUE(o.err.contains("同步完成：用了 1 轮")) << o.err.toStdString();
    // The round's listing is what it plans from, and the object listings need no enabling
    // step: the target's catalogue is read once for the round and once to see nothing is left.
    qsizetype typeReads = 0;
    for (const QString &b : sentSince(before)) {
        typeReads += b.contains(QLatin1String(".sys.types t "));
        EXPECT_FALSE(b.contains(QLatin1String("sp_configure"))) << b.toStdString();
    }
    EXPECT_EQ(typeReads, 2);
    for (const char *kind : {"tables", "routines", "objects", "all"})
        EXPECT_EQ(run("list", kind).status, 0) << kind;
}

TEST_F(Cli, BadInputEndsWithAMessageAndTwo)
{
    const auto expectRefused = [](const Outcome &o, const QString &inMessage) {
        EXPECT_EQ(o.status, 2);
        EXPECT_TRUE(o.err.contains(inMessage)) << o.err.toStdString();
        EXPECT_EQ(o.out, "");
    };
    expectRefused(run({"frob", "tables"}), "未知命令：frob");
    expectRefused(run("list", "tables", {"--frob"}), "未知选项：--frob");
    expectRefused(run(QStringList{"list", "tables"} + connection(), QString(), "pw2"), "DBSYNC_SAMPLE_PASSWORD");
    expectRefused(run(QStringList{"list", "tables"} + connection(), "pw1", QString()), "DBSYNC_TARGET_PASSWORD");
    expectRefused(run(QStringList{"list", "tables"} + connection(), "wrong"), "Login failed");
    expectRefused(run("list", "tables", {"--target-db", "no_such_db"}), "no_such_db");
    expectRefused(run("list", "tables", {"--settings", "/nonexistent/myini.ini"}), "/nonexistent/myini.ini");
    // A connection error names the side and the address before the driver's message.
    QStringList unreachable = connection();
    unreachable[1] = "127.0.0.1,1";  // nothing listens there
    expectRefused(run(QStringList{"list", "tables"} + unreachable), "dbsync-cli: 无法连接样本服务器 127.0.0.1,1：");
    expectRefused(run(QStringList{"list", "tables"} + connection(), "wrong"),
                  "dbsync-cli: 无法连接样本服务器 " + sim->address("sample") + "：Login failed");
    EXPECT_EQ(run({"--help"}).status, 0);
    const Outcome version = run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "dbsync-cli " DBSYNC_VERSION "\n");
}

// A script or listing that cannot be written must not pass for one that was: a pipeline would
// report no drift.
TEST_F(Cli, OutputThatCannotBeWrittenEndsWithTwo)
{
    onSample("create table orders (id int not null)");
    Outcome o = run("script", "tables", {"--output", "/dev/full"});
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.err, "dbsync-cli: Unable to write to /dev/full: No space left on device\n");
    o = run(QStringList{"list", "tables"} + connection(), "pw1", "pw2", "/dev/full");
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.err, "dbsync-cli: Unable to write to standard output: No space left on device\n");
}

TEST_F(Cli, ValuesComeFromTheSettingsFileTheWindowWrites)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("myini.ini");
    writeConnectionSettings(file, {sim->address("sample"), "sa", "pw1", sampleDb, sim->address("target"), "sa", "pw2",
                                   targetDb});
    onSample("create table orders (id int not null)");
    Outcome o = run({"list", "tables", "--settings", file}, QString(), QString());
    EXPECT_EQ(o.status, 1) << o.err.toStdString();
    // An option wins over the file: this target database has the table too.
    exec("target", "master", "create database " + targetDb + "b");
    exec("target", targetDb + "b", "create table orders (id int not null)");
    o = run({"list", "tables", "--settings", file, "--target-db", targetDb + "b"}, QString(), QString());
    EXPECT_EQ(o.status, 0) << o.err.toStdString();
    // The environment's password wins over the file's.
    o = run({"list", "tables", "--settings", file}, "wrong", QString());
    EXPECT_TRUE(o.err.contains("Login failed"));
}

TEST_F(Cli, LocalComparisonWorksWhereTheTargetCannotReadTheSample)
{
    onSample("create table orders (id int identity(1,1) not null primary key, name varchar(30) null default 'n')");
    onSample("create view v_orders as select id from orders");
    exec("linux", targetDb, "create table orders (id int not null, old int null)");
    QStringList onLinux = connection();
    onLinux[7] = sim->address("linux");

    // The server-side way fails with the server's message and says what to do.
    Outcome o = run(QStringList{"list", "tables"} + onLinux);
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(o.err.contains("The OLE DB provider \"SQLOLEDB\" has not been registered.")) << o.err.toStdString();
    EXPECT_TRUE(o.err.contains("--compare local")) << o.err.toStdString();

    const qsizetype before = sim->batches("linux").size();
    o = run(QStringList{"list", "tables", "--compare", "local"} + onLinux);
    EXPECT_EQ(o.status, 1) << o.err.toStdString();
    EXPECT_EQ(o.out.count(QChar(10)), 1 + 3) << o.out.toStdString();  // header; id "10", name "4", old "3"
    o = run(QStringList{"script", "tables", "--compare", "local", "--with-password"} + onLinux);
    EXPECT_EQ(o.status, 1) << o.err.toStdString();
    EXPECT_TRUE(o.out.contains("比较方式：在本机比较")) << o.out.toStdString();
    EXPECT_FALSE(o.out.contains("OPENDATASOURCE"));
    for (const char *kind : {"tables", "routines"}) {
        o = run(QStringList{"sync", kind, "--compare", "local", "--no-backup"} + onLinux);
        EXPECT_EQ(o.status, 0) << kind << ": " << o.err.toStdString();
        EXPECT_EQ(run(QStringList{"list", kind, "--compare", "local"} + onLinux).status, 0) << kind;
    }
    for (const QString &b : sim->batches("linux").mid(before)) {
        EXPECT_FALSE(b.contains("sp_configure") || b.contains("OPENDATASOURCE", Qt::CaseInsensitive)) << b.toStdString();
        EXPECT_FALSE(b.contains("pw1")) << b.toStdString();
    }

    // The settings file's choice is taken when no option says otherwise.
    QTemporaryDir dir;
    const QString file = dir.filePath("myini.ini");
    writeConnectionSettings(file, {sim->address("sample"), "sa", "pw1", sampleDb, sim->address("linux"), "sa", "pw2",
                                   targetDb},
                            {{kTargetSection, kCompareModeKey, "local"}});
    EXPECT_EQ(run({"list", "tables", "--settings", file}, QString(), QString()).status, 0);
    EXPECT_EQ(run({"list", "tables", "--settings", file, "--compare", "server"}, QString(), QString()).status, 2);
}
