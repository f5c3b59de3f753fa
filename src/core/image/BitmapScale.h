#pragma once

#include "core/image/Bitmap.h"

// Shrinking pictures to thumbnails.
namespace BitmapScale {

struct TFitSize
{
    int Width = 0;
    int Height = 0;
    bool operator==(const TFitSize&) const = default;
};

// The size of a width x height picture shrunk, keeping its proportions, to fit a
// boxWidth x boxHeight box (rounded to the nearest pixel, at least 1 x 1). A picture that already
// fits keeps its size; empty sizes give 0 x 0.
TFitSize FitSize(int width, int height, int boxWidth, int boxHeight);

// The picture shrunk to FitSize by area averaging: each target pixel is the mean of the source
// pixels it covers. A picture that already fits is copied unchanged.
TBitmap ScaleToFit(const TBitmap& source, int boxWidth, int boxHeight);

// The picture scaled to exactly width x height, enlarged or reduced: by area averaging where both
// sides shrink, bilinear otherwise. An empty source or size gives an empty bitmap.
TBitmap Resample(const TBitmap& source, int width, int height);

} // namespace BitmapScale
