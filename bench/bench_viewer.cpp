// The viewer's picture: the time to paint a 1920 x 1080 image into an 800 x 450 image control
// (target: under 2 ms), and how many C++ allocations one paint makes (target: none in our code).
#include "WidgetBenchMain.h"
#include "core/image/Bitmap.h"
#include "viewer/PvImage.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <atomic>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <new>

namespace {
std::atomic<long long> allocations{0};
}

// Counts every C++ allocation of the process (Qt's included), so a paint that allocates shows.
void* operator new(std::size_t size)
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

namespace {

void fill(TBitmap& b);

// The same pixels in the control's 32-bit form.
TPicture pictureOf(const TBitmap& b)
{
    TPicture p;
    p.Width = b.Width;
    p.Height = b.Height;
    p.Pixels.resize(std::size_t(b.Width) * b.Height);
    for (int y = 0; y < b.Height; ++y)
        for (int x = 0; x < b.Width; ++x) {
            const std::uint8_t* s = b.Row(y) + x * 3;
            p.Row(y)[x] =
                0xff000000u | (std::uint32_t(s[0]) << 16) | (std::uint32_t(s[1]) << 8) | s[2];
        }
    return p;
}

TBitmap filled1080p()
{
    TBitmap b(1920, 1080);
    fill(b);
    return b;
}

void fill(TBitmap& b)
{
    for (int y = 0; y < b.Height; ++y) {
        std::uint8_t* row = b.Row(y);
        for (int x = 0; x < b.Width; ++x) {
            row[x * 3] = static_cast<std::uint8_t>(x * 7);
            row[x * 3 + 1] = static_cast<std::uint8_t>(y * 3);
            row[x * 3 + 2] = static_cast<std::uint8_t>(x ^ y);
        }
    }
}

// The whole paint of the control, as the window system asks for it, into a surface of the
// format of the X11 backing store.
void BM_PaintControl1080pInto800x450(benchmark::State& state)
{
    TPvImage control;
    control.resize(800, 450);
    control.SetAutoZoom(true);
    control.SetPicture(pictureOf(filled1080p()));
    QImage surface(800, 450, QImage::Format_RGB32);
    long long before = 0;
    long long paints = 0;
    for (auto _ : state) {
        before -= allocations.load();
        control.render(&surface, QPoint(), QRegion(), QWidget::RenderFlags());
        before += allocations.load();
        ++paints;
        benchmark::DoNotOptimize(surface.constBits());
    }
    state.counters["allocs_per_paint"] = double(before) / double(paints);
}
BENCHMARK(BM_PaintControl1080pInto800x450)->Unit(benchmark::kMillisecond);

// The stretch blit alone, on a painter that stays open: from the control's 32-bit picture, and
// (for comparison) from the same pixels in 24-bit form.
void BM_StretchBlit1080pInto800x450(benchmark::State& state)
{
    TPvImage control;
    const TBitmap bitmap = filled1080p();
    control.SetPicture(pictureOf(bitmap));
    const QImage rgb888(bitmap.Pixels.data(), 1920, 1080, bitmap.Stride, QImage::Format_RGB888);
    const QImage& image = state.range(0) ? control.Image() : rgb888;
    QImage surface(800, 450, QImage::Format_RGB32);
    QPainter painter(&surface);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    long long before = 0;
    long long paints = 0;
    for (auto _ : state) {
        before -= allocations.load();
        painter.drawImage(QRect(0, 0, 800, 450), image, image.rect());
        before += allocations.load();
        ++paints;
        benchmark::DoNotOptimize(surface.constBits());
    }
    state.counters["allocs_per_paint"] = double(before) / double(paints);
}
BENCHMARK(BM_StretchBlit1080pInto800x450)
    ->ArgName("rgb32")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond);

// Taking a new picture: the control wraps the pixels it is given, without a copy.
void BM_TakePicture1080p(benchmark::State& state)
{
    TPvImage control;
    const TPicture source = pictureOf(filled1080p());
    for (auto _ : state) {
        state.PauseTiming();
        TPicture picture = source;
        state.ResumeTiming();
        control.SetPicture(std::move(picture));
        benchmark::DoNotOptimize(control.Image().constBits());
    }
}
BENCHMARK(BM_TakePicture1080p)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return RunWidgetBenchmarks(argc, argv);
}
