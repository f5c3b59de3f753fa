// Viewers on democam under load: the shared measuring of the bench_viewers programs.
#pragma once

#include "base/Window.h"
#include "core/catalog/Settings.h"
#include "core/io/Worker.h"
#include "core/net/FetchEngine.h"
#include "core/net/HttpClient.h"
#include "core/net/ViewerFeed.h"
#include "viewer/FormViewer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSize>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <ctime>
#include <sys/resource.h>

// CPU time of the calling thread, in nanoseconds.
inline qint64 threadCpuNs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

inline double cpuSeconds()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// A field of /proc/self/status in MiB (VmRSS, VmHWM); a plain count divided by 1024 otherwise.
inline double statusMiB(const char* field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field) + 1).trimmed().split(' ').first().toDouble() / 1024.0;
    return -1;
}

// Threads of the process (/proc/self/status Threads).
inline int processThreads()
{
    return int(statusMiB("Threads:") * 1024.0 + 0.5);
}

// The floor of one delivered image: process CPU in ms to fetch url on a kept connection and
// decode it for a picture control of controlSize, on the calling thread, averaged over count.
inline double fetchAndDecodeFloorMs(const QString& url, QSize controlSize, int count = 100)
{
    THttpClient http;
    QByteArray body;
    http.Get(url, body); // the connection is made before measuring
    const double cpu0 = cpuSeconds();
    for (int i = 0; i < count; ++i) {
        TViewerImage image;
        http.Get(url, image.Body);
        DecodeViewerImage(image, controlSize);
    }
    return (cpuSeconds() - cpu0) * 1000.0 / count;
}

inline void runLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// One load of viewers on democam: how many, of which webcam, in which window size.
struct TViewerLoad
{
    int ViewerCount = 0;
    QString Name;     // "Clock", the viewers' names get a number
    QString Path;     // democam's path, "clock.jpg"
    QSize WindowSize; // a saved window size; empty: the first picture sizes the window
    int Seconds = 0;  // the measured period unless PICTAVO_VIEWERS_SECONDS says otherwise
};

// Opens the viewers, lets them take their first image, then measures over the period: resident
// memory, CPU per viewer and how late a 10-ms timer on the UI thread runs.
inline void RunViewerLoad(benchmark::State& state, const TViewerLoad& load)
{
    const int ViewerCount = load.ViewerCount;
    const int seconds = qEnvironmentVariableIsSet("PICTAVO_VIEWERS_SECONDS")
                            ? qEnvironmentVariableIntValue("PICTAVO_VIEWERS_SECONDS")
                            : load.Seconds;
    QProcess democam;
    democam.start(QStringLiteral(PICTAVO_BIN_DIR "/democam"), {QStringLiteral("0")});
    if (!democam.waitForReadyRead(10000)) {
        state.SkipWithError("democam did not start");
        return;
    }
    const QString base = QString::fromLatin1(democam.readLine()).trimmed();
    QTemporaryDir dir;
    TCamViewer settings;
    settings.OptionsPath = dir.filePath(QStringLiteral("Options.xml"));
    settings.Status = true;
    settings.OnOpenViewers = &TfoViewer::OpenWebcams;
    CamViewer = &settings;

    // The floor, measured in this run on the same webcam and at the viewers' decode size.
    const double floorMs = fetchAndDecodeFloorMs(
        base + load.Path, load.WindowSize.isEmpty() ? QSize() : load.WindowSize - QSize(0, 20));
    for (auto _ : state) {
        QList<TfoViewer*> viewers;
        for (int i = 0; i < ViewerCount; ++i) {
            TCamWebcam cam;
            cam.Name = QStringLiteral("%1 %2").arg(load.Name).arg(i + 1);
            cam.Url = base + load.Path;
            cam.Refresh = 1;
            if (!load.WindowSize.isEmpty()) {
                // A saved window: the first picture does not size it.
                cam.UserLeft = 20 * i;
                cam.UserTop = 10 * i;
                cam.UserWidth = load.WindowSize.width();
                cam.UserHeight = load.WindowSize.height();
            }
            auto* v = CreateForm<TfoViewer>();
            v->SetupWebcam(cam, false);
            viewers << v;
        }
        // Let every viewer take its first image and its size before measuring.
        runLoop(3000);

        // The probe: a 10-ms timer on the UI thread; each firing later than its due time is
        // lateness of the event loop.
        QElapsedTimer clock;
        clock.start();
        qint64 last = clock.nsecsElapsed();
        qint64 lastCpu = threadCpuNs();
        double maxLateMs = 0;
        // The UI thread's own CPU time during the latest gap: when it is far below the gap, the
        // thread was waiting for a core (the machine was busy), not running our handlers.
        double worstGapCpuMs = 0;
        double maxBusyMs = 0;
        long long late50 = 0;
        long long probes = 0;
        QTimer probe;
        probe.setTimerType(Qt::PreciseTimer);
        probe.setInterval(10);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            const qint64 cpuNow = threadCpuNs();
            const double lateMs = double(now - last) / 1e6 - 10.0;
            const double busyMs = double(cpuNow - lastCpu) / 1e6;
            last = now;
            lastCpu = cpuNow;
            ++probes;
            if (lateMs > maxLateMs) {
                maxLateMs = lateMs;
                worstGapCpuMs = busyMs;
            }
            maxBusyMs = std::max(maxBusyMs, busyMs);
            if (lateMs > 50)
                ++late50;
        });
        int imagesBefore = 0;
        for (TfoViewer* v : viewers)
            imagesBefore += v->ImageCount();
        const double cpu0 = cpuSeconds();
        QElapsedTimer wall;
        wall.start();
        last = clock.nsecsElapsed();
        lastCpu = threadCpuNs();
        probe.start();
        runLoop(seconds * 1000);
        probe.stop();
        const double wallS = double(wall.nsecsElapsed()) / 1e9;
        const double cpuS = cpuSeconds() - cpu0;
        int images = -imagesBefore;
        for (TfoViewer* v : viewers)
            images += v->ImageCount();

        state.counters["rss_mib"] = statusMiB("VmRSS:");
        state.counters["peak_rss_mib"] = statusMiB("VmHWM:");
        state.counters["cpu_pct_per_viewer"] = cpuS / wallS / ViewerCount * 100.0;
        state.counters["cpu_pct_total"] = cpuS / wallS * 100.0;
        state.counters["max_event_lateness_ms"] = maxLateMs;
        state.counters["events_later_than_50ms"] = double(late50);
        state.counters["ui_cpu_in_worst_gap_ms"] = worstGapCpuMs;
        state.counters["max_ui_cpu_between_probes_ms"] = maxBusyMs;
        state.counters["probes"] = double(probes);
        state.counters["images_per_viewer_per_s"] = images / wallS / ViewerCount;
        state.counters["threads"] = processThreads();
        state.counters["cpu_ms_per_image"] = images > 0 ? cpuS * 1000.0 / images : -1;
        state.counters["floor_cpu_ms_per_image"] = floorMs;
        state.counters["cpu_per_image_over_floor"] =
            images > 0 && floorMs > 0 ? cpuS * 1000.0 / images / floorMs : -1;

        TFormList::SetShuttingDown(true);
        for (TfoViewer* v : viewers)
            delete v;
        TFormList::SetShuttingDown(false);
        QElapsedTimer ending;
        ending.start();
        while ((RunningWorkers() > 0 ||
                (TFetchEngine::HasMain() && TFetchEngine::Main()->Tasks() > 0)) &&
               ending.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    CamViewer = nullptr;
    democam.kill();
    democam.waitForFinished(3000);
}
