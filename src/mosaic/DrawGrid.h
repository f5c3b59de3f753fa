#pragma once

#include <QAbstractScrollArea>
#include <functional>
#include <vector>

// An owner-drawn grid of cells: ColCount columns of one width, rows of their own heights, one-pixel
// grid lines between them, a current cell drawn as selected, a vertical scroll bar only. The user
// may resize a row by dragging the grid line below it. The owner draws each visible cell through
// OnDrawCell; the grid paints only the rows that show.
class TDrawGrid : public QAbstractScrollArea
{
    Q_OBJECT

public:
    // painter, column, row, the cell's rectangle in viewport coordinates, whether it is current.
    using TDrawCell = std::function<void(QPainter&, int, int, const QRect&, bool)>;

    explicit TDrawGrid(QWidget* parent = nullptr);
    ~TDrawGrid() override;

    static constexpr int GridLineWidth = 1;

    int ColCount() const { return FColCount; }
    void SetColCount(int count);
    int RowCount() const { return int(RowHeights.size()); }
    // New rows take DefaultRowHeight; existing rows keep theirs.
    void SetRowCount(int count);
    int DefaultColWidth() const { return FColWidth; }
    void SetDefaultColWidth(int width);
    int DefaultRowHeight() const { return FRowHeight; }
    // Every row takes this height, also rows the user resized.
    void SetDefaultRowHeight(int height);
    int RowHeight(int row) const;
    void SetRowHeight(int row, int height);

    int Col() const { return FCol; }
    int Row() const { return FRow; }
    // Makes the cell current and scrolls it into view.
    void SetCurrent(int col, int row);

    // The cell's rectangle in viewport coordinates (it may lie outside the visible part).
    QRect CellRect(int col, int row) const;
    // The cell at a viewport position; false outside every cell (a grid line counts as outside).
    bool MouseToCell(const QPoint& pos, int& col, int& row) const;
    // The row at a viewport y, its grid line below counted with it; before the first row 0, past
    // the last row the last one.
    int RowAt(int y) const;
    // Repaints one cell.
    void InvalidateCell(int col, int row);

    TDrawCell OnDrawCell;

signals:
    // A double click at a viewport position.
    void DoubleClicked(const QPoint& pos);
    // The rows in view may have changed: scrolled, the viewport resized, or row heights changed.
    void VisibleRowsChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    int RowTop(int row) const; // in content coordinates
    int ContentHeight() const;
    // The row whose bottom grid line lies under a viewport y, or -1.
    int RowLineAt(int y) const;
    void UpdateScrollBar();

    int FColCount = 1;
    int FColWidth = 64;
    int FRowHeight = 24;
    std::vector<int> RowHeights;
    std::vector<int> RowTops; // prefix sums, RowCount + 1 entries
    int FCol = 0;
    int FRow = 0;
    int DraggedRow = -1;
    int DragStartY = 0;
    int DragStartHeight = 0;
};
