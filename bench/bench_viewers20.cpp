// 20 viewers of democam's Full HD webcam (a new 1920 x 1080 image every second) at a 1-second
// interval, each window 320 x 200: resident memory, CPU per viewer over the measured period, and
// how late the UI thread's events run.
// Targets: under 200 MiB, under 0.6 % of one core per viewer, no event later than 50 ms.
// PICTAVO_VIEWERS_SECONDS changes the 25-second measured period.
#include "ViewerLoad.h"
#include "WidgetBenchMain.h"

namespace {

void BM_Viewers20FullHdSmallWindows(benchmark::State& state)
{
    RunViewerLoad(state,
                  {20, QStringLiteral("Full HD"), QStringLiteral("hd.jpg"), QSize(320, 200), 25});
}
BENCHMARK(BM_Viewers20FullHdSmallWindows)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    return RunWidgetBenchmarks(argc, argv);
}
