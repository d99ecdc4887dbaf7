// The settings buttons end to end: checks and focus, write then read back into the fields,
// a bad stored value stopping the read part-way, a refused write. The test program lives in a
// folder of its own, which is its program folder and so holds the settings file.
#include "RecordingDialogs.h"

#include "app/Form43.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Counts what the read command runs after it instead of listing databases.
class SettingsForm : public TForm43 {
public:
    int lists = 0;
    int connects = 0;
    QString eipAtList;
    void Button1Click() override
    {
        ++lists;
        eipAtList = EIP->text();
    }
    void Button12Click() override { ++connects; }
};

QString settingsPath()
{
    return QCoreApplication::applicationDirPath() + "/myini.ini";
}

QString readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll());
}

void fill(TForm43 &form, const QStringList &texts)
{
    form.EIP->setText(texts[0]);
    form.EUser->setText(texts[1]);
    form.EPassword->setText(texts[2]);
    form.ComboBox1->setEditText(texts[3]);
    form.Edit2->setText(texts[4]);
    form.Edit3->setText(texts[5]);
    form.MaskEdit1->setText(texts[6]);
    form.ComboBox2->setEditText(texts[7]);
}

QStringList fields(const TForm43 &form)
{
    return {form.EIP->text(),   form.EUser->text(), form.EPassword->text(), form.ComboBox1->currentText(),
            form.Edit2->text(), form.Edit3->text(), form.MaskEdit1->text(), form.ComboBox2->currentText()};
}

}  // namespace

class Form43SettingsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void writeChecksInOrderWithFocusAndWritesNothing();
    void writeThenReadGivesTheFieldsBackAndLists();
    void badStoredValueStopsTheReadPartWay();
    void refusedWriteIsShownAndNotReportedAsDone();
    void missingFileIsToldBeforeTheDefaults();
    void unwritableProgramFolderKeepsTheFileInTheUserFolder();

private:
    QTemporaryDir m_elsewhere;  // a current directory that is not the program's folder
    QTemporaryDir m_config;     // the user's configuration folder, unless the caller gives one
};

void Form43SettingsTest::initTestCase()
{
    // Never the real user's file: the search would find it after the program's folder.
    if (!qEnvironmentVariableIsSet("XDG_CONFIG_HOME"))
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
}

void Form43SettingsTest::init()
{
    QFile::remove(settingsPath());
    QDir(settingsPath()).removeRecursively();
    QVERIFY(QDir::setCurrent(m_elsewhere.path()));
}

void Form43SettingsTest::cleanup()
{
    QFile::remove(settingsPath());
    QDir(settingsPath()).removeRecursively();
}

void Form43SettingsTest::writeChecksInOrderWithFocusAndWritesNothing()
{
    SettingsForm form;
    RecordingDialogs dialogs;
    form.setDialogs(&dialogs);
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));

    const struct {
        QWidget *field;
        QString message;
        QString text;
    } checks[] = {
        {form.EIP, "请添写上级IP地址！", "10.0.0.1"},
        {form.EUser, "请添写用户名！", "sa"},
        {form.ComboBox1, "请添写帐套名称！", "样本"},
        {form.Edit2, "请添写本地IP地址！", "127.0.0.1"},
        {form.Edit3, "请添写用户名！", "sa"},
        {form.ComboBox2, "请添写帐套名称！", "target"},
    };
    for (const auto &check : checks) {
        form.Button9->setFocus();
        dialogs.shown.clear();
        QTest::mouseClick(form.Button5, Qt::LeftButton);
        QCOMPARE(dialogs.texts("inputCheck"), QStringList({check.message}));
        QCOMPARE(QApplication::focusWidget(), check.field->focusProxy() ? check.field->focusProxy() : check.field);
        QVERIFY(!QFile::exists(settingsPath()));
        if (auto *edit = qobject_cast<QLineEdit *>(check.field))
            edit->setText(check.text);
        else
            qobject_cast<QComboBox *>(check.field)->setEditText(check.text);
    }
    // Passwords may stay empty.
    dialogs.shown.clear();
    QTest::mouseClick(form.Button5, Qt::LeftButton);
    QCOMPARE(dialogs.texts("inputCheck"), QStringList({"连接文件生成！"}));
    QVERIFY(QFile::exists(settingsPath()));
    QCOMPARE(QDir::currentPath(), QCoreApplication::applicationDirPath());
}

void Form43SettingsTest::writeThenReadGivesTheFieldsBackAndLists()
{
    SettingsForm form;
    RecordingDialogs dialogs;
    form.setDialogs(&dialogs);
    form.ComboBox1->addItems({"a", "b"});
    form.ComboBox2->addItems({"c"});
    const QStringList written = {" 10.1.2.3 ", "sa", "", "Sales2024", "  ", "app_user", "p@ss;word", "目标库"};
    fill(form, written);
    form.runCommand(&TForm43::Button5Click);
    QCOMPARE(dialogs.texts("inputCheck"), QStringList({"连接文件生成！"}));
    const QString file = readAll(settingsPath());
    QVERIFY2(file.contains("IP地址= 10.1.2.3 ") || file.contains("IP地址=\" 10.1.2.3 \""), qPrintable(file));
    QVERIFY(!file.contains("app_user"));  // names and passwords are not in plain text

    fill(form, QStringList(8, "old"));
    QVERIFY(QDir::setCurrent(m_elsewhere.path()));
    form.runCommand(&TForm43::Button4Click);
    QStringList expected = written;
    expected[7] = QString(QChar(u'\u76EE' & 0xFF)) + QChar(u'\u6807' & 0xFF) + QChar(u'\u5E93' & 0xFF);
    QCOMPARE(fields(form), expected);
    QCOMPARE(form.lists, 1);
    QCOMPARE(form.eipAtList, " 10.1.2.3 ");
    QCOMPARE(form.connects, 0);  // only the edit text was set: no selection event
    QCOMPARE(form.ComboBox1->count(), 2);
    QCOMPARE(form.ComboBox2->count(), 1);
    QCOMPARE(dialogs.texts("error"), QStringList());
    QCOMPARE(QDir::currentPath(), QCoreApplication::applicationDirPath());
}

void Form43SettingsTest::badStoredValueStopsTheReadPartWay()
{
    SettingsForm form;
    RecordingDialogs dialogs;
    form.setDialogs(&dialogs);
    fill(form, {"10.0.0.1", "sa", "pw", "db1", "10.0.0.2", "sa2", "pw2", "db2"});
    form.runCommand(&TForm43::Button5Click);

    // Spoil the sample password's stored value.
    QString text = readAll(settingsPath());
    const QRegularExpression password("^密码=[0-9A-F]+$", QRegularExpression::MultilineOption);
    const QRegularExpressionMatch m = password.match(text);
    QVERIFY2(m.hasMatch(), qPrintable(text));
    text.replace(m.capturedStart(), m.capturedLength(), "密码=NOTHEX!");
    QFile f(settingsPath());
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text.toUtf8());
    f.close();

    fill(form, QStringList(8, "old"));
    dialogs.shown.clear();
    QTest::mouseClick(form.Button4, Qt::LeftButton);
    QCOMPARE(dialogs.texts("error"), QStringList({"Error: not a Hex String."}));
    QCOMPARE(fields(form), QStringList({"10.0.0.1", "sa", "old", "old", "old", "old", "old", "old"}));
    QCOMPARE(form.lists, 0);
}

void Form43SettingsTest::refusedWriteIsShownAndNotReportedAsDone()
{
    SettingsForm form;
    RecordingDialogs dialogs;
    form.setDialogs(&dialogs);
    fill(form, {"10.0.0.1", "sa", "pw", "db1", "10.0.0.2", "sa2", "pw2", "db2"});
    QVERIFY(QDir().mkpath(settingsPath()));  // a folder where the file should be
    QTest::mouseClick(form.Button5, Qt::LeftButton);
    QCOMPARE(dialogs.texts("error"), QStringList({"Unable to write to " + settingsPath() + ": not a file."}));
    QCOMPARE(dialogs.texts("inputCheck"), QStringList());
}

void Form43SettingsTest::missingFileIsToldBeforeTheDefaults()
{
    SettingsForm form;
    RecordingDialogs dialogs;
    form.setDialogs(&dialogs);
    form.runCommand(&TForm43::Button4Click);
    const QString searched = settingsPath() + "\n"
        + QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/dbsync/myini.ini";
    QCOMPARE(dialogs.texts("inputCheck"), QStringList({"未找到连接文件！已查找：\n" + searched}));
    QCOMPARE(fields(form), QStringList({"127.0.0.1", "sa", "", "aaa", "127.0.0.1", "sa", "", "aaa"}));
    QCOMPARE(form.lists, 1);
}

// Run by readonly-program.sh from a copy of this program in a folder its user cannot write, as
// an installed program is.
void Form43SettingsTest::unwritableProgramFolderKeepsTheFileInTheUserFolder()
{
    if (QFileInfo(QCoreApplication::applicationDirPath()).isWritable())
        QSKIP("the program's folder can be written");
    const QString userFolder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/dbsync";
    QVERIFY(!QFileInfo::exists(userFolder));  // made by the command
    SettingsForm form;
    RecordingDialogs dialogs;
    form.setDialogs(&dialogs);
    const QStringList written = {"10.0.0.1", "sa", "pw", "db1", "10.0.0.2", "sa2", "", "db2"};
    fill(form, written);
    form.runCommand(&TForm43::Button5Click);
    QCOMPARE(dialogs.texts("error"), QStringList());
    QCOMPARE(dialogs.texts("inputCheck"), QStringList({"连接文件生成！"}));
    QVERIFY(QFileInfo::exists(userFolder + "/myini.ini"));
    const auto user = QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser;
    QCOMPARE(QFile::permissions(userFolder + "/myini.ini") & ~user, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QVERIFY(!QFileInfo::exists(settingsPath()));
    QCOMPARE(QDir::currentPath(), userFolder);

    fill(form, QStringList(8, "old"));
    QVERIFY(QDir::setCurrent(m_elsewhere.path()));
    form.runCommand(&TForm43::Button4Click);
    QCOMPARE(fields(form), written);
    QCOMPARE(form.lists, 1);
    QCOMPARE(QDir::currentPath(), userFolder);
}

QTEST_MAIN(Form43SettingsTest)
#include "Form43SettingsTest.moc"
