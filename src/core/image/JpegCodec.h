#pragma once

#include "core/image/Bitmap.h"

#include <QByteArray>
#include <QString>

// JPEG decoding and encoding on libjpeg. No call ever ends the process: libjpeg's errors come back
// as a false result with a message in *error.
namespace JpegCodec {

// Pictures with more pixels than this are refused before any pixel memory is allocated.
inline constexpr long long MaxPixels = 100'000'000;
// So are pictures that declare more samples (the pixels of every colour component, counted at
// each component's sampling) than this per byte of compressed data: a few hundred bytes can
// declare a picture of hundreds of megabytes. Real photographs stay far below 1,000 (even a
// picture of one flat colour needs about a byte per 1,000 pixels).
inline constexpr long long MaxSamplesPerByte = 10'000;
// The memory one decode may take: the output picture, and libjpeg's own memory, of which the
// largest part is the coefficients of the whole picture that a progressive image (or one that
// sends its components in separate scans) keeps until its last scan, 2 bytes per sample at any
// output scale. A picture whose decode would need more is refused before any of it is allocated,
// and libjpeg itself is held to what the output leaves.
inline constexpr long long MaxDecodeBytes = 512LL << 20;
// A progressive image may refine its picture in many scans, each of which costs a pass over the
// blocks it covers, however few bytes it has. More scans than this, or scans that together pass
// over the picture's blocks more than MaxScanPasses times, end the decode with an error.
inline constexpr int MaxScans = 1000;
inline constexpr int MaxScanPasses = 100;

// Decodes a complete JPEG image into a 24-bit bitmap. scaleDenom 1, 2, 4 or 8 decodes at 1/n of
// the size with libjpeg's DCT scaling (fast thumbnails). A truncated or corrupt image, or one over
// any of the limits above, is refused: false, and out is left empty. The pixel memory of out
// is reused when it is large enough.
bool Decode(const QByteArray& data, TBitmap& out, int scaleDenom = 1, QString* error = nullptr);

// The same into a 32-bit picture (for a window to draw as it is). The pixel memory of out is
// reused when it is large enough.
bool Decode(const QByteArray& data, TPicture& out, int scaleDenom = 1, QString* error = nullptr);

// Reads only the header: the picture's size. False when the data is not a JPEG image.
bool ReadSize(const QByteArray& data, int& width, int& height);

// Why Decode refuses data, for the user: no JPEG image at all, a picture over MaxPixels or
// MaxSamplesPerByte (Width and Height then give its declared size), or a damaged one (cut short,
// corrupt). Reads only the header.
struct TRefusal
{
    enum TKind
    {
        NotJpeg,
        TooLarge,
        Damaged
    } Kind = NotJpeg;
    int Width = 0;
    int Height = 0;
};
TRefusal RefusalOf(const QByteArray& data);

// Encodes a bitmap as a baseline JPEG at the given quality (the program saves at 90).
// An empty result means failure.
QByteArray Encode(const TBitmap& bitmap, int quality = 90, QString* error = nullptr);

// Encodes the bitmap and writes it to path. The file is replaced only once the new one is
// complete: a failure (an unwritable folder, a full disk) leaves any earlier file as it was.
bool SaveToFile(const TBitmap& bitmap, const QString& path, int quality = 90,
                QString* error = nullptr);

// The largest of 8, 4, 2 and 1 at which a width x height picture, decoded at 1/n, still fills
// its fitted size in a boxWidth x boxHeight box (the box limits one side, the aspect ratio the
// other): the scale for Decode when the result is only shrunk to a thumbnail.
int ScaleDenomFor(int width, int height, int boxWidth, int boxHeight);

} // namespace JpegCodec
