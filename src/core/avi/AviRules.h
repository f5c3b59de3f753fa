#pragma once

#include "core/image/Bitmap.h"

#include <QByteArray>
#include <QString>
#include <cstdint>

// The frame rules of the AVI writer, pure functions: frame sizes, fitting and drawing a picture
// into a frame, the shape of a JPEG frame, and how much sound goes with each frame.
namespace AviRules {

// Bytes of one 24-bit frame row in the file: padded to a multiple of 4.
std::int64_t RowBytes(int width);
// Bytes of one whole frame: RowBytes(width) * height; 0 when the size is not writable (width or
// height below 1, or a frame over MaxFrameBytes).
std::int64_t FrameBytes(int width, int height);
inline constexpr std::int64_t MaxFrameBytes = std::int64_t(512) << 20;

// The extension of a file name as the writer compares it: from the last dot of the last path
// element, dot included; empty when that element has no dot.
QString FileExtension(const QString& path);

// The default frame size: a tenth of the screen's size in each direction.
inline int DefaultFrameSide(int screenSide)
{
    return screenSide / 10;
}

// Where a width x height picture lies in a frameWidth x frameHeight frame when it is fitted: as
// large as the frame allows with its proportions kept (enlarged or reduced), centred. Empty sizes
// give an empty rectangle.
struct TFitRect
{
    int X = 0;
    int Y = 0;
    int Width = 0;
    int Height = 0;
    bool operator==(const TFitRect&) const = default;
};
TFitRect FitRect(int width, int height, int frameWidth, int frameHeight);

// The picture fitted into a frameWidth x frameHeight bitmap (FitRect), the rest of it black.
void FitPicture(const TBitmap& source, int frameWidth, int frameHeight, TBitmap& out);

// What the JPEG format needs to know of JPEG data before storing it as it is.
struct TJpegShape
{
    int Width = 0;
    int Height = 0;
    // Every player decodes it: one sequential Huffman-coded scan of 8-bit samples with 1 or 3
    // components, its own Huffman tables, complete up to its end marker.
    bool Storable = false;
    qsizetype End = 0; // bytes up to and including the end marker
};
// Reads the markers of JPEG data (the scan's bytes only to find its end); nothing is decoded.
TJpegShape ReadJpegShape(const QByteArray& data);

// The most bytes one JPEG frame may take: every frame of that size or smaller fits in a file
// part with its index entries.
inline constexpr qint64 MaxJpegFrameBytes = qint64(256) << 20;

// Draws source into a Width x Height frame as stored in the file: rows bottom-up, bytes blue,
// green, red, each row padded with zeros to RowBytes(width). out holds FrameBytes(width, height)
// bytes. stretch: the source is scaled (nearest pixel) to the whole frame, aspect ratio not kept;
// otherwise it is drawn unscaled at the top left, cut at the right and bottom when larger, and the
// rest of the frame takes the colour of its top left pixel (black for an empty source).
void DrawFrame(const TBitmap& source, int width, int height, bool stretch, std::uint8_t* out);

// Audio bytes that belong before the end of frame number frames (each frameTime ms long), for a
// sound of avgBytesPerSec rounded down to whole blocks and capped at totalBytes.
std::int64_t AudioBytesUntil(std::int64_t frames, std::uint32_t frameTime,
                             std::uint32_t avgBytesPerSec, int blockAlign, std::int64_t totalBytes);

} // namespace AviRules
