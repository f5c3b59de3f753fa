#include "core/avi/AviJpegSource.h"

#include "core/image/JpegCodec.h"
#include "platform/io/NativeFile.h"

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

bool TAviJpegSource::ReadBytes(const QString& path, QByteArray& out, QString* error)
{
    out.clear();
    QFile file;
    if (!OpenRegularFile(file, path, error))
        return false;
    if (file.size() > MaxFileBytes) {
        if (error)
            *error = QStringLiteral("file too large");
        return false;
    }
    out = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
        out.clear();
        return false;
    }
    return true;
}

bool TAviJpegSource::ReadFile(const QString& path, TBitmap& out, QString* error)
{
    QByteArray data;
    if (!ReadBytes(path, data, error)) {
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

TAviJpegSource::TDecoded TAviJpegSource::PrepareJpeg(const QString& path, int width, int height)
{
    TDecoded d;
    if (!ReadBytes(path, d.Jpeg, &d.Error))
        return d;
    d.Bytes = d.Jpeg.size();
    const AviRules::TJpegShape shape = AviRules::ReadJpegShape(d.Jpeg);
    if (shape.Storable && shape.Width == width && shape.Height == height) {
        d.Jpeg.truncate(shape.End); // anything after the end marker is no part of the picture
        d.Ok = true;
        return d;
    }
    // Decoded, fitted when its size differs, and encoded again.
    TBitmap picture;
    QString error;
    if (!JpegCodec::Decode(d.Jpeg, picture, 1, &error)) {
        d.Error = error.isEmpty() ? QStringLiteral("not a JPEG image") : error;
        d.Jpeg.clear();
        return d;
    }
    d.Bytes += static_cast<qint64>(picture.Pixels.size());
    if (picture.Width != width || picture.Height != height) {
        TBitmap fitted;
        AviRules::FitPicture(picture, width, height, fitted);
        d.Bytes += static_cast<qint64>(fitted.Pixels.size());
        picture = std::move(fitted);
        d.Fitted = true;
    }
    d.Jpeg = JpegCodec::Encode(picture, 90, &error);
    if (d.Jpeg.isEmpty() || d.Jpeg.size() > AviRules::MaxJpegFrameBytes) {
        d.Error = error.isEmpty() ? QStringLiteral("cannot be encoded as a frame") : error;
        d.Jpeg.clear();
        return d;
    }
    d.Ok = true;
    return d;
}

std::future<TAviJpegSource::TDecoded> TAviJpegSource::Launch(int index)
{
    if (FJpegWidth > 0)
        return std::async(std::launch::async, &TAviJpegSource::PrepareJpeg, FFiles[index],
                          FJpegWidth, FJpegHeight);
    return std::async(std::launch::async, &TAviJpegSource::Decode, FFiles[index], TakeSpare());
}

TAviJpegFrame TAviJpegSource::JpegFrame(int index, int width, int height)
{
    if (index < 0 || index >= Count() || width < 1 || height < 1)
        return {};
    if (width != FJpegWidth || height != FJpegHeight) {
        // The work ahead was for another kind of frame.
        DropLookahead();
        FJpegWidth = width;
        FJpegHeight = height;
        FPrimed = TBitmap();
        FPrimedIndex = -1;
    }
    Advance(index);
    if (!FCurrent.Ok)
        return {};
    return {&FCurrent.Jpeg, FCurrent.Fitted};
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
    if (FJpegWidth > 0) {
        DropLookahead();
        FJpegWidth = FJpegHeight = 0;
    }
    Advance(index);
    return FCurrent.Ok ? &FCurrent.Bitmap : nullptr;
}

void TAviJpegSource::Advance(int index)
{
    Recycle();
    if (index == FPrimedIndex) {
        DropLookahead();
        FCurrent = TDecoded();
        FCurrent.Bitmap = std::move(FPrimed);
        FCurrent.Ok = true;
        FPrimed = TBitmap();
        FPrimedIndex = -1;
        FNextIndex = index + 1;
    } else if (!FNext.empty() && FNextIndex == index) {
        FCurrent = FNext.front().get();
        FNext.pop_front();
        ++FNextIndex;
    } else {
        DropLookahead();
        FCurrent = FJpegWidth > 0 ? PrepareJpeg(FFiles[index], FJpegWidth, FJpegHeight)
                                  : Decode(FFiles[index], TakeSpare());
        FNextIndex = index + 1;
    }
    // Keep the next files decoding, as many as the memory allows at this frame size.
    if (FCurrent.Ok)
        FFrameBytes = FJpegWidth > 0 ? std::max<qint64>(FCurrent.Bytes, 1)
                                     : static_cast<qint64>(FCurrent.Bitmap.Pixels.size());
    int depth = FLookahead;
    if (FFrameBytes > 0)
        depth = static_cast<int>(std::min<qint64>(depth, MaxAheadBytes / FFrameBytes));
    for (int next = FNextIndex + static_cast<int>(FNext.size());
         static_cast<int>(FNext.size()) < depth && next < Count(); ++next)
        FNext.push_back(Launch(next));
    if (!FCurrent.Ok && OnSkip)
        OnSkip(FFiles[index], FCurrent.Error);
}
