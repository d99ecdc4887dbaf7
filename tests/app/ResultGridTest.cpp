// DBGrid1 over a hand-filled result: columns, selection order, widths, current row.
#include "app/ResultGrid.h"
#include "db/AdoDataSource.h"
#include "db/AdoQuery.h"
#include "db/ResultSet.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QtTest>

#include <stdexcept>

using dbsync::ResultGrid;
using dbsync::ResultSet;

namespace {

ResultSet viewListing(int rows)
{
    ResultSet r({"类型", "匹配情况", "对象名称", "atext", "btext"});
    for (int i = 0; i < rows; ++i)
        r.appendRow({QString("V"), QString("不同"), QString("v%1").arg(i), QString("create view"),
                     QVariant()});
    return r;
}

void selectRow(ResultGrid &grid, int row)
{
    grid.selectionModel()->select(grid.model()->index(row, 0),
                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void clickRow(ResultGrid &grid, int row, Qt::KeyboardModifiers modifiers)
{
    const QRect cell = grid.visualRect(grid.model()->index(row, 1));
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, modifiers, cell.center());
}

}  // namespace

class ResultGridTest : public QObject {
    Q_OBJECT

private slots:
    void oneColumnPerFieldTitledWithItsName();
    void rowsSelectedBottomUpAreReportedTopDownEachOnce();
    void aNewOrClosedResultEmptiesTheSelection();
    void widthsLandOnTheirPositions();
    void currentRowFollowsTheDataSetWithoutTouchingTheSelection();
    void boundGridShowsItsDataSetAndEmptiesOnClose();
};

void ResultGridTest::oneColumnPerFieldTitledWithItsName()
{
    ResultGrid grid;
    QCOMPARE(grid.model()->columnCount(), 0);
    QCOMPARE(grid.model()->rowCount(), 0);

    ResultSet r({"序号", "字段名", "字段名", "长度"});
    r.appendRow({qlonglong(1), QString("id"), QVariant(), 2.5});
    grid.showResult(&r);
    QAbstractItemModel *m = grid.model();
    QCOMPARE(m->columnCount(), 4);
    QStringList titles;
    for (int c = 0; c < 4; ++c)
        titles.append(m->headerData(c, Qt::Horizontal).toString());
    QCOMPARE(titles, QStringList({"序号", "字段名", "字段名_1", "长度"}));
    QCOMPARE(m->data(m->index(0, 0)).toString(), "1");
    QCOMPARE(m->data(m->index(0, 1)).toString(), "id");
    QVERIFY(!m->data(m->index(0, 2)).isValid());  // null shows as an empty cell
    QCOMPARE(m->data(m->index(0, 3)).toString(), "2.5");
    QCOMPARE(grid.selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(grid.selectionBehavior(), QAbstractItemView::SelectRows);
}

void ResultGridTest::rowsSelectedBottomUpAreReportedTopDownEachOnce()
{
    const ResultSet r = viewListing(8);
    ResultGrid grid;
    grid.resize(600, 300);
    grid.showResult(&r);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    QCOMPARE(grid.selectionCount(), 0);

    clickRow(grid, 6, Qt::NoModifier);
    clickRow(grid, 4, Qt::ControlModifier);
    clickRow(grid, 1, Qt::ControlModifier);
    QCOMPARE(grid.selectedRowPositions(), QVector<int>({1, 4, 6}));
    QCOMPARE(grid.selectionCount(), 3);
    QCOMPARE(grid.selectionItem(0), 1);
    QCOMPARE(grid.selectionItem(2), 6);
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, grid.selectionItem(3));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, grid.selectionItem(-1));

    // Deselecting one keeps the rest in order; a range selected upwards overlapping a
    // selected row counts that row once.
    clickRow(grid, 4, Qt::ControlModifier);
    QCOMPARE(grid.selectedRowPositions(), QVector<int>({1, 6}));
    grid.selectionModel()->select(QItemSelection(grid.model()->index(7, 0), grid.model()->index(5, 4)),
                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QCOMPARE(grid.selectedRowPositions(), QVector<int>({1, 5, 6, 7}));

    // Shift-click from row 7 up to row 3 selects the block.
    clickRow(grid, 7, Qt::NoModifier);
    clickRow(grid, 3, Qt::ShiftModifier);
    QCOMPARE(grid.selectedRowPositions(), QVector<int>({3, 4, 5, 6, 7}));
}

void ResultGridTest::aNewOrClosedResultEmptiesTheSelection()
{
    const ResultSet first = viewListing(5);
    const ResultSet second = viewListing(5);
    ResultGrid grid;
    grid.showResult(&first);
    selectRow(grid, 2);
    QCOMPARE(grid.selectionCount(), 1);

    grid.showResult(&second);
    QCOMPARE(grid.selectionCount(), 0);
    selectRow(grid, 3);
    grid.showResult(&second);  // the same result reopened
    QCOMPARE(grid.selectionCount(), 0);
    selectRow(grid, 1);
    grid.showResult(nullptr);
    QCOMPARE(grid.selectionCount(), 0);
    QCOMPARE(grid.model()->rowCount(), 0);
    QCOMPARE(grid.model()->columnCount(), 0);

    const ResultSet empty = viewListing(0);
    grid.showResult(&empty);
    grid.selectAll();
    QCOMPARE(grid.selectionCount(), 0);
}

void ResultGridTest::widthsLandOnTheirPositions()
{
    QStringList names;
    for (int i = 0; i < 27; ++i)
        names.append(QString("f%1").arg(i));
    const ResultSet columns(names);
    ResultGrid grid;
    grid.showResult(&columns);
    const int defaultWidth = grid.columnWidth(26);
    for (int p : {0, 4, 8, 12, 16, 21})
        grid.setColumnWidthAt(p, 60);
    for (int p = 0; p < 25; ++p) {
        if (grid.columnWidth(p) != 60)
            grid.setColumnWidthAt(p, 50);
    }
    QCOMPARE(grid.columnWidth(0), 60);
    QCOMPARE(grid.columnWidth(1), 50);
    QCOMPARE(grid.columnWidth(21), 60);
    QCOMPARE(grid.columnWidth(24), 50);
    QCOMPARE(grid.columnWidth(25), defaultWidth);
    QCOMPARE(grid.columnWidth(26), defaultWidth);

    // A new result starts from the default widths and the field order again, whatever the
    // user did to the columns before.
    grid.horizontalHeader()->moveSection(0, 3);
    grid.horizontalHeader()->resizeSection(2, 300);
    const ResultSet views = viewListing(1);
    grid.showResult(&views);
    for (int p = 0; p < 5; ++p) {
        QCOMPARE(grid.horizontalHeader()->visualIndex(p), p);
        QCOMPARE(grid.columnWidth(p), defaultWidth);
    }
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, grid.setColumnWidthAt(5, 60));
}

void ResultGridTest::currentRowFollowsTheDataSetWithoutTouchingTheSelection()
{
    const ResultSet r = viewListing(6);
    ResultGrid grid;
    grid.showResult(&r);
    selectRow(grid, 5);
    selectRow(grid, 1);
    QCOMPARE(grid.selectedRowPositions(), QVector<int>({1, 5}));
    for (int i = 0; i < grid.selectionCount(); ++i) {
        grid.setCurrentRow(grid.selectionItem(i));
        QCOMPARE(grid.currentRow(), grid.selectionItem(i));
    }
    QCOMPARE(grid.selectedRowPositions(), QVector<int>({1, 5}));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, grid.setCurrentRow(6));

    // A long walk scrolls the grid once, to the row where it ended; a new selection is seen.
    const ResultSet many = viewListing(500);
    grid.resize(300, 200);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    grid.showResult(&many);
    for (int row = 0; row < 400; ++row)
        grid.setCurrentRow(row);
    QCoreApplication::processEvents();
    QVERIFY(grid.viewport()->rect().contains(grid.visualRect(grid.model()->index(399, 0)).center()));
    selectRow(grid, 450);
    QCOMPARE(grid.selectedRowPositions(), QVector<int>({450}));
}

void ResultGridTest::boundGridShowsItsDataSetAndEmptiesOnClose()
{
    // Without a server the data set stays closed; its signals still drive the grid.
    dbsync::AdoQuery query;
    dbsync::AdoDataSource source(&query);
    const ResultSet earlier = viewListing(4);
    ResultGrid grid;
    grid.showResult(&earlier);
    selectRow(grid, 2);

    grid.setDataSource(&source);  // a closed data set: empty grid, no selection
    QCOMPARE(grid.model()->columnCount(), 0);
    QCOMPARE(grid.selectionCount(), 0);

    grid.showResult(&earlier);
    selectRow(grid, 1);
    emit query.resultChanged();  // closed or reopened
    QCOMPARE(grid.model()->rowCount(), 0);
    QCOMPARE(grid.selectionCount(), 0);
    emit query.currentRowChanged(0);  // end of an empty result: nothing to follow, no error

    grid.setDataSource(nullptr);
    grid.showResult(&earlier);
    emit query.resultChanged();  // unbound: ignored
    QCOMPARE(grid.model()->rowCount(), 4);
}

QTEST_MAIN(ResultGridTest)
#include "ResultGridTest.moc"
