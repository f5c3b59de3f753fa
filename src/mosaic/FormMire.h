#pragma once

#include "base/Window.h"
#include "core/net/ThumbnailFeed.h"

#include <QImage>
#include <atomic>
#include <memory>
#include <vector>

class QPainter;
class TCellDecoder;
class TDrawGrid;
class TStatusBar;

// The mosaic: every webcam of the catalogue as a cell of a six-column grid, refreshed a few at a
// time, without end, by a thumbnail feed. A cell is framed green while its webcam counts as
// online; a double click on a cell opens a viewer. It works on copies of the catalogue's webcams,
// taken when it opens. Hovering over a cell shows its webcam's name; Escape closes the window.
//
// It holds only what it shows. Each filled cell keeps its picture at cell size as a small JPEG
// image (made off the UI thread); decoded pixels are kept for the rows on screen and a screen's
// worth of rows above and below (the band). When the band moves (a scroll, a new size), the cells
// that came into it are decoded again from their small images on the work pool, those on screen
// first; a cell is drawn on its background until its picture is back. The webcam's full image is
// not kept. When the cells change size, the pictures near the screen are made again from the
// small images, the others come with their webcam's next image (until then they are drawn
// stretched).
class TfoMire : public TSForm
{
    Q_OBJECT

public:
    explicit TfoMire(QWidget* parent = nullptr);
    ~TfoMire() override;

    // The webcams shown, in list order, and the decoded cell pictures (null before a first image
    // and for cells far from the screen).
    const std::vector<TCamInfo>& List() const { return FList; }
    const QImage& CellImage(int index) const { return Cells[size_t(index)]; }
    // Whether the cell has a picture (kept as a small JPEG image), and how many are decoded.
    bool CellFilled(int index) const { return !Compact[size_t(index)].isEmpty(); }
    int DecodedCells() const { return Decoded; }
    bool IsFetching() const { return Thread != nullptr; }

    // The feed's two events, run on the user-interface thread.
    void NextWebcam(const TMireNext& next);
    void ImageArrived(TMireImage& image);

    void CamGridDrawCell(QPainter& painter, int col, int row, const QRect& rect, bool selected);
    // A double click at a position of the grid's viewport.
    void CamGridDblClick(const QPoint& pos);

protected:
    void BuildLayout() override;
    void FormCreate() override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormResize();
    void StopThread();
    // Makes new cell pictures at the current cell size from the small images, for the cells
    // near the screen, off the user-interface thread.
    void RescaleCells();
    // The rows on screen, and the rows whose pictures stay decoded (the band): those on screen
    // and a screen's worth either side.
    void ScreenRows(int& top, int& bottom) const;
    void DecodedRows(int& first, int& last) const;
    bool NearScreen(int index) const;
    // The band moved: lets go of the decoded pictures of cells that left it and asks the pool for
    // those of the cells in it.
    void BandMoved();
    void DropFarCells();
    void RequestDecodes();
    // A picture decoded on the pool; dropped if its cell left the band or got a newer image.
    void CellDecoded(int index, quint32 generation, QImage picture);
    void SetCell(size_t index, QImage picture);
    // The box a cell's picture is fitted into, and the size of the picture of an image of
    // imageSize in a cell of cellSize: in device pixels, so that pictures are sharp on a screen
    // that scales.
    QSize PictureBox(QSize cellSize) const;
    QSize CellPictureSize(QSize cellSize, QSize imageSize) const;

    TDrawGrid* CamGrid = nullptr;
    TStatusBar* StatusBar = nullptr;
    std::vector<TCamInfo> FList;
    std::vector<QImage> Cells;
    std::vector<QByteArray> Compact; // each filled cell's picture as a small JPEG image
    std::vector<QSize> CompactSize;  // the size it was made for
    int Decoded = 0;                 // cells with a decoded picture
    std::vector<quint32> Generation; // counts the images taken for each entry
    std::shared_ptr<TMireThread> Thread;
    // Rescaled cell pictures come back through RescaleBox; RescaleCancel ends a rescale that a
    // newer one makes useless.
    std::shared_ptr<TPostBox> RescaleBox;
    std::shared_ptr<std::atomic<bool>> RescaleCancel;
    class QTimer* RescaleTimer = nullptr;
    std::unique_ptr<TCellDecoder> Decoder; // made with the first cell to decode
};
