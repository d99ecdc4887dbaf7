// Failures from the window: the server's text in the error display, what each failed step
// leaves behind, and the window staying usable. sqlsim's faults stand for a refused list, a
// stalled statement and a dropped connection (those cases run on sqlsim only).
#include "WindowHarness.h"

#include <QElapsedTimer>

using namespace e2e;

namespace {

const QString kListQuery = QStringLiteral("select name from master..sysdatabases ");

// A window whose three connections are open on the valid fields.
void connectAll(ShownWindow &w, const SuiteServers &servers)
{
    fillFields(w.form, servers);
    w.click(w.form.Button12);
    QCOMPARE(w.dialogs.shown.size(), 0);
    QVERIFY(w.form.ADOConnection1.isOpen() && w.form.ADOConnection2.isOpen() && w.form.ADOConnection3.isOpen());
}

}  // namespace

class FailureE2eTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void wrongPasswordStopsAtThatConnection();
    void wrongSampleLoginStopsTheListBeforeAnything();
    void serverThatIsDownFailsWithinTheLoginTimeOut();
    void missingInitialCatalogLeavesTheTargetDatabaseClosed();
    void failingTargetListKeepsTheSampleNames();
    void stalledStatementsTimeOut();
    void droppedConnectionGivesAnErrorAndReconnectingHelps();

private:
    std::unique_ptr<SuiteServers> m_servers;
};

void FailureE2eTest::initTestCase()
{
    QString misnamed;
    if (serversNamed(&misnamed) == Servers::Sqlsim && dbsync::test::sqlsimBinary().isEmpty())
        QSKIP("sqlsim is not built");
    QCOMPARE(misnamed, QString());
    QCOMPARE(errorOf([&] { m_servers = std::make_unique<SuiteServers>(); }), QString());
}

void FailureE2eTest::cleanupTestCase()
{
    if (m_servers)
        QCOMPARE(m_servers->dropCreated(), QString());
    m_servers.reset();
}

void FailureE2eTest::init()
{
    if (!m_servers->onSqlsim())
        return;
    QCOMPARE(runControl(*m_servers, "sample", "exec sqlsim_fault 'clear'"), QString());
    QCOMPARE(runControl(*m_servers, "target", "exec sqlsim_fault 'clear'"), QString());
}

void FailureE2eTest::wrongPasswordStopsAtThatConnection()
{
    ShownWindow w;
    connectAll(w, *m_servers);
    const QString earlierTargetDatabase = w.form.ADOConnection3.connectionString();

    w.form.MaskEdit1->setText("wrong");
    w.form.ComboBox2->setEditText(m_servers->db("zeta"));
    w.click(w.form.Button12);
    QCOMPARE(w.dialogs.texts("error"), QStringList{"Login failed for user '" + m_servers->login("target") + "'."});
    // The sample server reopened, the target server holds its new string and stays closed,
    // the target database connection was not reached.
    QVERIFY(w.form.ADOConnection1.isOpen());
    QVERIFY(!w.form.ADOConnection2.isOpen());
    QVERIFY(w.form.ADOConnection2.connectionString().contains("Password=wrong;"));
    QVERIFY(w.form.ADOConnection3.isOpen());
    QCOMPARE(w.form.ADOConnection3.connectionString(), earlierTargetDatabase);

    w.form.MaskEdit1->setText(m_servers->password("target"));
    w.click(w.form.Button12);
    QCOMPARE(w.dialogs.shown.size(), 1);
    QVERIFY(w.form.ADOConnection2.isOpen() && w.form.ADOConnection3.isOpen());
    QVERIFY(w.form.ADOConnection3.connectionString().contains("Initial Catalog=" + m_servers->db("zeta") + ";"));
}

void FailureE2eTest::wrongSampleLoginStopsTheListBeforeAnything()
{
    ShownWindow w;
    fillFields(w.form, *m_servers);
    w.click(w.form.Button1);
    const QStringList targetEntries = entries(w.form.ComboBox2);
    QCOMPARE(targetEntries, m_servers->listed("target"));

    w.form.EUser->setText("x");
    const LogMark mark(*m_servers);
    w.click(w.form.Button1);
    QCOMPARE(w.dialogs.texts("error"), QStringList{"Login failed for user 'x'."});
    QVERIFY(!w.form.ADOConnection1.isOpen());
    QVERIFY(w.form.ADOConnection2.isOpen());  // not reached
    QCOMPARE(entries(w.form.ComboBox2), targetEntries);
    if (m_servers->logged()) {
        QTRY_COMPARE(mark.values("login_failed", "sample", "user"), QStringList{"x"});
        QCOMPARE(mark.batches("sample") + mark.batches("target"), QStringList());
    }

    w.form.EUser->setText(m_servers->login("sample"));
    w.click(w.form.Button1);
    QCOMPARE(w.dialogs.shown.size(), 1);
    QCOMPARE(entries(w.form.ComboBox1), m_servers->listed("sample"));
}

void FailureE2eTest::serverThatIsDownFailsWithinTheLoginTimeOut()
{
    ShownWindow w;
    connectAll(w, *m_servers);
    const QString earlierTargetDatabase = w.form.ADOConnection3.connectionString();

    w.form.Edit2->setText("127.0.0.1,1");  // nothing listens there
    QElapsedTimer timer;
    timer.start();
    w.click(w.form.Button12);
    QVERIFY2(timer.elapsed() < 16000, qPrintable(QString::number(timer.elapsed())));
    const QStringList errors = w.dialogs.texts("error");
    QCOMPARE(errors.size(), 1);
    QVERIFY2(!errors[0].trimmed().isEmpty() && !errors[0].startsWith('['), qPrintable(errors[0]));
    QVERIFY(w.form.ADOConnection1.isOpen());
    QVERIFY(!w.form.ADOConnection2.isOpen());
    QCOMPARE(w.form.ADOConnection3.connectionString(), earlierTargetDatabase);

    w.form.Edit2->setText(m_servers->address("target"));
    w.click(w.form.Button1);
    QCOMPARE(w.dialogs.shown.size(), 1);
    QCOMPARE(entries(w.form.ComboBox2), m_servers->listed("target"));
}

void FailureE2eTest::missingInitialCatalogLeavesTheTargetDatabaseClosed()
{
    ShownWindow w;
    connectAll(w, *m_servers);
    const QString nope = m_servers->db("nope");  // never created
    w.form.ComboBox2->setEditText(nope);
    w.click(w.form.Button12);
    QCOMPARE(w.dialogs.texts("error"),
             QStringList{"Cannot open database \"" + nope + "\" requested by the login. The login failed."});
    QVERIFY(w.form.ADOConnection1.isOpen() && w.form.ADOConnection2.isOpen());
    QVERIFY(!w.form.ADOConnection3.isOpen());
    QVERIFY(w.form.ADOConnection3.connectionString().contains("Initial Catalog=" + nope + ";"));

    // The backup now has no target database connection: an error, no notice, b stays false.
    w.click(w.form.Button7);
    QCOMPARE(w.dialogs.texts("error").size(), 2);
    QCOMPARE(w.dialogs.texts("notice"), QStringList());
    QVERIFY(!w.form.b);

    w.form.ComboBox2->setEditText(m_servers->db("shop"));
    w.click(w.form.Button12);
    QCOMPARE(w.dialogs.shown.size(), 2);
    QVERIFY(w.form.ADOConnection3.isOpen());
}

void FailureE2eTest::failingTargetListKeepsTheSampleNames()
{
    if (!m_servers->onSqlsim())
        QSKIP(dbsync::test::kNeedsFaults);
    ShownWindow w;
    fillFields(w.form, *m_servers);
    QCOMPARE(runControl(*m_servers, "target",
             "exec sqlsim_fault 'fail', 1, 'sysdatabases', 229, "
             "'The SELECT permission was denied on the object ''sysdatabases''.', 14"),
             QString());
    w.click(w.form.Button1);
    QCOMPARE(w.dialogs.texts("error"),
             QStringList{"The SELECT permission was denied on the object 'sysdatabases'."});
    QCOMPARE(entries(w.form.ComboBox1), systemDatabases() + sampleDatabases());
    QCOMPARE(entries(w.form.ComboBox2), systemDatabases() + sampleDatabases());
    QCOMPARE(w.form.ComboBox2->currentText(), "shop");
}

void FailureE2eTest::stalledStatementsTimeOut()
{
    if (!m_servers->onSqlsim())
        QSKIP(dbsync::test::kNeedsFaults);
    ShownWindow w;
    connectAll(w, *m_servers);
    // Short time-outs keep the suite quick; the stall outlasts them by far.
    w.form.ADOQuery4.setCommandTimeout(1);
    w.form.ADOQuery3.setCommandTimeout(1);

    QCOMPARE(runControl(*m_servers, "target", "exec sqlsim_fault 'stall', 1, 'sysdatabases', 20"), QString());
    QElapsedTimer timer;
    timer.start();
    w.click(w.form.Button1);
    QVERIFY2(timer.elapsed() < 8000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(w.dialogs.texts("error").size(), 1);
    QVERIFY2(w.dialogs.texts("error")[0].contains("timeout", Qt::CaseInsensitive),
             qPrintable(w.dialogs.texts("error")[0]));
    QCOMPARE(entries(w.form.ComboBox2), systemDatabases() + sampleDatabases());
    w.click(w.form.Button1);
    QCOMPARE(w.dialogs.shown.size(), 1);
    QCOMPARE(entries(w.form.ComboBox2), systemDatabases() + targetDatabases());

    QCOMPARE(runControl(*m_servers, "target", "exec sqlsim_fault 'stall', 1, 'backup database', 20"), QString());
    timer.restart();
    w.click(w.form.Button7);
    QVERIFY2(timer.elapsed() < 8000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(w.dialogs.texts("error").size(), 2);
    QVERIFY(w.dialogs.texts("error")[1].contains("timeout", Qt::CaseInsensitive));
    QCOMPARE(w.dialogs.texts("notice"), QStringList());
    QVERIFY(!w.form.b);
    // The cancelled statement leaves the connection usable.
    w.click(w.form.Button7);
    QCOMPARE(w.dialogs.texts("notice").size(), 1);
    QVERIFY(w.form.b);
}

void FailureE2eTest::droppedConnectionGivesAnErrorAndReconnectingHelps()
{
    if (!m_servers->onSqlsim())
        QSKIP(dbsync::test::kNeedsFaults);
    ShownWindow w;
    connectAll(w, *m_servers);

    QCOMPARE(runControl(*m_servers, "target", "exec sqlsim_fault 'drop', 1, 'backup database'"), QString());
    QElapsedTimer timer;
    timer.start();
    w.click(w.form.Button7);
    QVERIFY2(timer.elapsed() < 8000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(w.dialogs.texts("error").size(), 1);
    QVERIFY(!w.dialogs.texts("error")[0].trimmed().isEmpty());
    QVERIFY(!w.form.b);
    w.click(w.form.Button7);  // the link is gone until the next connect
    QCOMPARE(w.dialogs.texts("error").size(), 2);
    QVERIFY(!w.form.b);

    w.click(w.form.Button12);
    QCOMPARE(w.dialogs.shown.size(), 2);
    w.click(w.form.Button7);
    QCOMPARE(w.dialogs.texts("notice").size(), 1);
    QVERIFY(w.form.b);

    // The list command reconnects by itself: the run after a drop works.
    QCOMPARE(runControl(*m_servers, "sample", "exec sqlsim_fault 'drop', 1, 'sysdatabases'"), QString());
    w.click(w.form.Button1);
    QCOMPARE(w.dialogs.texts("error").size(), 3);
    w.click(w.form.Button1);
    QCOMPARE(w.dialogs.texts("error").size(), 3);
    QCOMPARE(entries(w.form.ComboBox1), systemDatabases() + sampleDatabases());
}

QTEST_MAIN(FailureE2eTest)
#include "FailureE2eTest.moc"
