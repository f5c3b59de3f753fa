#pragma once

#include <QRect>
#include <QSize>

// The arithmetic of the mosaic's cells and the chooser's thumbnails: how many rows the grid has,
// how big a cell is, and where a picture is drawn in a cell or a thumbnail. Pure functions; the
// windows and the thumbnail thread apply them.
namespace MosaicGeometry {

// Columns of the mosaic's grid.
inline constexpr int ColCount = 6;
// Width of the cell's frame left around the picture (the background colour shows in it).
inline constexpr int CellFrame = 4;
// What the columns leave free of the grid's client width (room for the scroll bar).
inline constexpr int GridMargin = 20;
// Size of the chooser's thumbnails.
inline constexpr int ThumbWidth = 120;
inline constexpr int ThumbHeight = 90;

// Rows of the grid for a list of `count` webcams: count / ColCount rounded up, at least one.
int RowCount(int count);

// Cell size for a grid client width: the width is (clientWidth - GridMargin) div ColCount (never
// below 0), the height three quarters of it, rounded to the nearest pixel with ties to even
// (66 -> 50, 70 -> 52).
QSize CellSize(int clientWidth);

// Where a picture of pictureSize is drawn in box: fitted keeping its aspect ratio, enlarged as
// well as reduced, centred. The scale factor f is the larger of width / box width and height /
// box height; each side is inset by (box side - round(picture side / f)) div 2, rounding ties to
// even. An empty box or picture gives an empty rectangle.
QRect FitRect(const QRect& box, QSize pictureSize);

// The picture's rectangle in a mosaic cell: the cell less its frame, then FitRect. Empty when the
// frame leaves nothing.
QRect CellPictureRect(const QRect& cell, QSize pictureSize);

// The box the picture of a cell of cellSize is fitted into (the cell less its frame).
QSize CellPictureBox(QSize cellSize);

// Whether a Last-Modified time counts as recent: less than 60 whole seconds away from now, in
// either direction. An invalid time never does.
bool RecentlyUpdated(qint64 lastModifiedSecs, bool valid, qint64 nowSecs);

} // namespace MosaicGeometry
