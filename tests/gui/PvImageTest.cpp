#include "viewer/PvImage.h"

#include <QImage>
#include <gtest/gtest.h>

namespace {
QImage renderOf(TPvImage& control)
{
    QImage surface(control.size(), QImage::Format_RGB32);
    surface.fill(Qt::green); // anything the control leaves alone stays green
    control.render(&surface, QPoint(), QRegion(), QWidget::RenderFlags());
    return surface;
}
} // namespace

TEST(PvImage, StretchesWithoutSmoothingIntoTheCentredRectangle)
{
    TPvImage control;
    QPalette pal = control.palette();
    pal.setColor(QPalette::Window, QColor(10, 20, 30));
    control.setPalette(pal);
    control.resize(300, 100);
    control.Bitmap().Resize(2, 1);
    std::uint8_t* row = control.Bitmap().Row(0);
    row[0] = 255; row[1] = 0; row[2] = 0;   // red
    row[3] = 0; row[4] = 0; row[5] = 255;   // blue
    control.BitmapChanged();

    // AutoZoom off: the picture is not drawn, the area shows the background.
    QImage off = renderOf(control);
    EXPECT_EQ(off.pixel(150, 50), qRgb(10, 20, 30));

    control.SetAutoZoom(true);
    EXPECT_EQ(control.ImageRect(), QRect(50, 0, 200, 100));
    const QImage on = renderOf(control);
    struct Probe { int x; QRgb colour; };
    for (const Probe& p : {Probe{10, qRgb(10, 20, 30)}, Probe{50, qRgb(255, 0, 0)},
                           Probe{149, qRgb(255, 0, 0)}, Probe{150, qRgb(0, 0, 255)},
                           Probe{249, qRgb(0, 0, 255)}, Probe{250, qRgb(10, 20, 30)},
                           Probe{299, qRgb(10, 20, 30)}})
        for (int y : {0, 50, 99})
            EXPECT_EQ(on.pixel(p.x, y), p.colour) << p.x << "," << y;

    // A new picture of another size is taken in place.
    control.Bitmap().Resize(1, 2);
    control.BitmapChanged();
    EXPECT_EQ(control.ImageRect(), QRect(125, 0, 50, 100));
    EXPECT_EQ(renderOf(control).pixel(150, 75), qRgb(0, 0, 0));

    // An empty bitmap draws nothing but the background.
    control.Bitmap().Resize(0, 0);
    control.BitmapChanged();
    EXPECT_EQ(renderOf(control).pixel(150, 50), qRgb(10, 20, 30));
}
