// 30 viewers on democam's clock webcam (a new 640 x 480 image every second) at a 1-second
// interval: resident memory, CPU per viewer, and how late the UI thread's events run.
// Targets: under 300 MiB, under 2 % of one core per viewer, no event later than 50 ms.
// PICTAVO_VIEWERS_SECONDS shortens the 60-second run.
#include "ViewerLoad.h"
#include "WidgetBenchMain.h"

namespace {

void BM_Viewers30OnDemocam(benchmark::State& state)
{
    RunViewerLoad(state, {30, QStringLiteral("Clock"), QStringLiteral("clock.jpg"), QSize(), 60});
}
BENCHMARK(BM_Viewers30OnDemocam)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    return RunWidgetBenchmarks(argc, argv);
}
