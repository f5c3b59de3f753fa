// The mosaic with 1,000 webcams of 640 x 480 served by democam on 127.0.0.1, and the chooser with
// a category of 500: time to open the mosaic, resident memory once every cell has an image, time
// to repaint a full screen of cells, UI-thread time per arriving image, and how late the UI
// thread's events run while thumbnails arrive.
// Targets: open under 300 ms, under 200 MiB, repaint under 8 ms, under 1 ms per arriving image,
// no UI event more than 50 ms late.
// The mosaic of 10,000 webcams in a window of 1280 x 770 (a screen's size): every cell filled,
// at most 250 MiB, repaint under 8 ms; also the time to fill and to scroll through all rows.
// A jump with the scroll bar over 10,000 filled cells: the UI thread's time in the jump and the
// paint that follows it, and the time until every cell of the new screen has its picture.
#include "WidgetBenchMain.h"
#include "base/Window.h"
#include "core/catalog/Settings.h"
#include "core/image/JpegCodec.h"
#include "core/image/Thumbnail.h"
#include "core/io/Worker.h"
#include "core/net/FetchEngine.h"
#include "core/rules/MosaicGeometry.h"
#include "mosaic/DrawGrid.h"
#include "mosaic/FormChoose.h"
#include "mosaic/FormMire.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QListWidget>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdint>
#include <ctime>
#include <functional>

namespace {

constexpr int MosaicCams = 1000;
constexpr int ChooserCams = 500;

qint64 threadCpuNs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

double statusMiB(const char* field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field) + 1).trimmed().split(' ').first().toDouble() / 1024.0;
    return -1;
}

// A 10-ms timer on the UI thread: how much later than due each firing runs.
struct TLatenessProbe
{
    QTimer Timer;
    QElapsedTimer Clock;
    qint64 Last = 0;
    double MaxLateMs = 0;
    long long Late50 = 0;
    TLatenessProbe()
    {
        Timer.setTimerType(Qt::PreciseTimer);
        Timer.setInterval(10);
        QObject::connect(&Timer, &QTimer::timeout, &Timer, [this] {
            const qint64 now = Clock.nsecsElapsed();
            const double late = double(now - Last) / 1e6 - 10.0;
            Last = now;
            MaxLateMs = std::max(MaxLateMs, late);
            Late50 += late > 50 ? 1 : 0;
        });
        Clock.start();
        Last = Clock.nsecsElapsed();
        Timer.start();
    }
};

bool pumpUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        // Sleeps until an event comes or 5 ms pass: a loop that only polls would take a core
        // from the engine and the pool it measures.
        QEventLoop wait;
        QTimer::singleShot(5, &wait, &QEventLoop::quit);
        wait.exec();
    }
    return true;
}

struct TDemoCam
{
    QProcess Process;
    QString Base;
    bool Start()
    {
        Process.start(QStringLiteral(PICTAVO_BIN_DIR "/democam"), {QStringLiteral("0")});
        if (!Process.waitForReadyRead(10000))
            return false;
        Base = QString::fromLatin1(Process.readLine()).trimmed();
        return true;
    }
    ~TDemoCam()
    {
        Process.kill();
        Process.waitForFinished(3000);
    }
};

void endWindows()
{
    for (TSForm* form : TFormList::Of<TSForm>())
        delete form;
    pumpUntil(
        [] {
            return RunningWorkers() == 0 &&
                   (!TFetchEngine::HasMain() || TFetchEngine::Main()->Tasks() == 0);
        },
        5000);
}

// The catalogue's top level: count webcams of democam's clock, each its own address.
void AddClockWebcams(TCamViewer& settings, const QString& base, int count, int refresh)
{
    for (int i = 0; i < count; ++i) {
        TCamWebcam* cam = settings.Root.Webcams.Add();
        cam->Name = QStringLiteral("Cam %1").arg(i);
        cam->Url = base + QStringLiteral("clock.jpg?cam=%1").arg(i);
        cam->Refresh = refresh;
    }
}

// The settings of a benchmark, in a folder of its own, as the program's settings while it lives.
struct TBenchSettings
{
    QTemporaryDir Dir;
    TCamViewer Settings;
    TBenchSettings()
    {
        Settings.OptionsPath = Dir.filePath(QStringLiteral("Options.xml"));
        CamViewer = &Settings;
    }
    ~TBenchSettings() { CamViewer = nullptr; }
    TBenchSettings(const TBenchSettings&) = delete;
    TBenchSettings& operator=(const TBenchSettings&) = delete;
};

// The mosaic opened at the given size, shown and laid out.
TfoMire* ShownMosaic(int width, int height)
{
    auto* mosaic = CreateForm<TfoMire>();
    mosaic->resize(width, height);
    mosaic->show();
    QCoreApplication::processEvents();
    return mosaic;
}

// The UI thread's time to repaint the grid's screen, in ms, over 50 repaints.
double RepaintMs(TDrawGrid* grid)
{
    constexpr int Repaints = 50;
    const qint64 paint0 = threadCpuNs();
    for (int i = 0; i < Repaints; ++i)
        grid->viewport()->repaint();
    return double(threadCpuNs() - paint0) / 1e6 / Repaints;
}

void BM_Mosaic1000(benchmark::State& state)
{
    TDemoCam democam;
    if (!democam.Start()) {
        state.SkipWithError("democam did not start");
        return;
    }
    TBenchSettings bench;
    TCamViewer& settings = bench.Settings;
    AddClockWebcams(settings, democam.Base, MosaicCams, TCamWebcam().Refresh);
    for (auto _ : state) {
        QElapsedTimer open;
        open.start();
        TfoMire* mosaic = ShownMosaic(1024, 768);
        state.counters["open_ms"] = double(open.nsecsElapsed()) / 1e6;

        TLatenessProbe probe;
        const bool filled = pumpUntil(
            [&] {
                for (int i = 0; i < MosaicCams; ++i)
                    if (!mosaic->CellFilled(i))
                        return false;
                return true;
            },
            300000);
        if (!filled)
            state.SkipWithError("not every cell got an image");
        state.counters["fill_s"] = double(probe.Clock.nsecsElapsed()) / 1e9;
        state.counters["max_event_lateness_ms"] = probe.MaxLateMs;
        state.counters["events_later_than_50ms"] = double(probe.Late50);
        state.counters["rss_mib"] = statusMiB("VmRSS:");

        auto* grid = mosaic->findChild<TDrawGrid*>(QStringLiteral("CamGrid"));
        state.counters["repaint_ms"] = RepaintMs(grid);

        // An arriving image as the thread hands it over: decoded and scaled on the worker.
        TMireImage image;
        const QByteArray jpeg = JpegCodec::Encode(TBitmap(640, 480));
        Thumbnail::Make(jpeg, {grid->DefaultColWidth() - 8, grid->DefaultRowHeight() - 8},
                        image.Picture, &image.SourceSize);
        const qint64 arrive0 = threadCpuNs();
        for (int i = 0; i < MosaicCams; ++i) {
            TMireImage copy = image;
            copy.Index = i;
            copy.Cell = jpeg;
            copy.ContentLength = jpeg.size();
            mosaic->ImageArrived(copy);
        }
        QCoreApplication::processEvents(); // the invalidated cells are painted
        state.counters["ui_ms_per_image"] = double(threadCpuNs() - arrive0) / 1e6 / MosaicCams;
        endWindows();
    }
}
BENCHMARK(BM_Mosaic1000)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_Mosaic10000(benchmark::State& state)
{
    constexpr int Cams = 10000;
    TDemoCam democam;
    if (!democam.Start()) {
        state.SkipWithError("democam did not start");
        return;
    }
    TBenchSettings bench;
    TCamViewer& settings = bench.Settings;
    AddClockWebcams(settings, democam.Base, Cams, 60);
    for (auto _ : state) {
        TfoMire* mosaic = ShownMosaic(1280, 770);
        TLatenessProbe probe;
        int filled = 0;
        const bool done = pumpUntil(
            [&] {
                while (filled < Cams && mosaic->CellFilled(filled))
                    ++filled;
                return filled == Cams;
            },
            900000);
        if (!done)
            state.SkipWithError("not every cell got an image");
        state.counters["cells_filled"] = filled;
        state.counters["fill_s"] = double(probe.Clock.nsecsElapsed()) / 1e9;
        state.counters["max_event_lateness_ms"] = probe.MaxLateMs;
        state.counters["rss_mib"] = statusMiB("VmRSS:");
        state.counters["decoded_cells"] = mosaic->DecodedCells();

        auto* grid = mosaic->findChild<TDrawGrid*>(QStringLiteral("CamGrid"));
        state.counters["repaint_ms"] = RepaintMs(grid);

        // Through every row a screen at a time, each screen painted.
        QScrollBar* bar = grid->verticalScrollBar();
        QElapsedTimer scroll;
        scroll.start();
        int screens = 0;
        for (int value = 0; value <= bar->maximum(); value += std::max(1, bar->pageStep())) {
            bar->setValue(value);
            grid->viewport()->repaint();
            ++screens;
        }
        state.counters["scroll_all_rows_s"] = double(scroll.nsecsElapsed()) / 1e9;
        state.counters["scroll_ms_per_screen"] =
            double(scroll.nsecsElapsed()) / 1e6 / std::max(1, screens);
        state.counters["rss_after_scroll_mib"] = statusMiB("VmRSS:");
        state.counters["peak_rss_mib"] = statusMiB("VmHWM:");
        endWindows();
    }
}
BENCHMARK(BM_Mosaic10000)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_MosaicScrollJump(benchmark::State& state)
{
    constexpr int Cams = 10000;
    TBenchSettings bench;
    TCamViewer& settings = bench.Settings;
    // An address that refuses: every picture comes from the benchmark, none from the feed.
    AddClockWebcams(settings, QStringLiteral("http://127.0.0.1:1/"), Cams, 3600);
    for (auto _ : state) {
        TfoMire* mosaic = ShownMosaic(1280, 770);
        auto* grid = mosaic->findChild<TDrawGrid*>(QStringLiteral("CamGrid"));

        // Every cell filled as the feed hands an image over: the picture at cell size and the
        // small JPEG image made from it. A picture with detail, so that decoding costs what a
        // webcam's does.
        TBitmap source(640, 480);
        for (int y = 0; y < source.Height; ++y)
            for (int x = 0; x < source.Width * 3; ++x)
                source.Row(y)[x] = std::uint8_t((x * 7 + y * 13 + (x * y) % 61) & 0xFF);
        TMireImage image;
        const QSize box = MosaicGeometry::CellPictureBox(
            QSize(grid->DefaultColWidth(), grid->DefaultRowHeight()));
        Thumbnail::Make(JpegCodec::Encode(source), box, image.Picture, &image.SourceSize);
        image.Cell = JpegCodec::Encode(image.Picture, 80);
        for (int i = 0; i < Cams; ++i) {
            TMireImage copy = image;
            copy.Index = i;
            mosaic->ImageArrived(copy);
        }
        QScrollBar* bar = grid->verticalScrollBar();
        bar->setValue(0);
        QCoreApplication::processEvents();

        const auto screenShown = [&] {
            const int top = grid->RowAt(0);
            const int bottom = grid->RowAt(grid->viewport()->height() - 1);
            for (int i = top * grid->ColCount();
                 i < std::min(Cams, (bottom + 1) * grid->ColCount()); ++i)
                if (mosaic->CellImage(i).isNull())
                    return false;
            return true;
        };
        constexpr int Jumps = 20;
        qint64 jumpNs = 0;
        qint64 shownNs = 0;
        bool shown = true;
        QTimer wake; // the wait below wakes at least this often
        wake.start(20);
        QElapsedTimer wall;
        for (int j = 0; j < Jumps; ++j) {
            const qint64 start = threadCpuNs();
            wall.start();
            bar->setValue(j % 2 == 0 ? bar->maximum() : 0);
            grid->viewport()->repaint();
            jumpNs += threadCpuNs() - start;
            while (!screenShown() && wall.elapsed() < 10000)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            shownNs += wall.nsecsElapsed();
            shown = screenShown() && shown;
        }
        if (!shown)
            state.SkipWithError("a screen did not show its pictures");
        state.counters["jump_paint_ms"] = double(jumpNs) / 1e6 / Jumps;
        state.counters["jump_shown_after_ms"] = double(shownNs) / 1e6 / Jumps;
        state.counters["decoded_cells"] = mosaic->DecodedCells();
        endWindows();
    }
}
BENCHMARK(BM_MosaicScrollJump)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Chooser500(benchmark::State& state)
{
    TDemoCam democam;
    if (!democam.Start()) {
        state.SkipWithError("democam did not start");
        return;
    }
    TBenchSettings bench;
    TCamViewer& settings = bench.Settings;
    TCamCategory* category = settings.Root.Categories.Add();
    category->Name = QStringLiteral("Many");
    for (int i = 0; i < ChooserCams; ++i) {
        TCamWebcam* cam = category->Webcams.Add();
        cam->Name = QStringLiteral("Cam %1").arg(i);
        cam->Url = democam.Base + QStringLiteral("clock.jpg?cam=%1").arg(i);
    }
    for (auto _ : state) {
        auto* chooser = CreateForm<TfoChoose>();
        chooser->show();
        QCoreApplication::processEvents();
        TLatenessProbe probe;
        auto* tree = chooser->findChild<QTreeWidget*>(QStringLiteral("CamTree"));
        tree->setCurrentItem(tree->topLevelItem(0));
        if (!pumpUntil([&] { return !chooser->IsFetching(); }, 300000))
            state.SkipWithError("the chooser did not finish");
        state.counters["fill_s"] = double(probe.Clock.nsecsElapsed()) / 1e9;
        state.counters["thumbnails"] = double(chooser->CamImages().size());
        state.counters["max_event_lateness_ms"] = probe.MaxLateMs;
        state.counters["events_later_than_50ms"] = double(probe.Late50);
        endWindows();
    }
}
BENCHMARK(BM_Chooser500)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    return RunWidgetBenchmarks(argc, argv);
}
