// The AVI writer on its own: frame drawing and whole files written from bitmaps in memory.
#include "core/avi/AviWriter.h"

#include <QDir>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

TBitmap Picture(int w, int h)
{
    TBitmap b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = b.Row(y) + 3 * x;
            p[0] = static_cast<std::uint8_t>(x);
            p[1] = static_cast<std::uint8_t>(y);
            p[2] = static_cast<std::uint8_t>(x ^ y);
        }
    return b;
}

// 640 x 480 into a 640 x 480 frame (arg 0: unscaled, 1: stretched) and 800 x 600 stretched down.
void BM_DrawFrame(benchmark::State& state)
{
    const bool stretch = state.range(0) != 0;
    const int srcWidth = static_cast<int>(state.range(1));
    const TBitmap source = Picture(srcWidth, srcWidth * 3 / 4);
    std::vector<std::uint8_t> out(static_cast<std::size_t>(AviRules::FrameBytes(640, 480)));
    for (auto _ : state) {
        AviRules::DrawFrame(source, 640, 480, stretch, out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(out.size()));
}
BENCHMARK(BM_DrawFrame)->Args({0, 640})->Args({1, 640})->Args({1, 800});

// 200 frames of 640 x 480 (about 184 MB) written as one file.
void BM_WriteFile(benchmark::State& state)
{
    QTemporaryDir dir;
    const TBitmap a = Picture(640, 480);
    TAviWriter writer;
    writer.Width = 640;
    writer.Height = 480;
    writer.FrameTime = 500;
    writer.FileName = dir.filePath(QStringLiteral("bench.avi"));
    writer.Bitmaps.assign(200, &a);
    for (auto _ : state) {
        writer.Write();
        state.PauseTiming();
        QFile::remove(writer.FileName);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * 200 *
                            static_cast<std::int64_t>(AviRules::FrameBytes(640, 480)));
}
BENCHMARK(BM_WriteFile)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

BENCHMARK_MAIN();
