#include "core/AviJpegSource.h"

#include "core/JpegCodec.h"

#include <QFile>

TAviJpegSource::TAviJpegSource(const QStringList& files, bool prefetch)
    : FFiles(files), FPrefetch(prefetch)
{
}

TAviJpegSource::~TAviJpegSource()
{
    if (FNext.valid())
        FNext.wait();
}

int TAviJpegSource::Count() const
{
    return static_cast<int>(FFiles.size());
}

bool TAviJpegSource::ReadFile(const QString& path, TBitmap& out, QString* error)
{
    out = TBitmap();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    if (file.size() > MaxFileBytes) {
        if (error)
            *error = QStringLiteral("file too large");
        return false;
    }
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
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

TAviJpegSource::TDecoded TAviJpegSource::Decode(const QString& path)
{
    TDecoded d;
    d.Ok = ReadFile(path, d.Bitmap, &d.Error);
    return d;
}

const TBitmap* TAviJpegSource::Frame(int index)
{
    if (index < 0 || index >= Count())
        return nullptr;
    if (FNext.valid() && FNextIndex == index) {
        FCurrent = FNext.get();
    } else {
        if (FNext.valid())
            FNext.wait();
        FNext = {};
        FCurrent = Decode(FFiles[index]);
    }
    FNextIndex = -1;
    if (FPrefetch && index + 1 < Count()) {
        FNextIndex = index + 1;
        FNext = std::async(std::launch::async, &TAviJpegSource::Decode, FFiles[index + 1]);
    }
    if (!FCurrent.Ok) {
        if (OnSkip)
            OnSkip(FFiles[index], FCurrent.Error);
        return nullptr;
    }
    return &FCurrent.Bitmap;
}
