#include "core/image/Thumbnail.h"

#include "core/image/BitmapScale.h"
#include "core/image/JpegCodec.h"

#include <gtest/gtest.h>

namespace {
// Left half red, right half blue.
TBitmap halves(int width, int height)
{
    TBitmap b(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = b.Row(y) + x * 3;
            p[0] = x < width / 2 ? 255 : 0;
            p[2] = x < width / 2 ? 0 : 255;
        }
    return b;
}
} // namespace

TEST(Thumbnail, LargeAndSmallPicturesComeOutAtTheFittedSizeWithTheirContent)
{
    struct Row
    {
        QSize picture;
        QSize box;
        QSize made;
    };
    // 1080p into 120 x 90 (decoded at 1/8, then scaled); a small one enlarged; a wide one.
    for (const Row& r :
         {Row{{1920, 1080}, {120, 90}, {120, 68}}, Row{{40, 30}, {120, 90}, {120, 90}},
          Row{{400, 100}, {62, 44}, {62, 16}}}) {
        SCOPED_TRACE(r.picture.width());
        const QByteArray jpeg = JpegCodec::Encode(halves(r.picture.width(), r.picture.height()));
        TBitmap made;
        QSize source;
        ASSERT_TRUE(Thumbnail::Make(jpeg, r.box, made, &source));
        EXPECT_EQ(QSize(made.Width, made.Height), r.made);
        EXPECT_EQ(source, r.picture);
        const std::uint8_t* left = made.Row(made.Height / 2) + 2 * 3;
        const std::uint8_t* right = made.Row(made.Height / 2) + (made.Width - 3) * 3;
        EXPECT_GT(left[0], 200);
        EXPECT_LT(left[2], 60);
        EXPECT_GT(right[2], 200);
        EXPECT_LT(right[0], 60);
    }
}

TEST(Thumbnail, UnreadableDataOrNoRoomGivesNothing)
{
    TBitmap made(5, 5);
    EXPECT_FALSE(Thumbnail::Make("not a jpeg", {120, 90}, made));
    EXPECT_TRUE(made.IsEmpty());
    QByteArray cut = JpegCodec::Encode(halves(64, 48));
    cut.truncate(cut.size() / 2);
    EXPECT_FALSE(Thumbnail::Make(cut, {120, 90}, made));
    EXPECT_FALSE(Thumbnail::Make(JpegCodec::Encode(halves(64, 48)), {0, 90}, made));
}

TEST(BitmapScale, ResampleKeepsAFlatColourWhenEnlargingOrReducing)
{
    TBitmap flat(7, 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) {
            flat.Row(y)[x * 3] = 10;
            flat.Row(y)[x * 3 + 1] = 200;
            flat.Row(y)[x * 3 + 2] = 90;
        }
    for (QSize size : {QSize(3, 2), QSize(29, 17), QSize(7, 9)}) {
        const TBitmap out = BitmapScale::Resample(flat, size.width(), size.height());
        ASSERT_EQ(out.Width, size.width());
        ASSERT_EQ(out.Height, size.height());
        for (int y = 0; y < out.Height; ++y)
            for (int x = 0; x < out.Width; ++x)
                ASSERT_EQ(out.Row(y)[x * 3 + 1], 200) << x << "," << y;
    }
    EXPECT_TRUE(BitmapScale::Resample(TBitmap(), 3, 3).IsEmpty());
}
