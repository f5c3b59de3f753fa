#pragma once

#include "core/image/Bitmap.h"

#include <QByteArray>
#include <QSize>
#include <QString>

// A JPEG picture made small for a cell or a thumbnail, without ever holding it at full size when
// it is much larger: decoded with libjpeg's DCT scaling at the smallest scale whose size is still
// at or above the fitted size, then scaled to exactly that size.
namespace Thumbnail {

// Decodes jpeg and scales it to MosaicGeometry::FitRect(box, picture size).size(). source receives
// the picture's own size. False (picture empty) when the data is not a readable JPEG image or the
// box is empty; *error then says why.
bool Make(const QByteArray& jpeg, QSize box, TBitmap& picture, QSize* source = nullptr,
          QString* error = nullptr);

} // namespace Thumbnail
