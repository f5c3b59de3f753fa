#pragma once

#include "base/ClassForm.h"
#include "core/net/ClassMire.h"

#include <QImage>
#include <memory>
#include <vector>

class QPainter;
class TDrawGrid;
class TStatusBar;

// The mosaic: every webcam of the catalogue as a cell of a six-column grid, refreshed one after
// another without end by a thumbnail thread. A cell is framed green while its webcam counts as
// online; a double click on a cell opens a viewer. It works on copies of the catalogue's webcams,
// taken when it opens. Hovering over a cell shows its webcam's name; Escape closes the window.
//
// Each cell is drawn from a copy at cell resolution that the thumbnail thread makes; the JPEG
// image as received is kept to make a new copy when the cell size changes.
class TfoMire : public TSForm
{
    Q_OBJECT

public:
    explicit TfoMire(QWidget* parent = nullptr);
    ~TfoMire() override;

    // The webcams shown, in list order, and the cell copies (null before a first image).
    const std::vector<TCamInfo>& List() const { return FList; }
    const QImage& CellImage(int index) const { return Cells[size_t(index)]; }
    bool IsFetching() const { return Thread != nullptr; }
    // The thread's length of one second (tests shorten it); set before the window is made.
    static void SetTickMilliseconds(int ms);

    // The thread's two events, run on the user-interface thread.
    void NextWebcam(TMireThread& thread);
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
    // Makes new cell copies at the current cell size, off the user-interface thread.
    void RescaleCells();

    TDrawGrid* CamGrid = nullptr;
    TStatusBar* StatusBar = nullptr;
    std::vector<TCamInfo> FList;
    std::vector<QImage> Cells;
    std::vector<quint32> Generation; // counts the images taken for each entry
    std::shared_ptr<TMireThread> Thread;
    std::shared_ptr<class TMireScaler> Scaler;
    class QTimer* RescaleTimer = nullptr;
};
