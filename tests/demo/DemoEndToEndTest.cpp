// The demo end to end, offscreen: the settings file the run script writes, the listings it
// promises, and a new user's whole round of buttons ending with the target like the sample,
// its rows kept and the backup before the first synchronisation holding them.

#include "tests/app/RecordingDialogs.h"
#include "tests/demo/DemoServers.h"

#include "app/Form43.h"
#include "app/Form43Sync.h"
#include "tests/e2e/ListingComparison.h"
#include "workflow/Workflow.h"
#include "app/ResultGrid.h"
#include "db/AdoConnection.h"
#include "db/AdoQuery.h"
#include "db/ConnectionString.h"

#include <QApplication>
#include <QComboBox>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMap>
#include <QPushButton>
#include <QSet>
#include <gtest/gtest.h>

#include <memory>
#include <ostream>

inline void PrintTo(const QString &text, std::ostream *out) { *out << '"' << text.toStdString() << '"'; }

namespace {

using demo::DemoServers;

class Demo : public ::testing::Test {
protected:
    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "DemoEndToEndTest";
        static char *argv[] = {name, nullptr};
        if (!QApplication::instance())
            new QApplication(argc, argv);  // lives as long as the test process
        servers = std::make_unique<DemoServers>();
        const QString settings = QCoreApplication::applicationDirPath() + "/myini.ini";
        QFile::remove(settings);
        ASSERT_EQ(servers->writeSettings(settings), 0);
        window = std::make_unique<TForm43>();
        window->setDialogs(&dialogs);
        window->show();
        QApplication::processEvents();  // let the window lay itself out before any grab
    }

    void TearDown() override
    {
        if (window)
            window->setDialogs(nullptr);
        window.reset();
        servers.reset();
    }

    // A listing the command leaves on screen must also come out the same the local way.
    void press(void (TForm43::*command)())
    {
        const qsizetype errorsBefore = errors().size();
        window->runCommand(command);
        const auto kind = dbsync::workflow::listingKind(listing());
        const bool listed = command == &TForm43::Button9Click || command == &TForm43::Button14Click;
        if (listed && kind && errors().size() == errorsBefore)
            dbsync::test::expectSameListing(
                listing(), dbsync::workflow::localListing(*window, dbsync::form43::serverFields(*window), *kind, false));
    }
    const dbsync::ResultSet &listing() const { return window->ADOQuery2.result(); }
    int rows() const { return listing().rowCount(); }
    QString field(int row, const QString &name) const { return listing().text(row, name); }
    QStringList errors() const { return dialogs.texts("error"); }

    void selectAll()
    {
        QItemSelectionModel *model = window->DBGrid1->selectionModel();
        for (int row = 0; row < rows(); ++row)
            model->select(window->DBGrid1->model()->index(row, 0),
                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    // "code|table.column" of each listing row, the sample's names where it has them.
    QStringList tableRows() const
    {
        QStringList out;
        for (int i = 0; i < rows(); ++i) {
            const QString table = field(i, "表名1").isEmpty() ? field(i, "表名2") : field(i, "表名1");
            const QString column = field(i, "字段名").isEmpty() ? field(i, "字段名_1") : field(i, "字段名");
            out << field(i, "比较结果") + "|" + table + "." + column;
        }
        return out;
    }

    dbsync::ResultSet queryOn(const QString &server, const QString &sql) const
    {
        const bool sample = server == "sample";
        dbsync::AdoConnection connection;
        connection.setConnectionString(dbsync::buildConnectionString(
            sample ? demo::kSamplePassword : demo::kTargetPassword, "sa",
            sample ? demo::kSampleDatabase : demo::kTargetDatabase, servers->address(server)));
        connection.open();
        dbsync::AdoQuery query(&connection, 30);
        query.addSql(sql);
        query.open();
        return query.result();
    }

    // Every column of every user table: "table.column type prec scale nullable identity default".
    QStringList columns(const QString &server) const
    {
        const dbsync::ResultSet r = queryOn(
            server, "select tname=o.name,cname=c.name,type=t.name,c.prec,c.scale,c.isnullable,c.status,"
                    "dflt=isnull(e.text,'') from syscolumns c inner join sysobjects o on c.id=o.id and o.xtype='U' "
                    "left join systypes t on c.xtype=t.xusertype left join syscomments e on c.cdefault=e.id "
                    "order by o.name,c.name");
        QStringList out;
        for (int i = 0; i < r.rowCount(); ++i)
            out << QStringList{r.text(i, "tname") + "." + r.text(i, "cname"), r.text(i, "type"), r.text(i, "prec"),
                               r.text(i, "scale"), r.text(i, "isnullable"),
                               r.text(i, "status") == "128" ? "identity" : "-", r.text(i, "dflt")}
                       .join(' ');
        return out;
    }
    // "table.column" of every primary key column.
    QStringList keyColumns(const QString &server) const
    {
        const dbsync::ResultSet r = queryOn(
            server, "select tname=o.name,cname=c.name from sysobjects k inner join sysindexes i on i.name=k.name "
                    "inner join sysindexkeys x on x.id=k.parent_obj and x.indid=i.indid inner join syscolumns c on "
                    "c.id=x.id and c.colid=x.colid inner join sysobjects o on o.id=k.parent_obj where k.xtype='PK' "
                    "order by o.name,c.name");
        QStringList out;
        for (int i = 0; i < r.rowCount(); ++i)
            out << r.text(i, "tname") + "." + r.text(i, "cname");
        return out;
    }
    // Every row of every user table, keyed by table.
    QMap<QString, dbsync::ResultSet> tableData(const QString &server) const
    {
        const dbsync::ResultSet tables = queryOn(server, "select name from sysobjects where xtype='U'");
        QMap<QString, dbsync::ResultSet> out;
        for (int i = 0; i < tables.rowCount(); ++i) {
            const QString table = tables.text(i, "name");
            out[table] = queryOn(server, "select * from " + table);
        }
        return out;
    }
    // The rows as "value|value|..." of the named columns, sorted: row order is the server's.
    static QStringList rowTexts(const dbsync::ResultSet &r, const QStringList &names)
    {
        QStringList out;
        for (int row = 0; row < r.rowCount(); ++row) {
            QStringList values;
            for (const QString &name : names) {
                const QVariant &v = r.value(row, name);
                values << (v.isValid() ? v.toString() : QStringLiteral("NULL"));
            }
            out << values.join('|');
        }
        out.sort();
        return out;
    }
    // "table.column" -> default text, of every column of the sample that has a default.
    QMap<QString, QString> sampleDefaults() const
    {
        const dbsync::ResultSet r = queryOn(
            "sample", "select tname=o.name,cname=c.name,dflt=e.text from syscolumns c inner join sysobjects o on "
                      "c.id=o.id and o.xtype='U' inner join syscomments e on c.cdefault=e.id");
        QMap<QString, QString> out;
        for (int i = 0; i < r.rowCount(); ++i)
            out[r.text(i, "tname") + "." + r.text(i, "cname")] = r.text(i, "dflt");
        return out;
    }
    // The value a constant default gives: ((1)) -> 1, (N'x') -> x.
    static QString defaultValue(QString text)
    {
        while (text.startsWith('(') && text.endsWith(')'))
            text = text.mid(1, text.size() - 2);
        if (text.startsWith("N'"))
            text.remove(0, 1);
        if (text.startsWith(QLatin1Char('\'')) && text.endsWith(QLatin1Char('\'')))
            text = text.mid(1, text.size() - 2);
        return text;
    }

    // Whole definitions of the views and procedures, keyed "name type".
    QMap<QString, QString> routines(const QString &server) const
    {
        const dbsync::ResultSet r = queryOn(
            server, "select o.name,o.xtype,c.text from sysobjects o inner join syscomments c on c.id=o.id "
                    "where o.xtype in('V','P') order by o.name,c.colid");
        QMap<QString, QString> out;
        for (int i = 0; i < r.rowCount(); ++i)
            out[r.text(i, "name") + " " + r.text(i, "xtype").trimmed()] += r.text(i, "text");
        return out;
    }

    std::unique_ptr<DemoServers> servers;
    RecordingDialogs dialogs;
    std::unique_ptr<TForm43> window;
};

TEST_F(Demo, ReadingTheSettingsFillsBothSidesAndListsTheDatabases)
{
    press(&TForm43::Button4Click);
    ASSERT_EQ(errors(), QStringList());
    EXPECT_EQ(window->EIP->text(), servers->address("sample"));
    EXPECT_EQ(window->EPassword->text(), demo::kSamplePassword);
    EXPECT_EQ(window->ComboBox1->currentText(), demo::kSampleDatabase);
    EXPECT_EQ(window->Edit2->text(), servers->address("target"));
    EXPECT_EQ(window->MaskEdit1->text(), demo::kTargetPassword);
    EXPECT_EQ(window->ComboBox2->currentText(), demo::kTargetDatabase);
    EXPECT_GE(window->ComboBox1->findText(demo::kSampleDatabase), 0);
    EXPECT_GE(window->ComboBox2->findText(demo::kTargetDatabase), 0);
}

TEST_F(Demo, TableListingShowsEveryKindOfDifference)
{
    press(&TForm43::Button4Click);
    press(&TForm43::Button14Click);
    ASSERT_EQ(errors(), QStringList());
    const QStringList got = tableRows();
    for (const char *row : {"2|categories.id", "2|categories.name", "2|categories.sort_order",
                            "5|customers.name",         // length
                            "4|customers.email",        // sample only
                            "4|customers.level",        // sample only, NOT NULL with a default
                            "4|orders.channel",         // sample only, nullable with a default
                            "4|products.discontinued",  // sample only, NOT NULL with a default
                            "3|customers.fax",          // target only
                            "8|customers.is_active",    // another default
                            "8|customers.created",      // no default in the target
                            "5|customers.notes",        // (MAX)
                            "10|orders.id",             // identity
                            "6|order_items.order_id", "6|order_items.line_no",  // two-column key
                            "5|products.code",          // nullability
                            "9|products.price",         // scale
                            "5|products.weight",        // precision
                            "5|products.stock",         // type
                            "4|products.barcode", "4|products.description", "3|products.supplier_code",
                            "6|suppliers.id", "6|suppliers.code",  // key on another column
                            "1|temp_import.batch", "1|temp_import.line"})
        EXPECT_TRUE(got.contains(QString::fromUtf8(row))) << row;
    EXPECT_EQ(got.size(), 26) << got.join('\n').toStdString();

    // Descriptions show beside the columns they belong to.
    for (int i = 0; i < rows(); ++i) {
        if (field(i, "字段名_1") == "fax") {
            EXPECT_EQ(field(i, "字段说明_1"), "Fax number, no longer used");
        }
    }
    EXPECT_TRUE(window->button22->isEnabled());

    // The README's picture of the window after this listing.
    QApplication::processEvents();
    const QImage shot = window->grab().toImage();
    EXPECT_EQ(shot.size(), QSize(975, 787));
    EXPECT_TRUE(shot.save(QStringLiteral(DBSYNC_GRAB_DIR "/demo-table-listing.png")));
}

TEST_F(Demo, RoutineListingShowsMissingExtraAndChangedObjects)
{
    press(&TForm43::Button4Click);
    press(&TForm43::Button9Click);
    ASSERT_EQ(errors(), QStringList());
    QStringList got;
    for (int i = 0; i < rows(); ++i)
        got << field(i, "匹配情况") + "|" + field(i, "对象名称");
    got.sort();
    QStringList expected{"结构不同|v_customer_contacts", "结构不同|usp_add_customer",
                         "结构不同|usp_order_report",  // the second text row only
                         "目标无|v_product_prices", "目标无|usp_customer_summary",
                         "源无|v_import_status", "源无|usp_purge_imports"};
    for (const QString &row : expected)
        EXPECT_TRUE(got.contains(row)) << row.toStdString();
    EXPECT_EQ(got.filter("|usp_order_report").size(), 1);
    EXPECT_FALSE(got.filter("|customer_list").isEmpty());
    EXPECT_TRUE(window->Button10->isEnabled());
}

TEST_F(Demo, NewUsersRoundOfButtonsBringsTheTargetInLine)
{
    press(&TForm43::Button4Click);
    press(&TForm43::Button1Click);
    press(&TForm43::Button14Click);
    ASSERT_EQ(errors(), QStringList());
    ASSERT_GT(rows(), 0);
    const QMap<QString, dbsync::ResultSet> before = tableData("target");
    ASSERT_EQ(before.keys(), (QStringList{"customers", "order_items", "orders", "products", "suppliers", "temp_import"}));
    for (const dbsync::ResultSet &table : before)
        EXPECT_GE(table.rowCount(), 2);

    // Tables: a new table ends its round, and a copied table, a dropped key or default are
    // made good in the next one, so the user lists and synchronises again until nothing is left.
    int rounds = 0;
    QStringList backupText;
    while (rows() > 0 && rounds < 6) {
        selectAll();
        press(&TForm43::Button22Click);
        ASSERT_EQ(errors(), QStringList()) << "round " << rounds;
        if (rounds == 0) {
            // The automatic backup before the first statement.
            const QDir dir(servers->backupDir("target"));
            for (const QString &name : dir.entryList(QDir::Files)) {
                QFile file(dir.filePath(name));
                ASSERT_TRUE(file.open(QIODevice::ReadOnly));
                backupText << QString::fromUtf8(file.readAll());
            }
        }
        ++rounds;
        press(&TForm43::Button14Click);
        ASSERT_EQ(errors(), QStringList()) << "round " << rounds;
    }
    EXPECT_EQ(rows(), 0) << tableRows().join('\n').toStdString();
    // The new table, the dropped one and the rebuilt orders table each end a round.
    EXPECT_EQ(rounds, 5);
    EXPECT_TRUE(dialogs.texts("notice").contains("表格结构同步完成"));

    ASSERT_EQ(backupText.size(), 1);
    for (const char *value : {"李娜贸易有限公司", "021-5012 8888", "SUP-003", "电源适配器 12V", "4999.99",
                              "张伟;010-6552 1234"})
        EXPECT_TRUE(backupText[0].contains(QString::fromUtf8(value))) << value;

    // Every row stays, with every value of the columns both sides have (the order numbers too:
    // code 10 rebuilt their table with them); the columns added from the sample hold its
    // default, or NULL when it has none.
    const QMap<QString, dbsync::ResultSet> after = tableData("target");
    const QMap<QString, dbsync::ResultSet> sample = tableData("sample");
    const QMap<QString, QString> defaults = sampleDefaults();
    EXPECT_EQ(after.keys(), sample.keys());
    EXPECT_EQ(after.value("categories").rowCount(), 0);  // copied without rows
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        const QString &table = it.key();
        if (!sample.contains(table))
            continue;  // dropped (code 1)
        const dbsync::ResultSet &now = after[table];
        ASSERT_EQ(now.rowCount(), it->rowCount()) << table.toStdString();
        QStringList kept;
        for (const QString &column : it->fieldNames())
            if (sample[table].fieldIndex(column) >= 0)
                kept << column;
        EXPECT_EQ(rowTexts(now, kept), rowTexts(*it, kept)) << table.toStdString();
        for (const QString &column : now.fieldNames()) {
            if (it->fieldIndex(column) >= 0)
                continue;
            const QString name = table + "." + column;
            const QString value = defaults.contains(name) ? defaultValue(defaults[name]) : QStringLiteral("NULL");
            EXPECT_EQ(rowTexts(now, {column}), QStringList(now.rowCount(), value)) << name.toStdString();
        }
    }
    EXPECT_EQ(rowTexts(after["orders"], {"id"}), (QStringList{"1", "2", "3"}));

    press(&TForm43::Button9Click);
    ASSERT_GT(rows(), 0);
    selectAll();
    press(&TForm43::Button10Click);
    ASSERT_EQ(errors(), QStringList());
    EXPECT_EQ(rows(), 0);  // the refreshed listing
    EXPECT_TRUE(dialogs.texts("notice").contains("同步视图，存储过程完成！"));

    const qsizetype noticesBefore = dialogs.texts("notice").size();
    press(&TForm43::Button7Click);
    ASSERT_EQ(errors(), QStringList());
    ASSERT_EQ(dialogs.texts("notice").size(), noticesBefore + 1);
    EXPECT_TRUE(dialogs.texts("notice").last().startsWith("已经在服务器C盘上备份c:\\(dbsync_demo_target"));
    const QStringList backups = QDir(servers->backupDir("target")).entryList(QDir::Files);
    ASSERT_FALSE(backups.isEmpty());
    EXPECT_TRUE(backups.first().startsWith(demo::kTargetDatabase));

    // The servers' own catalogues agree, not only the tool's listings.
    EXPECT_EQ(columns("target"), columns("sample"));
    EXPECT_EQ(keyColumns("target"), keyColumns("sample"));
    EXPECT_EQ(routines("target"), routines("sample"));
    EXPECT_EQ(errors(), QStringList());
}

}  // namespace
