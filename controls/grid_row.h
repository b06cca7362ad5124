// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// GridRow: one row of coloured cells, the building block of the recording navigator's hour and
// minute rows. Each cell has its own width, background colour, text and font; one cell can be
// selected (drawn with a white frame). A left click selects the cell under the mouse and
// reports its column, or a negative column when no cell was hit. Reached with Tab, the arrow
// keys move the selection and report it as a click would; a screen reader hears each cell by
// the name the owner gives it.
//
// Indexes outside 0..ColumnCount()-1 are ignored by the setters and give defaults from the
// getters, so an owner that runs ahead of a column-count change cannot crash the row.
#pragma once

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

class QPainter;

namespace velmaro {

inline constexpr int kGridMaxColumns = 4096;
inline constexpr int kGridDefaultColumnWidth = 10;
inline constexpr int kGridNoCell = -1;
inline constexpr QRgb kGridDefaultCellColor = qRgb(0x68, 0x68, 0x68);
inline constexpr QRgb kGridLineColor = qRgb(0x20, 0x20, 0x20);
inline constexpr QRgb kGridSelectionColor = qRgb(0xff, 0xff, 0xff);
inline constexpr QRgb kGridMarkColor = qRgb(0xff, 0xa0, 0x00);
inline constexpr QRgb kGridShadeColor = qRgb(0x30, 0x30, 0x30);

class GridRow : public QWidget {
    Q_OBJECT

  public:
    explicit GridRow(QWidget* parent = nullptr);

    // Widths of n columns laid side by side over `width` pixels: column i gets
    // floor((i+1)W/n) - floor(iW/n), so the widths add up to W and differ by one at most.
    // Empty for n <= 0; a negative width counts as 0.
    static std::vector<int> SpreadWidths(int width, int n);

    // Columns added get kGridDefaultColumnWidth, the default colour, no text and the widget's
    // font; a selection beyond the new count is cleared. n is limited to 0..kGridMaxColumns.
    void SetColumnCount(int n);
    int ColumnCount() const { return static_cast<int>(cells_.size()); }

    void SetColumnWidth(int column, int width);  // a negative width counts as 0
    int ColumnWidth(int column) const;           // 0 for no such column

    // Height of the row's cells; 0 (the default) follows the widget's height. A row taller than
    // the widget hides its bottom grid line.
    void SetRowHeight(int height);
    int RowHeight() const { return rowHeight_; }

    void SetCellText(int column, const QString& text);
    QString CellText(int column) const;
    void SetCellFont(int column, const QFont& font);
    QFont CellFont(int column) const;  // the widget's font for no such column
    void SetCellColor(int column, QColor color);
    QColor CellColor(int column) const;  // an invalid colour for no such column
    // A mark (a triangle in the top corner: something happened in that cell) and a shade
    // (hatching over the colour: the cell's content is damaged). The colour stays readable.
    void SetCellMark(int column, bool marked);
    bool CellMarked(int column) const;
    void SetCellShade(int column, bool shaded);
    bool CellShaded(int column) const;

    void SelectCell(int column);  // ignored for no such column
    int SelectedCell() const { return selected_; }
    void ClearSelection();

    // Where a column's cell is drawn (empty for no such column), and the column under a point
    // (kGridNoCell outside every cell).
    QRect CellRect(int column) const;
    int ColumnAt(QPoint point) const;

    // What a cell means to the user ("14:05, recorded"): only the owner knows, so it names the
    // cells; without a namer a cell is known by its text.
    using CellNamer = std::function<QString(int column)>;
    void SetCellNamer(CellNamer namer) { namer_ = std::move(namer); }
    QString CellName(int column) const;

  signals:
    // A left click: the column hit, or kGridNoCell.
    void CellClicked(int column);

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

  private:
    struct Cell {
        int width = kGridDefaultColumnWidth;
        QColor color = QColor(kGridDefaultCellColor);
        QString text;
        QFont font;
        QRect rect;      // placed by Relayout()
        QRect textRect;  // where the text goes, empty without text
        bool marked = false;
        bool shaded = false;
    };

    bool HasColumn(int column) const { return column >= 0 && column < ColumnCount(); }
    void Relayout();
    void PlaceText(Cell& cell) const;
    static QColor TextColorOn(QColor background);
    static void PaintDecorations(QPainter& painter, const Cell& cell);
    void ChooseByKey(int column, bool again = false);

    std::vector<Cell> cells_;
    int rowHeight_ = 0;
    int selected_ = kGridNoCell;
    bool leftPressed_ = false;
    CellNamer namer_;
};

}  // namespace velmaro
