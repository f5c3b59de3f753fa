#pragma once

#include "core/image/Bitmap.h"

#include <QByteArray>
#include <QImage>
#include <functional>
#include <memory>
#include <vector>

class TPostBox;
class TWorkPool;

// Decodes the mosaic's small cell images back into pictures for the screen, on the work pool, one
// at a time in the order asked. The owner says which cells it wants
// whenever that changes; the new list replaces the cells still waiting, so a cell no longer wanted
// costs nothing, and at most the one under way is decoded in vain. Each picture reaches the owner's
// thread through OnDecoded, with the generation it was asked for: the owner drops a picture of an
// image replaced meanwhile. After Stop (or with the decoder gone) nothing waiting is decoded and
// nothing decoded is handed over.
class TCellDecoder
{
public:
    struct TJob
    {
        int Index = 0;
        quint32 Generation = 0;
        QByteArray Jpeg;
    };
    // On the owner's thread: the picture in the screen's format. A small image that does not
    // decode is logged and hands nothing over.
    using TDecoded = std::function<void(int index, quint32 generation, QImage picture)>;

    // Made on the owner's thread (the UI thread), which receives the pictures.
    TCellDecoder(TWorkPool* pool, TDecoded onDecoded);
    ~TCellDecoder();
    TCellDecoder(const TCellDecoder&) = delete;
    TCellDecoder& operator=(const TCellDecoder&) = delete;

    // Owner's thread: these cells, in this order, at pixelRatio device pixels to a pixel; the
    // cells of an earlier call that have not begun are forgotten.
    void Want(std::vector<TJob> jobs, qreal pixelRatio);
    // Owner's thread: ends the decoder's work (the destructor does too).
    void Stop();

    // The picture in the format the screen takes without conversion.
    static QImage ScreenImage(const TBitmap& picture, qreal pixelRatio);

private:
    struct TShared;
    // A pool job: decodes what waits until nothing does.
    static void Drain(const std::shared_ptr<TShared>& shared, const std::shared_ptr<TPostBox>& box);

    const std::shared_ptr<TShared> Shared;
    const std::shared_ptr<TPostBox> Box;
    TWorkPool* const Pool;
};
