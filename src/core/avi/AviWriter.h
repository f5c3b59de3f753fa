#pragma once

#include "core/avi/AviError.h"
#include "core/avi/AviRules.h"
#include "core/image/Bitmap.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

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
