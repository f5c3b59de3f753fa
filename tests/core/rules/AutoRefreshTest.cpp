#include "core/rules/AutoRefresh.h"

#include <gtest/gtest.h>

namespace {

std::vector<qint64> Every(qint64 period, int count, qint64 from = 1700000000)
{
    std::vector<qint64> times;
    for (int i = 0; i < count; ++i)
        times.push_back(from + i * period);
    return times;
}

TEST(AutoRefreshTest, IntervalLearnedFromTheChanges)
{
    struct TRow
    {
        const char* Name;
        std::vector<qint64> Changes;
        qint64 QuietFor;
        int Expected;
    };
    std::vector<qint64> paceChange = Every(2, 11);
    for (qint64 t : Every(60, 9, paceChange.back() + 60))
        paceChange.push_back(t);
    const TRow rows[] = {
        {"nothing known yet", {}, -1, 7},
        {"every 30 s", Every(30, 4), 5, 10},
        {"every 5 minutes, capped at the longest choice", Every(300, 4), 5, 60},
        {"every 2 s, floored at one second", Every(2, 6), 0, 1},
        {"an update missed", {0, 9, 18, 36, 45}, 1, 3},
        {"jitter", {0, 29, 61, 90, 119}, 2, 10},
        {"an even count of gaps takes the shorter middle one", {0, 30, 70}, 0, 10},
        {"repeated and earlier dates ignored", {0, 30, 30, 20, 60, 90}, 0, 10},
        {"one image, quiet for a minute and a half", {1700000000}, 90, 30},
        {"stopped: quiet for ten minutes", Every(30, 4), 600, 60},
        {"slowed to 60 s: the old pace forgotten", paceChange, 0, 20},
        {"only dates that never move", {5, 5, 5}, -1, 7},
    };
    for (const TRow& row : rows)
        EXPECT_EQ(AutoRefresh::Interval(row.Changes, row.QuietFor, 7), row.Expected) << row.Name;
}

TEST(AutoRefreshTest, LearnerCountsOnlyImagesThatChanged)
{
    // A webcam without dates whose image is fetched every 10 s and changes every 30 s: the same
    // bytes again are no change.
    AutoRefresh::TLearner bare;
    for (qint64 now = 0; now <= 120; now += 10)
        bare.Delivered({}, size_t(1 + now / 30), 1000 + now);
    EXPECT_EQ(bare.Changes(), (std::vector<qint64>{1000, 1030, 1060, 1090, 1120}));
    EXPECT_EQ(bare.Interval(1125, 7), 10);

    // A dated webcam: its own dates count, not when the images came; a new date is a change even
    // with the same bytes.
    AutoRefresh::TLearner dated;
    const QDateTime t0 = QDateTime::fromSecsSinceEpoch(1700000000);
    dated.Delivered(t0, 1, 5000);
    dated.Delivered(t0.addSecs(60), 1, 5075);
    dated.Delivered(t0.addSecs(60), 1, 5080); // the same image delivered again
    dated.Delivered(t0.addSecs(120), 2, 5130);
    EXPECT_EQ(dated.Changes(), (std::vector<qint64>{1700000000, 1700000060, 1700000120}));
    EXPECT_EQ(dated.Interval(5140, 7), 20);
    EXPECT_EQ(dated.Interval(5130 + 3600, 7), 60); // quiet for an hour

    AutoRefresh::TLearner empty;
    EXPECT_EQ(empty.Interval(0, 7), 7);
}

} // namespace
