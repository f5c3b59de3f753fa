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
    TPicture picture;
    picture.Width = 2;
    picture.Height = 1;
    picture.Pixels = {0xffff0000u, 0xff0000ffu}; // red, blue
    control.SetPicture(std::move(picture));

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
    picture = TPicture();
    picture.Width = 1;
    picture.Height = 2;
    picture.Pixels = {0xff000000u, 0xff000000u};
    control.SetPicture(std::move(picture));
    EXPECT_EQ(control.ImageRect(), QRect(125, 0, 50, 100));
    EXPECT_EQ(renderOf(control).pixel(150, 75), qRgb(0, 0, 0));

    // A reduced picture of a larger image takes the place of the image's own proportions: a
    // 2 x 1 picture standing for a 400 x 100 image fills the width.
    picture = TPicture();
    picture.Width = 2;
    picture.Height = 1;
    picture.Pixels = {0xffff0000u, 0xff0000ffu};
    control.SetPicture(std::move(picture), QSize(400, 100));
    EXPECT_EQ(control.SourceSize(), QSize(400, 100));
    EXPECT_EQ(control.ImageRect(), QRect(0, 12, 300, 75));
    EXPECT_EQ(renderOf(control).pixel(10, 50), qRgb(255, 0, 0));
    EXPECT_EQ(renderOf(control).pixel(10, 5), qRgb(10, 20, 30));

    // An empty picture draws nothing but the background.
    control.SetPicture(TPicture());
    EXPECT_EQ(control.SourceSize(), QSize(0, 0));
    EXPECT_EQ(renderOf(control).pixel(150, 50), qRgb(10, 20, 30));
}
