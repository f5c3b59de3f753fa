#pragma once

#include <cstdint>
#include <vector>

// A 24-bit picture in memory: rows top-down, each pixel three bytes R, G, B, each row padded to a
// multiple of four bytes. The layout is that of QImage::Format_RGB888, so a window can wrap the
// pixels without copying them.
struct TBitmap
{
    int Width = 0;
    int Height = 0;
    int Stride = 0;
    std::vector<std::uint8_t> Pixels;

    TBitmap() = default;
    TBitmap(int width, int height) { Resize(width, height); }

    static int StrideFor(int width) { return (width * 3 + 3) & ~3; }

    void Resize(int width, int height)
    {
        Width = width;
        Height = height;
        Stride = StrideFor(width);
        Pixels.assign(static_cast<std::size_t>(Stride) * static_cast<std::size_t>(height), 0);
    }
    bool IsEmpty() const { return Width <= 0 || Height <= 0; }
    std::uint8_t* Row(int y) { return Pixels.data() + static_cast<std::size_t>(y) * Stride; }
    const std::uint8_t* Row(int y) const
    {
        return Pixels.data() + static_cast<std::size_t>(y) * Stride;
    }
};

// A 32-bit picture: rows top-down without padding, each pixel one word 0xffRRGGBB in the machine's
// byte order. The layout is that of QImage::Format_RGB32, the one a window stretches onto its
// surface on the toolkit's fastest path, so a window can wrap the pixels without copying them.
struct TPicture
{
    int Width = 0;
    int Height = 0;
    std::vector<std::uint32_t> Pixels;

    bool IsEmpty() const { return Width <= 0 || Height <= 0; }
    std::uint32_t* Row(int y) { return Pixels.data() + static_cast<std::size_t>(y) * Width; }
    const std::uint32_t* Row(int y) const
    {
        return Pixels.data() + static_cast<std::size_t>(y) * Width;
    }
};
