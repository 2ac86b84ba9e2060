// The proxy table: cell contents, the Speed score and bar, columns that fit the font,
// Ctrl+A, and where a right-click may open the context menu.
#include "data/countrycatalogue.h"
#include "data/ui/flagimages.h"
#include "data/ui/prolistctrl.h"
#include "data/ui/proxytablemodel.h"
#include "data/ui/speedbardelegate.h"
#include "data/ui/speedscore.h"
#include "support/tempdir.h"
#include "support/ui/testapplication.h"
#include "support/ui/testcountries.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QImage>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>

#include <gtest/gtest.h>

namespace {

constexpr int kTenSeconds = 10000;

CProxyList SampleList(int count)
{
    CProxyList list;
    for (int i = 0; i < count; ++i)
        list.emplace_back(("127.0.0." + std::to_string(i + 1)).c_str(), 1080 + i, i % 4, i % 4, i % 6, 500 * i);
    return list;
}

class ProxyTableTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureTestApplication(); }

    void SetUp() override
    {
        WriteTestCountries(dir);
        ResetCountryCatalogueForTest();
        flags.Load(GetCountryCatalogue());
        table.resize(560, 400);
        table.show();
    }
    void TearDown() override { ResetCountryCatalogueForTest(); }

    QModelIndex Cell(int row, int column) const { return table.model()->index(row, column); }

    TempDir dir;
    ScopedChdir chdir{dir.Path()};
    CFlagImages flags;
    CProListCtrl table{&flags};
};

TEST(SpeedScoreTest, FallsLinearlyToTheTimeout)
{
    EXPECT_EQ(SpeedScore(kUnmeasuredSpeed, kTenSeconds), 0);
    EXPECT_EQ(SpeedScore(2500, kTenSeconds), 75);
    EXPECT_EQ(SpeedScore(0, kTenSeconds), 100);
    EXPECT_EQ(SpeedScore(kTenSeconds, kTenSeconds), 0);
    EXPECT_EQ(SpeedScore(kTenSeconds + 1, kTenSeconds), 0);
    EXPECT_EQ(SpeedScore(9999, kTenSeconds), 0);  // truncated, not rounded
    EXPECT_EQ(SpeedScore(1, 30000), 99);
}

TEST(SpeedScoreTest, OddInputsStayInRange)
{
    EXPECT_EQ(SpeedScore(0, 0), 0);  // no division by a zero timeout
    EXPECT_EQ(SpeedScore(100, -5), 0);
    EXPECT_EQ(SpeedScore(-5000, kTenSeconds), 100);
    EXPECT_EQ(SpeedScore(5, 2000000000), 99);  // no overflow in (T - speed) * 100
}

TEST(SpeedScoreTest, BarValueKeepsHundredAndWrapsTheRest)
{
    EXPECT_EQ(SpeedBarValue(100), 100);
    EXPECT_EQ(SpeedBarValue(37), 37);
    EXPECT_EQ(SpeedBarValue(0), 0);
    EXPECT_EQ(SpeedBarValue(137), 37);
}

TEST(SpeedBarDelegateTest, BarIsAtMostHundredPixelsFromTheCellsLeftEdge)
{
    const QRect wide = CSpeedBarDelegate::BarRect(QRect(400, 20, 130, 20));
    EXPECT_EQ(wide.left(), 400);
    EXPECT_EQ(wide.width(), 100);
    EXPECT_TRUE(QRect(400, 20, 130, 20).contains(wide));
    EXPECT_EQ(CSpeedBarDelegate::BarRect(QRect(400, 20, 60, 20)).width(), 60);
}

TEST_F(ProxyTableTest, CellsShowTheProxyFields)
{
    CProxyList list;
    list.emplace_back("127.0.0.10", 1080, kTestGermany, 3, 4, 2500);
    list.emplace_back("127.0.0.11", 8080, -1, 1, 0, kUnmeasuredSpeed);
    list.emplace_back("127.0.0.12", 1081, kTestJapanWithoutFlag, 7, 5, 0);
    table.Refill(list, kTenSeconds);

    ASSERT_EQ(table.RowCount(), 3);
    EXPECT_EQ(Cell(0, 0).data().toString(), QStringLiteral("Germany"));
    EXPECT_FALSE(Cell(0, 0).data(Qt::DecorationRole).value<QPixmap>().isNull());
    EXPECT_EQ(Cell(0, 1).data().toString(), QStringLiteral("127.0.0.10"));
    EXPECT_EQ(Cell(0, 2).data().toString(), QStringLiteral("1080"));
    EXPECT_EQ(Cell(0, 3).data().toString(), QStringLiteral("Socks4/5"));
    EXPECT_EQ(Cell(0, 4).data().toString(), QStringLiteral("4/5"));
    // The Speed cell has no text: the score shows only as the bar.
    EXPECT_FALSE(Cell(0, 5).data().isValid());
    EXPECT_EQ(Cell(0, 5).data(CProxyTableModel::SpeedScoreRole).toInt(), 75);

    // Country -1: empty Country cell and no flag.
    EXPECT_EQ(Cell(1, 0).data().toString(), QString());
    EXPECT_FALSE(Cell(1, 0).data(Qt::DecorationRole).isValid());
    EXPECT_EQ(Cell(1, 3).data().toString(), QStringLiteral("Socks4"));
    EXPECT_EQ(Cell(1, 5).data(CProxyTableModel::SpeedScoreRole).toInt(), 0);

    // A known country whose flag file is missing: name, and a blank flag in the flag's place.
    EXPECT_EQ(Cell(2, 0).data().toString(), QStringLiteral("Japan"));
    const QImage blank = Cell(2, 0).data(Qt::DecorationRole).value<QPixmap>().toImage();
    EXPECT_EQ(blank.size(), CFlagImages::kFlagSize);
    EXPECT_EQ(qAlpha(blank.pixel(12, 7)), 0);
    EXPECT_EQ(Cell(2, 3).data().toString(), QString());
    EXPECT_EQ(Cell(2, 5).data(CProxyTableModel::SpeedScoreRole).toInt(), 100);

    for (int column = 0; column < CProxyTableModel::ColumnCount; ++column)
        EXPECT_EQ(Qt::Alignment(Cell(0, column).data(Qt::TextAlignmentRole).toInt()) & Qt::AlignHorizontal_Mask,
                  Qt::AlignLeft);
}

// The leftmost dark (text) pixel of a row's Country cell in the table's picture.
int CountryTextLeft(CProListCtrl& table, int row)
{
    const QImage image = table.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRect cell = table.visualRect(table.model()->index(row, CProxyTableModel::CountryColumn));
    for (int x = cell.left(); x <= cell.right(); ++x)
        for (int y = cell.top(); y <= cell.bottom(); ++y)
            if (qGray(image.pixel(x, y)) < 100)
                return x;
    return -1;
}

TEST_F(ProxyTableTest, NamesLineUpWhetherTheirFlagLoadedOrNot)
{
    CProxyList list;
    list.emplace_back("127.0.0.10", 1080, kTestGermany, 1, 5, 100);  // a light flag, not taken for text
    list.emplace_back("127.0.0.11", 1080, kTestJapanWithoutFlag, 1, 5, 100);
    table.Refill(list, kTenSeconds);
    const int withFlag = CountryTextLeft(table, 0);
    ASSERT_GT(withFlag, CFlagImages::kFlagSize.width());
    EXPECT_NEAR(CountryTextLeft(table, 1), withFlag, 2);  // "G" and "J" start within a pixel or two
}

TEST_F(ProxyTableTest, ACutNameShowsWholeInItsTooltip)
{
    const QString longName = QStringLiteral("South Georgia and the South Sandwich Islands");
    dir.WriteFile("countries.nbx",
                  "DE\tGermany\r\nFR\tFrance\r\nUS\tUnited States\r\nGS\t" + longName.toStdString() + "\r\n");
    ResetCountryCatalogueForTest();
    CProxyList list;
    list.emplace_back("127.0.0.10", 1080, kTestGermany, 1, 5, 100);
    list.emplace_back("127.0.0.11", 1080, 3, 1, 5, 100);
    table.Refill(list, kTenSeconds);
    const auto tipAt = [this](int row) {
        const QPoint pos = table.visualRect(Cell(row, 0)).center();
        QHelpEvent help(QEvent::ToolTip, pos, table.viewport()->mapToGlobal(pos));
        QApplication::sendEvent(table.viewport(), &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    EXPECT_FALSE(table.IsCut(Cell(0, 0)));
    EXPECT_EQ(tipAt(0), QString());
    EXPECT_TRUE(table.IsCut(Cell(1, 0)));
    EXPECT_EQ(tipAt(1), longName);
}

TEST_F(ProxyTableTest, RowsAreACopyTakenAtRefill)
{
    CProxyList list = SampleList(3);
    table.Refill(list, kTenSeconds);
    list.clear();  // as a test run does on its own thread
    ASSERT_EQ(table.RowCount(), 3);
    EXPECT_EQ(Cell(2, 1).data().toString(), QStringLiteral("127.0.0.3"));
    table.DeleteAllRows();
    EXPECT_EQ(table.RowCount(), 0);
}

// Each column is at least its set width and wide enough for its header
// and its widest possible address, port, type and uptime cell, as Qt's own delegate measures them, at the
// default font and at a much larger one.
TEST_F(ProxyTableTest, ColumnsFitTheirHeadersAndWidestCellsAtAnyFont)
{
    const QStringList headers = {QStringLiteral("Country"), QStringLiteral("IP"),     QStringLiteral("Port"),
                                 QStringLiteral("Type"),    QStringLiteral("Uptime"), QStringLiteral("Speed")};
    const int leastWidths[] = {130, 102, 42, 70, 44, 100};
    CProxyList widest;
    widest.emplace_back("255.255.255.255", 65535, 0, 3, 5, 0);
    table.Refill(widest, kTenSeconds);
    QHeaderView* header = table.horizontalHeader();
    const auto expectFits = [&] {
        for (int column = 0; column < 6; ++column) {
            EXPECT_EQ(table.model()->headerData(column, Qt::Horizontal).toString(), headers[column]);
            EXPECT_GE(header->sectionSize(column), leastWidths[column]) << column;
            EXPECT_GE(header->sectionSize(column), header->sectionSizeHint(column)) << column;
            // Country names vary in length; that column keeps its least width.
            if (column != CProxyTableModel::SpeedColumn && column != CProxyTableModel::CountryColumn) {
                EXPECT_GE(header->sectionSize(column), table.sizeHintForIndex(Cell(0, column)).width()) << column;
            }
            EXPECT_EQ(header->sectionResizeMode(column), QHeaderView::Fixed);
        }
        EXPECT_GE(table.minimumWidth(), header->length() + table.verticalScrollBar()->sizeHint().width());
    };
    expectFits();
    const int ipWidth = header->sectionSize(CProxyTableModel::IpColumn);

    QFont large = table.font();
    large.setPointSizeF(large.pointSizeF() * 2);
    table.setFont(large);
    expectFits();
    EXPECT_GT(header->sectionSize(CProxyTableModel::IpColumn), ipWidth);
    EXPECT_FALSE(header->sectionsMovable());
    EXPECT_EQ(table.selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(table.selectionMode(), QAbstractItemView::ExtendedSelection);
}

TEST_F(ProxyTableTest, ModelPassesTheItemModelTester)
{
    QAbstractItemModelTester tester(table.ProxyModel(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    table.Refill(SampleList(20), kTenSeconds);
    table.Refill(CProxyList(), kTenSeconds);
    table.Refill(SampleList(5), 0);
    EXPECT_EQ(table.RowCount(), 5);
}

TEST_F(ProxyTableTest, CtrlASelectsEveryRow)
{
    table.Refill(SampleList(50), kTenSeconds);
    table.setFocus();
    QTest::keyClick(&table, Qt::Key_A, Qt::ControlModifier);
    const std::vector<int> rows = table.SelectedRows();
    ASSERT_EQ(rows.size(), 50u);
    EXPECT_EQ(rows.front(), 0);
    EXPECT_EQ(rows.back(), 49);
}

TEST_F(ProxyTableTest, ContextMenuOpensOnlyLeftOfTheSpeedColumnBelowTheHeader)
{
    QSignalSpy requests(&table, &CProListCtrl::contextMenuRequested);
    QWidget* viewport = table.viewport();
    auto rightClick = [](QWidget* widget, const QPoint& pos, QContextMenuEvent::Reason reason) {
        QContextMenuEvent event(reason, pos, widget->mapToGlobal(pos));
        QApplication::sendEvent(widget, &event);
    };
    const int y = table.rowViewportPosition(0) + 5;
    const QPoint ipCell(table.columnViewportPosition(1) + 10, y);
    const QPoint speedCell(table.columnViewportPosition(5) + 10, y);

    // Empty table: nothing.
    rightClick(viewport, ipCell, QContextMenuEvent::Mouse);
    EXPECT_EQ(requests.count(), 0);

    table.Refill(SampleList(3), kTenSeconds);
    rightClick(viewport, speedCell, QContextMenuEvent::Mouse);
    rightClick(viewport, ipCell, QContextMenuEvent::Keyboard);
    rightClick(table.horizontalHeader()->viewport(), QPoint(20, 5), QContextMenuEvent::Mouse);
    EXPECT_EQ(requests.count(), 0);

    rightClick(viewport, ipCell, QContextMenuEvent::Mouse);
    ASSERT_EQ(requests.count(), 1);
    EXPECT_EQ(requests.front().front().toPoint(), viewport->mapToGlobal(ipCell));
}

}  // namespace
