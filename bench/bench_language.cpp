// Translation from a full language file: the tray window and one viewer (target under 20 ms),
// and a switch of language with 30 viewers open (target under 100 ms), file reading included.
#include "app/FormMain.h"
#include "base/Translator.h"
#include "base/Window.h"
#include "core/TimeZone.h"
#include "core/catalog/Strings.h"
#include "viewer/FormViewer.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>

namespace {

const QString french = QStringLiteral(PICTAVO_BIN_DIR "/Languages/French.xml");
const QString german = QStringLiteral(PICTAVO_BIN_DIR "/Languages/German.xml");

std::unique_ptr<TfoCamMain> startTray()
{
    TStartup startup;
    startup.RegisterTypes = false;
    return std::unique_ptr<TfoCamMain>(CreateForm<TfoCamMain>(startup));
}

void BM_TranslateTrayAndOneViewer(benchmark::State& state)
{
    auto main = startTray();
    auto* viewer = CreateForm<TfoViewer>();
    QFile file(german);
    if (!file.open(QIODevice::ReadOnly)) {
        state.SkipWithError("no German.xml beside the program");
        return;
    }
    const QByteArray bytes = file.readAll();
    for (auto _ : state) {
        if (!PvTranslator().TranslateBytes(bytes))
            state.SkipWithError("German.xml does not parse");
    }
    delete viewer;
    main.reset();
    PvTranslator().Clear();
    RestoreMessageDefaults();
}
BENCHMARK(BM_TranslateTrayAndOneViewer)->Unit(benchmark::kMillisecond);

void BM_LanguageSwitchWith30Viewers(benchmark::State& state)
{
    auto main = startTray();
    QList<TfoViewer*> viewers;
    for (int i = 0; i < 30; ++i)
        viewers << CreateForm<TfoViewer>();
    bool toFrench = true;
    for (auto _ : state) {
        if (!PvTranslator().Translate(toFrench ? french : german))
            state.SkipWithError("language file missing or broken");
        toFrench = !toFrench;
    }
    qDeleteAll(viewers);
    main.reset();
    PvTranslator().Clear();
    RestoreMessageDefaults();
}
BENCHMARK(BM_LanguageSwitchWith30Viewers)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    PrepareTimeZone();

    // Never the user's settings: the tray window reads Options.xml at start.
    QTemporaryDir home;
    for (const char* sub : {"config", "data", "runtime"})
        QDir(home.path()).mkpath(QLatin1String(sub));
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toLocal8Bit());
    qputenv("XDG_DATA_HOME", (home.path() + "/data").toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", (home.path() + "/runtime").toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
