#include "core/avi/AviJpegSource.h"

#include "core/catalog/AtomicFile.h"
#include "core/image/JpegCodec.h"

#include <QFile>
#include <algorithm>

TAviJpegSource::TAviJpegSource(const QStringList& files, int lookahead)
    : FFiles(files), FLookahead(std::max(0, lookahead))
{
}

TAviJpegSource::~TAviJpegSource()
{
    DropLookahead();
}

void TAviJpegSource::DropLookahead()
{
    for (std::future<TDecoded>& f : FNext)
        f.wait();
    FNext.clear();
    FNextIndex = -1;
}

int TAviJpegSource::Count() const
{
    return static_cast<int>(FFiles.size());
}

bool TAviJpegSource::ReadFile(const QString& path, TBitmap& out, QString* error)
{
    QFile file;
    if (!OpenRegularFile(file, path, error)) {
        out = TBitmap();
        return false;
    }
    if (file.size() > MaxFileBytes) {
        if (error)
            *error = QStringLiteral("file too large");
        out = TBitmap();
        return false;
    }
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
        out = TBitmap();
        return false;
    }
    QString decodeError;
    if (!JpegCodec::Decode(data, out, 1, &decodeError)) {
        if (error)
            *error = decodeError.isEmpty() ? QStringLiteral("not a JPEG image") : decodeError;
        return false;
    }
    return true;
}

TAviJpegSource::TDecoded TAviJpegSource::Decode(const QString& path, TBitmap reuse)
{
    TDecoded d;
    d.Bitmap = std::move(reuse);
    d.Ok = ReadFile(path, d.Bitmap, &d.Error);
    return d;
}

void TAviJpegSource::Recycle()
{
    // A frame's pixel memory decodes a later frame: no allocation, no fresh pages per frame.
    if (!FCurrent.Bitmap.Pixels.empty() && FSpares.size() < 4)
        FSpares.push_back(std::move(FCurrent.Bitmap));
    FCurrent = TDecoded();
}

TBitmap TAviJpegSource::TakeSpare()
{
    if (FSpares.empty())
        return TBitmap();
    TBitmap spare = std::move(FSpares.back());
    FSpares.pop_back();
    return spare;
}

void TAviJpegSource::Prime(int index, TBitmap bitmap)
{
    FPrimedIndex = index;
    FPrimed = std::move(bitmap);
}

const TBitmap* TAviJpegSource::Frame(int index)
{
    if (index < 0 || index >= Count())
        return nullptr;
    Recycle();
    if (index == FPrimedIndex) {
        DropLookahead();
        FCurrent = TDecoded{std::move(FPrimed), true, QString()};
        FPrimed = TBitmap();
        FPrimedIndex = -1;
        FNextIndex = index + 1;
    } else if (!FNext.empty() && FNextIndex == index) {
        FCurrent = FNext.front().get();
        FNext.pop_front();
        ++FNextIndex;
    } else {
        DropLookahead();
        FCurrent = Decode(FFiles[index], TakeSpare());
        FNextIndex = index + 1;
    }
    // Keep the next files decoding, as many as the memory allows at this frame size.
    if (FCurrent.Ok)
        FFrameBytes = static_cast<qint64>(FCurrent.Bitmap.Pixels.size());
    int depth = FLookahead;
    if (FFrameBytes > 0)
        depth = static_cast<int>(std::min<qint64>(depth, MaxAheadBytes / FFrameBytes));
    for (int next = FNextIndex + static_cast<int>(FNext.size());
         static_cast<int>(FNext.size()) < depth && next < Count(); ++next)
        FNext.push_back(
            std::async(std::launch::async, &TAviJpegSource::Decode, FFiles[next], TakeSpare()));
    if (!FCurrent.Ok) {
        if (OnSkip)
            OnSkip(FFiles[index], FCurrent.Error);
        return nullptr;
    }
    return &FCurrent.Bitmap;
}
