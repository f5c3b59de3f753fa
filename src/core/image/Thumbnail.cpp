#include "core/image/Thumbnail.h"

#include "core/image/BitmapScale.h"
#include "core/image/JpegCodec.h"
#include "core/rules/MosaicGeometry.h"

namespace Thumbnail {

bool Make(const QByteArray& jpeg, QSize box, TBitmap& picture, QSize* source, QString* error)
{
    picture = TBitmap();
    if (source)
        *source = QSize();
    int width = 0;
    int height = 0;
    if (!JpegCodec::ReadSize(jpeg, width, height)) {
        if (error)
            *error = QStringLiteral("Not a JPEG image");
        return false;
    }
    const QSize fit = MosaicGeometry::FitRect(QRect(QPoint(0, 0), box), {width, height}).size();
    if (fit.isEmpty()) {
        if (error)
            *error = QStringLiteral("No room for the picture");
        return false;
    }
    TBitmap decoded;
    const int denom = JpegCodec::ScaleDenomFor(width, height, fit.width(), fit.height());
    if (!JpegCodec::Decode(jpeg, decoded, denom, error))
        return false;
    picture = BitmapScale::Resample(decoded, fit.width(), fit.height());
    if (source)
        *source = QSize(width, height);
    return !picture.IsEmpty();
}

} // namespace Thumbnail
