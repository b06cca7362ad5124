// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Mouse events go through the window system layer, as a user's do.
#define QTEST_QPA_MOUSE_HANDLING

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <numeric>

#include "controls/grid_row.h"
#include "tests/controls/skin_test_support.h"

namespace velmaro {
namespace {

using testing::Host;

const QColor kGrey(0x68, 0x68, 0x68);
const QColor kGreen(0, 255, 0);
const QColor kRed(255, 0, 0);
const QColor kWhite(255, 255, 255);

TEST(GridRowSpread, WidthsAddUpAndDifferByOneAtMost) {
    struct Case {
        int width;
        int n;
    };
    for (const Case c :
         {Case{247, 30}, Case{328, 30}, Case{658, 60}, Case{233, 12}, Case{622, 24}, Case{5, 7}}) {
        const std::vector<int> widths = GridRow::SpreadWidths(c.width, c.n);
        ASSERT_EQ(widths.size(), static_cast<size_t>(c.n));
        EXPECT_EQ(std::accumulate(widths.begin(), widths.end(), 0), c.width) << c.width;
        for (int w : widths) {
            EXPECT_TRUE(w == c.width / c.n || w == c.width / c.n + 1) << c.width << "/" << c.n;
        }
    }
    // Known answers: the wider columns fall where floor((i+1)W/n) steps by the larger amount.
    const std::vector<int> minutes = GridRow::SpreadWidths(247, 30);
    EXPECT_EQ(std::vector<int>(minutes.begin(), minutes.begin() + 8),
              (std::vector<int>{8, 8, 8, 8, 9, 8, 8, 8}));
    EXPECT_EQ(GridRow::SpreadWidths(658, 60)[0], 10);
    EXPECT_EQ(GridRow::SpreadWidths(658, 60)[5], 11);
    EXPECT_EQ(GridRow::SpreadWidths(5, 7), (std::vector<int>{0, 1, 1, 0, 1, 1, 1}));

    EXPECT_TRUE(GridRow::SpreadWidths(100, 0).empty());
    EXPECT_TRUE(GridRow::SpreadWidths(100, -3).empty());
    EXPECT_EQ(GridRow::SpreadWidths(-40, 3), (std::vector<int>{0, 0, 0}));
    // Large widths and counts do not overflow the intermediate products.
    const std::vector<int> wide = GridRow::SpreadWidths(2'000'000'000, 4096);
    EXPECT_EQ(std::accumulate(wide.begin(), wide.end(), int64_t{0}), 2'000'000'000);
}

// A minute row as the main window builds it: 30 columns over 247 pixels, one pixel taller than
// the widget so the bottom grid line is hidden, on a shown window.
class GridRowTest : public ::testing::Test {
  protected:
    static constexpr int kWidth = 247;
    static constexpr int kHeight = 12;
    static constexpr int kColumns = 30;

    void SetUp() override {
        row = new GridRow(&host);
        row->setGeometry(20, 20, kWidth + 40, kHeight);  // 40 pixels past the last column
        row->SetColumnCount(kColumns);
        const std::vector<int> widths = GridRow::SpreadWidths(kWidth, kColumns);
        for (int i = 0; i < kColumns; ++i) {
            row->SetColumnWidth(i, widths[static_cast<size_t>(i)]);
        }
        row->SetRowHeight(kHeight + 1);
        ASSERT_TRUE(host.ShowAndWait());
    }

    QPoint CentreOf(int column) const { return row->CellRect(column).center(); }
    void Click(QPoint at, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseClick(row, button, {}, at);
    }
    QImage Shot() const { return row->grab().toImage(); }

    Host host{QSize(400, 100)};
    GridRow* row = nullptr;  // owned by host
};

TEST_F(GridRowTest, ClicksReportTheColumnUnderTheMouseAndSelectIt) {
    QSignalSpy clicked(row, &GridRow::CellClicked);
    for (int column : {0, 1, 4, 17, 29}) {
        Click(CentreOf(column));
        ASSERT_EQ(clicked.count(), 1) << column;
        EXPECT_EQ(clicked.takeFirst().at(0).toInt(), column);
        EXPECT_EQ(row->SelectedCell(), column);
    }
    // The cells' edges: the first and last pixel of a column belong to it.
    const QRect fifth = row->CellRect(5);
    Click(QPoint(fifth.left(), 5));
    Click(QPoint(fifth.right(), 5));
    ASSERT_EQ(clicked.count(), 2);
    EXPECT_EQ(clicked.at(0).at(0).toInt(), 5);
    EXPECT_EQ(clicked.at(1).at(0).toInt(), 5);
    clicked.clear();

    // Right of the last column: reported as no cell, and the selection stays.
    Click(QPoint(kWidth + 10, 5));
    ASSERT_EQ(clicked.count(), 1);
    EXPECT_LT(clicked.takeFirst().at(0).toInt(), 0);
    EXPECT_EQ(row->SelectedCell(), 5);

    // Other buttons are not clicks.
    Click(CentreOf(3), Qt::RightButton);
    EXPECT_EQ(clicked.count(), 0);
    EXPECT_EQ(row->SelectedCell(), 5);
}

TEST_F(GridRowTest, CellsShowTheirColourAndTheSelectionFrame) {
    EXPECT_EQ(row->CellColor(0), kGrey);  // the colour of a cell without recordings
    row->SetCellColor(3, kGreen);
    row->SetCellColor(4, kRed);
    EXPECT_EQ(row->CellColor(3), kGreen);
    EXPECT_EQ(row->CellColor(4), kRed);

    QImage image = Shot();
    EXPECT_EQ(image.pixelColor(CentreOf(2)), kGrey);
    EXPECT_EQ(image.pixelColor(CentreOf(3)), kGreen);
    EXPECT_EQ(image.pixelColor(CentreOf(4)), kRed);
    // A dark line between cells; none at the bottom, where the row reaches past the widget.
    const QRect third = row->CellRect(3);
    EXPECT_LT(image.pixelColor(third.right(), 5).lightness(), 60);
    EXPECT_EQ(image.pixelColor(third.left() + 2, kHeight - 1), kGreen);

    row->SelectCell(3);
    image = Shot();
    EXPECT_EQ(image.pixelColor(third.topLeft()), kWhite);
    EXPECT_EQ(image.pixelColor(third.left(), 6), kWhite);
    EXPECT_EQ(image.pixelColor(CentreOf(3)), kGreen);  // the inside keeps its colour
    EXPECT_NE(image.pixelColor(row->CellRect(4).topLeft()), kWhite);

    row->ClearSelection();
    EXPECT_EQ(row->SelectedCell(), kGridNoCell);
    EXPECT_EQ(Shot().pixelColor(third.topLeft()), kGreen);
}

// The labels must be readable on every state colour: dark on green, light on red and grey.
TEST_F(GridRowTest, LabelsAreCentredAndContrastWithTheirCell) {
    QFont small;
    small.setPixelSize(9);
    const QColor colours[] = {kGreen, kRed, kGrey};
    const int labelled[] = {5, 10, 15};
    for (int k = 0; k < 3; ++k) {
        row->SetCellColor(labelled[k], colours[k]);
        row->SetCellColor(labelled[k] - 1, colours[k]);
        row->SetCellColor(labelled[k] + 1, colours[k]);
        row->SetCellFont(labelled[k], small);
        row->SetCellText(labelled[k], QStringLiteral("%1").arg(labelled[k], 2, 10, QChar('0')));
    }
    EXPECT_EQ(row->CellText(10), QStringLiteral("10"));
    EXPECT_EQ(row->CellFont(10).pixelSize(), 9);

    const QImage image = Shot();
    for (int k = 0; k < 3; ++k) {
        const QRect cell = row->CellRect(labelled[k]);
        const bool darkText = colours[k] == kGreen;
        int ink = 0;
        int inkLeft = 0;
        int inkRight = 0;
        for (int x = cell.left() - 6; x <= cell.right() + 6; ++x) {
            for (int y = 1; y < kHeight - 1; ++y) {
                const int lightness = image.pixelColor(x, y).lightness();
                if (darkText ? lightness < 50 : lightness > 200) {
                    ++ink;
                    (x < cell.center().x() ? inkLeft : inkRight) += 1;
                }
            }
        }
        EXPECT_GT(ink, 10) << labelled[k];
        // Centred: about as much ink either side of the cell's middle.
        EXPECT_LT(std::abs(inkLeft - inkRight), ink / 2) << labelled[k];
    }
    // An unlabelled cell of the same colour has no ink.
    EXPECT_EQ(image.pixelColor(CentreOf(20)), kGrey);
}

TEST_F(GridRowTest, OutOfRangeColumnsAreIgnored) {
    for (int bad : {-1, kColumns, 1000}) {
        row->SetCellColor(bad, kRed);
        row->SetCellText(bad, QStringLiteral("x"));
        row->SetColumnWidth(bad, 50);
        row->SelectCell(bad);
        EXPECT_EQ(row->ColumnWidth(bad), 0);
        EXPECT_FALSE(row->CellColor(bad).isValid());
        EXPECT_TRUE(row->CellText(bad).isEmpty());
        EXPECT_TRUE(row->CellRect(bad).isNull());
    }
    EXPECT_EQ(row->SelectedCell(), kGridNoCell);
    EXPECT_EQ(row->CellRect(kColumns - 1).right(), kWidth - 1);

    row->SetColumnWidth(2, -5);
    EXPECT_EQ(row->ColumnWidth(2), 0);

    // Fewer columns drop a selection past the new end; more columns come in the default look.
    row->SelectCell(20);
    row->SetColumnCount(12);
    EXPECT_EQ(row->SelectedCell(), kGridNoCell);
    row->SetColumnCount(14);
    EXPECT_EQ(row->CellColor(13), kGrey);
    EXPECT_EQ(row->ColumnWidth(13), kGridDefaultColumnWidth);

    row->SetColumnCount(-3);
    EXPECT_EQ(row->ColumnCount(), 0);
    row->SetColumnCount(1'000'000);
    EXPECT_EQ(row->ColumnCount(), kGridMaxColumns);
    row->SetColumnCount(0);

    QSignalSpy clicked(row, &GridRow::CellClicked);
    Click(QPoint(5, 5));  // a row without columns reports no cell
    ASSERT_EQ(clicked.count(), 1);
    EXPECT_LT(clicked.takeFirst().at(0).toInt(), 0);
    EXPECT_EQ(row->SelectedCell(), kGridNoCell);
}

}  // namespace
}  // namespace velmaro

namespace velmaro {
namespace {

TEST_F(GridRowTest, MarksAndShadesAreDrawnOverTheColourAndForgottenWithTheirColumns) {
    row->SetCellColor(3, kGreen);
    row->SetCellMark(3, true);
    row->SetCellShade(4, true);
    row->SetCellMark(kColumns, true);  // no such column: ignored
    EXPECT_TRUE(row->CellMarked(3));
    EXPECT_FALSE(row->CellShaded(3));
    EXPECT_TRUE(row->CellShaded(4));
    EXPECT_FALSE(row->CellMarked(kColumns));

    const QImage image = Shot();
    const QRect marked = row->CellRect(3);
    EXPECT_EQ(image.pixelColor(marked.topLeft() + QPoint(1, 1)), QColor(kGridMarkColor));
    EXPECT_EQ(image.pixelColor(marked.right() - 2, marked.bottom() - 2), kGreen);
    // The hatching leaves the grey showing between its lines.
    const QRect shaded = row->CellRect(4);
    int hatched = 0;
    int grey = 0;
    for (int x = shaded.left(); x < shaded.right(); ++x) {
        const QColor c = image.pixelColor(x, kHeight / 2);
        hatched += c == QColor(kGridShadeColor) ? 1 : 0;
        grey += c == kGrey ? 1 : 0;
    }
    EXPECT_GT(hatched, 0);
    EXPECT_GT(grey, 0);

    row->SetColumnCount(3);
    row->SetColumnCount(kColumns);
    EXPECT_FALSE(row->CellMarked(3));
    EXPECT_FALSE(row->CellShaded(4));
}

}  // namespace
}  // namespace velmaro
