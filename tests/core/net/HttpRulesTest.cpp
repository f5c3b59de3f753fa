// Pure rules of the fetch layer: the countdown step, Last-Modified dates, the unchanged-image test
// and the thumbnail thread's skipping of failing webcams.
#include "core/net/ClassHttp.h"
#include "core/net/ClassHttpClient.h"
#include "core/net/ClassMire.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

TEST(CountdownTest, OneSecondLater)
{
    struct TRow
    {
        int Countdown, Interval, Expected;
    };
    const TRow rows[] = {
        {5, 5, 4},    // plain step
        {1, 5, 0},    // last step
        {58, 60, 57}, // interval unchanged
        {58, 5, 4},   // lowered: the wait shortens at once
        {4, 60, 3},   // raised: this wait is not lengthened
        {10, 0, -1},  // lowered to 0: ends with -1
        {10, -1, -2}, // lowered below 0
        {3, 3, 2},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(testing::Message() << row.Countdown << " " << row.Interval);
        EXPECT_EQ(CountdownAfterSecond(row.Countdown, row.Interval), row.Expected);
    }
}

TEST(HttpDateTest, ParsesTheThreeHttpFormsAsLocalTime)
{
    const QDateTime expected = QDateTime(QDate(1994, 11, 6), QTime(8, 49, 37), Qt::UTC);
    for (const char* text : {"Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT",
                             "Sun Nov  6 08:49:37 1994", "  Sun, 06 Nov 1994 08:49:37 GMT  "}) {
        SCOPED_TRACE(text);
        const QDateTime parsed = ParseHttpDate(text);
        ASSERT_TRUE(parsed.isValid());
        EXPECT_EQ(parsed.timeSpec(), Qt::LocalTime);
        EXPECT_EQ(parsed.toSecsSinceEpoch(), expected.toSecsSinceEpoch());
    }
    for (const char* text : {"", "   ", "yesterday", "not a date at all", "Sun, 99 Foo"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(ParseHttpDate(text).isValid());
    }
}

TEST(HttpDateTest, AbsentDatesEqualOnlyEachOther)
{
    const QDateTime absent;
    const QDateTime a = QDateTime::fromSecsSinceEpoch(1700000000);
    const QDateTime sameInstantUtc = QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC);
    const QDateTime b = QDateTime::fromSecsSinceEpoch(1700000001);
    const QDateTime epoch = QDateTime::fromSecsSinceEpoch(0);
    struct TRow
    {
        QDateTime Left, Right;
        bool Same;
    };
    const TRow rows[] = {
        {absent, absent, true},    {absent, a, false}, {a, absent, false},     {a, a, true},
        {a, sameInstantUtc, true}, {a, b, false},      {absent, epoch, false},
    };
    for (const TRow& row : rows) {
        EXPECT_EQ(SameHttpDate(row.Left, row.Right), row.Same)
            << row.Left.toString().toStdString() << " / " << row.Right.toString().toStdString();
    }
}

TEST(SameImageTest, AResponseWithoutDateOrLengthIsNeverUnchanged)
{
    const QDateTime absent;
    const QDateTime date = QDateTime::fromSecsSinceEpoch(1700000000);
    const auto headers = [](QDateTime lastModified, qint64 length) {
        THttpHeaders h;
        h.Status = 200;
        h.LastModified = lastModified;
        h.ContentLength = length;
        return h;
    };
    // Nothing to compare: read in full, even against a last image that had nothing either.
    EXPECT_FALSE(SameImage(headers(absent, -1), absent, -1));
    EXPECT_FALSE(SameImage(headers(absent, -1), date, 500));
    // One of the two is enough to compare; both must match.
    EXPECT_TRUE(SameImage(headers(absent, 500), absent, 500));
    EXPECT_TRUE(SameImage(headers(date, -1), date, -1));
    EXPECT_TRUE(SameImage(headers(date, 500), date, 500));
    EXPECT_FALSE(SameImage(headers(date, 501), date, 500));
    EXPECT_FALSE(SameImage(headers(date, 500), absent, 500));
    EXPECT_FALSE(SameImage(headers(absent, 500), date, 500));
    // The chooser's values (no date, 0) only match an undated empty body.
    EXPECT_TRUE(SameImage(headers(absent, 0), absent, 0));
    EXPECT_FALSE(SameImage(headers(absent, -1), absent, 0));
}

TEST(MireBackoffTest, AFailingWebcamSitsOutDoublingRoundsUntilItAnswers)
{
    TMireBackoff backoff;
    const auto t0 = TMireBackoff::TClock::now();
    const QString cam = QStringLiteral("http://127.0.0.1:9/a.jpg");
    const QString other = QStringLiteral("http://127.0.0.1:9/b.jpg");
    // Fail at every attempt and note the rounds in which an attempt is made (1 s apart).
    std::vector<qint64> attempts;
    for (qint64 round = 1; round <= 40; ++round) {
        const auto now = t0 + std::chrono::seconds(round);
        if (backoff.Skip(cam, round, now))
            continue;
        attempts.push_back(round);
        backoff.Failed(cam, round, now);
    }
    // Sits out 1, 2, 4, 8, 16 rounds after the failures in a row.
    EXPECT_EQ(attempts, (std::vector<qint64>{1, 3, 6, 11, 20, 37}));
    // Others are not affected.
    EXPECT_FALSE(backoff.Skip(other, 38, t0 + 38s));
    // An answer ends the skipping at once.
    backoff.Succeeded(cam);
    EXPECT_FALSE(backoff.Skip(cam, 38, t0 + 38s));
    EXPECT_EQ(backoff.Failed(cam, 38, t0 + 38s), 1);
}

TEST(MireBackoffTest, LongRoundsOrManyFailuresNeverKeepAWebcamOutBeyondTheRetryTime)
{
    TMireBackoff backoff;
    backoff.RetryAfter = 60s;
    const auto t0 = TMireBackoff::TClock::now();
    const QString cam = QStringLiteral("http://127.0.0.1:9/a.jpg");
    for (int i = 0; i < 40; ++i) // far past any sensible number of rounds
        backoff.Failed(cam, 100, t0);
    EXPECT_TRUE(backoff.Skip(cam, 101, t0 + 59s));
    EXPECT_FALSE(backoff.Skip(cam, 101, t0 + 60s));
    // Rounds that take long (many webcams): still retried after 60 s, not after N rounds.
    TMireBackoff slow;
    slow.Failed(cam, 1, t0);
    slow.Failed(cam, 2, t0);
    slow.Failed(cam, 3, t0); // sits out 4 rounds
    EXPECT_TRUE(slow.Skip(cam, 4, t0 + 30s));
    EXPECT_FALSE(slow.Skip(cam, 5, t0 + 61s));
}

} // namespace
