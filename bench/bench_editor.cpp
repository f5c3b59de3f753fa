// The catalogue editor with 10,000 webcams in 100 categories of 10 sub-categories each: time to
// load the catalogue into a shown editor's tree (the visible rows laid out), and time to apply a
// modified tree back to the catalogue. Targets: each under 300 ms. For information, the whole of
// OK in the program: the apply, the tray menu rebuilt and the settings file written.
// And the editor's own part of OK with 200,000 webcams in one category (apply, save, close and
// free the window): it runs on the user-interface thread, target under 1 s.
#include "WidgetBenchMain.h"
#include "app/FormMain.h"
#include "base/Window.h"
#include "core/catalog/EditTree.h"
#include "core/catalog/Settings.h"
#include "editor/FormEditCams.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

constexpr int Categories = 100;
constexpr int SubCategories = 10;
constexpr int CamsPerSub = 10;

void FillCatalogue(TCamCategory& root)
{
    int n = 0;
    for (int c = 0; c < Categories; ++c) {
        TCamCategory* category = root.Categories.Add();
        category->Name = QStringLiteral("Category %1").arg(c);
        for (int s = 0; s < SubCategories; ++s) {
            TCamCategory* sub = category->Categories.Add();
            sub->Name = QStringLiteral("Place %1").arg(s);
            for (int i = 0; i < CamsPerSub; ++i, ++n) {
                TCamWebcam* cam = sub->Webcams.Add();
                cam->Name = QStringLiteral("Cam %1").arg(n);
                cam->Url = QStringLiteral("http://127.0.0.1:9/cam%1.jpg").arg(n);
                cam->Homepage = QStringLiteral("http://127.0.0.1:9/");
                cam->Refresh = 30;
                cam->LastId = n;
            }
        }
    }
}

struct TSetting
{
    QTemporaryDir Dir;
    TCamViewer Settings;
    TSetting()
    {
        Settings.OptionsPath = Dir.filePath(QStringLiteral("Options.xml"));
        FillCatalogue(Settings.Root);
        CamViewer = &Settings;
    }
    ~TSetting() { CamViewer = nullptr; }
};

TfoEditCams* ShownEditor()
{
    auto* editor = CreateForm<TfoEditCams>();
    editor->show();
    QCoreApplication::processEvents();
    return editor;
}

void BM_EditorLoad10000(benchmark::State& state)
{
    TSetting setting;
    for (auto _ : state) {
        TfoEditCams* editor = ShownEditor();
        QElapsedTimer timer;
        timer.start();
        editor->LoadTree();
        QCoreApplication::processEvents(); // the visible rows are laid out and painted
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
        if (editor->Tree()->WebcamCount() != Categories * SubCategories * CamsPerSub)
            state.SkipWithError("not every webcam was loaded");
        delete editor;
    }
}
BENCHMARK(BM_EditorLoad10000)->Iterations(5)->Unit(benchmark::kMillisecond)->UseManualTime();

void BM_EditorApply10000(benchmark::State& state)
{
    TSetting setting;
    for (auto _ : state) {
        TfoEditCams* editor = ShownEditor();
        editor->LoadTree();
        // One rename: the tree counts as modified and the whole catalogue is rebuilt.
        editor->Select(editor->Tree()->index(0, 0));
        editor->findChild<QLineEdit*>(QStringLiteral("CatName"))
            ->setText(QStringLiteral("Renamed"));
        QElapsedTimer timer;
        timer.start();
        editor->ApplyTree();
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
        if (setting.Settings.Root.Categories.Items(0)->Name != QStringLiteral("Renamed"))
            state.SkipWithError("the tree was not applied");
        setting.Settings.Root.Categories.Items(0)->Name = QStringLiteral("Category 0");
        delete editor;
    }
}
BENCHMARK(BM_EditorApply10000)->Iterations(5)->Unit(benchmark::kMillisecond)->UseManualTime();

void BM_EditorOkInTheProgram10000(benchmark::State& state)
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    TStartup startup;
    startup.RegisterTypes = false;
    auto main = std::unique_ptr<TfoCamMain>(CreateForm<TfoCamMain>(startup));
    FillCatalogue(CamViewer->Root);
    main->RebuildTrayMenu();
    for (auto _ : state) {
        main->actEditExecute();
        const QList<TfoEditCams*> editors = TFormList::Of<TfoEditCams>();
        TfoEditCams* editor = editors.isEmpty() ? nullptr : editors.last();
        if (!editor) {
            state.SkipWithError("no editor");
            break;
        }
        editor->Select(editor->Tree()->index(0, 0));
        editor->findChild<QLineEdit*>(QStringLiteral("CatName"))
            ->setText(QStringLiteral("Renamed"));
        QElapsedTimer timer;
        timer.start();
        editor->findChild<QPushButton*>(QStringLiteral("OkButton"))->click();
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    main.reset();
}
BENCHMARK(BM_EditorOkInTheProgram10000)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

void BM_EditorOkFlat200000(benchmark::State& state)
{
    constexpr int Count = 200000;
    QTemporaryDir dir;
    TCamViewer settings;
    settings.OptionsPath = dir.filePath(QStringLiteral("Options.xml"));
    TCamCategory* flat = settings.Root.Categories.Add();
    flat->Name = QStringLiteral("Flat");
    for (int n = 0; n < Count; ++n) {
        TCamWebcam* cam = flat->Webcams.Add();
        cam->Name = QStringLiteral("Cam %1").arg(n);
        cam->Url = QStringLiteral("http://127.0.0.1:9/cam%1.jpg").arg(n);
        cam->Refresh = 30;
    }
    CamViewer = &settings;
    for (auto _ : state) {
        TfoEditCams* editor = ShownEditor();
        editor->LoadTree();
        editor->Select(editor->Tree()->index(0, 0));
        editor->findChild<QLineEdit*>(QStringLiteral("CatName"))
            ->setText(QStringLiteral("Renamed"));
        QElapsedTimer timer;
        timer.start();
        editor->findChild<QPushButton*>(QStringLiteral("OkButton"))->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
        if (settings.Root.Categories.Items(0)->Webcams.Count() != Count)
            state.SkipWithError("the tree was not applied");
    }
    CamViewer = nullptr;
}
BENCHMARK(BM_EditorOkFlat200000)->Iterations(2)->Unit(benchmark::kMillisecond)->UseManualTime();

} // namespace

int main(int argc, char** argv)
{
    return RunWidgetBenchmarks(argc, argv);
}
