// 1000 viewers of democam's clock webcam (a new 640 x 480 image every second) at a 1-second
// interval, in windows of 200 x 150: images per viewer per second, CPU per viewer and per
// delivered image against the floor of fetching and decoding one image on a kept connection,
// resident memory, threads, and how late the UI thread's events run.
// Targets: at least 0.8 images per viewer per second, CPU per delivered image within 3
// times the fetch-and-decode floor measured in the same run.
// PICTAVO_VIEWERS_SECONDS changes the 20-second run.
#include "ViewerLoad.h"
#include "WidgetBenchMain.h"

namespace {

void BM_Viewers1000OnDemocam(benchmark::State& state)
{
    RunViewerLoad(
        state, {1000, QStringLiteral("Clock"), QStringLiteral("clock.jpg"), QSize(200, 150), 20});
}
BENCHMARK(BM_Viewers1000OnDemocam)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    return RunWidgetBenchmarks(argc, argv);
}
