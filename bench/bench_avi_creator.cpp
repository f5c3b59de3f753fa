// The AVI creator's production against pictavo-avi on the same 1,000 JPEG files of 640 x 480:
// the window's path (the creator, its worker and the progress hand-overs, on the offscreen
// platform) should take no longer than the tool, and the UI thread should never wait more than
// 50 ms while it runs. Reported per run: creator_s, tool_s, ratio (creator / tool) and
// ui_max_gap_ms (the longest gap between two 1-ms timer ticks of the UI thread), against
// idle_max_gap_ms, the same of an idle UI thread over as long a time (the machine's own share).
#include "avi/FormAviCreator.h"
#include "core/TimeZone.h"
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

// One production from the creator: the seconds from Produce to the end, and the longest wait of
// the UI thread meanwhile, in ms.
double ProduceWithCreator(const QStringList& files, const QString& target, double& seconds)
{
    std::unique_ptr<TfoAviCreator> creator(CreateForm<TfoAviCreator>());
    creator->setAttribute(Qt::WA_DeleteOnClose, false);
    creator->show();
    creator->AddFiles(files);
    // The list is laid out and painted once, as it is by the time a user clicks Produce.
    {
        QEventLoop settle;
        QTimer::singleShot(300, &settle, &QEventLoop::quit);
        settle.exec();
    }
    QEventLoop loop;
    QElapsedTimer sinceTick;
    QElapsedTimer sinceStart;
    qint64 longest = 0;
    qint64 longestAt = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        // Gaps that end after the production (the completion message box) do not count.
        if (!creator->Producing()) {
            loop.quit();
            return;
        }
        if (sinceTick.nsecsElapsed() > longest) {
            longest = sinceTick.nsecsElapsed();
            longestAt = sinceStart.elapsed();
        }
        sinceTick.restart();
    });
    creator->Produce(target);
    sinceStart.start();
    sinceTick.start();
    tick.start();
    loop.exec();
    for (QMessageBox* box : creator->findChildren<QMessageBox*>())
        if (box->isVisible() && box->text() != QLatin1String("AVI Generation Complete"))
            fprintf(stderr, "creator: %s\n", qPrintable(box->text()));
    seconds = sinceStart.nsecsElapsed() / 1e9;
    fprintf(stderr, "longest UI gap %.1f ms, %lld ms into the production of %lld ms\n",
            longest / 1e6, longestAt, sinceStart.elapsed());
    return longest / 1e6;
}

// The longest gap between 1-ms ticks of an idle UI thread over the given time: what the machine
// itself costs, to read ui_max_gap_ms against.
double IdleGap(int ms)
{
    QEventLoop loop;
    QElapsedTimer sinceTick;
    QElapsedTimer total;
    qint64 longest = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        longest = std::max(longest, sinceTick.nsecsElapsed());
        sinceTick.restart();
        if (total.elapsed() >= ms)
            loop.quit();
    });
    total.start();
    sinceTick.start();
    tick.start();
    loop.exec();
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
        double creatorSeconds = 0;
        worstGap = std::max(worstGap, ProduceWithCreator(fixture.Files, target, creatorSeconds));
        const qint64 creatorBytes = QFile(target).size();
        QFile::remove(target);

        QElapsedTimer timer;
        timer.start();
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
        state.counters["idle_max_gap_ms"] = IdleGap(static_cast<int>(1000 * creatorTotal / runs));
    }
}
BENCHMARK(BM_CreatorAgainstTool)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    PrepareTimeZone();

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
