// 300 viewers of democam's clock webcam (a new 640 x 480 image every second) at a 1-second
// interval, in windows of 200 x 150: images per viewer per second, CPU per viewer and per
// delivered image against the floor of fetching and decoding one image on a kept connection,
// resident memory, threads, and how late the UI thread's events run.
// Targets: at least 0.8 images per viewer per second, at most 0.25 % of a core per viewer,
// at most 300 MiB, at most 40 threads, no UI event more than 50 ms late.
// PICTAVO_VIEWERS_SECONDS changes the 20-second run.
#include "ViewerLoad.h"
#include "WidgetBenchMain.h"

namespace {

void BM_Viewers300OnDemocam(benchmark::State& state)
{
    RunViewerLoad(state,
                  {300, QStringLiteral("Clock"), QStringLiteral("clock.jpg"), QSize(200, 150), 20});
}
BENCHMARK(BM_Viewers300OnDemocam)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    return RunWidgetBenchmarks(argc, argv);
}
