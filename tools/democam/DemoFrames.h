#pragma once

#include "core/image/Bitmap.h"

#include <QTime>

// Frames of the demo webcams, drawn with plain pixel code: a colour gradient, a band that moves
// with the seconds and the time of day in seven-segment digits.
TBitmap DrawClockFrame(int width, int height, const QTime& time, int hue);
// A frame that never changes.
TBitmap DrawStillFrame(int width, int height);
