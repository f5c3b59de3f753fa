#pragma once

#include "core/avi/AviWriter.h"

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <future>

// Frames from JPEG files: each file is read and decoded when its frame is asked for, so that
// memory holds a few frames whatever the number of files. The next lookahead files are decoded on
// other threads while the current frame is written (0: every file on the caller's thread).
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

    // Reads and decodes one file. False with a message when it cannot be read or decoded.
    static bool ReadFile(const QString& path, TBitmap& out, QString* error);

private:
    struct TDecoded
    {
        TBitmap Bitmap;
        bool Ok = false;
        QString Error;
    };
    static TDecoded Decode(const QString& path);

    const QStringList FFiles;
    const int FLookahead;
    TDecoded FCurrent;
    // Decodes under way for the files after the current one, in order, the first for FNextIndex.
    std::deque<std::future<TDecoded>> FNext;
    int FNextIndex = -1;

    void DropLookahead();
};
