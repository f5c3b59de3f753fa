// JPEG decoding speed: a full-HD webcam picture decoded whole (compared with libjpeg-turbo's
// tjbench by peer_tjbench.sh on the same file), and a thumbnail made by a 1/4 DCT-scaled decode
// against a full decode followed by an area-averaging shrink.
//
// `bench_jpeg --write-sample=<file>` only writes the test picture and exits.

#include "core/image/BitmapScale.h"
#include "core/image/JpegCodec.h"

#include <QFile>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr int Width = 1920;
constexpr int Height = 1080;
constexpr int ThumbWidth = 480; // the box of a large mosaic cell
constexpr int ThumbHeight = 270;

// A deterministic outdoor scene: a sky gradient, hills, buildings with windows, and sensor noise,
// so that the JPEG carries detail like a real webcam picture (about 2 bits per pixel).
TBitmap MakeScene()
{
    TBitmap b(Width, Height);
    std::uint32_t seed = 12345;
    auto noise = [&seed]() {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<int>((seed >> 24) & 7) - 4;
    };
    auto clamp = [](double v) {
        return static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
    };
    for (int y = 0; y < Height; ++y) {
        std::uint8_t* row = b.Row(y);
        for (int x = 0; x < Width; ++x) {
            const double hill = 620 + 90 * std::sin(x / 210.0) + 35 * std::sin(x / 47.0 + 1.3);
            double r, g, bl;
            const int block = x / 120;
            const int top = 430 + (block * 73) % 180;
            const bool building = (block % 3 != 1) && y > top && y < hill + 40;
            if (building) {
                const bool window = (x % 24 < 12) && (y % 30 < 16);
                const double shade = 90 + (block * 37) % 80;
                r = window ? 230 : shade;
                g = window ? 210 : shade * 0.95;
                bl = window ? 120 : shade * 0.9;
            } else if (y < hill) {
                const double t = static_cast<double>(y) / Height;
                r = 90 + 120 * t + 20 * std::sin(x / 300.0 + y / 90.0);
                g = 140 + 90 * t;
                bl = 230 - 40 * t;
            } else {
                const double t = (y - hill) / (Height - hill + 1);
                const double grass = 30 * std::sin(x * 0.9 + y * 1.7) * std::sin(y * 0.31);
                r = 60 + 40 * t + grass * 0.5;
                g = 110 + 50 * t + grass;
                bl = 40 + 20 * t;
            }
            std::uint8_t* p = row + x * 3;
            p[0] = clamp(r + noise());
            p[1] = clamp(g + noise());
            p[2] = clamp(bl + noise());
        }
    }
    return b;
}

const QByteArray& Sample()
{
    static const QByteArray jpeg = JpegCodec::Encode(MakeScene(), 90);
    return jpeg;
}

void BM_DecodeFull(benchmark::State& state)
{
    const QByteArray& jpeg = Sample();
    TBitmap out;
    for (auto _ : state) {
        if (!JpegCodec::Decode(jpeg, out)) {
            state.SkipWithError("decode failed");
            break;
        }
        benchmark::DoNotOptimize(out.Pixels.data());
    }
    state.SetItemsProcessed(state.iterations() * Width * Height);
    state.SetBytesProcessed(state.iterations() * jpeg.size());
    state.counters["MPixels/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * Width * Height / 1e6,
                           benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeFull)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

void BM_ThumbnailScaledDecode(benchmark::State& state)
{
    const QByteArray& jpeg = Sample();
    const int denom = JpegCodec::ScaleDenomFor(Width, Height, ThumbWidth, ThumbHeight);
    TBitmap out;
    for (auto _ : state) {
        if (!JpegCodec::Decode(jpeg, out, denom)) {
            state.SkipWithError("decode failed");
            break;
        }
        TBitmap thumb = BitmapScale::ScaleToFit(out, ThumbWidth, ThumbHeight);
        benchmark::DoNotOptimize(thumb.Pixels.data());
    }
    state.counters["denom"] = denom;
}
BENCHMARK(BM_ThumbnailScaledDecode)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

void BM_ThumbnailFullDecodeThenScale(benchmark::State& state)
{
    const QByteArray& jpeg = Sample();
    TBitmap out;
    for (auto _ : state) {
        if (!JpegCodec::Decode(jpeg, out)) {
            state.SkipWithError("decode failed");
            break;
        }
        TBitmap thumb = BitmapScale::ScaleToFit(out, ThumbWidth, ThumbHeight);
        benchmark::DoNotOptimize(thumb.Pixels.data());
    }
}
BENCHMARK(BM_ThumbnailFullDecodeThenScale)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0)
    ->UseRealTime();

bool WriteSample(const char* path)
{
    QFile f(QString::fromLocal8Bit(path));
    if (!f.open(QIODevice::WriteOnly) || f.write(Sample()) != Sample().size()) {
        std::fprintf(stderr, "bench_jpeg: cannot write %s\n", path);
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const char* option = "--write-sample=";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], option, std::strlen(option)) == 0)
            return WriteSample(argv[i] + std::strlen(option)) ? 0 : 1;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    std::fprintf(stderr, "bench_jpeg: %dx%d picture, %lld bytes of JPEG\n", Width, Height,
                 static_cast<long long>(Sample().size()));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
