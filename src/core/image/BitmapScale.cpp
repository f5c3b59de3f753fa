#include "core/image/BitmapScale.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace BitmapScale {

TFitSize FitSize(int width, int height, int boxWidth, int boxHeight)
{
    if (width <= 0 || height <= 0 || boxWidth <= 0 || boxHeight <= 0)
        return {};
    if (width <= boxWidth && height <= boxHeight)
        return {width, height};
    // Compare boxWidth / width with boxHeight / height without division.
    const long long byWidth = static_cast<long long>(boxWidth) * height;
    const long long byHeight = static_cast<long long>(boxHeight) * width;
    if (byWidth <= byHeight) {
        const long long h = (static_cast<long long>(height) * boxWidth * 2 + width) / (2LL * width);
        return {boxWidth, static_cast<int>(std::max(1LL, h))};
    }
    const long long w = (static_cast<long long>(width) * boxHeight * 2 + height) / (2LL * height);
    return {static_cast<int>(std::max(1LL, w)), boxHeight};
}

namespace {

// Each target pixel the mean of the source pixels it covers; target no larger than source.
TBitmap AreaAverage(const TBitmap& source, TFitSize size)
{
    TBitmap target(size.Width, size.Height);
    // Source columns [xStart[x], xStart[x + 1]) make target column x; the same for rows.
    std::vector<int> xStart(static_cast<std::size_t>(size.Width) + 1);
    for (int x = 0; x <= size.Width; ++x)
        xStart[static_cast<std::size_t>(x)] =
            static_cast<int>(static_cast<long long>(x) * source.Width / size.Width);
    std::vector<std::uint64_t> sums(static_cast<std::size_t>(size.Width) * 3);

    for (int y = 0; y < size.Height; ++y) {
        const int y0 = static_cast<int>(static_cast<long long>(y) * source.Height / size.Height);
        const int y1 =
            static_cast<int>(static_cast<long long>(y + 1) * source.Height / size.Height);
        std::fill(sums.begin(), sums.end(), 0);
        for (int sy = y0; sy < y1; ++sy) {
            const std::uint8_t* row = source.Row(sy);
            std::uint64_t* sum = sums.data();
            for (int x = 0; x < size.Width; ++x, sum += 3) {
                const std::uint8_t* p = row + xStart[static_cast<std::size_t>(x)] * 3;
                const std::uint8_t* end = row + xStart[static_cast<std::size_t>(x) + 1] * 3;
                std::uint32_t r = 0, g = 0, b = 0;
                for (; p < end; p += 3) {
                    r += p[0];
                    g += p[1];
                    b += p[2];
                }
                sum[0] += r;
                sum[1] += g;
                sum[2] += b;
            }
        }
        std::uint8_t* out = target.Row(y);
        const std::uint64_t rows = static_cast<std::uint64_t>(y1 - y0);
        for (int x = 0; x < size.Width; ++x) {
            const std::uint64_t count =
                rows * static_cast<std::uint64_t>(xStart[static_cast<std::size_t>(x) + 1] -
                                                  xStart[static_cast<std::size_t>(x)]);
            for (int c = 0; c < 3; ++c)
                out[x * 3 + c] = static_cast<std::uint8_t>(
                    (sums[static_cast<std::size_t>(x) * 3 + c] + count / 2) / count);
        }
    }
    return target;
}

// Bilinear interpolation between the four nearest source pixels, pixel centres aligned.
TBitmap Bilinear(const TBitmap& source, TFitSize size)
{
    TBitmap target(size.Width, size.Height);
    // 16.16 fixed point source coordinates of each target column.
    std::vector<int> x0(static_cast<std::size_t>(size.Width));
    std::vector<int> fx(static_cast<std::size_t>(size.Width));
    const double sx = double(source.Width) / size.Width;
    const double sy = double(source.Height) / size.Height;
    for (int x = 0; x < size.Width; ++x) {
        const double pos = std::clamp((x + 0.5) * sx - 0.5, 0.0, double(source.Width - 1));
        x0[static_cast<std::size_t>(x)] = int(pos);
        fx[static_cast<std::size_t>(x)] = int((pos - int(pos)) * 256);
    }
    for (int y = 0; y < size.Height; ++y) {
        const double pos = std::clamp((y + 0.5) * sy - 0.5, 0.0, double(source.Height - 1));
        const int y0 = int(pos);
        const int y1 = std::min(y0 + 1, source.Height - 1);
        const int fy = int((pos - y0) * 256);
        const std::uint8_t* r0 = source.Row(y0);
        const std::uint8_t* r1 = source.Row(y1);
        std::uint8_t* out = target.Row(y);
        for (int x = 0; x < size.Width; ++x) {
            const int a = x0[static_cast<std::size_t>(x)];
            const int b = std::min(a + 1, source.Width - 1);
            const int f = fx[static_cast<std::size_t>(x)];
            for (int c = 0; c < 3; ++c) {
                const int top = r0[a * 3 + c] * (256 - f) + r0[b * 3 + c] * f;
                const int bottom = r1[a * 3 + c] * (256 - f) + r1[b * 3 + c] * f;
                out[x * 3 + c] =
                    static_cast<std::uint8_t>((top * (256 - fy) + bottom * fy + 32768) >> 16);
            }
        }
    }
    return target;
}

} // namespace

TBitmap ScaleToFit(const TBitmap& source, int boxWidth, int boxHeight)
{
    const TFitSize size = FitSize(source.Width, source.Height, boxWidth, boxHeight);
    if (size.Width == 0)
        return {};
    if (size.Width == source.Width && size.Height == source.Height)
        return source;
    return AreaAverage(source, size);
}

TBitmap Resample(const TBitmap& source, int width, int height)
{
    if (source.IsEmpty() || width <= 0 || height <= 0)
        return {};
    if (width == source.Width && height == source.Height)
        return source;
    if (width <= source.Width && height <= source.Height)
        return AreaAverage(source, {width, height});
    return Bilinear(source, {width, height});
}

} // namespace BitmapScale
