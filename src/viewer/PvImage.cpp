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

TPicture TPvImage::SetPicture(TPicture&& picture, QSize sourceSize)
{
    FImage = QImage(); // lets go of the old pixels before they are replaced
    TPicture previous = std::move(FPicture);
    FPicture = std::move(picture);
    if (FPicture.IsEmpty()) {
        FPicture = TPicture();
        FSourceSize = QSize(0, 0);
    } else {
        FSourceSize = sourceSize.isEmpty() ? QSize(FPicture.Width, FPicture.Height) : sourceSize;
        FImage = QImage(reinterpret_cast<const uchar*>(FPicture.Pixels.data()), FPicture.Width,
                        FPicture.Height, FPicture.Width * 4, QImage::Format_RGB32);
    }
    update();
    return previous;
}

QRect TPvImage::ImageRect() const
{
    return ViewerGeometry::ZoomRect(size(), FSourceSize);
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
