// Listing and connecting from the window: the lists in server order, reconnecting on every
// choice, the six input checks, the settings file read ending with the lists filled, and the
// statements that reach the servers (sqlsim's log).
#include "WindowHarness.h"

#include "db/CrossServer.h"
#include "db/ServerAccess.h"

#include <QCoreApplication>
#include <QFile>

using namespace e2e;

namespace {
const QString kListQuery = QStringLiteral("select name from master..sysdatabases ");
}

class ConnectListE2eTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void listFillsBothBoxesInServerOrder();
    void choosingAnEntryReopensAllThree();
    void inputChecksStopBeforeAnyConnection_data();
    void inputChecksStopBeforeAnyConnection();
    void settingsReadEndsWithTheListsFilled();
    void enablingStatementsRunOnTheTargetDatabase();

private:
    std::unique_ptr<SuiteServers> m_servers;
};

void ConnectListE2eTest::initTestCase()
{
    QString misnamed;
    if (serversNamed(&misnamed) == Servers::Sqlsim && dbsync::test::sqlsimBinary().isEmpty())
        QSKIP("sqlsim is not built");
    QCOMPARE(misnamed, QString());
    QCOMPARE(errorOf([&] { m_servers = std::make_unique<SuiteServers>(); }), QString());
}

void ConnectListE2eTest::cleanupTestCase()
{
    if (m_servers)
        QCOMPARE(m_servers->dropCreated(), QString());
    m_servers.reset();
    QFile::remove(QCoreApplication::applicationDirPath() + "/myini.ini");
}

void ConnectListE2eTest::listFillsBothBoxesInServerOrder()
{
    ShownWindow w;
    fillFields(w.form, *m_servers, "typed target");
    w.form.ComboBox1->setEditText("typed sample");
    const LogMark mark(*m_servers);
    w.click(w.form.Button1);

    QCOMPARE(w.dialogs.shown.size(), 0);
    QCOMPARE(entries(w.form.ComboBox1), m_servers->listed("sample"));
    QCOMPARE(entries(w.form.ComboBox2), m_servers->listed("target"));
    QVERIFY(entries(w.form.ComboBox1).contains(m_servers->db("alpha")));
    QVERIFY(entries(w.form.ComboBox2).contains(m_servers->db("o'brien")));
    // The lists change, the texts the boxes show do not.
    QCOMPARE(w.form.ComboBox1->currentText(), "typed sample");
    QCOMPARE(w.form.ComboBox2->currentText(), "typed target");
    QVERIFY(w.form.ADOConnection1.isOpen() && w.form.ADOConnection2.isOpen());
    QVERIFY(!w.form.ADOConnection3.isOpen());
    QVERIFY(w.form.ADOQuery1.isOpen() && w.form.ADOQuery4.isOpen());

    if (m_servers->logged()) {
        QCOMPARE(mark.batches("sample"), QStringList{kListQuery});
        QCOMPARE(mark.batches("target"), QStringList{kListQuery});
        QTRY_COMPARE(mark.logins("sample"), QStringList{"master"});
        QTRY_COMPARE(mark.logins("target"), QStringList{"master"});
    }

    // A second run reconnects and lists afresh, without doubling the entries.
    w.click(w.form.Button1);
    QCOMPARE(entries(w.form.ComboBox2), m_servers->listed("target"));
    if (m_servers->logged())
        QTRY_COMPARE(mark.logins("sample").size(), 2);
}

void ConnectListE2eTest::choosingAnEntryReopensAllThree()
{
    ShownWindow w;
    QVERIFY(w.active());
    fillFields(w.form, *m_servers);
    w.click(w.form.Button1);
    QCOMPARE(w.dialogs.shown.size(), 0);

    // Stepping down the target list: each step chooses an entry and connects once.
    const QStringList listed = m_servers->listed("target");
    QVERIFY(listed.size() >= 5);
    LogMark mark(*m_servers);
    w.form.ComboBox2->setFocus();
    QStringList expectedTarget;
    for (int step = 0; step < 5; ++step) {
        QTest::keyClick(w.form.ComboBox2, Qt::Key_Down);
        expectedTarget << "master" << listed.at(step);
    }
    QCOMPARE(w.dialogs.shown.size(), 0);
    const QString fifth = listed.at(4);  // "shop" on sqlsim
    QCOMPARE(w.form.ComboBox2->currentText(), fifth);
    if (m_servers->logged()) {
        QTRY_COMPARE(mark.logins("sample"), QStringList(5, "master"));
        QTRY_COMPARE(mark.logins("target"), expectedTarget);
    }
    QVERIFY(w.form.ADOConnection1.isOpen() && w.form.ADOConnection2.isOpen() && w.form.ADOConnection3.isOpen());
    QVERIFY(w.form.ADOConnection3.connectionString().endsWith(";Initial Catalog=" + fifth + ";Data Source="
                                                              + m_servers->address("target")));
    QCOMPARE(mark.batches("sample") + mark.batches("target"), QStringList());

    // A choice in the sample list, whose name no connection uses, reopens all three as well.
    mark = LogMark(*m_servers);
    w.form.ComboBox1->setFocus();
    QTest::keyClick(w.form.ComboBox1, Qt::Key_Down);
    QCOMPARE(w.form.ComboBox1->currentText(), "master");
    if (m_servers->logged()) {
        QTRY_COMPARE(mark.logins("sample"), QStringList{"master"});
        QTRY_COMPARE(mark.logins("target"), QStringList({"master", fifth}));
    }
    QVERIFY(w.form.ADOConnection1.isOpen() && w.form.ADOConnection2.isOpen() && w.form.ADOConnection3.isOpen());

    // Typing a name chooses nothing and connects nothing.
    const QString zeta = m_servers->db("zeta");
    mark = LogMark(*m_servers);
    w.form.ComboBox2->lineEdit()->selectAll();
    QTest::keyClicks(w.form.ComboBox2, zeta);
    QCOMPARE(w.form.ComboBox2->currentText(), zeta);
    QVERIFY(w.form.ADOConnection3.connectionString().contains(";Initial Catalog=" + fifth + ";"));
    if (m_servers->logged())
        QCOMPARE(mark.logins("target"), QStringList());
    w.click(w.form.Button12);
    QCOMPARE(w.dialogs.shown.size(), 0);
    QVERIFY(w.form.ADOConnection3.isOpen());
    QVERIFY(w.form.ADOConnection3.connectionString().contains(";Initial Catalog=" + zeta + ";"));
    if (m_servers->logged())
        QTRY_COMPARE(mark.logins("target"), QStringList({"master", "zeta"}));
}

void ConnectListE2eTest::inputChecksStopBeforeAnyConnection_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("focusMoves");
    QTest::addColumn<bool>("list");
    // The fields in the window's order: EIP, EUser, EPassword, Edit2, Edit3, ComboBox2.
    const struct {
        const char *name;
        const char *message;
        bool focusMoves;
    } checks[] = {
        {"EIP", "上级IP地址！", true},           {"EUser", "请添写用户名！", true},
        {"EPassword", "请添写密码！", false},     {"Edit2", "请添写本地IP地址！", true},
        {"Edit3", "请添写用户名！", true},        {"ComboBox2", "请添写帐套名称！", true},
    };
    for (int list = 0; list < 2; ++list)
        for (int i = 0; i < 6; ++i)
            QTest::addRow("%s %s", list ? "list" : "connect", checks[i].name)
                << i << QString::fromUtf8(checks[i].message) << checks[i].focusMoves << bool(list);
}

void ConnectListE2eTest::inputChecksStopBeforeAnyConnection()
{
    QFETCH(int, field);
    QFETCH(QString, message);
    QFETCH(bool, focusMoves);
    QFETCH(bool, list);

    ShownWindow w;
    QVERIFY(w.active());
    fillFields(w.form, *m_servers);
    w.click(w.form.Button12);  // connections open on the valid fields
    w.click(w.form.Button1);
    QCOMPARE(w.dialogs.shown.size(), 0);
    const QStringList sampleEntries = entries(w.form.ComboBox1);
    const ConnectionState before(w.form);

    QWidget *const fields[] = {w.form.EIP, w.form.EUser, w.form.EPassword,
                               w.form.Edit2, w.form.Edit3, w.form.ComboBox2};
    // Every later field empty too: only the first failing check may speak.
    for (int i = field; i < 6; ++i) {
        if (auto *edit = qobject_cast<QLineEdit *>(fields[i]))
            edit->clear();
        else
            w.form.ComboBox2->setEditText(QString());
    }
    // Fields that are not checked may be empty.
    w.form.MaskEdit1->clear();
    w.form.ComboBox1->setEditText(QString());
    w.form.Edit3->setFocus();

    const LogMark mark(*m_servers);
    w.click(list ? w.form.Button1 : w.form.Button12);
    QCOMPARE(w.dialogs.texts("inputCheck"), QStringList{message});
    QCOMPARE(w.dialogs.shown.size(), 1);
    // A click gives the button the focus; a check that does not move it leaves it there.
    QWidget *const expectedFocus = focusMoves ? fields[field] : static_cast<QWidget *>(list ? w.form.Button1 : w.form.Button12);
    QCOMPARE(QApplication::focusWidget(),
             expectedFocus->focusProxy() ? expectedFocus->focusProxy() : expectedFocus);
    QVERIFY(ConnectionState(w.form) == before);
    QCOMPARE(entries(w.form.ComboBox1), sampleEntries);
    QCOMPARE(mark.logins("sample") + mark.logins("target"), QStringList());
    QCOMPARE(mark.batches("sample") + mark.batches("target"), QStringList());
}

void ConnectListE2eTest::settingsReadEndsWithTheListsFilled()
{
    QStringList written;
    {
        ShownWindow w;
        fillFields(w.form, *m_servers, m_servers->db("zeta"));  // the file keeps only the low byte of each character
        w.click(w.form.Button5);
        QCOMPARE(w.dialogs.texts("inputCheck"), QStringList{QString::fromUtf8("连接文件生成！")});
        written = {w.form.EIP->text(), w.form.EUser->text(), w.form.EPassword->text(),
                   w.form.ComboBox1->currentText(), w.form.Edit2->text(), w.form.Edit3->text(),
                   w.form.MaskEdit1->text(), w.form.ComboBox2->currentText()};
    }
    ShownWindow w;
    const LogMark mark(*m_servers);
    w.click(w.form.Button4);
    QCOMPARE(w.dialogs.shown.size(), 0);
    const QStringList read = {w.form.EIP->text(), w.form.EUser->text(), w.form.EPassword->text(),
                              w.form.ComboBox1->currentText(), w.form.Edit2->text(), w.form.Edit3->text(),
                              w.form.MaskEdit1->text(), w.form.ComboBox2->currentText()};
    QCOMPARE(read, written);
    QCOMPARE(entries(w.form.ComboBox1), m_servers->listed("sample"));
    QCOMPARE(entries(w.form.ComboBox2), m_servers->listed("target"));
    if (m_servers->logged()) {
        QCOMPARE(mark.batches("sample"), QStringList{kListQuery});
        QCOMPARE(mark.batches("target"), QStringList{kListQuery});
    }
}

void ConnectListE2eTest::enablingStatementsRunOnTheTargetDatabase()
{
    ShownWindow w;
    fillFields(w.form, *m_servers, m_servers->db("zeta"));
    w.click(w.form.Button12);
    QCOMPARE(w.dialogs.shown.size(), 0);
    const LogMark mark(*m_servers);
    QCOMPARE(errorOf([&] { dbsync::runEnablingStep(w.form.ADOCommand1); }), QString());
    if (!m_servers->logged())
        return;
    const QStringList expected = {"exec sp_configure'show advanced options',1", "reconfigure",
                                  "exec sp_configure'Ad Hoc Distributed Queries',1", "reconfigure"};
    QCOMPARE(mark.batches("target"), expected);
    // All four on the target database connection, none on the sample server.
    QCOMPARE(mark.values("batch", "target", "db"), QStringList(4, "zeta"));
    QCOMPARE(mark.batches("sample"), QStringList());
}

QTEST_MAIN(ConnectListE2eTest)
#include "ConnectListE2eTest.moc"
