// Options.xml with a large catalogue: 10,000 webcams in 500 categories three levels deep.
// LoadOptions and SaveOptions, and beside them a plain QXmlStreamReader pass over the same file.
#include "core/catalog/ExchangeFiles.h"
#include "core/catalog/Settings.h"
#include "core/catalog/XmlDocument.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <benchmark/benchmark.h>

namespace {

QString OptionsFile;

// 10 top-level categories, each with 7 below it, each of those with 6 below it: 10 + 70 + 420 =
// 500 categories; 20 webcams in every category.
void FillCatalogue(TCamViewer& viewer)
{
    int number = 0;
    const auto addWebcams = [&](TCamCategory* category) {
        for (int i = 0; i < 20; ++i, ++number) {
            TCamWebcam* webcam = category->Webcams.Add();
            webcam->Name = QStringLiteral("Webcam %1 \"%2\"").arg(number).arg(category->Name);
            webcam->Url = QStringLiteral("http://127.0.0.1:8080/cams/%1/image.jpg?size=large&id=%1")
                              .arg(number);
            webcam->Refresh = 30 + number % 90;
            webcam->Homepage = QStringLiteral("http://127.0.0.1:8080/cams/%1/").arg(number);
            if (number % 3 == 0)
                webcam->Referer = webcam->Homepage;
            if (number % 4 == 0)
                webcam->Email = QStringLiteral("owner%1@example.org").arg(number);
            webcam->LastId = number % 5 == 0 ? number * 7 : 0;
            if (number % 10 == 0) {
                webcam->UserLeft = number % 1000;
                webcam->UserTop = number % 700;
                webcam->UserWidth = 320;
                webcam->UserHeight = 240;
                webcam->UserState = number % 3;
                webcam->UserAlpha = 200;
            }
        }
    };
    for (int a = 0; a < 10; ++a) {
        TCamCategory* top = viewer.Root.Categories.Add();
        top->Name = QStringLiteral("Region %1").arg(a);
        addWebcams(top);
        for (int b = 0; b < 7; ++b) {
            TCamCategory* middle = top->Categories.Add();
            middle->Name = QStringLiteral("Country %1.%2").arg(a).arg(b);
            addWebcams(middle);
            for (int c = 0; c < 6; ++c) {
                TCamCategory* leaf = middle->Categories.Add();
                leaf->Name = QStringLiteral("City %1.%2.%3").arg(a).arg(b).arg(c);
                addWebcams(leaf);
            }
        }
    }
    for (int i = 0; i < 11; ++i)
        viewer.LastUsed.append(QStringLiteral("http://127.0.0.1:8080/cams/%1/image.jpg").arg(i));
}

void PrepareFile(const QString& path)
{
    TCamViewer viewer;
    viewer.OptionsPath = path;
    FillCatalogue(viewer);
    viewer.SavePath = QStringLiteral("/home/user/Webcams");
    viewer.SetProxy(QStringLiteral("proxy.local"), 3128, QStringLiteral("user"),
                    QStringLiteral("secret"));
    if (!viewer.SaveOptions())
        qFatal("cannot write %s", qPrintable(path));
}

void BM_LoadOptions(benchmark::State& state)
{
    int categories = 0;
    for (auto _ : state) {
        auto viewer = std::make_unique<TCamViewer>();
        viewer->OptionsPath = OptionsFile;
        benchmark::DoNotOptimize(viewer->LoadOptions());
        categories = viewer->Root.Categories.Count();
        state.PauseTiming();
        viewer.reset();
        state.ResumeTiming();
    }
    state.counters["top_categories"] = categories;
    state.counters["bytes"] = static_cast<double>(QFile(OptionsFile).size());
}
BENCHMARK(BM_LoadOptions)->Unit(benchmark::kMillisecond);

void BM_SaveOptions(benchmark::State& state)
{
    TCamViewer viewer;
    viewer.OptionsPath = OptionsFile + QStringLiteral(".save");
    FillCatalogue(viewer);
    for (auto _ : state)
        benchmark::DoNotOptimize(viewer.SaveOptions());
}
BENCHMARK(BM_SaveOptions)->Unit(benchmark::kMillisecond);

// The document alone, without the file write.
void BM_SaveToBytes(benchmark::State& state)
{
    TCamViewer viewer;
    FillCatalogue(viewer);
    for (auto _ : state)
        benchmark::DoNotOptimize(viewer.SaveToBytes());
}
BENCHMARK(BM_SaveToBytes)->Unit(benchmark::kMillisecond);

// The floor: read the file and let QXmlStreamReader walk every token of it.
void BM_PlainXmlStreamReader(benchmark::State& state)
{
    for (auto _ : state) {
        QFile file(OptionsFile);
        file.open(QIODevice::ReadOnly);
        const QByteArray bytes = file.readAll();
        QXmlStreamReader reader(bytes);
        int elements = 0;
        while (!reader.atEnd()) {
            if (reader.readNext() == QXmlStreamReader::StartElement)
                ++elements;
        }
        benchmark::DoNotOptimize(elements);
        if (reader.hasError())
            state.SkipWithError("parse error");
    }
}
BENCHMARK(BM_PlainXmlStreamReader)->Unit(benchmark::kMillisecond);

// Our reader alone: the element tree without the catalogue.
void BM_ReadXmlTree(benchmark::State& state)
{
    for (auto _ : state) {
        TXmlDocument document = ReadXmlFile(OptionsFile);
        benchmark::DoNotOptimize(document.Root.get());
        state.PauseTiming();
        document.Root.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ReadXmlTree)->Unit(benchmark::kMillisecond);

// A category list holding the whole catalogue, imported into an empty catalogue and then again
// into the full one (where every webcam is a duplicate).
void BM_ImportCategoryList(benchmark::State& state)
{
    TCamViewer source;
    FillCatalogue(source);
    source.Root.Name = QStringLiteral("Everything");
    const QByteArray list = TCamExchange::BuildCalDocument({}, source.Root);
    int rebuilds = 0;
    const TImportCallbacks callbacks{[&](bool) { ++rebuilds; }, nullptr};
    for (auto _ : state) {
        auto root = std::make_unique<TCamCategory>();
        TCamExchange::ImportBytes(list, *root, callbacks);
        TCamExchange::ImportBytes(list, *root, callbacks);
        state.PauseTiming();
        root.reset();
        state.ResumeTiming();
    }
    state.counters["bytes"] = static_cast<double>(list.size());
}
BENCHMARK(BM_ImportCategoryList)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    // A throwaway configuration: loading the file applies LaunchWindows to the autostart entry.
    QTemporaryDir home;
    if (!home.isValid())
        return 2;
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit() + "/config");
    QCoreApplication app(argc, argv);
    OptionsFile = home.filePath(QStringLiteral("Options.xml"));
    PrepareFile(OptionsFile);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
