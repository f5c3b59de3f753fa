#pragma once

#include "core/image/Bitmap.h"

#include <QImage>
#include <QSize>
#include <QWidget>

// The zooming picture control: it owns one picture and, with AutoZoom on, draws it as large as
// fits while keeping the aspect ratio of the image it stands for, centred. Pixels are repeated or
// dropped (no smoothing): one draw per paint, no scaled copy, nothing allocated while painting.
//
// The picture may be a reduced decode of a larger image (a small window of a large webcam): the
// control then draws it into the place of the image's own size (SourceSize), so that the window
// looks the same at any scale. It holds the picture once, in 32-bit form: the toolkit stretches
// 32-bit pixels onto the window's 32-bit surface on a fast path in the painting thread, whereas a
// 24-bit source takes a generic path that spreads each paint over a thread pool and allocates for
// it. The QImage it draws wraps the picture's pixels without copying them.
class TPvImage : public QWidget
{
    Q_OBJECT

public:
    explicit TPvImage(QWidget* parent = nullptr);
    ~TPvImage() override;

    bool AutoZoom() const { return FAutoZoom; }
    void SetAutoZoom(bool value);

    // Takes the picture (its pixels are moved, not copied) standing for an image of sourceSize
    // (an empty size: the picture's own), and repaints. An empty picture shows nothing. Returns
    // the picture shown before, whose buffer the caller may use again.
    TPicture SetPicture(TPicture&& picture, QSize sourceSize = QSize());
    const TPicture& Picture() const { return FPicture; }
    // The size of the image shown, whatever the scale of the picture; 0 x 0 without one.
    QSize SourceSize() const { return FSourceSize; }
    // What is drawn: the picture's pixels.
    const QImage& Image() const { return FImage; }

    // Where the picture is drawn in the control's current size.
    QRect ImageRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool FAutoZoom = false;
    TPicture FPicture;
    QSize FSourceSize{0, 0};
    QImage FImage;
};
