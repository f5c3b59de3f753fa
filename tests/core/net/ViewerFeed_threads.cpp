// The viewer's feed on its own fetch engine, against servers on 127.0.0.1 that count
// connections, requests and body bytes.
#include "FeedTest.h"
#include "TestHttpServer.h"
#include "ThreadTestUtil.h"
#include "core/catalog/ProxySettings.h"
#include "core/net/ViewerFeed.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

// A webcam whose image changes with every request: new Last-Modified each time.
TTestResponse ChangingImage(const TTestRequest& request)
{
    TTestResponse r;
    r.Body = MakeBody(3000, char('a' + request.Number % 5));
    r.Headers = {{"Last-Modified", HttpDate(1700000000LL + request.Number)}};
    return r;
}

// What the viewer would see, in order. Recorded on the UI thread only.
struct TRecorder
{
    std::vector<std::string> Events;
    std::vector<int> Ticks;
    std::vector<QByteArray> Images;
    std::vector<QDateTime> ImageDates;
    std::vector<qint64> ImageLengths;
    std::vector<std::chrono::steady_clock::time_point> ImageTimes;
    int ProgressCalls = 0;
    qint64 LastReceived = 0;

    void Attach(THttpThread& t)
    {
        t.OnTick = [this](const TViewerTick& tick) {
            Ticks.push_back(tick.Countdown);
            Events.push_back("tick " + std::to_string(tick.Countdown));
        };
        t.OnProgress = [this](const TViewerProgress& progress) {
            ++ProgressCalls;
            LastReceived = progress.Received;
        };
        t.OnImage = [this](TViewerImage& image) {
            Images.push_back(image.Body);
            ImageDates.push_back(image.LastModified);
            ImageLengths.push_back(image.ContentLength);
            ImageTimes.push_back(std::chrono::steady_clock::now());
            Events.push_back("image");
        };
    }
};

class HttpThreadTest : public TFeedTest<THttpThread>
{
protected:
    void TearDown() override
    {
        TFeedTest::TearDown();
        PublishProxySettings({});
    }

    // The owner's way to stop: clear the slots, ask to terminate, forget. Then wait for the end so
    // that the next case starts clean.
    void Stop()
    {
        if (Thread) {
            Thread->ClearEvents();
            Thread.reset();
        }
        ASSERT_TRUE(PumpUntil([this] { return Engine->Tasks() == 0; }));
    }

    std::shared_ptr<THttpThread> Make(const QString& url, int interval, int tickMs = 2)
    {
        Thread = THttpThread::Create(Engine);
        Thread->Url = url;
        Thread->SetInterval(interval);
        Thread->Tick = std::chrono::milliseconds(tickMs);
        Recorder.Attach(*Thread);
        return Thread;
    }

    TRecorder Recorder;
};

TEST_F(HttpThreadTest, EachWaitIsTheIntervalCountedFromTheEndOfAFetch)
{
    struct TRow
    {
        int Interval;
        int Countdown; // of the schedule posted after the first image
    };
    const int tickMs = 15;
    // A negative interval at the start means 10.
    for (const TRow& row : {TRow{5, 5}, TRow{0, 0}, TRow{-1, 10}, TRow{1, 1}}) {
        SCOPED_TRACE(row.Interval);
        std::mutex mutex;
        std::vector<std::chrono::steady_clock::time_point> arrivals;
        TTestHttpServer server([&](const TTestRequest& request) {
            std::lock_guard lock(mutex);
            arrivals.push_back(std::chrono::steady_clock::now());
            return ChangingImage(request);
        });
        Recorder = TRecorder();
        Make(server.Url(), row.Interval, tickMs);
        Thread->Start();
        ASSERT_TRUE(PumpUntil([&] { return Recorder.Images.size() >= 2; }));
        EXPECT_EQ(Recorder.Events.front(), "image"); // the first fetch comes before any wait
        ASSERT_FALSE(Recorder.Ticks.empty());
        EXPECT_EQ(Recorder.Ticks.front(), row.Countdown);
        Stop();
        std::lock_guard lock(mutex);
        ASSERT_GE(arrivals.size(), 2u);
        EXPECT_GE(arrivals[1] - arrivals[0], std::chrono::milliseconds(row.Countdown * tickMs));
    }
}

TEST_F(HttpThreadTest, IntervalChangedDuringTheWait)
{
    const int tickMs = 20;
    // Lowered from 60 to 5 during the wait: the wait ends 5 ticks later at the latest.
    {
        TTestHttpServer server(ChangingImage);
        Make(server.Url(), 60, tickMs);
        std::vector<int> countdowns;
        Thread->OnTick = [&](const TViewerTick& tick) {
            countdowns.push_back(tick.Countdown);
            if (countdowns.size() == 1)
                Thread->SetInterval(5);
        };
        Thread->Start();
        ASSERT_TRUE(PumpUntil([&] { return Recorder.Images.size() >= 2; }, 5000));
        ASSERT_GE(countdowns.size(), 2u);
        EXPECT_EQ(countdowns[0], 60);
        EXPECT_LE(countdowns[1], 5); // the new end of the wait, posted at once
        EXPECT_LT(Recorder.ImageTimes[1] - Recorder.ImageTimes[0],
                  std::chrono::milliseconds(30 * tickMs));
        Stop();
    }
    // Raised from 5 to 60 during the wait: this wait is not lengthened, the next one is.
    {
        Recorder = TRecorder();
        TTestHttpServer server(ChangingImage);
        Make(server.Url(), 5, tickMs);
        Thread->OnTick = [&](const TViewerTick& tick) {
            Recorder.Ticks.push_back(tick.Countdown);
            if (Recorder.Ticks.size() == 1)
                Thread->SetInterval(60);
        };
        Thread->Start();
        ASSERT_TRUE(PumpUntil([&] { return Recorder.Ticks.size() >= 2; }, 5000));
        EXPECT_EQ(Recorder.Ticks, (std::vector<int>{5, 60}));
        EXPECT_EQ(Recorder.Images.size(), 2u);
        Stop();
    }
    // Lowered below zero during the wait: the next fetch comes at once.
    {
        Recorder = TRecorder();
        TTestHttpServer server(ChangingImage);
        Make(server.Url(), 3600, tickMs);
        Thread->OnTick = [&](const TViewerTick& tick) {
            Recorder.Ticks.push_back(tick.Countdown);
            if (Recorder.Ticks.size() == 1)
                Thread->SetInterval(-1);
        };
        Thread->Start();
        ASSERT_TRUE(PumpUntil([&] { return Recorder.Images.size() >= 2; }, 5000));
        EXPECT_EQ(Recorder.Ticks[1], 0);
        Stop();
    }
}

TEST_F(HttpThreadTest, TerminationDuringTheWaitEndsTheFeed)
{
    TTestHttpServer server(ChangingImage);
    Make(server.Url(), 5, 20);
    Thread->OnTick = [this](const TViewerTick& tick) {
        Recorder.Ticks.push_back(tick.Countdown);
        Thread->Terminate();
    };
    Thread->Start();
    ASSERT_TRUE(PumpUntil([&] { return !Recorder.Ticks.empty(); }));
    Thread.reset(); // the owner forgets it; it ends by itself
    ASSERT_TRUE(PumpUntil([this] { return Engine->Tasks() == 0; }));
    PumpFor(150);
    EXPECT_EQ(Recorder.Ticks, (std::vector<int>{5}));
    EXPECT_EQ(Recorder.Images.size(), 1u);
    EXPECT_EQ(server.Requests(), 1);
}

TEST_F(HttpThreadTest, TerminationDuringADownloadStillDeliversTheImageOnce)
{
    const std::string body = MakeBody(4096);
    TTestHttpServer server([&](const TTestRequest&) {
        TTestResponse r;
        r.Body = body;
        r.Mode = TTestResponse::Trickle;
        r.TrickleChunk = 512;
        r.TrickleDelayMs = 10;
        r.Headers = {{"Last-Modified", HttpDate(1700000000)}};
        return r;
    });
    Make(server.Url(), 0);
    std::vector<qint64> received;
    Thread->OnProgress = [&](const TViewerProgress& progress) {
        received.push_back(progress.Received);
        Thread->Terminate();
    };
    Thread->Start();
    ASSERT_TRUE(PumpUntil([this] { return Engine->Tasks() == 0 && Recorder.Images.size() == 1; }));
    PumpFor(50);
    ASSERT_EQ(Recorder.Images.size(), 1u);
    EXPECT_EQ(Recorder.Images[0], QByteArray::fromStdString(body));
    EXPECT_EQ(Recorder.ImageLengths[0], 4096);
    EXPECT_TRUE(Recorder.Ticks.empty());
    // The first report comes after the first piece; later ones (at most every ProgressStep, the
    // latest when the UI thread is behind) grow, and the last one has the whole length.
    ASSERT_GE(received.size(), 1u);
    EXPECT_GT(received.front(), 0);
    EXPECT_TRUE(std::is_sorted(received.begin(), received.end()));
    EXPECT_EQ(received.back(), 4096);
    EXPECT_EQ(server.Requests(), 1);
}

TEST_F(HttpThreadTest, ConnectionKeptUpToTwentySecondsAndClosedAbove)
{
    struct TRow
    {
        int Interval;
        bool Kept;
    };
    for (const TRow row : {TRow{20, true}, TRow{21, false}, TRow{0, true}}) {
        SCOPED_TRACE(row.Interval);
        TTestHttpServer server(ChangingImage);
        Recorder = TRecorder();
        Make(server.Url(), row.Interval, 1);
        Thread->Start();
        ASSERT_TRUE(PumpUntil([&] { return Recorder.Images.size() >= 3; }));
        Stop();
        EXPECT_GE(server.Requests(), 3);
        EXPECT_EQ(server.Connections(), row.Kept ? 1 : server.Requests());
    }
}

TEST_F(HttpThreadTest, UnchangedImageIsNotDownloadedAgainAndPausesASecond)
{
    const std::string body = MakeBody(5000);
    std::mutex mutex;
    std::vector<std::chrono::steady_clock::time_point> arrivals;
    TTestHttpServer server([&](const TTestRequest&) {
        {
            std::lock_guard lock(mutex);
            arrivals.push_back(std::chrono::steady_clock::now());
        }
        TTestResponse r;
        r.Body = body;
        r.Headers = {{"Last-Modified", HttpDate(1700000000)}};
        r.HeaderGapMs = 400; // the body follows only if the client keeps listening
        return r;
    });
    const int tickMs = 150;
    Make(server.Url(), 0, tickMs);
    Thread->Start();
    ASSERT_TRUE(PumpUntil([&] { return server.Requests() >= 4; }));
    Stop();

    EXPECT_EQ(Recorder.Images.size(), 1u);
    EXPECT_EQ(server.BodyBytes(), (long long)body.size()); // one body, however often it polled
    EXPECT_GE(server.Withheld(), 2);
    // The server was asked conditionally and ignored it; the headers told the same all the same.
    EXPECT_EQ(server.Log()[1].Headers.at("if-modified-since"), HttpDate(1700000000));
    std::lock_guard lock(mutex);
    // After an unchanged answer the thread pauses one (shortened) second before the next request.
    for (size_t i = 2; i < arrivals.size(); ++i)
        EXPECT_GE(arrivals[i] - arrivals[i - 1], std::chrono::milliseconds(tickMs - 5));
}

TEST_F(HttpThreadTest, StillWebcamAnswersNotModifiedOverOneConnection)
{
    // Version 1 for five requests, then version 2: two bodies in all, one connection, and a pause
    // of one (shortened) second after each 304.
    std::atomic<int> version{1};
    TTestHttpServer server([&](const TTestRequest& request) {
        if (request.Number == 6)
            version = 2;
        TTestResponse r;
        const std::string etag = "\"v" + std::to_string(version.load()) + "\"";
        r.Headers = {{"Last-Modified", HttpDate(1700000000LL + version)}, {"ETag", etag}};
        const auto match = request.Headers.find("if-none-match");
        if (match != request.Headers.end() && match->second == etag)
            r.Status = 304;
        else
            r.Body = MakeBody(4000, char('a' + version));
        return r;
    });
    const int tickMs = 40;
    Make(server.Url(), 0, tickMs);
    std::vector<TFailureKind> failures;
    Thread->OnTick = [&](const TViewerTick& tick) { failures.push_back(tick.LastFailure.Kind); };
    const auto start = std::chrono::steady_clock::now();
    Thread->Start();
    ASSERT_TRUE(PumpUntil([&] { return Recorder.Images.size() >= 2; }));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    Stop();
    EXPECT_GE(server.Requests(), 6); // one more may have gone out before the stop
    EXPECT_EQ(server.Connections(), 1);
    EXPECT_EQ(server.BodyBytes(), 8000);
    EXPECT_NE(Recorder.Images[0], Recorder.Images[1]);
    EXPECT_GE(elapsed, std::chrono::milliseconds(4 * tickMs)); // four 304s, a pause after each
    for (const TFailureKind kind : failures)
        EXPECT_EQ(kind, TFailureKind::None); // an unchanged image is no failure
}

TEST_F(HttpThreadTest, StreamPartsAreDeliveredAsTheyComeThenItReconnects)
{
    TTestHttpServer server([&](const TTestRequest&) {
        TTestResponse r;
        r.Mode = TTestResponse::Stream;
        for (char c = 'a'; c < 'f'; ++c)
            r.Parts.push_back(MakeBody(3000, c));
        r.PartDelayMs = 50; // more than PartGap: no part is replaced before the UI took it
        return r;
    });
    Make(server.Url(), 1, 200);
    std::vector<bool> streaming;
    Thread->OnImage = [&](TViewerImage& image) {
        Recorder.Images.push_back(image.Body);
        streaming.push_back(image.Streaming && image.FramesPerSecond >= 1);
    };
    Thread->Start();
    const QByteArray last = QByteArray::fromStdString(MakeBody(3000, 'e'));
    ASSERT_TRUE(PumpUntil(
        [&] { return std::count(Recorder.Images.begin(), Recorder.Images.end(), last) >= 2; }));
    const size_t seen = Recorder.Images.size();
    Stop();
    // Each part as it came, in order (a part may give way to a later one when the UI thread is
    // behind); the last part of each stream always arrives.
    char previous = 'a' - 1;
    int streams = 1;
    for (size_t i = 0; i < seen; ++i) {
        const char c = Recorder.Images[i].at(0);
        if (c <= previous)
            ++streams;
        previous = c;
        EXPECT_EQ(Recorder.Images[i], QByteArray::fromStdString(MakeBody(3000, c)));
    }
    EXPECT_EQ(streams, 2);
    EXPECT_EQ(streaming, std::vector<bool>(streaming.size(), true));
    EXPECT_EQ(server.Connections(), 2);   // after its end, the stream is asked for again
    EXPECT_EQ(Recorder.Ticks.front(), 1); // after the interval
}

TEST_F(HttpThreadTest, StreamThatStallsMidPartTimesOut)
{
    TTestHttpServer server([&](const TTestRequest&) {
        TTestResponse r;
        r.Mode = TTestResponse::Stream;
        r.Parts = {MakeBody(2000, 'a'), MakeBody(2000, 'b'), MakeBody(2000, 'c')};
        r.StallAfter = 2;
        return r;
    });
    Make(server.Url(), 3600);
    Thread->ReadTimeoutMs = 300;
    TFetchFailure failure;
    Thread->OnTick = [&](const TViewerTick& tick) { failure = tick.LastFailure; };
    Thread->Start();
    ASSERT_TRUE(PumpUntil([&] { return failure.Kind != TFailureKind::None; }, 10000));
    EXPECT_EQ(failure.Kind, TFailureKind::TimedOut);
    // The last whole part is shown, the half part never.
    ASSERT_FALSE(Recorder.Images.empty());
    EXPECT_EQ(Recorder.Images.back(), QByteArray::fromStdString(MakeBody(2000, 'b')));
}

TEST_F(HttpThreadTest, ResponseWithoutDateAndLengthIsReadEveryTime)
{
    // Such a webcam cannot say whether its image changed: taking it as unchanged would show its
    // first image for ever.
    TTestHttpServer server([&](const TTestRequest& request) {
        TTestResponse r;
        r.Body = MakeBody(2000, char('a' + request.Number % 5));
        r.Mode = TTestResponse::Close; // neither Last-Modified nor Content-Length
        r.HeaderGapMs = 400;
        return r;
    });
    Make(server.Url(), 0, 5);
    Thread->Start();
    ASSERT_TRUE(PumpUntil([&] { return Recorder.Images.size() >= 3; }));
    const int withheld = server.Withheld(); // Stop may end the fetch under way
    Stop();
    EXPECT_EQ(withheld, 0);
    EXPECT_NE(Recorder.Images[0], Recorder.Images[1]);
    EXPECT_FALSE(Recorder.ImageDates[0].isValid());
    EXPECT_EQ(Recorder.ImageLengths[0], -1);
}

TEST_F(HttpThreadTest, AFastBodyOfManyPiecesCostsTheUiThreadAFewProgressReports)
{
    // 128 KiB on loopback arrive in well over a hundred pieces within milliseconds.
    const std::string body = MakeBody(128 * 1024);
    TTestHttpServer server([&](const TTestRequest&) {
        TTestResponse r;
        r.Body = body;
        return r;
    });
    Make(server.Url(), 3600);
    Thread->Start();
    ASSERT_TRUE(PumpUntil([&] { return Recorder.Images.size() >= 1; }));
    Stop();
    // The first piece and the complete body at most, as one when the UI thread was behind.
    EXPECT_GE(Recorder.ProgressCalls, 1);
    EXPECT_LT(Recorder.ProgressCalls, 20);
    EXPECT_EQ(Recorder.LastReceived, qint64(body.size()));
}

TEST_F(HttpThreadTest, ProgressIsMeasuredAgainstTheCurrentResponsesLength)
{
    // The first download knows its length before any image was read; the second one is longer.
    TTestHttpServer server([&](const TTestRequest& request) {
        TTestResponse r;
        r.Body = MakeBody(request.Number == 1 ? 3000 : 5000);
        r.Mode = TTestResponse::Trickle;
        r.TrickleChunk = 1000;
        r.TrickleDelayMs = 2;
        r.Headers = {{"Last-Modified", HttpDate(1700000000LL + request.Number)}};
        return r;
    });
    Make(server.Url(), 0);
    std::vector<std::vector<std::pair<qint64, qint64>>> reports(1); // (Received, ExpectedLength)
    Thread->OnProgress = [&](const TViewerProgress& progress) {
        reports.back().emplace_back(progress.Received, progress.ExpectedLength);
    };
    Thread->OnImage = [&](TViewerImage&) { reports.emplace_back(); };
    Thread->Start();
    ASSERT_TRUE(PumpUntil([&] { return reports.size() >= 3; }));
    Stop();
    for (const qint64 size : {3000, 5000}) {
        const auto& image = reports[size == 3000 ? 0 : 1];
        ASSERT_GE(image.size(), 1u);
        for (const auto& [received, expected] : image) {
            EXPECT_EQ(expected, size);
            EXPECT_LE(received, expected);
        }
        EXPECT_EQ(image.back().first, size); // the last report fills the bar
    }
}

TEST_F(HttpThreadTest, FailedFetchesReportNothingAndTheCountdownGoesOn)
{
    struct TRow
    {
        const char* Name;
        int Status;
        std::vector<std::pair<std::string, std::string>> Headers;
    };
    const std::vector<TRow> rows = {
        {"not found", 404, {}},
        {"ok with a Location", 200, {{"Location", "/other.jpg"}}},
        {"not modified", 304, {}},
        {"server error", 500, {}},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        TTestHttpServer server([&](const TTestRequest&) {
            TTestResponse r;
            r.Status = row.Status;
            r.Headers = row.Headers;
            if (row.Status != 304)
                r.Body = "<html>nothing here</html>";
            return r;
        });
        Recorder = TRecorder();
        Make(server.Url(), 1);
        Thread->Start();
        // A wait after each attempt (the latest one reaches the UI thread).
        ASSERT_TRUE(PumpUntil([&] { return server.Requests() >= 3 && !Recorder.Ticks.empty(); }));
        Stop();
        EXPECT_TRUE(Recorder.Images.empty());
        EXPECT_EQ(Recorder.ProgressCalls, 0);
        // Each failure drops the connection (a next one may be open already).
        EXPECT_GE(server.Connections(), server.Requests());
    }
}

TEST_F(HttpThreadTest, AWebcamThatMovedForGoodSaysWhereWithItsImages)
{
    TTestHttpServer server([](const TTestRequest& request) {
        TTestResponse r = ChangingImage(request);
        if (request.Target == "/cam.jpg")
            r.Status = 301, r.Headers = {{"Location", "/moved.jpg"}};
        return r;
    });
    Make(server.Url(), 0);
    TFetchFailure told;
    Thread->OnTick = [&](const TViewerTick& tick) { told = tick.LastFailure; };
    Thread->Start();
    ASSERT_TRUE(PumpUntil([&] { return Recorder.Images.size() >= 2 && !told.Empty(); }));
    Stop();
    EXPECT_EQ(told.Kind, TFailureKind::None);
    EXPECT_EQ(told.MovedTo, server.Url("/moved.jpg"));
}

TTestResponse NotFound(const TTestRequest&)
{
    TTestResponse r;
    r.Status = 404;
    return r;
}

TEST_F(HttpThreadTest, AFailedFetchWaitsATickBeforeTheNextWhateverTheInterval)
{
    TTestHttpServer server(NotFound);
    struct TRow
    {
        QString Url;
        int LowerTo; // Interval set at the first tick (0 at the start)
    };
    const TRow rows[] = {{QStringLiteral("http://127.0.0.1:9/refused.jpg"), 0}, {server.Url(), -3}};
    const int tickMs = 60;
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Url.toStdString());
        Recorder = TRecorder();
        std::vector<std::chrono::steady_clock::time_point> ticks;
        Make(row.Url, 0, tickMs);
        Thread->OnTick = [&](const TViewerTick& tick) {
            ticks.push_back(tick.NextFetch);
            Recorder.Ticks.push_back(tick.Countdown);
            if (ticks.size() == 1)
                Thread->SetInterval(row.LowerTo);
        };
        Thread->Start();
        ASSERT_TRUE(PumpUntil([&] { return ticks.size() >= 5; }));
        Stop();
        // One wait per attempt, of a tick whatever the interval: attempts a tick apart. (The
        // schedule's own times: when the UI thread is behind, its view of them comes late.)
        EXPECT_EQ(Recorder.Ticks.back(), 1);
        for (size_t i = 1; i < ticks.size(); ++i)
            EXPECT_GE(ticks[i] - ticks[i - 1], std::chrono::milliseconds(tickMs)) << i;
    }
}

TEST_F(HttpThreadTest, TerminationEndsTheWaitAfterAFailureAtOnce)
{
    TTestHttpServer server(NotFound);
    Make(server.Url(), 0, 3600 * 1000);
    Thread->Start();
    ASSERT_TRUE(PumpUntil([&] { return !Recorder.Ticks.empty(); })); // failed, now waiting
    Thread->ClearEvents();
    Thread.reset();
    EXPECT_TRUE(PumpUntil([this] { return Engine->Tasks() == 0; }, 5000));
    EXPECT_EQ(server.Requests(), 1);
}

TEST_F(HttpThreadTest, ServerThatStallsAfterTheHeadersTimesOut)
{
    std::atomic<int> served{0};
    TTestHttpServer server([&](const TTestRequest&) {
        TTestResponse r;
        r.Body = MakeBody(3000);
        r.Headers = {{"Last-Modified", HttpDate(1700000000 + ++served)}};
        if (served == 1) {
            r.Mode = TTestResponse::StallAfterHeaders;
            r.StallAfter = 100;
        }
        return r;
    });
    Make(server.Url(), 0);
    Thread->ReadTimeoutMs = 1000;
    Thread->Start();
    // The stalled fetch fails after the read time-out; the next one brings an image.
    ASSERT_TRUE(PumpUntil([&] { return Recorder.Images.size() >= 1; }, 15000));
    EXPECT_GE(server.Requests(), 2);
    EXPECT_EQ(Recorder.Images[0].size(), 3000);
    EXPECT_GE(server.Connections(), 2); // the stalled connection was dropped
}

TEST_F(HttpThreadTest, ProxyReceivesAbsoluteRequestsWithItsCredentials)
{
    const std::string body = MakeBody(1500);
    TTestHttpServer proxy([&](const TTestRequest&) {
        TTestResponse r;
        r.Body = body;
        return r;
    });
    PublishProxySettings({QStringLiteral("127.0.0.1"), proxy.Port(), QStringLiteral("viewer"),
                          QStringLiteral("s3cret:x")});
    // Nothing listens at the webcam's own address: only the proxy can answer.
    Make(QStringLiteral("http://127.0.0.1:9/cams/one.jpg"), 0);
    Thread->Referer = QStringLiteral("http://example.invalid/page.html");
    Thread->Start();
    ASSERT_TRUE(PumpUntil([&] { return Recorder.Images.size() >= 1; }));
    EXPECT_EQ(Recorder.Images[0], QByteArray::fromStdString(body));
    const std::vector<TTestRequest> log = proxy.Log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0].Method, "GET");
    EXPECT_EQ(log[0].Target, "http://127.0.0.1:9/cams/one.jpg");
    EXPECT_EQ(log[0].Headers.at("proxy-authorization"),
              "Basic " + QByteArray("viewer:s3cret:x").toBase64().toStdString());
    EXPECT_EQ(log[0].Headers.at("referer"), "http://example.invalid/page.html");

    // Switched off in the options: the next fetch goes direct (and here finds nobody).
    PublishProxySettings({});
    const int before = proxy.Requests();
    PumpFor(200);
    EXPECT_LE(proxy.Requests(), before + 1);
}

TEST_F(HttpThreadTest, TinyPartsReachTheUiOncePerGapAndTheLastOneArrives)
{
    // 20,000 parts back to back: the UI takes the newest part when it can, not every part.
    std::vector<std::string> parts;
    for (int i = 0; i < 20000; ++i)
        parts.push_back("part " + std::to_string(i));
    TTestHttpServer server([&](const TTestRequest&) {
        TTestResponse r;
        r.Mode = TTestResponse::Stream;
        r.Parts = parts;
        return r;
    });
    Make(server.Url(), 3600, 1000);
    Thread->Start();
    ASSERT_TRUE(PumpUntil([&] { return !Recorder.Ticks.empty(); })); // the stream has ended
    ASSERT_FALSE(Recorder.Images.empty());
    EXPECT_LT(Recorder.Images.size(), parts.size() / 10);
    EXPECT_EQ(Recorder.Images.back(), QByteArray::fromStdString(parts.back()));
    // The last part came before the tick that follows the stream's end.
    const auto firstTick = std::find_if(Recorder.Events.begin(), Recorder.Events.end(),
                                        [](const std::string& e) { return e != "image"; });
    EXPECT_EQ(std::count(firstTick, Recorder.Events.end(), "image"), 0);
}

TEST_F(HttpThreadTest, ClosedReceiverEndsATrickleAtOnce)
{
    TTestHttpServer server([](const TTestRequest&) { return TrickleResponse(); });
    Make(server.Url(), 0);
    Thread->Start();
    ASSERT_TRUE(PumpUntil([&] { return server.BodyBytes() > 0; }));
    // A refresh (termination, the receiver stays) lets the image under way go on...
    Thread->Terminate();
    PumpFor(300);
    EXPECT_EQ(server.OpenConnections(), 1);
    // ...a closed receiver ends it: no thread, no connection left.
    Thread->ClearEvents();
    Thread.reset();
    EXPECT_TRUE(PumpUntil([this] { return Engine->Tasks() == 0; }, 3000));
    EXPECT_TRUE(PumpUntil([&] { return server.OpenConnections() == 0; }, 1000));
    EXPECT_TRUE(Recorder.Images.empty());
}

TEST_F(HttpThreadTest, RefererOnlyWhenSet)
{
    TTestHttpServer server(ChangingImage);
    Make(server.Url(), 0);
    Thread->Start();
    ASSERT_TRUE(PumpUntil([&] { return Recorder.Images.size() >= 1; }));
    EXPECT_EQ(server.Log()[0].Headers.count("referer"), 0u);
}

} // namespace
