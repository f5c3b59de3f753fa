#pragma once

#include "core/avi/AviWriter.h"

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <future>
#include <vector>

// Frames from JPEG files: each file is read and decoded when its frame is asked for, so that
// memory holds a few frames whatever the number of files. The next lookahead files are decoded on
// other threads while the current frame is written (0: every file on the caller's thread), as many
// as fit in MaxAheadBytes at the size of the frame just decoded, so that big pictures are decoded
// one at a time instead of taking gigabytes.
//
// For the JPEG format (JpegFrame) a file is read and, when it holds a complete sequential picture
// of the frame's size, handed over as it is, without decoding; any other picture is decoded,
// fitted to the frame and encoded again at quality 90, on the same threads ahead. A source gives
// frames of one kind: JpegFrame and Frame are not mixed.
class TAviJpegSource : public TAviFrameSource
{
public:
    explicit TAviJpegSource(const QStringList& files, int lookahead = 1);
    ~TAviJpegSource() override;
    TAviJpegSource(const TAviJpegSource&) = delete;
    TAviJpegSource& operator=(const TAviJpegSource&) = delete;

    int Count() const override;
    const TBitmap* Frame(int index) override;
    TAviJpegFrame JpegFrame(int index, int width, int height) override;

    // Called on the writing thread for each file that cannot be read; that file gives no frame.
    std::function<void(const QString& path, const QString& error)> OnSkip;

    // Files larger than this are not read (no JPEG picture the decoder accepts comes near it).
    static constexpr qint64 MaxFileBytes = qint64(256) << 20;

    // Pixel memory that the frames decoded ahead may take together.
    qint64 MaxAheadBytes = qint64(192) << 20;

    // Gives the frame of index as already decoded (by a caller that read the file to learn the
    // frame size): Frame(index) returns it without reading the file again.
    void Prime(int index, TBitmap bitmap);

    // Decodes under way or done ahead of the current frame.
    int Ahead() const { return static_cast<int>(FNext.size()); }

    // Reads and decodes one file. False with a message when it cannot be read or decoded, or when
    // it is not a regular file (a pipe or a device would block). The pixel memory that out holds is
    // reused when it is large enough.
    static bool ReadFile(const QString& path, TBitmap& out, QString* error);
    // The bytes of a file, under the same refusals as ReadFile.
    static bool ReadBytes(const QString& path, QByteArray& out, QString* error);

private:
    struct TDecoded
    {
        TBitmap Bitmap;
        bool Ok = false;
        QString Error;
        // The JPEG format: the frame's data, whether it was fitted, and the most memory its
        // preparation took.
        QByteArray Jpeg;
        bool Fitted = false;
        qint64 Bytes = 0;
    };
    static TDecoded Decode(const QString& path, TBitmap reuse);
    static TDecoded PrepareJpeg(const QString& path, int width, int height);
    // Starts the work for file index on another thread.
    std::future<TDecoded> Launch(int index);
    // Moves the current frame to index, taking it from the work ahead when it is there.
    void Advance(int index);
    // Keeps the current frame's memory for a later decode and empties the current frame.
    void Recycle();
    TBitmap TakeSpare();

    const QStringList FFiles;
    const int FLookahead;
    TDecoded FCurrent;
    // Decodes under way for the files after the current one, in order, the first for FNextIndex.
    std::deque<std::future<TDecoded>> FNext;
    int FNextIndex = -1;
    int FPrimedIndex = -1;
    TBitmap FPrimed;
    qint64 FFrameBytes = 0; // pixel bytes of the last frame decoded
    int FJpegWidth = 0;     // the JPEG format's frame size; 0: bitmaps
    int FJpegHeight = 0;
    std::vector<TBitmap> FSpares; // pixel memory of frames written, for the next decodes

    void DropLookahead();
};
