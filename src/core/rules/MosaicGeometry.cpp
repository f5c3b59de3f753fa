#include "core/rules/MosaicGeometry.h"

#include "core/rules/ViewerGeometry.h"

#include <algorithm>
#include <cstdlib>

namespace MosaicGeometry {

int RowCount(int count)
{
    if (count <= 0)
        return 1;
    return (count + ColCount - 1) / ColCount;
}

QSize CellSize(int clientWidth)
{
    const int width = std::max(0, (clientWidth - GridMargin) / ColCount);
    return {width, ViewerGeometry::RoundHalfEven(width * 0.75)};
}

QRect FitRect(const QRect& box, QSize pictureSize)
{
    const int w = box.width();
    const int h = box.height();
    if (w <= 0 || h <= 0 || pictureSize.width() <= 0 || pictureSize.height() <= 0)
        return {};
    const double f = std::max(double(pictureSize.width()) / w, double(pictureSize.height()) / h);
    // div truncates towards zero: a side rounded past the box gives a negative inset of 0.
    const int insetX = (w - ViewerGeometry::RoundHalfEven(pictureSize.width() / f)) / 2;
    const int insetY = (h - ViewerGeometry::RoundHalfEven(pictureSize.height() / f)) / 2;
    return QRect(box.left() + insetX, box.top() + insetY, w - 2 * insetX, h - 2 * insetY);
}

QRect CellPictureRect(const QRect& cell, QSize pictureSize)
{
    const QRect inner = cell.adjusted(CellFrame, CellFrame, -CellFrame, -CellFrame);
    if (inner.width() <= 0 || inner.height() <= 0)
        return {};
    return FitRect(inner, pictureSize);
}

QSize CellPictureBox(QSize cellSize)
{
    return {std::max(0, cellSize.width() - 2 * CellFrame),
            std::max(0, cellSize.height() - 2 * CellFrame)};
}

bool RecentlyUpdated(qint64 lastModifiedSecs, bool valid, qint64 nowSecs)
{
    return valid && std::llabs(nowSecs - lastModifiedSecs) < 60;
}

} // namespace MosaicGeometry
