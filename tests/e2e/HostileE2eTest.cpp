// Hostile text in every parameter field: whatever the list, connect and backup commands do
// with it, the servers receive no statement but the list query and the backup statement.
#include "WindowHarness.h"

#include "db/CrossServer.h"

#include <QRegularExpression>

using namespace e2e;

namespace {

const QString kListQuery = QStringLiteral("select name from master..sysdatabases ");

struct Hostile {
    QString text;
    QString backup;  // the backup statement for this target database name; \d+ is the stamp
};

// Quotes, brackets, semicolons, "--", blanks and Chinese characters, alone and together.
QList<Hostile> hostileValues()
{
    return {
        {"o'brien", R"(backup database \[o'brien\] to disk = 'c:\\o''brien\d+')"},
        {"[x]", R"(backup database \[\[x\]\]\] to disk = 'c:\\\[x\]\d+')"},
        {"a;b", R"(backup database \[a;b\] to disk = 'c:\\a;b\d+')"},
        {"--c", R"(backup database \[--c\] to disk = 'c:\\--c\d+')"},
        {"my db", R"(backup database \[my db\] to disk = 'c:\\my db\d+')"},
        {" ", {}},
        {QString::fromUtf8("账套"), QString::fromUtf8(R"(backup database 账套 to disk = 'c:\\账套\d+')")},
        {"x'];drop database shop;--",
         R"(backup database \[x'\]\];drop database shop;--\] to disk = 'c:\\x''\];drop database shop;--\d+')"},
    };
}

QLineEdit *lineEdit(TForm43 &form, int field)
{
    QLineEdit *const edits[] = {form.EIP, form.EUser, form.EPassword, nullptr,
                                form.Edit2, form.Edit3, form.MaskEdit1, nullptr};
    return edits[field];
}

const char *const kFieldNames[] = {"EIP", "EUser", "EPassword", "ComboBox1", "Edit2", "Edit3", "MaskEdit1", "ComboBox2"};

}  // namespace

class HostileE2eTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void onlyTheBuiltStatementsReachTheServers_data();
    void onlyTheBuiltStatementsReachTheServers();
    void hostileLoginAndPasswordStillConnect();
    void nothingWasDropped();

private:
    std::unique_ptr<SuiteServers> m_servers;
};

void HostileE2eTest::initTestCase()
{
    SQLSIM_ONLY("needs sqlsim's statement log and a login with hostile characters");
    if (dbsync::test::sqlsimBinary().isEmpty())
        QSKIP("sqlsim is not built");
    m_servers = std::make_unique<SuiteServers>(QList<SqlsimProcess::Server>{
        {"odd", QString::fromUtf8("o'd;[x]--中文"), QString::fromUtf8("p'w;{x}--中 文"), {"shop"}}});
}

void HostileE2eTest::onlyTheBuiltStatementsReachTheServers_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<int>("value");
    for (int field = 0; field < 8; ++field)
        for (int value = 0; value < hostileValues().size(); ++value)
            QTest::addRow("%s %d", kFieldNames[field], value) << field << value;
}

void HostileE2eTest::onlyTheBuiltStatementsReachTheServers()
{
    QFETCH(int, field);
    QFETCH(int, value);
    const Hostile hostile = hostileValues().at(value);

    ShownWindow w;
    fillFields(w.form, *m_servers);
    if (field == 3) {
        w.form.ComboBox1->setEditText(hostile.text);
    } else if (field == 7) {
        w.form.ComboBox2->setEditText(hostile.text);
    } else if (field == 0 || field == 4) {
        // Behind the loopback address, so that no name is ever looked up elsewhere.
        lineEdit(w.form, field)->setText(lineEdit(w.form, field)->text() + hostile.text);
    } else {
        lineEdit(w.form, field)->setText(hostile.text);
    }

    const LogMark mark(*m_servers);
    w.click(w.form.Button1);
    w.click(w.form.Button12);
    w.click(w.form.Button7);

    const QRegularExpression backup(
        "\\A" + (field == 7 ? hostile.backup : QStringLiteral(R"(backup database shop to disk = 'c:\\shop\d+')")) + "\\z");
    for (const QString &batch : mark.batches("sample"))
        QCOMPARE(batch, kListQuery);
    for (const QString &batch : mark.batches("target"))
        QVERIFY2(batch == kListQuery || backup.match(batch).hasMatch(), qPrintable(batch));
    QCOMPARE(mark.batches("odd"), QStringList());
    // Every value is text, blanks too, so every input check passes.
    QCOMPARE(w.dialogs.texts("inputCheck"), QStringList());
}

void HostileE2eTest::hostileLoginAndPasswordStillConnect()
{
    ShownWindow w;
    fillFields(w.form, *m_servers);
    w.form.Edit2->setText(m_servers->address("odd"));
    w.form.Edit3->setText(QString::fromUtf8("o'd;[x]--中文"));
    w.form.MaskEdit1->setText(QString::fromUtf8("p'w;{x}--中 文"));

    const LogMark mark(*m_servers);
    w.click(w.form.Button1);
    w.click(w.form.Button12);
    QCOMPARE(w.dialogs.texts("error"), QStringList());
    QCOMPARE(errorOf([&] { dbsync::runEnablingStep(w.form.ADOCommand1); }), QString());
    w.click(w.form.Button7);
    QCOMPARE(w.dialogs.texts("error"), QStringList());
    QCOMPARE(entries(w.form.ComboBox2), systemDatabases() + QStringList{"shop"});
    QVERIFY(w.form.b);
    const QStringList batches = mark.batches("odd");
    QCOMPARE(batches.size(), 6);
    QCOMPARE(batches.mid(0, 5), QStringList{kListQuery} + dbsync::enablingStatements());
    QVERIFY2(QRegularExpression(R"(\Abackup database shop to disk = 'c:\\shop\d+'\z)").match(batches[5]).hasMatch(),
             qPrintable(batches[5]));
}

void HostileE2eTest::nothingWasDropped()
{
    ShownWindow w;
    fillFields(w.form, *m_servers);
    w.click(w.form.Button1);
    QCOMPARE(w.dialogs.shown.size(), 0);
    QCOMPARE(entries(w.form.ComboBox1), systemDatabases() + sampleDatabases());
    QCOMPARE(entries(w.form.ComboBox2), systemDatabases() + targetDatabases());
}

QTEST_MAIN(HostileE2eTest)
#include "HostileE2eTest.moc"
