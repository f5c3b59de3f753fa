#pragma once

#include "core/image/Bitmap.h"

#include <QImage>
#include <QWidget>

// The zooming picture control: it owns one bitmap and, with AutoZoom on, draws it as large as fits
// while keeping its aspect ratio, centred. Pixels are repeated or dropped (no smoothing): one draw
// per paint, no scaled copy, nothing allocated while painting.
//
// The picture is drawn from a 32-bit copy made when the bitmap changes (its buffer is reused while
// the size stays): the toolkit stretches 32-bit pixels onto the window's 32-bit surface on a fast
// path in the painting thread, whereas a 24-bit source takes a generic path that spreads each
// paint over a thread pool and allocates for it.
class TPvImage : public QWidget
{
    Q_OBJECT

public:
    explicit TPvImage(QWidget* parent = nullptr);
    ~TPvImage() override;

    bool AutoZoom() const { return FAutoZoom; }
    void SetAutoZoom(bool value);

    // The picture. Change it in place (decode into it or swap pixels with it), then call
    // BitmapChanged: the control wraps the new pixels and repaints.
    TBitmap& Bitmap() { return FBitmap; }
    const TBitmap& Bitmap() const { return FBitmap; }
    void BitmapChanged();
    // What is drawn: the bitmap's pixels in 32-bit form.
    const QImage& Image() const { return FImage; }

    // Where the bitmap is drawn in the control's current size.
    QRect ImageRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool FAutoZoom = false;
    TBitmap FBitmap;
    QImage FImage;
};
