// The window as built: names, places, texts, enabled states, tab order, resizing, and a grab
// of it at start and after a resize for a look by eye.
#include "app/Form43.h"
#include "app/ResultGrid.h"
#include "db/ResultSet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QtTest>

namespace {

struct Expected {
    const char *name;
    QRect geometry;
    QString text;  // caption or initial text; null: not checked
};

QString textOf(QWidget *w)
{
    if (auto *l = qobject_cast<QLabel *>(w))
        return l->text();
    if (auto *b = qobject_cast<QAbstractButton *>(w))
        return b->text();
    if (auto *e = qobject_cast<QLineEdit *>(w))
        return e->text();
    if (auto *c = qobject_cast<QComboBox *>(w))
        return c->currentText();
    return {};
}

}  // namespace

class Form43LayoutTest : public QObject {
    Q_OBJECT

private slots:
    void controlsHaveTheirNamesPlacesAndTexts();
    void enabledStatesAndMasking();
    void tabOrderRunsThroughTheDesignedSequence();
    void memoAndStatusBarFollowTheWindowAndNothingElseMoves();
    void memoAndStatusBarTexts();
    void grabAtStartAndAfterResize();
};

void Form43LayoutTest::controlsHaveTheirNamesPlacesAndTexts()
{
    TForm43 form;
    QCOMPARE(form.objectName(), "Form43");
    QCOMPARE(form.windowTitle(), "Zorbany通用数据库同步");
    QCOMPARE(form.size(), QSize(975, 787));
    QCOMPARE(form.font().pixelSize(), 11);
    QCOMPARE(form.font().families().value(0), "Tahoma");

    const Expected controls[] = {
        {"Label5", {162, 8, 60, 13}, "样本数据库"},
        {"Label10", {324, 8, 60, 13}, "目的数据库"},
        {"Label1", {55, 40, 58, 13}, "IP地址：    "},
        {"Label2", {56, 60, 57, 13}, "用户名：   "},
        {"Label3", {62, 86, 51, 13}, "密码 ：    "},
        {"Label4", {38, 112, 87, 13}, "数据库列表 ：    "},
        {"EIP", {119, 33, 146, 21}, ""},
        {"EUser", {119, 59, 146, 21}, ""},
        {"EPassword", {119, 85, 146, 21}, ""},
        {"ComboBox1", {119, 112, 146, 21}, ""},
        {"Edit2", {281, 33, 146, 21}, ""},
        {"Edit3", {281, 59, 146, 21}, ""},
        {"MaskEdit1", {281, 85, 146, 21}, ""},
        {"ComboBox2", {281, 112, 146, 21}, ""},
        {"Image1", {449, 15, 184, 84}, {}},
        {"Label6", {480, 112, 117, 13}, {}},
        {"Label7", {222, 139, 333, 45}, "数据库同步辅助工具"},
        {"Button4", {655, 8, 125, 25}, "读取数据连接参数"},
        {"Button5", {655, 39, 125, 25}, "生成数据库链接文件"},
        {"Button1", {655, 70, 125, 25}, "查询数据库列表"},
        {"Button7", {655, 101, 125, 25}, "备份数据库"},
        {"Button12", {655, 132, 125, 25}, "链接数据库"},
        {"Button9", {808, 8, 125, 25}, "列出存储过程区别"},
        {"Button10", {808, 39, 125, 25}, "同步存储过程"},
        {"Button14", {808, 70, 125, 25}, "列出表详细区别"},
        {"button22", {808, 101, 125, 25}, "同步表结构操作"},
        {"CheckBox1", {824, 140, 97, 17}, "导出脚本"},
        {"Memo1", {8, 208, 929, 70}, {}},
        {"StaticText1", {182, 376, 121, 17}, {}},
        {"DBGrid1", {8, 284, 929, 461}, {}},
    };
    for (const Expected &e : controls) {
        auto *w = form.centralWidget()->findChild<QWidget *>(e.name, Qt::FindDirectChildrenOnly);
        QVERIFY2(w, e.name);
        QVERIFY2(w->geometry() == e.geometry,
                 qPrintable(QString("%1 at %2,%3 %4x%5").arg(e.name).arg(w->x()).arg(w->y())
                                .arg(w->width()).arg(w->height())));
        if (!e.text.isNull())
            QCOMPARE(textOf(w), e.text);
    }
    // The public members are the named controls.
    QCOMPARE(form.button22->objectName(), "button22");
    QCOMPARE(form.DBGrid1->objectName(), "DBGrid1");
    QCOMPARE(form.StatusBar1->objectName(), "StatusBar1");
    QVERIFY(!form.Label6->text().isEmpty());
    QVERIFY(!form.StaticText1->text().isEmpty());
    QCOMPARE(form.Image1->pixmap().size(), QSize(184, 84));
    QCOMPARE(form.Label7->font().pixelSize(), 37);
    // The grid covers the static text.
    const QList<QObject *> stack = form.centralWidget()->children();
    QVERIFY(stack.indexOf(form.StaticText1) < stack.indexOf(form.DBGrid1));
}

void Form43LayoutTest::enabledStatesAndMasking()
{
    TForm43 form;
    QVERIFY(form.CheckBox1->isEnabled());  // enabled so the script echo can be used
    QVERIFY(!form.CheckBox1->isChecked());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QVERIFY(!form.Button10->isEnabled());
    QVERIFY(!form.button22->isEnabled());
    for (QPushButton *b : {form.Button1, form.Button4, form.Button5, form.Button7, form.Button9,
                           form.Button12, form.Button14})
        QVERIFY2(b->isEnabled(), qPrintable(b->objectName()));

    for (QLineEdit *masked : {form.EUser, form.EPassword, form.Edit3, form.MaskEdit1}) {
        QCOMPARE(masked->echoMode(), QLineEdit::Password);
        QCOMPARE(masked->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, masked),
                 int('*'));
    }
    for (QLineEdit *plain : {form.EIP, form.Edit2})
        QCOMPARE(plain->echoMode(), QLineEdit::Normal);
    for (QComboBox *c : {form.ComboBox1, form.ComboBox2}) {
        QVERIFY(c->isEditable());
        QCOMPARE(c->insertPolicy(), QComboBox::NoInsert);
    }
}

void Form43LayoutTest::tabOrderRunsThroughTheDesignedSequence()
{
    TForm43 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QStringList expected = {"Button1",  "EIP",       "EUser",     "Button4",  "Button5",
                                  "ComboBox1", "Button7",  "EPassword", "Edit2",    "Edit3",
                                  "ComboBox2", "MaskEdit1", "Memo1",    "Button9",  "Button10",
                                  "Button12",  "Button14",  "button22", "DBGrid1",  "CheckBox1"};
    // Enable the two sync buttons so that Tab stops at them too.
    form.Button10->setEnabled(true);
    form.button22->setEnabled(true);
    QStringList visited;
    QWidget *w = form.Button1;
    for (int i = 0; i < 100 && visited.size() < expected.size(); ++i) {
        if (w->isEnabled() && w->isVisible() && (w->focusPolicy() & Qt::TabFocus)
            && !w->objectName().isEmpty() && w->focusProxy() == nullptr)
            visited.append(w->objectName());
        w = w->nextInFocusChain();
    }
    QCOMPARE(visited, expected);
}

void Form43LayoutTest::memoAndStatusBarFollowTheWindowAndNothingElseMoves()
{
    TForm43 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.centralWidget()->size(), QSize(975, 768));
    QCOMPARE(form.StatusBar1->geometry(), QRect(0, 768, 975, 19));

    QMap<QString, QRect> before;
    for (QWidget *w : form.centralWidget()->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        before[w->objectName()] = w->geometry();

    form.resize(1200, 700);
    QTRY_COMPARE(form.centralWidget()->width(), 1200);
    QCOMPARE(form.Memo1->geometry(), QRect(8, 208, 1200 - 46, 70));
    QCOMPARE(form.StatusBar1->geometry(), QRect(0, 700 - 19, 1200, 19));
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        if (it.key() != "Memo1")
            QCOMPARE(form.centralWidget()->findChild<QWidget *>(it.key())->geometry(), it.value());
    }

    form.resize(600, 787);
    QTRY_COMPARE(form.Memo1->width(), 600 - 46);
    form.resize(20, 787);
    QTRY_COMPARE(form.Memo1->width(), 0);
    QCOMPARE(form.DBGrid1->geometry(), QRect(8, 284, 929, 461));
}

void Form43LayoutTest::memoAndStatusBarTexts()
{
    TForm43 form;
    const QStringList lines = form.Memo1->toPlainText().split('\n');
    QCOMPARE(lines.size(), 5);
    QCOMPARE(lines[0], "【说明：】本程序原本是我自己使用，这个觉得对开发数据库软件很实用，现给大家共享");
    QCOMPARE(lines[1], "首次使用，先填写 ip地址 用户名 密码后生成连接数据库文件，然后再按‘’读取数据连接参数‘’按钮"
                       " ，然后按查询按钮，可以进行对比远程和本地的数据库不同，并可以自动把本");
    QCOMPARE(lines[2], "地数据库修改成跟远程数据库相同。");
    QCOMPARE(lines[3], "同步操作后不能恢复，务必谨慎进行，同步前请备份数据库。系统已经带备份功能");
    QVERIFY(!lines[4].isEmpty());

    QList<QLabel *> panels;
    for (int n = 1; n <= 4; ++n)
        panels.append(form.StatusBar1->findChild<QLabel *>(QString("StatusPanel%1").arg(n)));
    QVERIFY(!panels.contains(nullptr));
    QCOMPARE(panels[0]->text(), "通用数据库结构同步工具");
    QCOMPARE(panels[0]->width(), 300);
    QCOMPARE(panels[1]->text(), "V1.01版");
    QCOMPARE(panels[1]->width(), 100);
    QCOMPARE(panels[2]->width(), 200);
    QCOMPARE(panels[3]->width(), 50);
    QCOMPARE(panels[3]->x(), 600);
}

void Form43LayoutTest::grabAtStartAndAfterResize()
{
    TForm43 form;
    form.EIP->setText("192.168.0.10");
    form.EUser->setText("sa");
    form.EPassword->setText("secret");
    form.ComboBox1->setEditText("样本库");
    dbsync::ResultSet views({"类型", "匹配情况", "对象名称", "atext", "btext"});
    views.appendRow({QString("V"), QString("不同"), QString("v_orders"), QString("create view v_orders as ..."),
                     QString("create view v_orders as select 1")});
    views.appendRow({QString("P"), QString("目的库没有"), QString("p_sync"), QString("create procedure p_sync"),
                     QVariant()});
    form.DBGrid1->showResult(&views);
    const int widths[] = {60, 80, 80, 250, 250};
    for (int p = 0; p < 5; ++p)
        form.DBGrid1->setColumnWidthAt(p, widths[p]);
    form.DBGrid1->selectRow(1);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QString dir = QStringLiteral(DBSYNC_GRAB_DIR);
    QVERIFY(form.grab().save(dir + "/form43-start.png"));
    form.resize(1180, 820);
    QTRY_COMPARE(form.centralWidget()->width(), 1180);
    QVERIFY(form.grab().save(dir + "/form43-resized.png"));
}

QTEST_MAIN(Form43LayoutTest)
#include "Form43LayoutTest.moc"
