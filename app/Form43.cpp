#include "app/Form43.h"

#include "app/CommandProgress.h"
#include "app/GridMenu.h"
#include "app/Logo.h"
#include "app/ResultGrid.h"
#include "app/StarPasswordStyle.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTextDocument>

namespace {

constexpr int kClientWidth = 975;
constexpr int kClientHeight = 787;
constexpr int kStatusBarHeight = 19;
// Memo1 keeps this distance to the right edge of the client area.
constexpr int kMemoRightMargin = kClientWidth - (8 + 929);

// Tahoma where it exists, else a sans-serif of the same pixel size that has Chinese glyphs.
QFont windowFont(int pixelSize)
{
    QFont font;
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("WenQuanYi Micro Hei")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    return font;
}

const QString kMemoText = QStringLiteral(
    "【说明：】本程序原本是我自己使用，这个觉得对开发数据库软件很实用，现给大家共享\n"
    "首次使用，先填写 ip地址 用户名 密码后生成连接数据库文件，然后再按‘’读取数据连接参数‘’按钮"
    " ，然后按查询按钮，可以进行对比远程和本地的数据库不同，并可以自动把本\n"
    "地数据库修改成跟远程数据库相同。\n"
    "同步操作后不能恢复，务必谨慎进行，同步前请备份数据库。系统已经带备份功能\n"
    "主页：dbsync 项目主页    作者：dbsync contributors    联系：见 dbsync 项目主页");

template <typename W>
W *place(QWidget *parent, const char *name, int left, int top, int width, int height)
{
    auto *w = new W(parent);
    w->setObjectName(QLatin1String(name));
    w->setGeometry(left, top, width, height);
    return w;
}

QLabel *label(QWidget *parent, const char *name, int left, int top, int width, int height,
              const QString &text)
{
    auto *l = place<QLabel>(parent, name, left, top, width, height);
    l->setText(text);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return l;
}

QPushButton *button(QWidget *parent, const char *name, int left, int top, const QString &text)
{
    auto *b = place<QPushButton>(parent, name, left, top, 125, 25);
    b->setText(text);
    b->setAutoDefault(false);
    return b;
}

QComboBox *comboBox(QWidget *parent, const char *name, int left, int top)
{
    auto *c = place<QComboBox>(parent, name, left, top, 146, 21);
    c->setEditable(true);
    // Typed text is only text: it neither joins the list nor counts as choosing an entry.
    c->setInsertPolicy(QComboBox::NoInsert);
    c->setDuplicatesEnabled(true);
    return c;
}

}  // namespace

TForm43::TForm43(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("Form43"));
    setWindowTitle(QStringLiteral("Zorbany通用数据库同步"));
    setFont(windowFont(11));
    m_progress = new dbsync::CommandProgress(this);
    createControls();
    createStatusBar();
    setTabOrderChain();
    wireEvents();
    DBGrid1->setDataSource(&DataSource1);
    dbsync::gridmenu::install(*this);
    resize(kClientWidth, kClientHeight);
    Button1->setFocus();  // first in the tab order
}

TForm43::~TForm43()
{
    // The data set goes before the grid does.
    DBGrid1->setDataSource(nullptr);
}

void TForm43::createControls()
{
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    setCentralWidget(client);
    client->installEventFilter(this);

    // Labels and the picture first: they lie beneath the other controls, as they overlap some.
    Label5 = label(client, "Label5", 162, 8, 60, 13, QStringLiteral("样本数据库"));
    Label10 = label(client, "Label10", 324, 8, 60, 13, QStringLiteral("目的数据库"));
    Label1 = label(client, "Label1", 55, 40, 58, 13, QStringLiteral("IP地址：    "));
    Label2 = label(client, "Label2", 56, 60, 57, 13, QStringLiteral("用户名：   "));
    Label3 = label(client, "Label3", 62, 86, 51, 13, QStringLiteral("密码 ：    "));
    Label4 = label(client, "Label4", 38, 112, 87, 13, QStringLiteral("数据库列表 ：    "));
    Image1 = place<QLabel>(client, "Image1", 449, 15, 184, 84);
    Image1->setPixmap(dbsync::logoPixmap());
    Label6 = label(client, "Label6", 480, 112, 117, 13, QStringLiteral("dbsync 项目主页"));
    Label7 = label(client, "Label7", 222, 139, 333, 45, QStringLiteral("数据库同步辅助工具"));
    Label7->setFont(windowFont(37));

    EIP = place<QLineEdit>(client, "EIP", 119, 33, 146, 21);
    EUser = place<QLineEdit>(client, "EUser", 119, 59, 146, 21);
    EPassword = place<QLineEdit>(client, "EPassword", 119, 85, 146, 21);
    ComboBox1 = comboBox(client, "ComboBox1", 119, 112);
    Edit2 = place<QLineEdit>(client, "Edit2", 281, 33, 146, 21);
    Edit3 = place<QLineEdit>(client, "Edit3", 281, 59, 146, 21);
    MaskEdit1 = place<QLineEdit>(client, "MaskEdit1", 281, 85, 146, 21);
    ComboBox2 = comboBox(client, "ComboBox2", 281, 112);

    Button4 = button(client, "Button4", 655, 8, QStringLiteral("读取数据连接参数"));
    Button5 = button(client, "Button5", 655, 39, QStringLiteral("生成数据库链接文件"));
    Button1 = button(client, "Button1", 655, 70, QStringLiteral("查询数据库列表"));
    Button7 = button(client, "Button7", 655, 101, QStringLiteral("备份数据库"));
    Button12 = button(client, "Button12", 655, 132, QStringLiteral("链接数据库"));
    Button9 = button(client, "Button9", 808, 8, QStringLiteral("列出存储过程区别"));
    Button10 = button(client, "Button10", 808, 39, QStringLiteral("同步存储过程"));
    Button14 = button(client, "Button14", 808, 70, QStringLiteral("列出表详细区别"));
    button22 = button(client, "button22", 808, 101, QStringLiteral("同步表结构操作"));

    CheckBox1 = place<QCheckBox>(client, "CheckBox1", 824, 140, 97, 17);
    CheckBox1->setText(QStringLiteral("导出脚本"));

    Memo1 = place<QPlainTextEdit>(client, "Memo1", 8, 208, 929, 70);
    Memo1->setPlainText(kMemoText);
    Memo1->document()->setDocumentMargin(1);  // the five lines fit without a scroll bar

    // The static text lies where the grid is; the grid, made after it, covers it.
    StaticText1 = label(client, "StaticText1", 182, 376, 121, 17, QStringLiteral("dbsync 项目主页"));
    DBGrid1 = place<dbsync::ResultGrid>(client, "DBGrid1", 8, 284, 929, 461);

    // The masked fields show "*" whatever the platform style would choose.
    auto *stars = new dbsync::StarPasswordStyle;
    stars->setParent(this);  // made after the fields, so destroyed after them
    for (QLineEdit *masked : {EUser, EPassword, Edit3, MaskEdit1}) {
        masked->setStyle(stars);
        masked->setEchoMode(QLineEdit::Password);
    }
}

void TForm43::createStatusBar()
{
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->setFixedHeight(kStatusBarHeight);
    // Panels at fixed places, outside the bar's own layout: a narrow window cuts them off
    // instead of being held wide by them.
    const struct {
        int width;
        QString text;
    } panels[] = {
        {300, QStringLiteral("通用数据库结构同步工具")},
        {100, QStringLiteral("V1.01版")},
        {200, QStringLiteral("作者：dbsync contributors")},
        {50, QStringLiteral("dbsync")},
    };
    int left = 0;
    int n = 1;
    for (const auto &panel : panels) {
        auto *l = new QLabel(panel.text, StatusBar1);
        l->setObjectName(QStringLiteral("StatusPanel%1").arg(n++));
        l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        l->setGeometry(left, 0, panel.width, kStatusBarHeight);
        left += panel.width;
    }
    setStatusBar(StatusBar1);
}

void TForm43::setTabOrderChain()
{
    // Tab order 0 to 18, then 20 and 21 (there is no 19).
    QWidget *const order[] = {Button1, EIP, EUser, Button4, Button5, ComboBox1, Button7,
                              EPassword, StaticText1, Edit2, Edit3, ComboBox2, MaskEdit1, Memo1,
                              Button9, Button10, Button12, Button14, button22, DBGrid1, CheckBox1};
    for (size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

bool TForm43::eventFilter(QObject *watched, QEvent *event)
{
    // Memo1 follows the right edge; nothing else moves or grows.
    if (watched == centralWidget() && event->type() == QEvent::Resize) {
        const int width = centralWidget()->width() - Memo1->x() - kMemoRightMargin;
        Memo1->resize(std::max(0, width), Memo1->height());
    }
    return QMainWindow::eventFilter(watched, event);
}
