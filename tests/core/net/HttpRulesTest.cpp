// Pure rules of the fetch layer: the countdown step, Last-Modified dates and the thumbnail thread's
// skipping of failing webcams.
#include "core/net/HttpClient.h"
#include "core/net/ThumbnailFeed.h"
#include "core/net/ViewerFeed.h"

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
    // What we send back in If-Modified-Since reads as the same instant, whatever its time zone.
    EXPECT_EQ(FormatHttpDate(expected.toLocalTime()), "Sun, 06 Nov 1994 08:49:37 GMT");
    EXPECT_TRUE(FormatHttpDate({}).isEmpty());
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

TEST(HttpHeaderLineTest, ReadsTheHeadersTheClientUsesAndStartsOverAtEachStatusLine)
{
    THttpHeaders h;
    for (const char* line :
         {"HTTP/1.1 100 Continue\r\n", "ETag: \"early\"\r\n", "HTTP/1.1 200 Fine Thanks\r\n",
          "content-length:  42 \r\n", "Content-Lengthy: 7\r\n",
          "LAST-MODIFIED: Sun, 06 Nov 1994 08:49:37 GMT", "Content-Type: image/jpeg\r\n",
          "no colon at all\r\n"})
        EXPECT_TRUE(ReadHttpHeaderLine(line, h)) << line;
    EXPECT_FALSE(ReadHttpHeaderLine("\r\n", h));
    EXPECT_EQ(h.Status, 200);
    EXPECT_EQ(h.Reason, "Fine Thanks");
    EXPECT_TRUE(h.ETag.isEmpty()); // it came with the interim response
    EXPECT_EQ(h.ContentLength, 42);
    EXPECT_EQ(h.LastModifiedText, "Sun, 06 Nov 1994 08:49:37 GMT");
    EXPECT_EQ(h.ContentType, "image/jpeg");
    EXPECT_FALSE(h.HasLocation);

    // Values that cannot be used are as good as missing.
    for (const char* line : {"Content-Length: -1", "Content-Length: 12abc", "Content-Length:"}) {
        THttpHeaders bad;
        bad.ContentLength = 5;
        ReadHttpHeaderLine(line, bad);
        EXPECT_EQ(bad.ContentLength, -1) << line;
    }
    THttpHeaders date;
    ReadHttpHeaderLine("Last-Modified: yesterday", date);
    EXPECT_FALSE(date.LastModified.isValid());
    EXPECT_TRUE(date.LastModifiedText.isEmpty());
    THttpHeaders moved;
    ReadHttpHeaderLine("HTTP/1.0 302", moved);
    ReadHttpHeaderLine("Location:  /else where\r\n", moved);
    EXPECT_EQ(moved.Status, 302);
    EXPECT_TRUE(moved.HasLocation);
    EXPECT_EQ(moved.Location, "/else where");
}

TEST(MireBackoffTest, FailingWebcamSitsOutDoublingRoundsButNeverLongerThanTheRetryTime)
{
    TMireBackoff backoff;
    const auto t0 = TMireBackoff::TClock::now();
    const QString cam = QStringLiteral("http://127.0.0.1:9/a.jpg");
    // Rounds a second apart, every attempt fails: 1, 2, 4, ..., 32 rounds sat out; the next 64
    // would be more than 60 s.
    std::vector<qint64> attempts;
    for (qint64 round = 1; round <= 140; ++round) {
        const auto now = t0 + std::chrono::seconds(round);
        if (!backoff.Skip(cam, round, now)) {
            attempts.push_back(round);
            backoff.Failed(cam, round, now);
        }
    }
    EXPECT_EQ(attempts, (std::vector<qint64>{1, 3, 6, 11, 20, 37, 70, 130}));
    EXPECT_FALSE(backoff.Skip(QStringLiteral("http://127.0.0.1:9/b.jpg"), 141, t0 + 141s));
    backoff.Succeeded(cam); // an answer ends the skipping at once
    EXPECT_FALSE(backoff.Skip(cam, 141, t0 + 141s));
}

} // namespace
