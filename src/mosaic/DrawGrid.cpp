#include "mosaic/DrawGrid.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

TDrawGrid::TDrawGrid(QWidget* parent) : QAbstractScrollArea(parent)
{
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);
    // Cells cover everything they are given; the rest is the grid's own background.
    viewport()->setAutoFillBackground(true);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &TDrawGrid::VisibleRowsChanged);
    SetRowCount(1);
}

TDrawGrid::~TDrawGrid() = default;

void TDrawGrid::SetColCount(int count)
{
    FColCount = std::max(1, count);
    FCol = std::min(FCol, FColCount - 1);
    viewport()->update();
}

void TDrawGrid::SetRowCount(int count)
{
    RowHeights.resize(size_t(std::max(1, count)), FRowHeight);
    FRow = std::min(FRow, RowCount() - 1);
    UpdateScrollBar();
    viewport()->update();
}

void TDrawGrid::SetDefaultColWidth(int width)
{
    FColWidth = std::max(0, width);
    viewport()->update();
}

void TDrawGrid::SetDefaultRowHeight(int height)
{
    FRowHeight = std::max(0, height);
    std::fill(RowHeights.begin(), RowHeights.end(), FRowHeight);
    UpdateScrollBar();
    viewport()->update();
}

int TDrawGrid::RowHeight(int row) const
{
    return row >= 0 && row < RowCount() ? RowHeights[size_t(row)] : FRowHeight;
}

void TDrawGrid::SetRowHeight(int row, int height)
{
    if (row < 0 || row >= RowCount())
        return;
    RowHeights[size_t(row)] = std::max(0, height);
    UpdateScrollBar();
    viewport()->update();
}

int TDrawGrid::RowTop(int row) const
{
    return RowTops[size_t(std::clamp(row, 0, RowCount()))];
}

int TDrawGrid::ContentHeight() const
{
    return RowTops.back();
}

void TDrawGrid::UpdateScrollBar()
{
    RowTops.assign(RowHeights.size() + 1, 0);
    for (size_t i = 0; i < RowHeights.size(); ++i)
        RowTops[i + 1] = RowTops[i] + RowHeights[i] + GridLineWidth;
    QScrollBar* bar = verticalScrollBar();
    bar->setRange(0, std::max(0, ContentHeight() - viewport()->height()));
    bar->setPageStep(viewport()->height());
    bar->setSingleStep(std::max(1, FRowHeight / 4));
    emit VisibleRowsChanged();
}

QRect TDrawGrid::CellRect(int col, int row) const
{
    const int top = RowTop(row) - verticalScrollBar()->value();
    return QRect(col * (FColWidth + GridLineWidth), top, FColWidth, RowHeight(row));
}

bool TDrawGrid::MouseToCell(const QPoint& pos, int& col, int& row) const
{
    const int y = pos.y() + verticalScrollBar()->value();
    if (pos.x() < 0 || y < 0 || y >= ContentHeight() || FColWidth <= 0)
        return false;
    const auto it = std::upper_bound(RowTops.begin(), RowTops.end(), y);
    row = int(it - RowTops.begin()) - 1;
    col = pos.x() / (FColWidth + GridLineWidth);
    if (col >= FColCount || row < 0 || row >= RowCount())
        return false;
    return CellRect(col, row).contains(pos);
}

int TDrawGrid::RowAt(int y) const
{
    const int contentY = y + verticalScrollBar()->value();
    const auto it = std::upper_bound(RowTops.begin(), RowTops.end(), contentY);
    return std::clamp(int(it - RowTops.begin()) - 1, 0, RowCount() - 1);
}

void TDrawGrid::InvalidateCell(int col, int row)
{
    viewport()->update(CellRect(col, row));
}

void TDrawGrid::SetCurrent(int col, int row)
{
    col = std::clamp(col, 0, FColCount - 1);
    row = std::clamp(row, 0, RowCount() - 1);
    if (col != FCol || row != FRow) {
        InvalidateCell(FCol, FRow);
        FCol = col;
        FRow = row;
        InvalidateCell(FCol, FRow);
    }
    QScrollBar* bar = verticalScrollBar();
    const int top = RowTop(row);
    const int bottom = top + RowHeight(row);
    if (top < bar->value())
        bar->setValue(top);
    else if (bottom > bar->value() + viewport()->height())
        bar->setValue(bottom - viewport()->height());
}

int TDrawGrid::RowLineAt(int y) const
{
    const int contentY = y + verticalScrollBar()->value();
    for (int row = 0; row < RowCount(); ++row) {
        const int line = RowTop(row + 1) - GridLineWidth;
        if (contentY >= line - 2 && contentY <= line + 2)
            return row;
        if (line > contentY + 2)
            break;
    }
    return -1;
}

void TDrawGrid::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    const QRect dirty = event->rect();
    const int offset = verticalScrollBar()->value();
    const auto first = std::upper_bound(RowTops.begin(), RowTops.end(), dirty.top() + offset);
    int row = std::max(0, int(first - RowTops.begin()) - 1);
    const QColor line = palette().color(QPalette::Mid);
    const int width = FColCount * (FColWidth + GridLineWidth);
    for (; row < RowCount() && RowTop(row) - offset <= dirty.bottom(); ++row) {
        for (int col = 0; col < FColCount; ++col) {
            const QRect cell = CellRect(col, row);
            if (!cell.intersects(dirty))
                continue;
            painter.save();
            painter.setClipRect(cell);
            if (OnDrawCell)
                OnDrawCell(painter, col, row, cell, col == FCol && row == FRow);
            painter.restore();
            painter.fillRect(cell.right() + 1, cell.top(), GridLineWidth,
                             cell.height() + GridLineWidth, line);
        }
        painter.fillRect(0, RowTop(row + 1) - GridLineWidth - offset, width, GridLineWidth, line);
    }
}

void TDrawGrid::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBar();
}

void TDrawGrid::mousePressEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        DraggedRow = RowLineAt(pos.y());
        if (DraggedRow >= 0) {
            DragStartY = pos.y();
            DragStartHeight = RowHeight(DraggedRow);
            return;
        }
        int col = 0;
        int row = 0;
        if (MouseToCell(pos, col, row))
            SetCurrent(col, row);
    }
    QAbstractScrollArea::mousePressEvent(event);
}

void TDrawGrid::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (DraggedRow >= 0) {
        SetRowHeight(DraggedRow, DragStartHeight + pos.y() - DragStartY);
        return;
    }
    viewport()->setCursor(RowLineAt(pos.y()) >= 0 ? Qt::SplitVCursor : Qt::ArrowCursor);
    QAbstractScrollArea::mouseMoveEvent(event);
}

void TDrawGrid::mouseReleaseEvent(QMouseEvent* event)
{
    DraggedRow = -1;
    QAbstractScrollArea::mouseReleaseEvent(event);
}

void TDrawGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        emit DoubleClicked(event->position().toPoint());
}

void TDrawGrid::keyPressEvent(QKeyEvent* event)
{
    const int rowsPerPage = std::max(1, viewport()->height() / std::max(1, FRowHeight));
    switch (event->key()) {
    case Qt::Key_Left:
        SetCurrent(FCol - 1, FRow);
        break;
    case Qt::Key_Right:
        SetCurrent(FCol + 1, FRow);
        break;
    case Qt::Key_Up:
        SetCurrent(FCol, FRow - 1);
        break;
    case Qt::Key_Down:
        SetCurrent(FCol, FRow + 1);
        break;
    case Qt::Key_PageUp:
        SetCurrent(FCol, FRow - rowsPerPage);
        break;
    case Qt::Key_PageDown:
        SetCurrent(FCol, FRow + rowsPerPage);
        break;
    case Qt::Key_Home:
        SetCurrent(0, FRow);
        break;
    case Qt::Key_End:
        SetCurrent(FColCount - 1, FRow);
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
}
