#include "core/rules/MosaicGeometry.h"

#include "core/rules/CamHint.h"

#include <gtest/gtest.h>

using namespace MosaicGeometry;

TEST(MosaicGeometry, RowsAndCellSizes)
{
    EXPECT_EQ(RowCount(0), 1); // an empty catalogue keeps one row
    EXPECT_EQ(RowCount(6), 1);
    EXPECT_EQ(RowCount(7), 2);
    // Columns of 66 and 70 pixels: rows of 49.5 -> 50 and 52.5 -> 52 (ties to even).
    EXPECT_EQ(CellSize(20 + 6 * 66), QSize(66, 50));
    EXPECT_EQ(CellSize(20 + 6 * 70 + 5), QSize(70, 52));
    EXPECT_EQ(CellSize(10), QSize(0, 0));
}

TEST(MosaicGeometry, FitRectFitsCentresAndRoundsInsets)
{
    struct Row
    {
        QRect box;
        QSize picture;
        QRect fit;
    };
    const Row rows[] = {
        // 4:3 into 4:3: the whole box, enlarged as well as reduced
        {{0, 0, 120, 90}, {640, 480}, {0, 0, 120, 90}},
        {{0, 0, 120, 90}, {32, 24}, {0, 0, 120, 90}},
        // 16:9: 120 x 67.5 -> 68 (ties to even), inset (90 - 68) div 2 = 11
        {{0, 0, 120, 90}, {1920, 1080}, {0, 11, 120, 68}},
        // an odd remainder: 59 of 62 leaves insets of 1, the picture drawn 60 wide
        {{4, 4, 62, 44}, {320, 240}, {5, 4, 60, 44}},
        // tall: 90 high, 45 wide, centred
        {{0, 0, 120, 90}, {100, 200}, {37, 0, 46, 90}},
        // nothing to fit, or no room
        {{0, 0, 120, 90}, {0, 10}, {}},
        {{0, 0, 0, 90}, {10, 10}, {}},
    };
    for (const Row& r : rows)
        EXPECT_EQ(FitRect(r.box, r.picture), r.fit)
            << r.picture.width() << "x" << r.picture.height();
    // A cell keeps a 4-pixel frame; one too small for it draws no picture.
    EXPECT_EQ(CellPictureRect({10, 20, 70, 52}, {400, 100}), QRect(14, 38, 62, 16));
    EXPECT_TRUE(CellPictureRect({0, 0, 8, 30}, {4, 3}).isEmpty());
}

TEST(MosaicGeometry, RecentMeansLessThanAMinuteEitherWay)
{
    EXPECT_TRUE(RecentlyUpdated(1000, true, 1059));
    EXPECT_TRUE(RecentlyUpdated(1059, true, 1000)); // a webcam clock ahead of ours
    EXPECT_FALSE(RecentlyUpdated(1000, true, 1060));
    EXPECT_FALSE(RecentlyUpdated(1000, false, 1000));
}

TEST(CamHint, ReplacesEachMarkerOnceInOrderAndMatchingCase)
{
    EXPECT_EQ(CamHintText("%name% and %name%, %NAME%: %url% %email% %home% %date%", "Port", "u",
                          "e", "h", "d"),
              "Port and %name%, %NAME%: u e h d");
    // Replaced in order: a name that holds a later marker has it replaced in turn.
    EXPECT_EQ(CamHintText("%name%|%url%", "a %url%", "x", "", "", ""), "a x|%url%");

    const QLocale c = QLocale::c();
    EXPECT_EQ(CamHintDate({}, c), QString());
    const QDateTime midnight(QDate(2024, 3, 5), QTime(0, 0));
    EXPECT_EQ(CamHintDate(midnight, c), c.toString(midnight.date(), QLocale::ShortFormat));
    const QDateTime later(QDate(2024, 3, 5), QTime(0, 0, 1));
    EXPECT_TRUE(
        CamHintDate(later, c).startsWith(c.toString(later.date(), QLocale::ShortFormat) + ' '));
    EXPECT_TRUE(CamHintDate(later, c).contains("00:00:01"));
}
