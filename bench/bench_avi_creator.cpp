// The AVI creator's production against pictavo-avi on the same 1,000 JPEG files of 640 x 480:
// the window's path (the creator, its worker and the progress hand-overs, on the offscreen
// platform) should take no longer than the tool, and the UI thread should never wait more than
// 50 ms while it runs. Reported per run: creator_s, tool_s, ratio (creator / tool) and
// ui_max_gap_ms (the longest gap between two 1-ms timer ticks of the UI thread).
#include "avi/FormAviCreator.h"
#include "core/image/JpegCodec.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <memory>

namespace {

constexpr int FrameCount = 1000;

struct TFixture
{
    QTemporaryDir Dir;
    QStringList Files;
};

TFixture& Fixture()
{
    static TFixture fixture;
    if (fixture.Files.isEmpty()) {
        // Ten different pictures, each used a hundred times, so the decoder does real work.
        QList<QByteArray> pictures;
        for (int k = 0; k < 10; ++k) {
            TBitmap b(640, 480);
            for (int y = 0; y < 480; ++y)
                for (int x = 0; x < 640; ++x) {
                    std::uint8_t* p = b.Row(y) + 3 * x;
                    p[0] = static_cast<std::uint8_t>(x + 20 * k);
                    p[1] = static_cast<std::uint8_t>(y ^ (x >> 2));
                    p[2] = static_cast<std::uint8_t>((x * y) >> 6);
                }
            pictures << JpegCodec::Encode(b, 90);
        }
        for (int i = 0; i < FrameCount; ++i) {
            const QString path =
                fixture.Dir.filePath(QStringLiteral("%1.jpg").arg(i, 4, 10, QLatin1Char('0')));
            QFile f(path);
            if (f.open(QIODevice::WriteOnly))
                f.write(pictures[i % pictures.size()]);
            fixture.Files << path;
        }
    }
    return fixture;
}

// One production from the creator; returns the longest wait of the UI thread, in ms.
double ProduceWithCreator(const QStringList& files, const QString& target)
{
    std::unique_ptr<TfoAviCreator> creator(CreateForm<TfoAviCreator>());
    creator->setAttribute(Qt::WA_DeleteOnClose, false);
    creator->show();
    creator->AddFiles(files);
    QEventLoop loop;
    QElapsedTimer sinceTick;
    qint64 longest = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        // Gaps that end after the production (the completion message box) do not count.
        if (!creator->Producing()) {
            loop.quit();
            return;
        }
        longest = std::max(longest, sinceTick.nsecsElapsed());
        sinceTick.restart();
    });
    creator->Produce(target);
    sinceTick.start();
    tick.start();
    loop.exec();
    for (QMessageBox* box : creator->findChildren<QMessageBox*>())
        if (box->isVisible() && box->text() != QLatin1String("AVI Generation Complete"))
            fprintf(stderr, "creator: %s\n", qPrintable(box->text()));
    return longest / 1e6;
}

bool ProduceWithTool(const QStringList& files, const QString& target)
{
    QProcess tool;
    tool.start(QStringLiteral(PICTAVO_BIN_DIR "/pictavo-avi"),
               QStringList{QStringLiteral("-o"), target, QStringLiteral("--pause"),
                           QStringLiteral("500")} +
                   files);
    return tool.waitForFinished(-1) && tool.exitStatus() == QProcess::NormalExit &&
           tool.exitCode() == 0;
}

void BM_CreatorAgainstTool(benchmark::State& state)
{
    TFixture& fixture = Fixture();
    const QString target = fixture.Dir.filePath(QStringLiteral("out.avi"));
    double creatorTotal = 0;
    double toolTotal = 0;
    double worstGap = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        worstGap = std::max(worstGap, ProduceWithCreator(fixture.Files, target));
        const double creatorSeconds = timer.nsecsElapsed() / 1e9;
        const qint64 creatorBytes = QFile(target).size();
        QFile::remove(target);

        timer.restart();
        if (!ProduceWithTool(fixture.Files, target)) {
            state.SkipWithError("pictavo-avi failed");
            break;
        }
        const double toolSeconds = timer.nsecsElapsed() / 1e9;
        if (QFile(target).size() != creatorBytes) {
            state.SkipWithError("the creator and the tool wrote different files");
            break;
        }
        QFile::remove(target);
        state.SetIterationTime(creatorSeconds);
        creatorTotal += creatorSeconds;
        toolTotal += toolSeconds;
    }
    const double runs = static_cast<double>(state.iterations());
    if (runs > 0 && toolTotal > 0) {
        state.counters["creator_s"] = creatorTotal / runs;
        state.counters["tool_s"] = toolTotal / runs;
        state.counters["ratio"] = creatorTotal / toolTotal;
        state.counters["ui_max_gap_ms"] = worstGap;
    }
}
BENCHMARK(BM_CreatorAgainstTool)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
