// On a screen that scales (device pixel ratio 2), pictures are held and drawn at the screen's
// pixels: a viewer decodes for its area times the ratio, the chooser's thumbnails and the mosaic's
// cells are made at twice their size and marked so. These tests run in the ctest entry gui.hidpi,
// which starts the widget tests at QT_SCALE_FACTOR=2; elsewhere they are skipped.
#include "TestHttpServer.h"
#include "ThreadTestUtil.h"
#include "base/Window.h"
#include "core/catalog/Settings.h"
#include "core/catalog/Strings.h"
#include "core/image/JpegCodec.h"
#include "core/io/Worker.h"
#include "core/rules/MosaicGeometry.h"
#include "mosaic/DrawGrid.h"
#include "mosaic/FormChoose.h"
#include "mosaic/FormMire.h"
#include "mosaic/ThumbnailTick.h"
#include "viewer/FormViewer.h"
#include "viewer/PvImage.h"

#include <QAction>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

// Black up to column `edge`, white from there: a hard edge that a picture scaled up blurs.
QByteArray edgeJpeg(int width, int height, int edge)
{
    TBitmap bitmap(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            std::fill_n(bitmap.Row(y) + x * 3, 3, x < edge ? 0 : 255);
    return JpegCodec::Encode(bitmap, 95);
}

// The largest step of grey between neighbours along the middle row.
int SharpestStep(const QImage& image)
{
    int step = 0;
    const int y = image.height() / 2;
    for (int x = 1; x < image.width(); ++x)
        step = std::max(step, std::abs(qGray(image.pixel(x, y)) - qGray(image.pixel(x - 1, y))));
    return step;
}

class HiDpiTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Ratio = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble();
        if (Ratio < 2)
            GTEST_SKIP() << "runs at QT_SCALE_FACTOR=2 (ctest gui.hidpi)";
        ASSERT_TRUE(Dir.isValid());
        Settings.OptionsPath = Dir.filePath("Options.xml");
        Settings.Status = true;
        CamViewer = &Settings;
        RestoreMessageDefaults();
        SetThumbnailTickMilliseconds(10);
        TCamCategory* category = Settings.Root.Categories.Add();
        category->Name = QStringLiteral("Edges");
        TCamWebcam* webcam = category->Webcams.Add();
        webcam->Name = QStringLiteral("edge");
        webcam->Url = Server.Url(QStringLiteral("/edge.jpg"));
    }
    void TearDown() override
    {
        for (TSForm* form : TFormList::Of<TSForm>())
            delete form;
        CamViewer = nullptr;
        EXPECT_TRUE(PumpUntil([] { return FeedsIdle(); }, 15000));
    }

    qreal Ratio = 1;
    QTemporaryDir Dir;
    TCamViewer Settings;
    // 240 x 180, the edge after column 121: a thumbnail at 2x holds it unscaled.
    TTestHttpServer Server{[](const TTestRequest&) {
        TTestResponse r;
        r.Body = edgeJpeg(240, 180, 121).toStdString();
        return r;
    }};
};

TEST_F(HiDpiTest, ViewerDecodesForItsAreaInDevicePixels)
{
    auto* viewer = CreateForm<TfoViewer>();
    ASSERT_EQ(viewer->devicePixelRatioF(), Ratio);
    TCamWebcam cam;
    cam.Name = QStringLiteral("big");
    cam.Url = QStringLiteral("http://127.0.0.1:9/big.jpg");
    cam.Refresh = 3600;
    viewer->SetupWebcam(cam, false);
    const QByteArray big = edgeJpeg(1280, 960, 641);
    viewer->ImageArrived(big);
    viewer->findChild<QAction*>("act300x200")->trigger();
    viewer->ImageArrived(big);
    // About 300 x 180 pixels of picture area: 600 x 360 device pixels, so the reduced decode at
    // a half (640 x 480), where a decode for the pixels of the area would take a quarter.
    const auto* image = viewer->findChild<TPvImage*>("CamImage");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(viewer->PictureSize(), QSize(640, 480));
    EXPECT_GE(viewer->PictureSize().width(), image->width() * Ratio);
    EXPECT_GE(viewer->PictureSize().height(), image->height() * Ratio);
}

TEST_F(HiDpiTest, ChooserThumbnailAndMosaicCellHoldDevicePixels)
{
    auto* chooser = CreateForm<TfoChoose>();
    chooser->show();
    ASSERT_EQ(chooser->devicePixelRatioF(), Ratio);
    auto* tree = chooser->findChild<QTreeWidget*>("CamTree");
    tree->setCurrentItem(tree->findItems("Edges", Qt::MatchExactly | Qt::MatchRecursive).value(0));
    ASSERT_TRUE(PumpUntil([&] { return chooser->CamImages().size() == 1; }));
    const QPixmap thumb = chooser->CamImages().first();
    EXPECT_EQ(thumb.devicePixelRatio(), Ratio);
    EXPECT_EQ(thumb.size(), QSize(240, 180));
    EXPECT_EQ(thumb.deviceIndependentSize().toSize(), QSize(120, 90));
    // The edge stays one device pixel wide: the picture was not made at 120 x 90 and scaled up.
    EXPECT_GT(SharpestStep(thumb.toImage()), 180);

    auto* mosaic = CreateForm<TfoMire>();
    mosaic->show();
    ASSERT_TRUE(PumpUntil([&] { return !mosaic->CellImage(0).isNull(); }));
    const auto* grid = mosaic->findChild<TDrawGrid*>("CamGrid");
    const QSize cell(grid->DefaultColWidth(), grid->DefaultRowHeight());
    const QSize box = MosaicGeometry::CellPictureBox(cell) * Ratio;
    const QImage& picture = mosaic->CellImage(0);
    EXPECT_EQ(picture.devicePixelRatio(), Ratio);
    EXPECT_EQ(picture.size(), MosaicGeometry::FitRect(QRect(QPoint(0, 0), box), {240, 180}).size());
}

} // namespace
