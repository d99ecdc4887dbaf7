// The window's own handlers, the wiring of the combo boxes, and the three kinds of message.
#include "RecordingDialogs.h"

#include "app/ComboEntries.h"
#include "app/Dialogs.h"
#include "app/Form43.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include <stdexcept>

namespace {

// Counts the connect command instead of connecting; can be told to fail.
class WatchedForm : public TForm43 {
public:
    int connects = 0;
    QStringList comboTextsAtConnect;
    const char *failWith = nullptr;

    void Button12Click() override
    {
        ++connects;
        comboTextsAtConnect.append(ComboBox1->currentText() + "|" + ComboBox2->currentText());
        if (failWith)
            throw std::runtime_error(failWith);
    }
};

// Records which command a click ran.
class RecordingForm : public TForm43 {
public:
    QStringList ran;
    void Button1Click() override { ran.append("Button1Click"); }
    void Button12Click() override { ran.append("Button12Click"); }
    void Button4Click() override { ran.append("Button4Click"); }
    void Button5Click() override { ran.append("Button5Click"); }
    void Button7Click() override { ran.append("Button7Click"); }
    void Button9Click() override { ran.append("Button9Click"); }
    void Button10Click() override { ran.append("Button10Click"); }
    void Button14Click() override { ran.append("Button14Click"); }
    void Button22Click() override { ran.append("Button22Click"); }
};

}  // namespace

class Form43EventsTest : public QObject {
    Q_OBJECT

private slots:
    void formShowDisablesSyncButtonsAndClearsBackupFlag();
    void checkingTheScriptBoxClearsTheMemoUncheckingKeepsIt();
    void choosingAnEntryConnectsTypingDoesNot();
    void keyboardStepsConnectOncePerStep();
    void listChangesKeepTheShownText();
    void errorsOfACommandGoToTheErrorDisplay();
    void fullStopRule();
    void messageBoxesHaveTheirCaptionIconAndButton();
    void inputCheckShowsTheMessageAndMovesFocusAsAsked();
    void eachButtonRunsItsCommand();
};

void Form43EventsTest::formShowDisablesSyncButtonsAndClearsBackupFlag()
{
    TForm43 form;
    form.b = true;
    QVERIFY(form.Button10->isEnabled());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QVERIFY(!form.b);
    QVERIFY(!form.Button10->isEnabled());
    QVERIFY(!form.button22->isEnabled());

    // A listing enabled one; hiding and showing again runs FormShow again.
    form.Button10->setEnabled(true);
    form.b = true;
    form.hide();
    form.show();
    QVERIFY(!form.b);
    QVERIFY(!form.Button10->isEnabled());
}

void Form43EventsTest::checkingTheScriptBoxClearsTheMemoUncheckingKeepsIt()
{
    TForm43 form;
    form.show();
    QVERIFY(!form.Memo1->toPlainText().isEmpty());
    QTest::mouseClick(form.CheckBox1, Qt::LeftButton);
    QVERIFY(form.CheckBox1->isChecked());
    QCOMPARE(form.Memo1->toPlainText(), "");

    form.Memo1->appendPlainText("drop view v1");
    QTest::mouseClick(form.CheckBox1, Qt::LeftButton);
    QVERIFY(!form.CheckBox1->isChecked());
    QCOMPARE(form.Memo1->toPlainText(), "drop view v1");

    // Checking by code counts as a change of state too.
    form.CheckBox1->setChecked(true);
    QCOMPARE(form.Memo1->toPlainText(), "");
}

void Form43EventsTest::choosingAnEntryConnectsTypingDoesNot()
{
    WatchedForm form;
    RecordingDialogs dialogs;
    form.setDialogs(&dialogs);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.ComboBox1->addItems({"master", "sales", "stock"});
    form.ComboBox2->addItems({"master", "sales_local"});

    // Typing, also a listed name followed by Enter, and setting the text by code run nothing.
    form.ComboBox2->setFocus();
    form.ComboBox2->lineEdit()->selectAll();
    QTest::keyClicks(form.ComboBox2, "typed_db");
    QTest::keyClick(form.ComboBox2, Qt::Key_Return);
    QCOMPARE(form.ComboBox2->currentText(), "typed_db");
    QCOMPARE(form.ComboBox2->count(), 2);  // typed text is not added to the list
    form.ComboBox2->lineEdit()->clear();
    QTest::keyClicks(form.ComboBox2, "master");
    QTest::keyClick(form.ComboBox2, Qt::Key_Return);
    form.ComboBox1->setEditText("sales");
    form.ComboBox1->setCurrentIndex(2);
    QCOMPARE(form.connects, 0);

    // Choosing from the list, as the popup does, connects with the chosen text in the box.
    form.ComboBox1->showPopup();
    QAbstractItemView *view = form.ComboBox1->view();
    QTRY_VERIFY(view->isVisible());
    const QModelIndex sales = view->model()->index(1, 0);
    view->setCurrentIndex(sales);
    QTest::keyClick(view, Qt::Key_Return);
    QTRY_COMPARE(form.connects, 1);
    QCOMPARE(form.comboTextsAtConnect.last(), "sales|master");

    form.ComboBox2->showPopup();
    view = form.ComboBox2->view();
    QTRY_VERIFY(view->isVisible());
    view->setCurrentIndex(view->model()->index(1, 0));
    QTest::keyClick(view, Qt::Key_Return);
    QTRY_COMPARE(form.connects, 2);
    QCOMPARE(form.comboTextsAtConnect.last(), "sales|sales_local");
    QVERIFY(dialogs.shown.isEmpty());
}

void Form43EventsTest::keyboardStepsConnectOncePerStep()
{
    WatchedForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.ComboBox2->addItems({"a", "b", "c"});
    form.ComboBox2->setCurrentIndex(0);
    form.ComboBox2->setFocus();
    QTest::keyClick(form.ComboBox2, Qt::Key_Down);
    QTest::keyClick(form.ComboBox2, Qt::Key_Down);
    QCOMPARE(form.connects, 2);
    QCOMPARE(form.comboTextsAtConnect, QStringList({"|b", "|c"}));
    QTest::keyClick(form.ComboBox2, Qt::Key_Down);  // already at the last entry: no change
    QCOMPARE(form.connects, 2);
}

void Form43EventsTest::listChangesKeepTheShownText()
{
    WatchedForm form;
    form.show();
    QComboBox *box = form.ComboBox2;
    box->setEditText("typed_db");
    dbsync::appendEntry(box, "master");
    dbsync::appendEntry(box, "sales");
    QCOMPARE(box->currentText(), "typed_db");
    QCOMPARE(box->count(), 2);
    // Nothing chosen yet: the first step down chooses the first entry.
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Down);
    QCOMPARE(box->currentText(), "master");
    QCOMPARE(form.connects, 1);

    dbsync::clearEntries(box);
    QCOMPARE(box->count(), 0);
    QCOMPARE(box->currentText(), "master");
    dbsync::clearEntries(box);
    QCOMPARE(box->currentText(), "master");
    QCOMPARE(form.connects, 1);
}

void Form43EventsTest::errorsOfACommandGoToTheErrorDisplay()
{
    WatchedForm form;
    RecordingDialogs dialogs;
    form.setDialogs(&dialogs);
    form.failWith = "[FreeTDS][SQL Server]Login failed for user 'sa'";
    form.ComboBox2->addItems({"a", "b"});
    form.show();
    form.ComboBox2->setFocus();
    QTest::keyClick(form.ComboBox2, Qt::Key_Down);
    QCOMPARE(form.connects, 1);
    // "'" has a code below ".", so no full stop follows it.
    QCOMPARE(dialogs.texts("error"), QStringList({"[FreeTDS][SQL Server]Login failed for user 'sa'"}));

    // Errors carry UTF-8 text.
    form.failWith = "无法连接服务器";
    form.runCommand(&TForm43::ComboBox1Select);
    QCOMPARE(dialogs.texts("error").last(), "无法连接服务器.");
    QCOMPARE(dialogs.shown.size(), 2);
}

void Form43EventsTest::fullStopRule()
{
    using dbsync::withFullStop;
    QCOMPARE(withFullStop("Invalid column name x"), "Invalid column name x.");
    QCOMPARE(withFullStop("Unable to write to ./myini.ini"), "Unable to write to ./myini.ini.");
    QCOMPARE(withFullStop("Error: not a Hex String"), "Error: not a Hex String.");
    QCOMPARE(withFullStop("已经结束。"), "已经结束。.");  // above "." though a full stop of its own
    // Not after a character at or below "."
    for (const char *kept : {"done.", "(code 3)", "name 'x'", "trailing ", "line\n", "stop!", "a,",
                             "a-", ""})
        QCOMPARE(withFullStop(kept), QString(kept));
    // "/" is the first code above "."
    QCOMPARE(withFullStop("C:/"), "C:/.");
}

void Form43EventsTest::messageBoxesHaveTheirCaptionIconAndButton()
{
    QCOMPARE(dbsync::applicationTitle(), "Form43EventsTest");
    TForm43 form;
    form.show();
    struct Seen {
        QString title, text;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
    };
    QList<Seen> seen;
    const auto closeNextBox = [&seen] {
        QTimer::singleShot(0, [&seen] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            seen.append({box->windowTitle(), box->text(), box->icon(), box->standardButtons()});
            box->button(QMessageBox::Ok)->click();
        });
    };
    closeNextBox();
    form.dialogs().inputCheck("请添写密码！");
    closeNextBox();
    form.dialogs().notice("表格结构同步完成");
    closeNextBox();
    form.showError("Unable to write to ./myini.ini");
    QCOMPARE(seen.size(), 3);
    QCOMPARE(seen[0].title, "提示");
    QCOMPARE(seen[0].text, "请添写密码！");
    QCOMPARE(seen[0].icon, QMessageBox::Information);
    QCOMPARE(seen[1].title, "Form43EventsTest");
    QCOMPARE(seen[1].icon, QMessageBox::NoIcon);
    QCOMPARE(seen[2].title, "Form43EventsTest");
    QCOMPARE(seen[2].text, "Unable to write to ./myini.ini.");
    QCOMPARE(seen[2].icon, QMessageBox::Critical);
    for (const Seen &s : seen)
        QCOMPARE(s.buttons, QMessageBox::Ok);
}

void Form43EventsTest::inputCheckShowsTheMessageAndMovesFocusAsAsked()
{
    TForm43 form;
    RecordingDialogs dialogs;
    form.setDialogs(&dialogs);
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    form.Button9->setFocus();

    QVERIFY(!form.requireText(form.EPassword, "请添写密码！", nullptr));
    QCOMPARE(dialogs.texts("inputCheck"), QStringList({"请添写密码！"}));
    QCOMPARE(QApplication::focusWidget(), form.Button9);  // focus stays

    QVERIFY(!form.requireText(form.ComboBox2, "请添写帐套名称！", form.ComboBox2));
    QVERIFY(form.ComboBox2->hasFocus());

    form.ComboBox2->setEditText(" ");  // blanks pass: texts are not trimmed
    QVERIFY(form.requireText(form.ComboBox2, "请添写帐套名称！", form.ComboBox2));
    form.EIP->setText("10.0.0.1");
    QVERIFY(form.requireText(form.EIP, "上级IP地址！", form.EIP));
    QCOMPARE(dialogs.shown.size(), 2);

    QVERIFY_THROWS_EXCEPTION(std::logic_error, form.requireText(form.Memo1, "x", nullptr));
}

void Form43EventsTest::eachButtonRunsItsCommand()
{
    RecordingForm form;
    form.show();
    form.Button10->setEnabled(true);
    form.button22->setEnabled(true);
    const std::pair<QPushButton *, const char *> wiring[] = {
        {form.Button1, "Button1Click"},   {form.Button4, "Button4Click"},
        {form.Button5, "Button5Click"},   {form.Button7, "Button7Click"},
        {form.Button9, "Button9Click"},   {form.Button10, "Button10Click"},
        {form.Button12, "Button12Click"}, {form.Button14, "Button14Click"},
        {form.button22, "Button22Click"},
    };
    for (const auto &[button, command] : wiring) {
        form.ran.clear();
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(form.ran, QStringList({command}));
    }
}

QTEST_MAIN(Form43EventsTest)
#include "Form43EventsTest.moc"
