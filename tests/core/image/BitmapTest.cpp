#include "core/image/Bitmap.h"

#include <gtest/gtest.h>

TEST(Bitmap, RowsArePaddedToFourBytes)
{
    struct Row { int width; int stride; };
    for (const Row& r : {Row{1, 4}, Row{2, 8}, Row{4, 12}, Row{101, 304}, Row{640, 1920}}) {
        TBitmap b(r.width, 3);
        EXPECT_EQ(b.Stride, r.stride) << r.width;
        EXPECT_EQ(b.Pixels.size(), static_cast<size_t>(r.stride) * 3);
        EXPECT_EQ(b.Row(2) - b.Row(0), 2 * r.stride);
    }
    EXPECT_TRUE(TBitmap().IsEmpty());
    EXPECT_TRUE(TBitmap(0, 5).IsEmpty());
    EXPECT_FALSE(TBitmap(1, 1).IsEmpty());
}
