// The backup button from the window: the flag b, the stamped statement as the server gets it,
// the notice, the file on the server's drive (sqlsim's backup folder), and names that need
// quoting.
#include "WindowHarness.h"

#include <QDateTime>
#include <QDir>

using namespace e2e;

namespace {

// The stamps a backup made between the two clock readings may carry.
QStringList stampsBetween(const QDateTime &from, const QDateTime &to)
{
    QStringList out;
    for (QDateTime t = from.addSecs(-1); t <= to.addSecs(1); t = t.addSecs(1))
        out << QString::number(t.date().month()) + QString::number(t.date().day()) + QString::number(t.time().second());
    return out;
}

struct BackupRun {
    QStringList batches;
    QStringList stamps;
};

BackupRun clickBackup(ShownWindow &w, const SuiteServers &servers)
{
    const LogMark mark(servers);
    const QDateTime before = QDateTime::currentDateTime();
    w.click(w.form.Button7);
    return {mark.batches("target") + mark.batches("sample"), stampsBetween(before, QDateTime::currentDateTime())};
}

// The stamp that fills "%1" in the expected statement, or empty when none does.
QString matchStamp(const QString &batch, const QString &expected, const QStringList &stamps)
{
    for (const QString &stamp : stamps)
        if (batch == expected.arg(stamp))
            return stamp;
    return {};
}

// A statement written for sqlsim's preset name, for the name with the run's prefix in front
// (real servers): the prefix goes before the name in the database and in the file.
QString withPrefix(QString statement, const QString &prefix)
{
    const QString bracketed = QStringLiteral("backup database [");
    if (statement.startsWith(bracketed))
        statement.replace(0, bracketed.size(), bracketed + prefix);
    else
        statement.replace(0, QStringLiteral("backup database ").size(), QStringLiteral("backup database ") + prefix);
    return statement.replace(QStringLiteral("to disk = 'c:\\"), QStringLiteral("to disk = 'c:\\") + prefix);
}

}  // namespace

class BackupE2eTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void flagFalseAfterShowTrueAfterABackup();
    void namesThatNeedQuotingBackUp_data();
    void namesThatNeedQuotingBackUp();
    void emptyNameRunsNothing();

private:
    std::unique_ptr<SuiteServers> m_servers;
};

void BackupE2eTest::initTestCase()
{
    QString misnamed;
    if (serversNamed(&misnamed) == Servers::Sqlsim && dbsync::test::sqlsimBinary().isEmpty())
        QSKIP("sqlsim is not built");
    QCOMPARE(misnamed, QString());
    QCOMPARE(errorOf([&] { m_servers = std::make_unique<SuiteServers>(); }), QString());
}

void BackupE2eTest::cleanupTestCase()
{
    if (m_servers)
        QCOMPARE(m_servers->dropCreated(), QString());
    m_servers.reset();
}

void BackupE2eTest::flagFalseAfterShowTrueAfterABackup()
{
    TForm43 form;
    RecordingDialogs dialogs;
    form.setDialogs(&dialogs);
    form.b = true;
    form.show();
    QVERIFY(!form.b);

    ShownWindow w;
    fillFields(w.form, *m_servers);
    w.click(w.form.Button12);
    QCOMPARE(w.dialogs.shown.size(), 0);
    // Blanks around the name go; the sample database is never the one backed up.
    const QString zeta = m_servers->db("zeta");
    w.form.ComboBox1->setEditText(m_servers->db("alpha"));
    w.form.ComboBox2->setEditText("  " + zeta + " \t");
    const BackupRun run = clickBackup(w, *m_servers);
    // The query keeps its statement until another command replaces it.
    QCOMPARE(w.form.ADOQuery3.sql().size(), 1);
    const QString stamp =
        matchStamp(w.form.ADOQuery3.sql()[0], "backup database " + zeta + " to disk = 'c:\\" + zeta + "%1'", run.stamps);
    QVERIFY2(!stamp.isEmpty(), qPrintable(w.form.ADOQuery3.sql()[0]));
    if (m_servers->logged())
        QCOMPARE(run.batches, w.form.ADOQuery3.sql());
    QCOMPARE(w.dialogs.texts("notice"), QStringList{QString::fromUtf8("已经在服务器C盘上备份c:\\(%1)成功！").arg(zeta + stamp)});
    QCOMPARE(w.dialogs.shown.size(), 1);
    QVERIFY(w.form.b);
    if (m_servers->onSqlsim()) {
        QVERIFY(QFile::exists(QDir(m_servers->sim().backupDir("target")).filePath("zeta" + stamp)));
        QVERIFY(!QDir(m_servers->sim().backupDir("sample")).entryList(QDir::Files).contains("zeta" + stamp));
    } else {
        qInfo("the backup file is not looked for: %s", dbsync::test::kNeedsBackupDir);
    }
}

void BackupE2eTest::namesThatNeedQuotingBackUp_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("file");
    QTest::newRow("blank") << "my db" << "backup database [my db] to disk = 'c:\\my db%1'" << "my db%1";
    QTest::newRow("quote") << "o'brien" << "backup database [o'brien] to disk = 'c:\\o''brien%1'" << "o'brien%1";
    QTest::newRow("brackets") << "[x]" << "backup database [[x]]] to disk = 'c:\\[x]%1'" << "[x]%1";
    QTest::newRow("dashes") << "--c" << "backup database [--c] to disk = 'c:\\--c%1'" << "--c%1";
    QTest::newRow("chinese") << QString::fromUtf8("账套") << QString::fromUtf8("backup database 账套 to disk = 'c:\\账套%1'")
                             << QString::fromUtf8("账套%1");
}

void BackupE2eTest::namesThatNeedQuotingBackUp()
{
    QFETCH(QString, name);
    QFETCH(QString, statement);
    QFETCH(QString, file);
    const QString prefix = m_servers->db(QString());  // empty on sqlsim
    statement = withPrefix(statement, prefix);
    ShownWindow w;
    fillFields(w.form, *m_servers, prefix + name);
    w.click(w.form.Button12);  // the target database connection opens on that name too
    QCOMPARE(w.dialogs.texts("error"), QStringList());
    QVERIFY(w.form.ADOConnection3.isOpen());

    const BackupRun run = clickBackup(w, *m_servers);
    QCOMPARE(w.dialogs.texts("error"), QStringList());
    QCOMPARE(w.form.ADOQuery3.sql().size(), 1);
    const QString stamp = matchStamp(w.form.ADOQuery3.sql()[0], statement, run.stamps);
    QVERIFY2(!stamp.isEmpty(), qPrintable(w.form.ADOQuery3.sql()[0]));
    if (m_servers->logged())
        QCOMPARE(run.batches, QStringList{statement.arg(stamp)});
    QVERIFY(w.form.b);
    if (m_servers->onSqlsim())
        QVERIFY2(QFile::exists(QDir(m_servers->sim().backupDir("target")).filePath(file.arg(stamp))),
                 qPrintable(file.arg(stamp)));
    QCOMPARE(w.dialogs.texts("notice"),
             QStringList{QString::fromUtf8("已经在服务器C盘上备份c:\\(%1)成功！").arg(prefix + name + stamp)});
}

void BackupE2eTest::emptyNameRunsNothing()
{
    ShownWindow w;
    fillFields(w.form, *m_servers);
    w.click(w.form.Button12);
    for (const QString &text : {QString(), QStringLiteral("   "), QStringLiteral(" \t ")}) {
        w.form.ComboBox2->setEditText(text);
        const BackupRun run = clickBackup(w, *m_servers);
        if (m_servers->logged())
            QCOMPARE(run.batches, QStringList());
        QCOMPARE(w.dialogs.shown.size(), 0);
        QVERIFY(!w.form.b);
    }
    // Not even a closed connection is noticed: nothing is tried.
    ShownWindow fresh;
    fresh.click(fresh.form.Button7);
    QCOMPARE(fresh.dialogs.shown.size(), 0);
    QVERIFY(!fresh.form.b);
}

QTEST_MAIN(BackupE2eTest)
#include "BackupE2eTest.moc"
