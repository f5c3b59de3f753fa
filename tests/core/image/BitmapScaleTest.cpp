#include "core/image/BitmapScale.h"

#include <gtest/gtest.h>

using BitmapScale::TFitSize;

TEST(BitmapScale, FitSize)
{
    struct Row
    {
        int w, h, boxW, boxH;
        TFitSize fit;
    };
    const Row rows[] = {
        {1920, 1080, 480, 270, {480, 270}}, {1920, 1080, 160, 120, {160, 90}}, // width limits
        {1080, 1920, 160, 120, {68, 120}}, // height limits, 67.5 rounds up
        {640, 480, 640, 480, {640, 480}},  // fits exactly
        {320, 240, 640, 480, {320, 240}},  // never enlarged
        {641, 480, 640, 480, {640, 479}},  // 479.25
        {10000, 1, 100, 100, {100, 1}},    // at least one pixel
        {1, 10000, 100, 100, {1, 100}},     {0, 10, 100, 100, {0, 0}},
        {10, 10, 0, 100, {0, 0}},           {60000, 60000, 7, 5, {5, 5}},
    };
    for (const Row& r : rows) {
        const TFitSize got = BitmapScale::FitSize(r.w, r.h, r.boxW, r.boxH);
        EXPECT_EQ(got, r.fit) << r.w << "x" << r.h << " in " << r.boxW << "x" << r.boxH << " gave "
                              << got.Width << "x" << got.Height;
    }
}

TEST(BitmapScale, AreaAveraging)
{
    // 4 x 2 picture: left half black/white checks (mean 127.5), right half pure red.
    TBitmap source(4, 2);
    const std::uint8_t white[3] = {255, 255, 255};
    const std::uint8_t red[3] = {200, 10, 0};
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 4; ++x) {
            std::uint8_t* p = source.Row(y) + x * 3;
            const std::uint8_t* c = x >= 2 ? red : ((x + y) % 2 ? white : nullptr);
            for (int k = 0; k < 3; ++k)
                p[k] = c ? c[k] : 0;
        }
    }
    const TBitmap half = BitmapScale::ScaleToFit(source, 2, 2);
    ASSERT_EQ(half.Width, 2);
    ASSERT_EQ(half.Height, 1);
    EXPECT_EQ(half.Stride, 8);
    const std::uint8_t* p = half.Row(0);
    EXPECT_EQ(p[0], 128);
    EXPECT_EQ(p[1], 128);
    EXPECT_EQ(p[2], 128);
    EXPECT_EQ(p[3], 200);
    EXPECT_EQ(p[4], 10);
    EXPECT_EQ(p[5], 0);

    // Uneven blocks: 5 columns into 2 take 2 and 3 source columns.
    TBitmap ramp(5, 1);
    for (int x = 0; x < 5; ++x)
        ramp.Row(0)[x * 3] = static_cast<std::uint8_t>(x * 10);
    const TBitmap two = BitmapScale::ScaleToFit(ramp, 2, 1);
    ASSERT_EQ(two.Width, 2);
    EXPECT_EQ(two.Row(0)[0], 5);  // (0 + 10) / 2
    EXPECT_EQ(two.Row(0)[3], 30); // (20 + 30 + 40) / 3

    // A picture that fits is returned unchanged; an empty one stays empty.
    const TBitmap same = BitmapScale::ScaleToFit(source, 10, 10);
    EXPECT_EQ(same.Pixels, source.Pixels);
    EXPECT_TRUE(BitmapScale::ScaleToFit(TBitmap(), 10, 10).IsEmpty());
}
