#pragma once

#include "core/image/Bitmap.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

// Every failure of the AVI writer: a fixed English message, shown by the caller as it stands.
class TAviError : public std::runtime_error
{
public:
    explicit TAviError(const std::string& message) : std::runtime_error(message) {}
    QString Message() const { return QString::fromUtf8(what()); }
};

// The video format of a file: uncompressed 24-bit frames, or each frame a JPEG picture ('MJPG').
enum class TAviCodec
{
    Raw,
    Mjpeg
};

// A frame of the JPEG format as a source hands it over.
struct TAviJpegFrame
{
    // A complete JPEG picture of exactly the frame's size, stored as it is; null: the entry gives
    // no frame.
    const QByteArray* Data = nullptr;
    // The picture was of another size and was fitted to the frame.
    bool Fitted = false;
};

// Where the writer takes its frames from, one at a time, so that only the frame being written has
// to be in memory. Frame(i) (JpegFrame(i, ...) for the JPEG format) is asked for i = 0 .. Count() -
// 1 in this order; what it returns must stay valid until the next call. A null result skips that
// entry (it gives no frame). Throwing TAviError (or any std::exception) stops the writing.
class TAviFrameSource
{
public:
    virtual ~TAviFrameSource() = default;
    virtual int Count() const = 0;
    virtual const TBitmap* Frame(int index) = 0;
    // The frame for the JPEG format, width x height. The default encodes Frame(index) at quality
    // 90, fitted to the frame first when its size differs.
    virtual TAviJpegFrame JpegFrame(int index, int width, int height);

private:
    QByteArray FEncoded;
};

// Frame rules, pure functions.
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

// What a Write did.
struct TAviWriteReport
{
    int Frames = 0;       // frames written
    int Skipped = 0;      // entries that gave no frame
    int Resized = 0;      // pictures of another size than the frame: cut, stretched or fitted
    qint64 FileBytes = 0; // the size of the file written
};

// Writes an AVI video with one key frame per bitmap, uncompressed 24-bit or JPEG (Codec), and,
// optionally, the sound of a PCM WAV file as a second stream interleaved with the frames. The file
// is written under a unique name "<FileName>.XXXXXX.part", created exclusively beside it, synced
// and renamed to FileName when complete; on any failure that file is removed and FileName is left
// as it was. A WAV file that is not a regular file (a pipe, a device) is refused. A file that grows
// past PartLimit bytes continues in OpenDML "AVIX" parts with super and standard indexes, so a
// video of any length plays.
class TAviWriter
{
public:
    // The default frame size is a tenth of the screen's. The core library has no screen: the
    // window that creates the writer passes the screen's size; without it the size is 0 x 0 and
    // must be set before Write.
    TAviWriter() = default;
    TAviWriter(int screenWidth, int screenHeight);

    int Height = 0;
    int Width = 0;
    std::uint32_t FrameTime = 1000; // milliseconds per frame
    bool Stretch = true;
    // Pictures of another size are fitted to the frame (proportions kept, centred on black)
    // instead of being stretched or cut. The JPEG format always fits them.
    bool Fit = false;
    TAviCodec Codec = TAviCodec::Raw;
    QString FileName;

    const QString& WavFileName() const { return FWavFileName; }
    // Throws TAviError when the name does not end in .wav (any case); the old value stays then.
    // An empty value clears it (no sound track).
    void SetWavFileName(const QString& value);

    // The frames of Write(): not owned. A null entry fails the writing with
    // "Bitmaps[i] is not a TBitmap".
    std::vector<const TBitmap*> Bitmaps;

    // Size at which the writer closes the current RIFF part and starts an AVIX part.
    std::int64_t PartLimit = std::int64_t(1) << 30;

    // Called after each entry of the frame list, with the entries done and their number. It may
    // throw TAviError to stop the writing (a cancel button, an interrupt): the .part file goes.
    std::function<void(int done, int total)> OnProgress;

    // What the last Write did; set when it succeeds.
    TAviWriteReport Report;

    // Writes FileName from Bitmaps.
    void Write();
    // Writes FileName from a frame source.
    void Write(TAviFrameSource& source);

private:
    QString FWavFileName;

    void WriteFrom(TAviFrameSource& source);
};
