#include "viewer/PvImage.h"

#include "core/rules/ViewerGeometry.h"

#include <QPaintEvent>
#include <QPainter>

TPvImage::TPvImage(QWidget* parent) : QWidget(parent)
{
    // The control answers for all of its area: the window's background is not painted under it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
}

TPvImage::~TPvImage() = default;

void TPvImage::SetAutoZoom(bool value)
{
    FAutoZoom = value;
    update();
}

void TPvImage::BitmapChanged()
{
    if (FBitmap.IsEmpty()) {
        FImage = QImage();
        update();
        return;
    }
    if (FImage.width() != FBitmap.Width || FImage.height() != FBitmap.Height)
        FImage = QImage(FBitmap.Width, FBitmap.Height, QImage::Format_RGB32);
    if (FImage.isNull()) { // out of memory: show nothing rather than fail
        update();
        return;
    }
    for (int y = 0; y < FBitmap.Height; ++y) {
        const std::uint8_t* src = FBitmap.Row(y);
        auto* dst = reinterpret_cast<QRgb*>(FImage.scanLine(y));
        for (int x = 0; x < FBitmap.Width; ++x, src += 3)
            dst[x] = qRgb(src[0], src[1], src[2]);
    }
    update();
}

QRect TPvImage::ImageRect() const
{
    return ViewerGeometry::ZoomRect(size(), QSize(FBitmap.Width, FBitmap.Height));
}

void TPvImage::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QColor background = palette().color(backgroundRole());
    if (!FAutoZoom || FImage.isNull()) {
        painter.fillRect(event->rect(), background);
        return;
    }
    const QRect target = ImageRect();
    // The margins around the picture show the window's background.
    const int w = width();
    const int h = height();
    if (target.top() > 0)
        painter.fillRect(0, 0, w, target.top(), background);
    if (target.bottom() < h - 1)
        painter.fillRect(0, target.bottom() + 1, w, h - target.bottom() - 1, background);
    if (target.left() > 0)
        painter.fillRect(0, target.top(), target.left(), target.height(), background);
    if (target.right() < w - 1)
        painter.fillRect(target.right() + 1, target.top(), w - target.right() - 1, target.height(),
                         background);
    // Nearest-neighbour stretch of the whole bitmap: smoothing stays off.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(target, FImage, FImage.rect());
}
