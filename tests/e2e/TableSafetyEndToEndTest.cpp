// Synchronisations on targets that hold rows: each runs in one transaction, so a refusal half
// way, a dropped connection or a cancel leaves the catalogue and every row as they were; a step
// that would lose stored values is asked about first; an identity change keeps every value.
// The target is judged by our own queries of sys.* and of its rows, not by the tool's model.

#include "app/CommandProgress.h"
#include "app/Dialogs.h"
#include "app/ObjectCommands.h"
#include "tests/e2e/CatalogueSnapshot.h"
#include "tests/e2e/SchemaSyncFixture.h"

#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>

using namespace dbsync;
using namespace dbsync::test;

namespace {

const QString kCustomers = QStringLiteral(
    "create table Customers (Id int not null constraint PK_Customers primary key, Name nvarchar(40) not null)");
const QString kOrders = QStringLiteral(
    "create table Orders (Id int identity(1,1) not null constraint PK_Orders primary key, "
    "CustomerId int not null constraint FK_Orders_Customers references Customers (Id), Qty int not null%1)");

class TableSafety : public SchemaSyncTest {
protected:
    void SetUp() override
    {
        SchemaSyncTest::SetUp();
        if (!window)
            return;
        onTarget(kCustomers);
        onTarget(QStringLiteral("insert Customers values (5, N'甲'), (9, N'乙'), (12, N'丙')"));
        onTarget(kOrders.arg(QStringLiteral(", Note varchar(40) null")));
        onTarget(QStringLiteral("insert Orders (CustomerId, Qty, Note) values (5, -1, 'a'), (9, 2, 'b'), (12, 3, null)"));
        onSample(kCustomers);
    }
    void TearDown() override
    {
        if (window && servers->onSqlsim())
            execOn("target", "master", "exec sqlsim_fault 'clear'");
        SchemaSyncTest::TearDown();
    }

    QStringList targetNow() const
    {
        return snapshot([this](const QString &sql) { return queryOn("target", targetDb, sql); });
    }
    QStringList catalogueDifferences() const
    {
        return test::catalogueDifferences([this](const QString &sql) { return queryOn("sample", sampleDb, sql); },
                                          [this](const QString &sql) { return queryOn("target", targetDb, sql); });
    }
    int find(const QString &code, const QString &column) const
    {
        for (int r = 0; r < rows(); ++r)
            if (field(r, "比较结果") == code
                && (field(r, "字段名") == column || field(r, "字段名_1") == column || field(r, "表名2") == column))
                return r;
        ADD_FAILURE() << "no row " << code.toStdString() << " " << column.toStdString();
        return 0;
    }
    // Lists the columns and selects the rows of these codes and columns.
    void chooseColumns(const QList<std::pair<QString, QString>> &chosen)
    {
        press(&TForm43::Button14Click);
        QList<int> positions;
        for (const auto &[code, column] : chosen)
            positions << find(code, column);
        selectRows(positions);
    }
    void syncColumns(const QList<std::pair<QString, QString>> &chosen)
    {
        chooseColumns(chosen);
        press(&TForm43::Button22Click);
    }
    void expectUndone(const QStringList &before, qsizetype errorsBefore, const QString &serverText)
    {
        ASSERT_EQ(errors().size(), errorsBefore + 1);
        const QString error = errors().back();
        EXPECT_TRUE(error.contains(serverText)) << error.toStdString();
        EXPECT_TRUE(error.contains(workflow::kTargetUnchanged)) << error.toStdString();
        EXPECT_EQ(targetNow(), before);
    }
};

TEST_F(TableSafety, ARefusalHalfWayUndoesEveryStatementInBothWaysOfComparing)
{
    onSample(kOrders.arg(QStringLiteral(", Shipped bit null, Note int null")));
    window->b = true;  // the backup is tested elsewhere
    const QStringList before = targetNow();
    for (const auto mode : {workflow::CompareMode::Server, workflow::CompareMode::Local}) {
        SCOPED_TRACE(int(mode));
        window->setCompareMode(mode);
        const qsizetype errorsBefore = errors().size();
        const qsizetype mark = this->mark();
        // The new column is added, then the stored 'a' cannot become an int: both are undone.
        syncColumns({{"4", "Shipped"}, {"5", "Note"}});
        EXPECT_EQ(dialogs.texts("dataLoss").back(), "列 Orders.Note：改为 int，有 2 行的值可能改变或被截断");
        if (logged()) {
            // The new column, the key's drop before the type change, the refused change.
            EXPECT_EQ(sentSince(mark, "alter table").size(), 3);
            EXPECT_EQ(sentSince(mark, "SET XACT_ABORT ON").size(), 1);
            EXPECT_EQ(sentSince(mark, "COMMIT").size(), 0);
        }
        expectUndone(before, errorsBefore, "Conversion failed");
    }
}

TEST_F(TableSafety, ACheckTheRowsBreakUndoesTheWholeSynchroniseAll)
{
    onSample(kOrders.arg(QStringLiteral(", Note varchar(40) null, constraint CK_Orders_Qty check (Qty >= 0)")));
    onSample(QStringLiteral("create index IX_Orders_Customer on Orders (CustomerId)"));
    onSample(QStringLiteral("create table Audit (Id int not null primary key)"));
    window->b = true;
    const QStringList before = targetNow();
    dialogs.answers = {true};  // the plan
    window->runCommand([this] { objectcommands::syncAll(*window); });
    expectUndone(before, 0, "CK_Orders_Qty");
    EXPECT_EQ(dialogs.texts("dataLoss"), QStringList());
}

TEST_F(TableSafety, ADroppedConnectionOrACancelUndoesEverythingInBothWaysOfComparing)
{
    if (!servers->onSqlsim())
        GTEST_SKIP() << kNeedsFaults;
    onSample(kOrders.arg(QStringLiteral(", Note varchar(40) null, Shipped bit null, Flag int null")));
    window->b = true;
    const QStringList before = targetNow();
    for (const auto mode : {workflow::CompareMode::Server, workflow::CompareMode::Local}) {
        SCOPED_TRACE(int(mode));
        window->setCompareMode(mode);
        const qsizetype errorsBefore = errors().size();
        execOn("target", "master", "exec sqlsim_fault 'drop', 1, ' add Flag '");
        syncColumns({{"4", "Shipped"}, {"4", "Flag"}});
        ASSERT_EQ(errors().size(), errorsBefore + 1);
        EXPECT_TRUE(errors().back().contains(workflow::kTargetUnchanged)) << errors().back().toStdString();
        EXPECT_EQ(targetNow(), before);

        // The statement after the first stalls; the user cancels; nothing stays, and no
        // transaction is left open to hold others up.
        execOn("target", "master", "exec sqlsim_fault 'stall', 1, ' add Flag ', 20");
        QTimer::singleShot(1500, qApp, [this] { window->progress().cancel(); });
        syncColumns({{"4", "Shipped"}, {"4", "Flag"}});
        ASSERT_EQ(errors().size(), errorsBefore + 2);
        EXPECT_TRUE(errors().back().startsWith("操作已取消")) << errors().back().toStdString();
        EXPECT_TRUE(errors().back().contains(workflow::kTargetUnchanged));
        EXPECT_EQ(targetNow(), before);
        QElapsedTimer clock;
        clock.start();
        execOn("target", targetDb, "insert Customers values (30, N'丁')");
        execOn("target", targetDb, "delete Customers where Id = 30");
        EXPECT_LT(clock.elapsed(), 5000);
    }
}

TEST_F(TableSafety, ValuesAreLostOnlyWhenTheUserSaysSo)
{
    onSample(kOrders.arg(QString()));
    onTarget(QStringLiteral("create table ZLegacy (k int null)"));
    onTarget(QStringLiteral("insert ZLegacy values (1), (2)"));
    const QStringList before = targetNow();
    chooseColumns({{"3", "Note"}, {"1", "ZLegacy"}});
    const qsizetype mark = this->mark();
    dialogs.agreeToDataLoss = false;
    press(&TForm43::Button22Click);
    const QString asked = QStringLiteral("列 Orders.Note：删除列，有 2 行的值不为空\n表 ZLegacy：删除表，表中有 2 行数据");
    EXPECT_EQ(dialogs.texts("dataLoss"), QStringList{asked});
    EXPECT_EQ(errors(), QStringList());
    EXPECT_FALSE(window->b);  // declined before the backup
    if (logged()) {
        for (const QString &b : batchesSince(mark))
            EXPECT_TRUE(b.startsWith("select", Qt::CaseInsensitive) || b.startsWith("exec sp_configure") || b == "reconfigure")
                << b.toStdString();
    }
    EXPECT_EQ(targetNow(), before);

    dialogs.agreeToDataLoss = true;
    press(&TForm43::Button22Click);
    EXPECT_EQ(errors(), QStringList());
    EXPECT_TRUE(window->b);
    EXPECT_EQ(queryOn("target", targetDb, "select count(*) from sys.tables where name = 'ZLegacy'").value(0, 0).toInt(), 0);

    // The question as the user sees it: 取消 is the default button.
    QString defaultButton;
    QTimer::singleShot(300, qApp, [&defaultButton] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        box->grab().save(QStringLiteral(DBSYNC_GRAB_DIR "/data-loss-dialog.png"));
        defaultButton = box->defaultButton() ? box->defaultButton()->text() : QString();
        box->reject();
    });
    MessageBoxDialogs real(window.get());
    EXPECT_FALSE(real.confirmDataLoss(asked.split('\n')));
    EXPECT_EQ(defaultButton, "取消");
}

TEST_F(TableSafety, AnIdentityChangeKeepsEveryValueReferenceAndTheNumbering)
{
    // The column listing's code 10: the target's key becomes the identity column.
    onSample(QStringLiteral("drop table Customers"));
    onSample(QStringLiteral("create table Customers (Id int identity(1,1) not null constraint PK_Customers primary key, "
                            "Name nvarchar(40) not null)"));
    onSample(kOrders.arg(QStringLiteral(", Note varchar(40) null")));
    window->b = true;
    const QStringList orders = rowsOf(queryOn("target", targetDb, "select * from Orders"));
    const QStringList customers = rowsOf(queryOn("target", targetDb, "select * from Customers"));
    syncColumns({{"10", "Id"}});
    EXPECT_EQ(errors(), QStringList());
    EXPECT_EQ(dialogs.texts("dataLoss"), QStringList());
    EXPECT_EQ(rowsOf(queryOn("target", targetDb, "select * from Customers")), customers);
    EXPECT_EQ(rowsOf(queryOn("target", targetDb, "select * from Orders")), orders);
    EXPECT_EQ(catalogueDifferences(), QStringList());
    execOn("target", targetDb, "insert Customers (Name) values (N'丁')");
    EXPECT_EQ(queryOn("target", targetDb, "select max(Id) from Customers").value(0, 0).toInt(), 13);

    // The schema model's way, the other direction: Orders, referenced from another table, no
    // longer numbers itself.
    for (const QString &side : {QStringLiteral("sample"), QStringLiteral("target")}) {
        const QString db = side == QLatin1String("sample") ? sampleDb : targetDb;
        execOn(side, db, "create table Lines (OrderId int not null constraint FK_Lines_Orders references Orders (Id), No int not null)");
    }
    onTarget(QStringLiteral("insert Lines values (1, 1), (3, 1), (3, 2)"));
    onSample(QStringLiteral("drop table Lines"));
    onSample(QStringLiteral("drop table Orders"));
    onSample(kOrders.arg(QStringLiteral(", Note varchar(40) null")).replace("identity(1,1) ", ""));
    onSample(QStringLiteral("create table Lines (OrderId int not null constraint FK_Lines_Orders references Orders (Id), No int not null)"));
    const QStringList lines = rowsOf(queryOn("target", targetDb, "select * from Lines"));
    dialogs.answers = {true};
    window->runCommand([this] { objectcommands::syncAll(*window); });
    EXPECT_EQ(errors(), QStringList());
    EXPECT_EQ(catalogueDifferences(), QStringList());
    EXPECT_EQ(rowsOf(queryOn("target", targetDb, "select * from Orders")), orders);
    EXPECT_EQ(rowsOf(queryOn("target", targetDb, "select * from Lines")), lines);
}

}  // namespace
