// The tray menu against a large catalogue and a hostile language file, each step as the UI thread
// runs it (target: every step under 100 ms):
// - start-up: the tray menu built with 100,000 webcams in one category;
// - the first opening of that category's sub-menu (filled and laid out);
// - a rebuild and an opening with a 10 MB webcam name and a 10 MB category name;
// - a language file at the size and element limits, every element setting a caption, applied to
//   the tray window, and to 30 viewers; a file that is one caption as long as the size limit.
#include "WidgetBenchMain.h"
#include "app/FormMain.h"
#include "base/Translator.h"
#include "base/Window.h"
#include "core/catalog/Settings.h"
#include "core/catalog/Strings.h"
#include "core/rules/LanguageValues.h"
#include "viewer/FormViewer.h"

#include <QAction>
#include <QElapsedTimer>
#include <QMenu>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>

namespace {

struct TTray
{
    QTemporaryDir Config;
    std::unique_ptr<TfoCamMain> Main;
    TTray()
    {
        qputenv("XDG_CONFIG_HOME", Config.path().toLocal8Bit());
        TStartup startup;
        startup.RegisterTypes = false;
        Main = std::unique_ptr<TfoCamMain>(CreateForm<TfoCamMain>(startup));
    }
    ~TTray()
    {
        CamViewer->Root.Categories.Clear();
        CamViewer->Root.Webcams.Clear();
        Main.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    void Fill(const QString& categoryName, const QString& camName, int webcams)
    {
        TCamCategory* category = CamViewer->Root.Categories.Add();
        category->Name = categoryName;
        for (int i = 0; i < webcams; ++i) {
            TCamWebcam* cam = category->Webcams.Add();
            cam->Name = camName.isEmpty() ? QStringLiteral("Cam %1").arg(i) : camName;
            cam->Url = QStringLiteral("http://127.0.0.1:9/cam%1.jpg").arg(i);
        }
    }
    // The catalogue's first category sub-menu.
    QMenu* Category() const
    {
        const QList<QAction*> items = Main->findChild<QMenu*>("TrayPopup")->actions();
        const qsizetype at = items.indexOf(Main->findChild<QAction*>("BeforeItems")) + 1;
        return items.value(at) ? items[at]->menu() : nullptr;
    }
};

double Seconds(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e9;
}

// Opening a menu as the user does: it fills itself, then lays out its items.
void OpenMenu(QMenu* menu)
{
    emit menu->aboutToShow();
    benchmark::DoNotOptimize(menu->sizeHint());
}

void BM_TrayStart100000InOneCategory(benchmark::State& state)
{
    TTray tray;
    tray.Fill(QStringLiteral("Everything"), QString(), 100000);
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        tray.Main->RebuildTrayMenu();
        state.SetIterationTime(Seconds(timer));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}
BENCHMARK(BM_TrayStart100000InOneCategory)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

void BM_OpenCategoryOf100000(benchmark::State& state)
{
    TTray tray;
    tray.Fill(QStringLiteral("Everything"), QString(), 100000);
    for (auto _ : state) {
        tray.Main->RebuildTrayMenu();
        QMenu* menu = tray.Category();
        if (!menu) {
            state.SkipWithError("no category sub-menu");
            break;
        }
        QElapsedTimer timer;
        timer.start();
        OpenMenu(menu);
        state.SetIterationTime(Seconds(timer));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}
BENCHMARK(BM_OpenCategoryOf100000)->Iterations(3)->Unit(benchmark::kMillisecond)->UseManualTime();

void BM_RebuildAndOpenWith10MBNames(benchmark::State& state)
{
    TTray tray;
    const QString giant(10 * 1024 * 1024, QLatin1Char('n'));
    tray.Fill(giant, giant, 3);
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        tray.Main->RebuildTrayMenu();
        OpenMenu(tray.Main->findChild<QMenu*>("TrayPopup"));
        if (QMenu* menu = tray.Category())
            OpenMenu(menu);
        state.SetIterationTime(Seconds(timer));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}
BENCHMARK(BM_RebuildAndOpenWith10MBNames)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

// A document at the limits: every element changes the caption of one item of the window to a text
// of the given length, as many elements as the limits let through.
QByteArray LanguageAtTheLimits(const char* window, const char* item, int length)
{
    const QByteArray head = QByteArray("<Language><") + window + ">";
    const QByteArray tail = QByteArray("</") + window + "></Language>";
    QByteArray bytes = head;
    // Each element counts with its attribute.
    for (int i = 0; i < (MaxLanguageElements - 3) / 2; ++i) {
        const QString text = QStringLiteral("%1 ").arg(i) + QString(length, QLatin1Char('t'));
        const QByteArray element = QStringLiteral("<%1 Caption=\"%2\"/>")
                                       .arg(QLatin1String(item), text.left(length))
                                       .toLatin1();
        if (bytes.size() + element.size() + tail.size() > MaxLanguageFileSize)
            break;
        bytes += element;
    }
    return bytes + tail;
}

// Arguments: the number of viewers open (0: the tray window takes the document), the length of
// each caption.
void BM_LanguageFileAtTheLimits(benchmark::State& state)
{
    TTray tray;
    QList<QWidget*> viewers;
    for (int i = 0; i < state.range(0); ++i)
        viewers << CreateForm<TfoViewer>();
    const int length = int(state.range(1));
    const QByteArray bytes = state.range(0) > 0
                                 ? LanguageAtTheLimits("foViewer", "actHide", length)
                                 : LanguageAtTheLimits("foCamMain", "actExit", length);
    if (bytes.size() > MaxLanguageFileSize) {
        state.SkipWithError("the document is over the size limit");
        return;
    }
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        if (!PvTranslator().TranslateBytes(bytes))
            state.SkipWithError("the document was refused");
        state.SetIterationTime(Seconds(timer));
    }
    state.counters["bytes"] = double(bytes.size());
    qDeleteAll(viewers);
    PvTranslator().Clear();
    RestoreMessageDefaults();
}
// The tray window alone, then 30 viewers that all take the foViewer element; short captions,
// then captions of the longest length accepted.
BENCHMARK(BM_LanguageFileAtTheLimits)
    ->Args({0, 10})
    ->Args({30, 10})
    ->Args({30, int(MaxLanguageTextLength)})
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

// One caption filling the whole file: read, then refused for its length.
void BM_LanguageFileOfOneGiantCaption(benchmark::State& state)
{
    TTray tray;
    QByteArray bytes = "<Language><foCamMain><actExit Caption=\"";
    bytes += QByteArray(int(MaxLanguageFileSize) - 100, 'c');
    bytes += "\"/></foCamMain></Language>";
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        PvTranslator().TranslateBytes(bytes);
        state.SetIterationTime(Seconds(timer));
    }
    PvTranslator().Clear();
}
BENCHMARK(BM_LanguageFileOfOneGiantCaption)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

} // namespace

int main(int argc, char** argv)
{
    return RunWidgetBenchmarks(argc, argv);
}
