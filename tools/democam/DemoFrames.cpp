#include "DemoFrames.h"

#include <algorithm>
#include <array>

namespace {

void Fill(TBitmap& bitmap, int x0, int y0, int x1, int y1, int r, int g, int b)
{
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, bitmap.Width);
    y1 = std::min(y1, bitmap.Height);
    for (int y = y0; y < y1; ++y) {
        std::uint8_t* p = bitmap.Row(y) + x0 * 3;
        for (int x = x0; x < x1; ++x, p += 3) {
            p[0] = std::uint8_t(r);
            p[1] = std::uint8_t(g);
            p[2] = std::uint8_t(b);
        }
    }
}

// 0..255..0 as v runs over 0..510: colours that wrap round without an edge.
int Triangle(int v)
{
    v %= 510;
    return v > 255 ? 510 - v : v;
}

void Gradient(TBitmap& bitmap, int hue)
{
    for (int y = 0; y < bitmap.Height; ++y) {
        std::uint8_t* p = bitmap.Row(y);
        for (int x = 0; x < bitmap.Width; ++x, p += 3) {
            p[0] = std::uint8_t(Triangle(x * 255 / std::max(1, bitmap.Width) + hue));
            p[1] = std::uint8_t(Triangle(y * 255 / std::max(1, bitmap.Height) + hue / 2));
            p[2] = std::uint8_t(160 - ((x + y) * 96 / std::max(1, bitmap.Width + bitmap.Height)));
        }
    }
}

// Segments a..g of the digits 0-9.
constexpr std::array<std::uint8_t, 10> Segments = {0x3f, 0x06, 0x5b, 0x4f, 0x66,
                                                   0x6d, 0x7d, 0x07, 0x7f, 0x6f};

void Digit(TBitmap& bitmap, int x, int y, int w, int h, int digit)
{
    const int t = std::max(2, w / 6); // stroke
    const int mid = y + h / 2;
    const std::uint8_t s = Segments[size_t(digit % 10)];
    auto seg = [&](int bit, int x0, int y0, int x1, int y1) {
        if (s & (1 << bit))
            Fill(bitmap, x0, y0, x1, y1, 255, 255, 255);
    };
    seg(0, x, y, x + w, y + t);                 // a
    seg(1, x + w - t, y, x + w, mid);           // b
    seg(2, x + w - t, mid, x + w, y + h);       // c
    seg(3, x, y + h - t, x + w, y + h);         // d
    seg(4, x, mid, x + t, y + h);               // e
    seg(5, x, y, x + t, mid);                   // f
    seg(6, x, mid - t / 2, x + w, mid + t / 2); // g
}

} // namespace

TBitmap DrawClockFrame(int width, int height, const QTime& time, int hue)
{
    TBitmap bitmap(width, height);
    Gradient(bitmap, hue);
    // A band that walks across the picture once a minute.
    const int bandX = time.second() * width / 60;
    Fill(bitmap, bandX, 0, bandX + std::max(4, width / 60), height, 250, 220, 40);

    const int digitW = width / 12;
    const int digitH = digitW * 2;
    const int gap = digitW / 3;
    const int total = 6 * digitW + 5 * gap + 2 * gap;
    int x = (width - total) / 2;
    const int y = (height - digitH) / 2;
    Fill(bitmap, x - gap, y - gap, x + total + gap, y + digitH + gap, 20, 20, 30);
    const int values[3] = {time.hour(), time.minute(), time.second()};
    for (int i = 0; i < 3; ++i) {
        Digit(bitmap, x, y, digitW, digitH, values[i] / 10);
        x += digitW + gap;
        Digit(bitmap, x, y, digitW, digitH, values[i] % 10);
        x += digitW + gap;
        if (i < 2) {
            Fill(bitmap, x - gap / 2, y + digitH / 3, x + gap / 2, y + digitH / 3 + gap, 255, 255,
                 255);
            Fill(bitmap, x - gap / 2, y + 2 * digitH / 3, x + gap / 2, y + 2 * digitH / 3 + gap,
                 255, 255, 255);
            x += gap;
        }
    }
    return bitmap;
}

TBitmap DrawStillFrame(int width, int height)
{
    TBitmap bitmap(width, height);
    Gradient(bitmap, 90);
    // A few fixed blocks, like buildings on a horizon.
    for (int i = 0; i < 8; ++i) {
        const int w = width / 10;
        const int h = height / 5 + (i * 37 % 5) * height / 12;
        Fill(bitmap, i * width / 8 + 4, height - h, i * width / 8 + 4 + w, height, 40 + i * 20, 50,
             70);
    }
    return bitmap;
}
