#include "mosaic/FormMire.h"

#include "base/StatusBar.h"
#include "base/TrayHost.h"
#include "core/Log.h"
#include "core/catalog/Settings.h"
#include "core/catalog/Strings.h"
#include "core/image/BitmapScale.h"
#include "core/image/JpegCodec.h"
#include "core/net/FetchEngine.h"
#include "core/rules/CamAddress.h"
#include "core/rules/MenuColumns.h"
#include "core/rules/MosaicGeometry.h"
#include "mosaic/CellDecoder.h"
#include "mosaic/DrawGrid.h"
#include "mosaic/ThumbnailTick.h"

#include <QCloseEvent>
#include <QHelpEvent>
#include <QPainter>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>
#include <atomic>
#include <exception>

using namespace MosaicGeometry;

namespace {
// Pre-order: a category's own webcams, then each sub-category in turn.
void AddWebcams(const TCamCategory& category, std::vector<TCamInfo>& list)
{
    for (int i = 0; i < category.Webcams.Count(); ++i)
        list.emplace_back(*category.Webcams.Items(i));
    for (int i = 0; i < category.Categories.Count(); ++i)
        AddWebcams(*category.Categories.Items(i), list);
}
} // namespace

TfoMire::TfoMire(QWidget* parent) : TSForm(QStringLiteral("foMire"), parent, Qt::Window)
{
    setAttribute(Qt::WA_DeleteOnClose);
}

TfoMire::~TfoMire()
{
    // FormDestroy
    StopThread();
}

void TfoMire::BuildLayout()
{
    setWindowTitle(QStringLiteral("Mosaic"));
    resize(438, 330);
    setMinimumSize(200, 200);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    CamGrid = new TDrawGrid(this);
    CamGrid->setObjectName(QStringLiteral("CamGrid"));
    CamGrid->setFrameShape(QFrame::NoFrame);
    CamGrid->SetColCount(ColCount);
    CamGrid->OnDrawCell = [this](QPainter& painter, int col, int row, const QRect& rect,
                                 bool selected) {
        CamGridDrawCell(painter, col, row, rect, selected);
    };
    connect(CamGrid, &TDrawGrid::DoubleClicked, this, &TfoMire::CamGridDblClick);
    connect(CamGrid, &TDrawGrid::VisibleRowsChanged, this, &TfoMire::BandMoved);
    CamGrid->viewport()->installEventFilter(this);
    layout->addWidget(CamGrid, 1);
    StatusBar = new TStatusBar(this);
    StatusBar->AddPanel(-1);
    layout->addWidget(StatusBar);

    AddCloseOnEscape();

    RescaleTimer = new QTimer(this);
    RescaleTimer->setSingleShot(true);
    RescaleTimer->setInterval(150);
    connect(RescaleTimer, &QTimer::timeout, this, &TfoMire::RescaleCells);
}

void TfoMire::FormCreate()
{
    // 1. The list, from copies of the catalogue's webcams.
    if (CamViewer)
        AddWebcams(CamViewer->Root, FList);
    Cells.resize(FList.size());
    Compact.resize(FList.size());
    CompactSize.resize(FList.size());
    Generation.resize(FList.size());
    // 2. The rows.
    CamGrid->SetRowCount(RowCount(int(FList.size())));
    FormResize();
    // 3. The feed, with every webcam of the list.
    if (FList.empty())
        return;
    Thread = NewThumbnailThread();
    Thread->Repeat = true;
    Thread->Lanes = ColCount; // about a row at a time
    Thread->KeepData = false;
    Thread->CellQuality = 80;
    for (const TCamInfo& entry : FList)
        Thread->Cams.push_back({entry.Url, entry.Referer, entry.Webcam.Refresh, entry.LastModified,
                                entry.ContentLength});
    Thread->SetPictureBox(
        PictureBox(QSize(CamGrid->DefaultColWidth(), CamGrid->DefaultRowHeight())));
    Thread->OnImage = [this](TMireImage& image) { ImageArrived(image); };
    Thread->OnNext = [this](const TMireNext& next) { NextWebcam(next); };
    Thread->Start();
}

void TfoMire::StopThread()
{
    StopWorker(Thread);
    if (RescaleCancel)
        RescaleCancel->store(true);
    if (RescaleBox)
        RescaleBox->Detach();
    if (Decoder)
        Decoder->Stop();
}

void TfoMire::closeEvent(QCloseEvent* event)
{
    // FormClose: the tray window's slot empties itself when the window goes.
    StopThread();
    TSForm::closeEvent(event);
}

void TfoMire::resizeEvent(QResizeEvent* event)
{
    TSForm::resizeEvent(event);
    FormResize();
}

void TfoMire::FormResize()
{
    if (!CamGrid)
        return;
    // The grid has no border and spans the window: the window's width is its client width.
    const QSize cell = CellSize(width());
    const bool changed =
        cell.width() != CamGrid->DefaultColWidth() || cell.height() != CamGrid->DefaultRowHeight();
    CamGrid->SetDefaultColWidth(cell.width());
    // Every row gets the computed height again, also rows the user resized.
    CamGrid->SetDefaultRowHeight(cell.height());
    if (changed) {
        if (Thread)
            Thread->SetPictureBox(PictureBox(cell));
        RescaleTimer->start();
    }
}

void TfoMire::NextWebcam(const TMireNext& next)
{
    if (next.Index < 0 || next.Index >= int(FList.size()))
        return;
    TCamInfo& entry = FList[size_t(next.Index)];
    entry.Online = false;
    StatusBar->Panel(0)->setText(Refreshing + MaskedAddresses(entry.Webcam.Name));
}

void TfoMire::ImageArrived(TMireImage& image)
{
    try {
        if (image.Index < 0 || image.Index >= int(FList.size()))
            return;
        TCamInfo& entry = FList[size_t(image.Index)];
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        entry.Online =
            entry.ContentLength != 0 || RecentlyUpdated(image.LastModified.toSecsSinceEpoch(),
                                                        image.LastModified.isValid(), now);
        entry.ContentLength = image.ContentLength;
        entry.LastModified = image.LastModified;
        // An empty or unreadable answer keeps the previous picture.
        if (!image.Picture.IsEmpty() && !image.Cell.isEmpty()) {
            const size_t i = size_t(image.Index);
            entry.ImageSize = image.SourceSize;
            Compact[i] = std::move(image.Cell);
            CompactSize[i] = QSize(image.Picture.Width, image.Picture.Height);
            SetCell(i, NearScreen(image.Index)
                           ? TCellDecoder::ScreenImage(image.Picture, devicePixelRatioF())
                           : QImage());
            ++Generation[i];
            // Made for a cell size that has changed since: a new picture follows.
            const QSize cell(CamGrid->DefaultColWidth(), CamGrid->DefaultRowHeight());
            if (CompactSize[i] != CellPictureSize(cell, entry.ImageSize))
                RescaleTimer->start();
        }
        const int col = image.Index % ColCount;
        const int row = image.Index / ColCount;
        CamGrid->InvalidateCell(col, row);
        if (CamViewer && CamViewer->ScrollMosaic)
            CamGrid->SetCurrent(col, row);
    } catch (const std::exception& e) {
        qCInfo(lcUi) << "mosaic image not taken:" << e.what();
    } catch (...) {
        qCInfo(lcUi) << "mosaic image not taken";
    }
}

void TfoMire::CamGridDrawCell(QPainter& painter, int col, int row, const QRect& rect, bool selected)
{
    const int index = row * ColCount + col;
    if (index >= int(FList.size()))
        return;
    const TCamInfo& entry = FList[size_t(index)];
    const QColor background = selected       ? palette().color(QPalette::Highlight)
                              : entry.Online ? QColor(0, 128, 0)
                                             : QColor(Qt::black);
    painter.fillRect(rect, background);
    // A cell back on screen shows its background until the pool has decoded its picture again.
    const QImage& cell = Cells[size_t(index)];
    if (cell.isNull())
        return;
    const QRect target = CellPictureRect(rect, entry.ImageSize);
    if (target.isEmpty())
        return;
    if (CellPictureSize(rect.size(), entry.ImageSize) == cell.size()) {
        painter.drawImage(target.topLeft(), cell);
    } else {
        // The cell changed size and its new copy is on its way: the old one stretched meanwhile.
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, cell);
    }
}

void TfoMire::CamGridDblClick(const QPoint& pos)
{
    int col = 0;
    int row = 0;
    if (!CamGrid->MouseToCell(pos, col, row))
        return;
    const int index = row * ColCount + col;
    if (index >= int(FList.size()) || !TrayHost())
        return;
    TrayHost()->OpenViewer(&FList[size_t(index)].Webcam, true);
}

QSize TfoMire::PictureBox(QSize cellSize) const
{
    return (QSizeF(CellPictureBox(cellSize)) * devicePixelRatioF()).toSize();
}

QSize TfoMire::CellPictureSize(QSize cellSize, QSize imageSize) const
{
    return FitRect(QRect(QPoint(0, 0), PictureBox(cellSize)), imageSize).size();
}

void TfoMire::SetCell(size_t index, QImage picture)
{
    Decoded += (picture.isNull() ? 0 : 1) - (Cells[index].isNull() ? 0 : 1);
    Cells[index] = std::move(picture);
}

void TfoMire::ScreenRows(int& top, int& bottom) const
{
    top = CamGrid->RowAt(0);
    bottom = CamGrid->RowAt(std::max(0, CamGrid->viewport()->height() - 1));
}

void TfoMire::DecodedRows(int& first, int& last) const
{
    int top = 0;
    int bottom = 0;
    ScreenRows(top, bottom);
    const int screen = bottom - top + 1;
    first = std::max(0, top - screen);
    last = bottom + screen;
}

bool TfoMire::NearScreen(int index) const
{
    int first = 0;
    int last = 0;
    DecodedRows(first, last);
    const int row = index / ColCount;
    return row >= first && row <= last;
}

void TfoMire::BandMoved()
{
    DropFarCells();
    RequestDecodes();
}

void TfoMire::DropFarCells()
{
    int first = 0;
    int last = 0;
    DecodedRows(first, last);
    for (size_t i = 0; i < Cells.size(); ++i) {
        const int row = int(i) / ColCount;
        if ((row < first || row > last) && !Cells[i].isNull())
            SetCell(i, QImage());
    }
}

void TfoMire::RequestDecodes()
{
    int top = 0;
    int bottom = 0;
    int first = 0;
    int last = 0;
    ScreenRows(top, bottom);
    DecodedRows(first, last);
    std::vector<TCellDecoder::TJob> jobs;
    const auto addRows = [&](int from, int to) {
        const size_t end = std::min(FList.size(), size_t(to + 1) * ColCount);
        for (size_t i = size_t(from) * ColCount; i < end; ++i)
            if (Cells[i].isNull() && !Compact[i].isEmpty())
                jobs.push_back({int(i), Generation[i], Compact[i]});
    };
    // The screen first, then the rows below it, then those above.
    addRows(top, bottom);
    addRows(bottom + 1, last);
    addRows(first, top - 1);
    if (jobs.empty() && !Decoder)
        return;
    if (!Decoder)
        Decoder = std::make_unique<TCellDecoder>(
            TFetchEngine::Main()->Pool(), [this](int index, quint32 generation, QImage picture) {
                CellDecoded(index, generation, std::move(picture));
            });
    // Also an empty list: what waits for cells that left the band is forgotten.
    Decoder->Want(std::move(jobs), devicePixelRatioF());
}

void TfoMire::CellDecoded(int index, quint32 generation, QImage picture)
{
    if (index < 0 || index >= int(FList.size()) || picture.isNull())
        return;
    const size_t i = size_t(index);
    // A newer image has its own picture, a cell decoded twice keeps the first, and a cell that
    // left the band keeps none.
    if (generation != Generation[i] || !Cells[i].isNull() || !NearScreen(index))
        return;
    SetCell(i, std::move(picture));
    CamGrid->InvalidateCell(index % ColCount, index / ColCount);
}

bool TfoMire::eventFilter(QObject* watched, QEvent* event)
{
    if (CamGrid && watched == CamGrid->viewport() && event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        int col = 0;
        int row = 0;
        const int index = CamGrid->MouseToCell(help->pos(), col, row) ? row * ColCount + col : -1;
        if (index >= 0 && index < int(FList.size()))
            QToolTip::showText(help->globalPos(),
                               HintName(MaskedAddresses(FList[size_t(index)].Webcam.Name)),
                               CamGrid->viewport());
        else
            QToolTip::hideText();
        return true;
    }
    return TSForm::eventFilter(watched, event);
}

void TfoMire::RescaleCells()
{
    // A rescale still under way is of no use any more.
    if (RescaleCancel)
        RescaleCancel->store(true);
    RescaleCancel.reset();
    const QSize cell(CamGrid->DefaultColWidth(), CamGrid->DefaultRowHeight());
    struct TJob
    {
        int Index;
        QByteArray Compact;
        QSize Wanted;
    };
    std::vector<TJob> jobs;
    int first = 0;
    int last = 0;
    DecodedRows(first, last);
    for (size_t i = 0; i < FList.size(); ++i) {
        const int row = int(i) / ColCount;
        if (Compact[i].isEmpty() || row < first || row > last)
            continue;
        const QSize wanted = CellPictureSize(cell, FList[i].ImageSize);
        if (CompactSize[i] != wanted && !wanted.isEmpty())
            jobs.push_back({int(i), Compact[i], wanted});
    }
    if (jobs.empty())
        return;
    if (!RescaleBox)
        RescaleBox = std::make_shared<TPostBox>();
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    RescaleCancel = cancel;
    // Off the UI thread: each small image decoded and brought to its new size.
    TFetchEngine::Main()->Pool()->Start([box = RescaleBox, cancel, jobs = std::move(jobs), cell,
                                         generation = Generation, ratio = devicePixelRatioF(),
                                         this] {
        for (const TJob& job : jobs) {
            if (cancel->load())
                return;
            TBitmap small;
            QString error;
            if (!JpegCodec::Decode(job.Compact, small, 1, &error)) {
                qCInfo(lcImage) << "cell" << job.Index << "not rescaled:" << error;
                continue;
            }
            // Brought to the screen's format here too: the UI thread only keeps it.
            QImage picture = TCellDecoder::ScreenImage(
                BitmapScale::Resample(small, job.Wanted.width(), job.Wanted.height()), ratio);
            // The window's own box: nothing runs once the window is gone.
            box->Post([this, picture = std::move(picture), index = size_t(job.Index), cell,
                       was = generation[size_t(job.Index)]]() mutable {
                // A later size change has its own rescale, and a newer image its own picture.
                // A cell that left the band keeps no picture.
                if (cell != QSize(CamGrid->DefaultColWidth(), CamGrid->DefaultRowHeight()) ||
                    was != Generation[index] || !NearScreen(int(index)))
                    return;
                SetCell(index, std::move(picture));
                CamGrid->InvalidateCell(int(index) % ColCount, int(index) / ColCount);
            });
        }
    });
}
