#include "mosaic/FormMire.h"

#include "base/StatusBar.h"
#include "base/TrayHost.h"
#include "core/Log.h"
#include "core/catalog/ClassViewer.h"
#include "core/catalog/Strings.h"
#include "core/rules/MenuColumns.h"
#include "core/rules/MosaicGeometry.h"
#include "mosaic/DrawGrid.h"

#include <QAction>
#include <QCloseEvent>
#include <QHelpEvent>
#include <QPainter>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>
#include <exception>

using namespace MosaicGeometry;

namespace {
int tickMs = 1000;

// Pre-order: a category's own webcams, then each sub-category in turn.
void AddWebcams(const TCamCategory& category, std::vector<TCamInfo>& list)
{
    for (int i = 0; i < category.Webcams.Count(); ++i)
        list.emplace_back(*category.Webcams.Items(i));
    for (int i = 0; i < category.Categories.Count(); ++i)
        AddWebcams(*category.Categories.Items(i), list);
}

// A copy in the format the screen takes without conversion.
QImage ToCellImage(const TBitmap& picture)
{
    if (picture.IsEmpty())
        return {};
    return QImage(picture.Pixels.data(), picture.Width, picture.Height, picture.Stride,
                  QImage::Format_RGB888)
        .convertToFormat(QImage::Format_RGB32);
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

void TfoMire::SetTickMilliseconds(int ms)
{
    tickMs = ms;
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
    CamGrid->viewport()->installEventFilter(this);
    layout->addWidget(CamGrid, 1);
    StatusBar = new TStatusBar(this);
    StatusBar->AddPanel(-1);
    layout->addWidget(StatusBar);

    auto* actClose = new QAction(QStringLiteral("Close"), this);
    actClose->setObjectName(QStringLiteral("actClose"));
    actClose->setShortcut(QKeySequence(Qt::Key_Escape));
    actClose->setShortcutContext(Qt::WindowShortcut);
    connect(actClose, &QAction::triggered, this, &QWidget::close);
    addAction(actClose);

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
    Generation.resize(FList.size());
    // 2. The rows.
    CamGrid->SetRowCount(RowCount(int(FList.size())));
    FormResize();
    // 3. The thread, prepared for the first webcam.
    if (FList.empty())
        return;
    Thread = TMireThread::Create();
    Thread->Tick = std::chrono::milliseconds(tickMs);
    Thread->Index = -1;
    Thread->KeepData = true;
    Thread->OnImage = [this](TMireImage& image) { ImageArrived(image); };
    Thread->OnNext = [this](TMireThread& thread) { NextWebcam(thread); };
    NextWebcam(*Thread);
    Thread->Start();
}

void TfoMire::StopThread()
{
    if (Thread) {
        Thread->ClearEvents();
        Thread->Terminate();
        Thread.reset();
    }
    if (Scaler) {
        Scaler->ClearEvents();
        Scaler->Terminate();
        Scaler.reset();
    }
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
    if (changed)
        RescaleTimer->start();
}

void TfoMire::NextWebcam(TMireThread& thread)
{
    const int count = int(FList.size());
    if (count == 0)
        return;
    ++thread.Index;
    if (thread.Index >= count)
        thread.Index = 0;
    TCamInfo& entry = FList[size_t(thread.Index)];
    thread.Url = entry.Url;
    thread.LastModified = entry.LastModified;
    thread.ContentLength = entry.ContentLength;
    entry.Online = false;
    StatusBar->Panel(0)->setText(Refreshing + entry.Webcam.Name);
    thread.Referer = entry.Referer;
    thread.PictureBox =
        CellPictureBox(QSize(CamGrid->DefaultColWidth(), CamGrid->DefaultRowHeight()));
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
        if (!image.Picture.IsEmpty()) {
            entry.Image = std::move(image.Data);
            entry.ImageSize = image.SourceSize;
            Cells[size_t(image.Index)] = ToCellImage(image.Picture);
            ++Generation[size_t(image.Index)];
            // Made for a cell size that has changed since: a new copy follows.
            const QSize cell(CamGrid->DefaultColWidth(), CamGrid->DefaultRowHeight());
            if (Cells[size_t(image.Index)].size() !=
                CellPictureRect(QRect(QPoint(0, 0), cell), entry.ImageSize).size())
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
    const QImage& cell = Cells[size_t(index)];
    if (entry.Image.isEmpty() || cell.isNull())
        return;
    const QRect target = CellPictureRect(rect, entry.ImageSize);
    if (target.isEmpty())
        return;
    if (target.size() == cell.size()) {
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

bool TfoMire::eventFilter(QObject* watched, QEvent* event)
{
    if (CamGrid && watched == CamGrid->viewport() && event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        int col = 0;
        int row = 0;
        const int index = CamGrid->MouseToCell(help->pos(), col, row) ? row * ColCount + col : -1;
        if (index >= 0 && index < int(FList.size()))
            QToolTip::showText(help->globalPos(), HintName(FList[size_t(index)].Webcam.Name),
                               CamGrid->viewport());
        else
            QToolTip::hideText();
        return true;
    }
    return TSForm::eventFilter(watched, event);
}

void TfoMire::RescaleCells()
{
    if (Scaler) {
        Scaler->ClearEvents();
        Scaler->Terminate();
        Scaler.reset();
    }
    const QSize cell(CamGrid->DefaultColWidth(), CamGrid->DefaultRowHeight());
    const QSize box = CellPictureBox(cell);
    std::vector<TMireScaler::TJob> jobs;
    for (size_t i = 0; i < FList.size(); ++i) {
        if (FList[i].Image.isEmpty())
            continue;
        const QSize wanted = CellPictureRect(QRect(QPoint(0, 0), cell), FList[i].ImageSize).size();
        if (Cells[i].size() != wanted)
            jobs.push_back({int(i), FList[i].Image});
    }
    if (jobs.empty() || box.isEmpty())
        return;
    Scaler = TMireScaler::Create(std::move(jobs), box);
    Scaler->OnImage = [this, cell, generation = Generation](TMireImage& image) {
        // A later size change has its own rescale, and a newer image its own copy.
        const size_t i = size_t(image.Index);
        if (cell != QSize(CamGrid->DefaultColWidth(), CamGrid->DefaultRowHeight()) ||
            generation[i] != Generation[i])
            return;
        Cells[size_t(image.Index)] = ToCellImage(image.Picture);
        CamGrid->InvalidateCell(image.Index % ColCount, image.Index / ColCount);
    };
    Scaler->Start();
}
