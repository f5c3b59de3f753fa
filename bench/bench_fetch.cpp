// Fetch benchmarks against democam on 127.0.0.1:
//  - BM_FetchHd / BM_FetchAndDecodeHd: one 1920 x 1080 image over a kept connection, without and
//    with decoding (peer_curl.sh sets curl beside them);
//  - BM_UnchangedPolls60: the viewer's fetch thread polling a still image 60 times; the body
//    bytes, 304 answers and connections democam counted in that time (target: one body, one
//    connection). democam runs with a header gap, so a body is only sent to a client that is
//    still listening after the headers.
//  - BM_PollUrl60: the same polling of PICTAVO_POLL_URL (peer_polls.sh points it at democam and at
//    a real web server, and counts on the server's side); skipped when it is not set.
//  - BM_Stream25: democam's 1280 x 720 stream at 25 parts a second through the viewer's fetch
//    thread, each part decoded as the viewer does: parts shown a second and the CPU time of this
//    process per part (target: every part, under 10 % of one core).
// PICTAVO_DEMOCAM_URL names a running democam for the first two; otherwise one is started.
#include "core/TimeZone.h"
#include "core/image/JpegCodec.h"
#include "core/net/FetchEngine.h"
#include "core/net/HttpClient.h"
#include "core/net/ViewerFeed.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <benchmark/benchmark.h>
#include <ctime>
#include <memory>

namespace {

struct TDemoCam
{
    std::unique_ptr<QProcess> Process;
    QString Url; // base, ending in '/'
};

TDemoCam StartDemoCam(const QStringList& extra)
{
    TDemoCam cam;
    cam.Process = std::make_unique<QProcess>();
    cam.Process->start(QStringLiteral(PICTAVO_BIN_DIR "/democam"), QStringList{"0"} + extra);
    if (cam.Process->waitForStarted(5000) && cam.Process->waitForReadyRead(5000))
        cam.Url = QString::fromLatin1(cam.Process->readLine()).trimmed();
    return cam;
}

void StopDemoCam(TDemoCam& cam)
{
    if (cam.Process) {
        cam.Process->terminate();
        cam.Process->waitForFinished(3000);
    }
}

std::unique_ptr<TDemoCam> plainCam;
std::unique_ptr<TDemoCam> gapCam;

TDemoCam& Plain()
{
    if (!plainCam) {
        plainCam = std::make_unique<TDemoCam>();
        const QString given = qEnvironmentVariable("PICTAVO_DEMOCAM_URL");
        if (!given.isEmpty())
            plainCam->Url = given.endsWith('/') ? given : given + '/';
        else
            *plainCam = StartDemoCam({});
    }
    return *plainCam;
}

TDemoCam& WithHeaderGap()
{
    if (!gapCam)
        gapCam = std::make_unique<TDemoCam>(
            StartDemoCam({QStringLiteral("--header-gap"), QStringLiteral("50")}));
    return *gapCam;
}

// democam's counters.
qint64 Stat(const QString& base, const QByteArray& name)
{
    THttpClient http;
    QByteArray body;
    if (!http.Get(base + QStringLiteral("stats"), body).Ok())
        return -1;
    for (const QByteArray& line : body.split('\n'))
        if (line.startsWith(name + ' '))
            return line.mid(name.size() + 1).toLongLong();
    return -1;
}

struct TPolls
{
    int Fetches = 0;
    int Images = 0;
    qint64 ImageSize = 0;
};

// The viewer's fetch thread on url at interval 0 until it has fetched 60 times, the one-second
// pause after an unchanged image shortened to a millisecond.
TPolls Poll60(const QString& url)
{
    TPolls polls;
    auto thread = THttpThread::Create();
    thread->Url = url;
    thread->SetInterval(0);
    thread->Tick = std::chrono::milliseconds(1);
    // The schedule after each fetch (the latest one when the UI thread is behind).
    thread->OnTick = [&](const TViewerTick&) { ++polls.Fetches; };
    thread->OnImage = [&](TViewerImage& image) {
        ++polls.Images;
        polls.ImageSize = image.Body.size();
    };
    thread->Start();
    QElapsedTimer timer;
    timer.start();
    while (polls.Fetches < 60 && timer.elapsed() < 60000) {
        QCoreApplication::processEvents();
        QThread::usleep(200);
    }
    thread->ClearEvents();
    thread.reset();
    while (TFetchEngine::Main()->Tasks() > 0)
        QCoreApplication::processEvents();
    return polls;
}

void BM_FetchHd(benchmark::State& state)
{
    const QString url = Plain().Url + QStringLiteral("hd.jpg");
    THttpClient http;
    QByteArray body;
    qint64 bytes = 0;
    for (auto _ : state) {
        if (!http.Get(url, body).Ok()) {
            state.SkipWithError("fetch failed (democam not running?)");
            return;
        }
        bytes += body.size();
    }
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_FetchHd)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_FetchAndDecodeHd(benchmark::State& state)
{
    const QString url = Plain().Url + QStringLiteral("hd.jpg");
    THttpClient http;
    QByteArray body;
    TBitmap bitmap;
    for (auto _ : state) {
        if (!http.Get(url, body).Ok() || !JpegCodec::Decode(body, bitmap)) {
            state.SkipWithError("fetch or decode failed");
            return;
        }
        benchmark::DoNotOptimize(bitmap.Pixels.data());
    }
    state.counters["megapixels"] = double(bitmap.Width) * bitmap.Height / 1e6;
}
BENCHMARK(BM_FetchAndDecodeHd)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_UnchangedPolls60(benchmark::State& state)
{
    TDemoCam& cam = WithHeaderGap();
    if (cam.Url.isEmpty()) {
        state.SkipWithError("democam did not start");
        return;
    }
    qint64 bodyBytes = 0;
    qint64 withheld = 0;
    qint64 notModified = 0;
    qint64 connections = 0;
    TPolls polls;
    for (auto _ : state) {
        const qint64 bytesBefore = Stat(cam.Url, "body_bytes");
        const qint64 withheldBefore = Stat(cam.Url, "withheld");
        const qint64 notModifiedBefore = Stat(cam.Url, "not_modified");
        const qint64 connectionsBefore = Stat(cam.Url, "connections");
        polls = Poll60(cam.Url + QStringLiteral("still.jpg"));
        bodyBytes = Stat(cam.Url, "body_bytes") - bytesBefore;
        withheld = Stat(cam.Url, "withheld") - withheldBefore;
        notModified = Stat(cam.Url, "not_modified") - notModifiedBefore;
        // Each Stat opens a connection of its own: the four after the first one above.
        connections = Stat(cam.Url, "connections") - connectionsBefore - 4;
    }
    state.counters["polls"] = polls.Fetches;
    state.counters["images"] = polls.Images;
    state.counters["body_bytes"] = double(bodyBytes);
    state.counters["image_bytes"] = double(polls.ImageSize);
    state.counters["bodies_sent"] =
        polls.ImageSize > 0 ? double(bodyBytes) / double(polls.ImageSize) : -1;
    state.counters["bodies_withheld"] = double(withheld);
    state.counters["not_modified"] = double(notModified);
    state.counters["connections"] = double(connections);
}
BENCHMARK(BM_UnchangedPolls60)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_PollUrl60(benchmark::State& state)
{
    const QString url = qEnvironmentVariable("PICTAVO_POLL_URL");
    if (url.isEmpty()) {
        state.SkipWithError("PICTAVO_POLL_URL not set (peer_polls.sh sets it)");
        return;
    }
    TPolls polls;
    for (auto _ : state)
        polls = Poll60(url);
    state.counters["polls"] = polls.Fetches;
    state.counters["images"] = polls.Images;
    state.counters["image_bytes"] = double(polls.ImageSize);
}
BENCHMARK(BM_PollUrl60)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_Stream25(benchmark::State& state)
{
    TDemoCam& cam = Plain();
    if (cam.Url.isEmpty()) {
        state.SkipWithError("democam did not start");
        return;
    }
    const auto cpuNow = [] {
        timespec t{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
    };
    int shown = 0;
    int undecoded = 0;
    double seconds = 0;
    double cpu = 0;
    for (auto _ : state) {
        auto thread = THttpThread::Create();
        thread->Url = cam.Url + QStringLiteral("stream.mjpg");
        thread->SetInterval(1);
        int parts = 0;
        // The thread decodes each part itself, as it does for a viewer.
        thread->OnImage = [&](TViewerImage& image) {
            ++parts;
            if (image.Picture.IsEmpty())
                ++undecoded;
        };
        thread->Start();
        // The first part opens the measure: connecting is not what is measured.
        QElapsedTimer wait;
        wait.start();
        while (parts == 0 && wait.elapsed() < 10000) {
            QCoreApplication::processEvents();
            QThread::usleep(200);
        }
        const int first = parts;
        const double cpuStart = cpuNow();
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 5000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            QThread::usleep(500);
        }
        seconds = timer.elapsed() / 1000.0;
        cpu = cpuNow() - cpuStart;
        shown = parts - first;
        thread->ClearEvents();
        thread.reset();
        while (TFetchEngine::Main()->Tasks() > 0)
            QCoreApplication::processEvents();
    }
    state.counters["parts_per_second_sent"] = 25;
    state.counters["parts_shown_per_second"] = seconds > 0 ? shown / seconds : 0;
    state.counters["cpu_ms_per_part"] = shown > 0 ? 1000 * cpu / shown : -1;
    state.counters["cpu_share_of_one_core"] = seconds > 0 ? cpu / seconds : -1;
    state.counters["undecoded"] = undecoded;
}
BENCHMARK(BM_Stream25)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    PrepareTimeZone();

    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (plainCam)
        StopDemoCam(*plainCam);
    if (gapCam)
        StopDemoCam(*gapCam);
    return 0;
}
