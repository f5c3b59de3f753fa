// The thumbnail thread as the mosaic and the chooser drive it, against servers on 127.0.0.1.
#include "FeedTest.h"
#include "TestHttpServer.h"
#include "ThreadTestUtil.h"
#include "core/image/JpegCodec.h"
#include "core/net/ThumbnailFeed.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

// An owner in the mosaic's manner: a list of TCamInfo; each answer is stored back.
struct TMosaicOwner
{
    std::vector<TCamInfo> Cams;
    std::vector<std::pair<int, int>> Results; // (Index, Data size) per OnImage
    std::vector<int> Nexts;                   // OnNext's indexes
    int StopAfterAttempts = -1;               // the feed is terminated after this many results
    std::function<void()> Stop;

    void Attach(TMireThread& t)
    {
        t.KeepData = true;
        for (const TCamInfo& cam : Cams)
            t.Cams.push_back({cam.Url, cam.Referer, 1, cam.LastModified, cam.ContentLength});
        t.OnImage = [this](TMireImage& image) { Image(image); };
        t.OnNext = [this](const TMireNext& next) { Nexts.push_back(next.Index); };
    }
    void Image(TMireImage& t)
    {
        Results.emplace_back(t.Index, int(t.Data.size()));
        TCamInfo& cam = Cams[size_t(t.Index)];
        if (!t.Data.isEmpty()) {
            cam.Online = true;
            cam.Image = t.Data;
        }
        cam.LastModified = t.LastModified;
        cam.ContentLength = t.ContentLength;
        if (StopAfterAttempts >= 0 && int(Results.size()) == StopAfterAttempts && Stop)
            Stop();
    }
};

class MireThreadTest : public TFeedTest<TMireThread>
{
protected:
    void Start(TMosaicOwner& owner)
    {
        Thread = TMireThread::Create(Engine);
        Thread->ReadTimeoutMs = 1000;
        Thread->Tick = 50ms; // a webcam asked at most this often; a failing one retried in 3 s
        owner.Attach(*Thread);
        owner.Stop = [this] { Thread->Terminate(); };
        Thread->Start();
    }
    // The feed ended (terminated, or done) and every result was handed over.
    bool Ended() { return Engine->Tasks() == 0; }
    static TCamInfo Cam(const QString& url)
    {
        TCamWebcam entry;
        entry.Name = QStringLiteral("cam");
        entry.Url = url;
        return TCamInfo(entry);
    }
};

// Paths: /a.jpg and /b.jpg fixed images with date and length, /missing 404, /stall stalls.
TTestResponse Cams(const TTestRequest& request)
{
    TTestResponse r;
    if (request.Target == "/a.jpg") {
        r.Body = MakeBody(1000, 'a');
        r.Headers = {{"Last-Modified", HttpDate(1700000000)}};
    } else if (request.Target == "/b.jpg") {
        r.Body = MakeBody(2000, 'b');
        r.Headers = {{"Last-Modified", HttpDate(1700000100)}};
    } else if (request.Target == "/stall.jpg") {
        r.Body = MakeBody(3000, 's');
        r.Mode = TTestResponse::StallAfterHeaders;
        r.StallAfter = 10;
    } else {
        r.Status = 404;
        r.Body = "no";
    }
    r.HeaderGapMs = 400;
    return r;
}

TEST_F(MireThreadTest, EveryAttemptGivesAResultAndUnchangedImagesAreSkipped)
{
    TTestHttpServer server(Cams);
    TMosaicOwner owner;
    owner.Cams = {Cam(server.Url("/a.jpg")), Cam(server.Url("/missing")),
                  Cam(server.Url("/b.jpg"))};
    owner.StopAfterAttempts = 9; // three rounds
    Start(owner);
    ASSERT_TRUE(PumpUntil([&] { return Ended(); }));
    PumpFor(50);

    const std::vector<std::pair<int, int>> expected = {
        {0, 1000}, {1, 0}, {2, 2000}, // first round: both images read, the 404 empty
        {0, 0},    {2, 0},            // unchanged, not downloaded; the 404 sits out a round
        {0, 0},    {1, 0}, {2, 0},    // the 404 again: it now sits out two rounds
        {0, 0},
    };
    // A few attempts may have begun before the owner's stop reached the feed.
    ASSERT_GE(owner.Results.size(), expected.size());
    owner.Results.resize(9);
    EXPECT_EQ(owner.Results, expected);
    // OnNext announced the attempts, in order (the latest one when the UI thread was behind).
    ASSERT_FALSE(owner.Nexts.empty());
    EXPECT_EQ(owner.Nexts.front(), 0);
    // One body per image; the 404 page and the unchanged images were dropped after the headers.
    EXPECT_EQ(server.BodyBytes(), 3000);
    EXPECT_GE(server.Requests(), 9);
    // A failed attempt leaves the owner's values as they were; a read one brings the response's.
    EXPECT_EQ(owner.Cams[0].ContentLength, 1000);
    EXPECT_EQ(owner.Cams[0].LastModified.toSecsSinceEpoch(), 1700000000);
    EXPECT_EQ(owner.Cams[1].ContentLength, 0);
    EXPECT_FALSE(owner.Cams[1].LastModified.isValid());
    EXPECT_FALSE(owner.Cams[1].Online);
    EXPECT_TRUE(owner.Cams[2].Online);
}

TEST_F(MireThreadTest, NotModifiedIsTheKnownImage)
{
    TTestHttpServer server([](const TTestRequest& request) {
        TTestResponse r;
        r.Headers = {{"Last-Modified", HttpDate(1700000000)}};
        if (request.Headers.count("if-modified-since") &&
            request.Headers.at("if-modified-since") == HttpDate(1700000000))
            r.Status = 304;
        else
            r.Body = MakeBody(1000);
        return r;
    });
    TMosaicOwner owner;
    owner.Cams = {Cam(server.Url())};
    owner.StopAfterAttempts = 3;
    Start(owner);
    ASSERT_TRUE(PumpUntil([&] { return Ended(); }));
    PumpFor(50);
    // Answered every time (no round sat out), one body, and the owner's memory kept.
    owner.Results.resize(3);
    EXPECT_EQ(owner.Results, (std::vector<std::pair<int, int>>{{0, 1000}, {0, 0}, {0, 0}}));
    EXPECT_EQ(server.BodyBytes(), 1000);
    EXPECT_EQ(owner.Cams[0].LastModified.toSecsSinceEpoch(), 1700000000);
}

TEST_F(MireThreadTest, AStreamGivesItsFirstPartAndIsClosed)
{
    TTestHttpServer server([](const TTestRequest&) {
        TTestResponse r;
        r.Mode = TTestResponse::Stream;
        r.Parts = {MakeBody(1500, 'a'), MakeBody(1500, 'b')};
        r.PartDelayMs = 3000; // the second part would come long after the test
        return r;
    });
    TMosaicOwner owner;
    owner.Cams = {Cam(server.Url())};
    owner.StopAfterAttempts = 1;
    Start(owner);
    ASSERT_TRUE(PumpUntil([&] { return !owner.Results.empty(); }, 2500));
    EXPECT_EQ(owner.Results.front(), (std::pair<int, int>{0, 1500}));
    EXPECT_TRUE(owner.Cams[0].Online);
}

TEST_F(MireThreadTest, ATrickleTimesOutAndTheNextWebcamFollows)
{
    TTestHttpServer server([](const TTestRequest& request) {
        if (request.Target != "/trickle.jpg")
            return Cams(request);
        return TrickleResponse();
    });
    TMosaicOwner owner;
    owner.Cams = {Cam(server.Url("/trickle.jpg")), Cam(server.Url("/a.jpg"))};
    Thread = TMireThread::Create(Engine);
    Thread->ImageTimeoutMs = 1000; // more than the 400 ms /a.jpg waits before its body
    Thread->Tick = 50ms;
    owner.Attach(*Thread);
    Thread->Repeat = false;
    std::vector<TFailureKind> failures;
    Thread->OnImage = [&](TMireImage& image) {
        failures.push_back(image.Failure.Kind);
        owner.Image(image);
    };
    Thread->Start();
    ASSERT_TRUE(PumpUntil([&] { return Ended(); }));
    PumpFor(20);
    EXPECT_EQ(owner.Results, (std::vector<std::pair<int, int>>{{0, 0}, {1, 1000}}));
    EXPECT_EQ(failures, (std::vector<TFailureKind>{TFailureKind::TimedOut, TFailureKind::None}));
    EXPECT_TRUE(PumpUntil([&] { return server.OpenConnections() == 0; }, 2000));
}

TEST_F(MireThreadTest, RoundsATickApartAndAFailingWebcamSitsOutMoreAndMoreRounds)
{
    std::mutex mutex;
    std::map<std::string, std::vector<std::chrono::steady_clock::time_point>> arrivals;
    TTestHttpServer server([&](const TTestRequest& request) {
        {
            std::lock_guard lock(mutex);
            arrivals[request.Target].push_back(std::chrono::steady_clock::now());
        }
        TTestResponse r = Cams(request);
        r.HeaderGapMs = 0; // every request as quick as the next: rounds start at their pace
        return r;
    });
    TMosaicOwner owner;
    owner.Cams = {Cam(server.Url("/a.jpg")), Cam(server.Url("/missing"))};
    Start(owner);
    ASSERT_TRUE(PumpUntil([&] {
        std::lock_guard lock(mutex);
        return arrivals["/missing"].size() >= 5;
    }));

    std::lock_guard lock(mutex);
    // Times are taken at the server, where one request may arrive later after its round began
    // than the next: a tick of slack for single gaps, and the whole run measured as well.
    // The webcam that answers is asked once a round: by the failing one's fifth attempt (in round
    // 1 + 2 + 3 + 5 + 9 = 20) it was asked 20 times, a tick apart.
    const auto tick = 50ms;
    const auto& a = arrivals["/a.jpg"];
    ASSERT_GE(a.size(), 20u);
    EXPECT_GE(a.back() - a.front(), int(a.size() - 2) * tick);
    // The failing one sits out 1, 2, 4, 8 rounds after its failures in a row.
    const auto& missing = arrivals["/missing"];
    const int rounds[] = {2, 3, 5, 9};
    for (size_t i = 1; i < 5; ++i)
        EXPECT_GE(missing[i] - missing[i - 1], (rounds[i - 1] - 1) * tick) << i;
}

TEST_F(MireThreadTest, ChooserValuesAbandonOnlyAnUndatedEmptyResponse)
{
    // The chooser passes "no date" and 0: every real image is downloaded.
    struct TRow
    {
        const char* Name;
        std::vector<std::pair<std::string, std::string>> Headers;
        std::string Body;
        TTestResponse::TMode Mode;
        int Expected;
    };
    const std::vector<TRow> rows = {
        {"dated",
         {{"Last-Modified", HttpDate(1700000000)}},
         MakeBody(500),
         TTestResponse::Normal,
         500},
        {"undated with length", {}, MakeBody(700), TTestResponse::Normal, 700},
        {"undated without length", {}, MakeBody(300), TTestResponse::Close, 300},
        {"undated, length 0", {}, "", TTestResponse::Normal, -1},
        {"unreadable date, length 0",
         {{"Last-Modified", "garbage"}},
         "",
         TTestResponse::Normal,
         -1},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        TTestHttpServer server([&](const TTestRequest&) {
            TTestResponse r;
            r.Headers = row.Headers;
            r.Body = row.Body;
            r.Mode = row.Mode;
            return r;
        });
        TMosaicOwner owner;
        owner.Cams = {Cam(server.Url())};
        std::vector<QByteArray> data;
        bool completed = false;
        bool done = false;
        Thread = TMireThread::Create(Engine);
        owner.Attach(*Thread);
        Thread->Repeat = false; // as the chooser: each webcam once
        for (TMireCam& cam : Thread->Cams) {
            cam.LastModified = QDateTime();
            cam.ContentLength = 0;
        }
        Thread->OnImage = [&](TMireImage& t) {
            owner.Image(t);
            data.push_back(t.Data);
            completed = t.ContentLength != 0 || t.LastModified.isValid();
        };
        Thread->OnDone = [&] { done = true; };
        Thread->Start();
        ASSERT_TRUE(PumpUntil([&] { return done && Ended(); }));
        Thread.reset();
        ASSERT_EQ(data.size(), 1u);
        if (row.Expected < 0) {
            EXPECT_TRUE(data[0].isEmpty());
            EXPECT_FALSE(completed);
        } else {
            EXPECT_EQ(data[0].size(), row.Expected);
            EXPECT_TRUE(completed);
        }
    }
}

TEST_F(MireThreadTest, FailuresStillGiveBothCallbacksAndTheLoopGoesOn)
{
    TTestHttpServer server(Cams);
    TMosaicOwner owner;
    // A webcam that stalls (read time-out), one at a closed port, one that answers.
    owner.Cams = {Cam(server.Url("/stall.jpg")), Cam(QStringLiteral("http://127.0.0.1:9/x.jpg")),
                  Cam(QStringLiteral("ftp://127.0.0.1/x.jpg")), Cam(server.Url("/a.jpg"))};
    owner.StopAfterAttempts = 4;
    Start(owner);
    ASSERT_TRUE(PumpUntil([&] { return owner.Results.size() >= 4; }, 15000));
    const std::vector<std::pair<int, int>> expected = {{0, 0}, {1, 0}, {2, 0}, {3, 1000}};
    owner.Results.resize(4);
    EXPECT_EQ(owner.Results, expected);
}

TEST_F(MireThreadTest, StopDuringARequestFindsNoCallbacks)
{
    TTestHttpServer server(
        [](const TTestRequest&) { return TrickleResponse(MakeBody(4000), 200, 10); });
    TMosaicOwner owner;
    owner.Cams = {Cam(server.Url())};
    Start(owner);
    ASSERT_TRUE(PumpUntil([&] { return server.Requests() >= 1; }));
    // The owner closes: clears the callbacks and forgets the feed; the transfer ends at once.
    Thread->ClearEvents();
    Thread.reset();
    ASSERT_TRUE(PumpUntil([this] { return Engine->Tasks() == 0; }, 1000));
    EXPECT_EQ(Engine->TransfersUnderWay(), 0);
    PumpFor(100);
    EXPECT_TRUE(owner.Results.empty());
    EXPECT_EQ(server.Requests(), 1);
}

TEST_F(MireThreadTest, LanesShareOutTheListAndEveryResultKeepsItsWebcamsPlace)
{
    // /<k>: a body of 100 + k bytes, so that a result shows which webcam it came from.
    TTestHttpServer server([](const TTestRequest& request) {
        TTestResponse r;
        r.Body = MakeBody(100 + std::stoi(request.Target.substr(1)));
        r.HeaderGapMs = 20;
        return r;
    });
    constexpr int count = 7;
    TMosaicOwner owner;
    for (int k = 0; k < count; ++k)
        owner.Cams.push_back(Cam(server.Url("/" + QString::number(k))));
    Thread = TMireThread::Create(Engine);
    Thread->Tick = 1ms;
    owner.Attach(*Thread);
    Thread->Repeat = false;
    Thread->Lanes = 3;
    int done = 0;
    Thread->OnDone = [&] { ++done; };
    Thread->Start();
    ASSERT_TRUE(PumpUntil([&] { return done > 0 && Ended(); }));
    PumpFor(50);
    EXPECT_EQ(done, 1);
    std::vector<std::pair<int, int>> results = owner.Results;
    std::sort(results.begin(), results.end());
    ASSERT_EQ(results.size(), size_t(count));
    for (int k = 0; k < count; ++k)
        EXPECT_EQ(results[size_t(k)], std::make_pair(k, 100 + k));
    EXPECT_EQ(server.Requests(), count);
}

TEST_F(MireThreadTest, TheWorkerHandsOverTheScaledPictureAndTheBytesOnlyWhenKept)
{
    const QByteArray jpeg = JpegCodec::Encode(TBitmap(640, 480));
    // The same picture announcing 12000 x 9000 pixels: too large to show, yet a JPEG image.
    QByteArray large = jpeg;
    const char size[] = {char(9000 >> 8), char(9000 & 0xFF), char(12000 >> 8), char(12000 & 0xFF)};
    large.replace(large.indexOf(QByteArray("\xFF\xC0", 2)) + 5, 4, size, 4);
    TTestHttpServer server([&](const TTestRequest& request) {
        TTestResponse r;
        r.Body = request.Target == "/cam.jpg"     ? jpeg.toStdString()
                 : request.Target == "/large.jpg" ? large.toStdString()
                                                  : MakeBody(500);
        return r;
    });
    for (bool keep : {false, true}) {
        SCOPED_TRACE(keep);
        TMosaicOwner owner;
        owner.Cams = {Cam(server.Url()), Cam(server.Url("/garbage.jpg")),
                      Cam(server.Url("/large.jpg"))};
        std::vector<TMireImage> images;
        Thread = TMireThread::Create(Engine);
        Thread->Tick = 1ms;
        owner.Attach(*Thread);
        Thread->Repeat = false;
        Thread->KeepData = keep;
        Thread->SetPictureBox(QSize(62, 44));
        Thread->OnImage = [&](TMireImage& image) {
            owner.Image(image);
            images.push_back(image);
        };
        Thread->Start();
        ASSERT_TRUE(PumpUntil([&] { return Ended() && images.size() >= 3; }));
        Thread.reset();
        ASSERT_EQ(images.size(), 3u);
        EXPECT_EQ(images[0].Url, server.Url());
        EXPECT_EQ(QSize(images[0].Picture.Width, images[0].Picture.Height), QSize(60, 44));
        EXPECT_EQ(images[0].SourceSize, QSize(640, 480));
        EXPECT_EQ(images[0].Data, keep ? jpeg : QByteArray());
        // A body that is no JPEG image arrives, but gives no picture.
        EXPECT_TRUE(images[1].Received);
        EXPECT_TRUE(images[1].Picture.IsEmpty());
        EXPECT_EQ(images[1].Failure.Kind, TFailureKind::NotJpeg);
        // One too large says so, with its size.
        EXPECT_TRUE(images[2].Picture.IsEmpty());
        EXPECT_TRUE(FailureText(images[2].Failure).contains(QLatin1String("12000 x 9000")))
            << FailureText(images[2].Failure).toStdString();
    }
}

} // namespace
