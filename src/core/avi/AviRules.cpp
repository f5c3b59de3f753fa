#include "core/avi/AviRules.h"

#include "core/image/BitmapScale.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace AviRules {

std::int64_t RowBytes(int width)
{
    return (std::int64_t(width) * 3 + 3) & ~std::int64_t(3);
}

std::int64_t FrameBytes(int width, int height)
{
    if (width < 1 || height < 1)
        return 0;
    const std::int64_t bytes = RowBytes(width) * height;
    return bytes > MaxFrameBytes ? 0 : bytes;
}

QString FileExtension(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || dot < slash)
        return QString();
    return path.mid(dot);
}

namespace {

void CopyRow(const std::uint8_t* s, std::uint8_t* d, int pixels)
{
    for (int x = 0; x < pixels; ++x, s += 3, d += 3) {
        d[0] = s[2];
        d[1] = s[1];
        d[2] = s[0];
    }
}

void FillRow(std::uint8_t* d, int pixels, const std::uint8_t bgr[3])
{
    for (int x = 0; x < pixels; ++x, d += 3) {
        d[0] = bgr[0];
        d[1] = bgr[1];
        d[2] = bgr[2];
    }
}

} // namespace

void DrawFrame(const TBitmap& source, int width, int height, bool stretch, std::uint8_t* out)
{
    const std::int64_t row = RowBytes(width);
    const int pad = static_cast<int>(row - std::int64_t(width) * 3);
    // A bitmap whose rows do not fit its pixels is drawn as an empty one.
    const bool empty = source.IsEmpty() ||
                       std::int64_t(source.Stride) < std::int64_t(source.Width) * 3 ||
                       source.Pixels.size() < std::size_t(source.Stride) * source.Height;
    if (stretch && !empty) {
        std::vector<int> columns(static_cast<std::size_t>(width));
        for (int x = 0; x < width; ++x)
            columns[x] =
                static_cast<int>((2 * std::int64_t(x) + 1) * source.Width / (2 * width)) * 3;
        for (int y = 0; y < height; ++y) {
            const int sy =
                static_cast<int>((2 * std::int64_t(y) + 1) * source.Height / (2 * height));
            const std::uint8_t* s = source.Row(sy);
            std::uint8_t* d = out + (height - 1 - y) * row;
            if (source.Width == width) {
                CopyRow(s, d, width);
            } else {
                for (int x = 0; x < width; ++x) {
                    const std::uint8_t* p = s + columns[x];
                    d[3 * x] = p[2];
                    d[3 * x + 1] = p[1];
                    d[3 * x + 2] = p[0];
                }
            }
            std::memset(d + 3 * std::int64_t(width), 0, static_cast<std::size_t>(pad));
        }
        return;
    }
    std::uint8_t colour[3] = {0, 0, 0};
    int copyWidth = 0;
    int copyHeight = 0;
    if (!empty) {
        const std::uint8_t* p = source.Row(0);
        colour[0] = p[2];
        colour[1] = p[1];
        colour[2] = p[0];
        copyWidth = std::min(width, source.Width);
        copyHeight = std::min(height, source.Height);
    }
    for (int y = 0; y < height; ++y) {
        std::uint8_t* d = out + (height - 1 - y) * row;
        if (y < copyHeight) {
            CopyRow(source.Row(y), d, copyWidth);
            FillRow(d + 3 * std::int64_t(copyWidth), width - copyWidth, colour);
        } else {
            FillRow(d, width, colour);
        }
        std::memset(d + 3 * std::int64_t(width), 0, static_cast<std::size_t>(pad));
    }
}

TFitRect FitRect(int width, int height, int frameWidth, int frameHeight)
{
    if (width < 1 || height < 1 || frameWidth < 1 || frameHeight < 1)
        return {};
    TFitRect r;
    // Compare frameWidth / width with frameHeight / height without division; round to the
    // nearest pixel, at least one.
    if (std::int64_t(frameWidth) * height <= std::int64_t(frameHeight) * width) {
        r.Width = frameWidth;
        r.Height = static_cast<int>(std::max<std::int64_t>(
            1, (std::int64_t(height) * frameWidth * 2 + width) / (2 * std::int64_t(width))));
    } else {
        r.Height = frameHeight;
        r.Width = static_cast<int>(std::max<std::int64_t>(
            1, (std::int64_t(width) * frameHeight * 2 + height) / (2 * std::int64_t(height))));
    }
    r.X = (frameWidth - r.Width) / 2;
    r.Y = (frameHeight - r.Height) / 2;
    return r;
}

void FitPicture(const TBitmap& source, int frameWidth, int frameHeight, TBitmap& out)
{
    out.Resize(frameWidth, frameHeight); // black
    const TFitRect r = FitRect(source.Width, source.Height, frameWidth, frameHeight);
    if (r.Width < 1)
        return;
    const TBitmap scaled = (r.Width == source.Width && r.Height == source.Height)
                               ? TBitmap()
                               : BitmapScale::Resample(source, r.Width, r.Height);
    const TBitmap& picture = scaled.IsEmpty() ? source : scaled;
    for (int y = 0; y < r.Height; ++y)
        std::memcpy(out.Row(r.Y + y) + 3 * r.X, picture.Row(y), std::size_t(r.Width) * 3);
}

TJpegShape ReadJpegShape(const QByteArray& data)
{
    TJpegShape shape;
    const auto* p = reinterpret_cast<const std::uint8_t*>(data.constData());
    const qsizetype n = data.size();
    if (n < 4 || p[0] != 0xFF || p[1] != 0xD8)
        return shape;
    bool sequential = false;
    bool tables = false;
    qsizetype pos = 2;
    // The segments up to the scan: each a marker and a length.
    for (;;) {
        if (pos + 4 > n || p[pos] != 0xFF)
            return shape;
        while (pos + 4 <= n && p[pos + 1] == 0xFF) // fill bytes
            ++pos;
        if (pos + 4 > n)
            return shape;
        const std::uint8_t marker = p[pos + 1];
        const int length = (p[pos + 2] << 8) | p[pos + 3];
        if (length < 2 || pos + 2 + length > n)
            return shape;
        const std::uint8_t* body = p + pos + 4;
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
            marker != 0xCC) {
            if (length < 8)
                return shape;
            shape.Height = (body[1] << 8) | body[2];
            shape.Width = (body[3] << 8) | body[4];
            sequential = (marker == 0xC0 || marker == 0xC1) && body[0] == 8 &&
                         (body[5] == 1 || body[5] == 3);
        } else if (marker == 0xC4) {
            tables = true;
        } else if (marker == 0xDA) {
            pos += 2 + length;
            break;
        } else if (marker == 0xD8 || marker == 0xD9 || (marker >= 0xD0 && marker <= 0xD7) ||
                   marker == 0x01) {
            return shape; // markers without a length do not belong here
        }
        pos += 2 + length;
    }
    // The scan: in its bytes 0xFF is followed only by a stuffed 0, a restart marker or more 0xFF;
    // any other marker ends it, and only the end marker ends a single-scan picture.
    while (pos + 1 < n) {
        const void* ff = std::memchr(p + pos, 0xFF, static_cast<std::size_t>(n - pos - 1));
        if (!ff)
            break;
        pos = static_cast<const std::uint8_t*>(ff) - p;
        const std::uint8_t next = p[pos + 1];
        if (next == 0x00 || (next >= 0xD0 && next <= 0xD7) || next == 0xFF) {
            pos += next == 0xFF ? 1 : 2;
            continue;
        }
        if (next != 0xD9)
            break; // another scan or table: not stored as it is
        shape.End = pos + 2;
        shape.Storable = sequential && tables && shape.Width > 0 && shape.Height > 0;
        return shape;
    }
    return shape;
}

std::int64_t AudioBytesUntil(std::int64_t frames, std::uint32_t frameTime,
                             std::uint32_t avgBytesPerSec, int blockAlign, std::int64_t totalBytes)
{
    if (frames <= 0 || blockAlign < 1)
        return 0;
    const unsigned __int128 bytes =
        static_cast<unsigned __int128>(frames) * frameTime * avgBytesPerSec / 1000;
    if (bytes >= static_cast<unsigned __int128>(totalBytes))
        return totalBytes - totalBytes % blockAlign;
    const auto b = static_cast<std::int64_t>(bytes);
    return b - b % blockAlign;
}

} // namespace AviRules
