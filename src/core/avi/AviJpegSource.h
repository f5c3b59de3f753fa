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
class TAviJpegSource : public TAviFrameSource
{
public:
    explicit TAviJpegSource(const QStringList& files, int lookahead = 1);
    ~TAviJpegSource() override;
    TAviJpegSource(const TAviJpegSource&) = delete;
    TAviJpegSource& operator=(const TAviJpegSource&) = delete;

    int Count() const override;
    const TBitmap* Frame(int index) override;

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

private:
    struct TDecoded
    {
        TBitmap Bitmap;
        bool Ok = false;
        QString Error;
    };
    static TDecoded Decode(const QString& path, TBitmap reuse);
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
    qint64 FFrameBytes = 0;       // pixel bytes of the last frame decoded
    std::vector<TBitmap> FSpares; // pixel memory of frames written, for the next decodes

    void DropLookahead();
};
