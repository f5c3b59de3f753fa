// The request form on its own, against servers on 127.0.0.1 that misbehave on purpose.
#include "TestHttpServer.h"
#include "core/net/HttpClient.h"

#include <future>
#include <gtest/gtest.h>
#include <thread>

namespace {

using namespace std::chrono_literals;

TTestResponse Fixed(const TTestRequest&)
{
    TTestResponse r;
    r.Body = MakeBody(5000);
    r.Headers = {{"Last-Modified", HttpDate(1700000000)}};
    return r;
}

TEST(HttpClientTest, BodyReadInPiecesOfAtMost1024Bytes)
{
    for (TTestResponse::TMode mode : {TTestResponse::Normal, TTestResponse::Chunked}) {
        TTestHttpServer server([mode](const TTestRequest& request) {
            TTestResponse r = Fixed(request);
            r.Mode = mode;
            return r;
        });
        THttpClient http;
        std::vector<qint64> progress;
        http.OnProgress = [&](qint64 received) { progress.push_back(received); };
        QByteArray body;
        const THttpResult result = http.Get(server.Url(), body);
        ASSERT_TRUE(result.Ok()) << result.Error.toStdString();
        EXPECT_EQ(body, QByteArray::fromStdString(MakeBody(5000)));
        EXPECT_EQ(result.Headers.Status, 200);
        EXPECT_EQ(result.Headers.ContentLength, mode == TTestResponse::Normal ? 5000 : -1);
        EXPECT_EQ(result.Headers.LastModified.toSecsSinceEpoch(), 1700000000);
        ASSERT_GE(progress.size(), 5u);
        qint64 previous = 0;
        for (qint64 p : progress) {
            EXPECT_GT(p, previous);
            EXPECT_LE(p - previous, 1024);
            previous = p;
        }
        EXPECT_EQ(progress.back(), 5000);
    }
}

TEST(HttpClientTest, BodyCapEndsAnEndlessStream)
{
    TTestHttpServer server([](const TTestRequest&) {
        TTestResponse r;
        r.Mode = TTestResponse::Endless;
        return r;
    });
    THttpClient http;
    QByteArray body;
    const THttpResult result = http.Get(server.Url(), body);
    EXPECT_EQ(result.Outcome, THttpOutcome::TooLarge);
    EXPECT_TRUE(body.isEmpty());
    EXPECT_FALSE(http.Connected());
    EXPECT_GE(server.BodyBytes(), THttpClient::DefaultMaxBody);
    // The server got no further than what the socket buffers hold beyond the cap.
    EXPECT_LT(server.BodyBytes(), THttpClient::DefaultMaxBody + 16 * 1024 * 1024);
}

TEST(HttpClientTest, BodyCapIsExact)
{
    TTestHttpServer server(Fixed);
    struct TRow
    {
        qint64 Cap;
        bool Ok;
    };
    for (const TRow row : {TRow{5000, true}, TRow{4999, false}, TRow{1, false}}) {
        THttpClient http;
        http.MaxBodySize = row.Cap;
        QByteArray body;
        const THttpResult result = http.Get(server.Url(), body);
        EXPECT_EQ(result.Ok(), row.Ok) << row.Cap;
        EXPECT_EQ(body.size(), row.Ok ? 5000 : 0);
    }
}

TEST(HttpClientTest, OnlyHttpAndHttpsAreFetched)
{
    THttpClient http;
    for (const char* url : {"file:///etc/hostname", "ftp://127.0.0.1/x.jpg", "dict://127.0.0.1/x",
                            "gopher://127.0.0.1/x", "not a url", ""}) {
        QByteArray body;
        const THttpResult result = http.Get(QString::fromLatin1(url), body);
        EXPECT_EQ(result.Outcome, THttpOutcome::Failed) << url;
        EXPECT_TRUE(body.isEmpty()) << url;
    }
    // An http server that answers without a status line gave no HTTP answer: that is no address
    // of another kind.
    TTestHttpServer headless([](const TTestRequest&) {
        TTestResponse r;
        r.Mode = TTestResponse::NoHead;
        r.Body = "\x01\x02 no status line";
        return r;
    });
    QByteArray body;
    const THttpResult result = http.Get(headless.Url(), body);
    EXPECT_EQ(result.Outcome, THttpOutcome::BadStatus);
    EXPECT_EQ(result.Headers.Status, 0);
}

TEST(HttpClientTest, ConnectionKeptUntilClosed)
{
    TTestHttpServer server(Fixed);
    THttpClient http;
    QByteArray body;
    EXPECT_FALSE(http.Connected());
    ASSERT_TRUE(http.Get(server.Url(), body).Ok());
    EXPECT_TRUE(http.Connected());
    ASSERT_TRUE(http.Get(server.Url(), body).Ok());
    EXPECT_EQ(server.Connections(), 1);
    http.Close();
    EXPECT_FALSE(http.Connected());
    ASSERT_TRUE(http.Get(server.Url(), body).Ok());
    EXPECT_EQ(server.Connections(), 2);
    EXPECT_EQ(server.Requests(), 3);
}

TEST(HttpClientTest, AHostThatNeverAnswersFailsAfterTheConnectTimeOut)
{
    TBlackHoleListener silent;
    THttpClient http;
    http.ConnectTimeoutMs = 300;
    QByteArray body;
    auto get = std::async(std::launch::async, [&] { return http.Get(silent.Url(), body); });
    const bool ended = get.wait_for(8s) == std::future_status::ready;
    if (!ended)
        THttpClient::AbortAll(); // let the transfer go so that the case can end
    const THttpResult result = get.get();
    THttpClient::ResetAbort();
    ASSERT_TRUE(ended);
    EXPECT_EQ(result.Outcome, THttpOutcome::Failed);
    EXPECT_EQ(result.Net, TNetError::TimedOut);
    EXPECT_FALSE(result.Cause().isEmpty());
}

TEST(HttpClientTest, SilenceOnAKeptConnectionEndsTheRead)
{
    // The read time-out also holds for a request sent on a connection kept from the last fetch.
    TTestHttpServer server([](const TTestRequest& request) {
        TTestResponse r = Fixed(request);
        if (request.Number == 2) {
            r.Mode = TTestResponse::StallAfterHeaders;
            r.StallAfter = 10;
        }
        return r;
    });
    THttpClient http;
    http.ReadTimeoutMs = 500;
    QByteArray body;
    ASSERT_TRUE(http.Get(server.Url(), body).Ok());
    auto second = std::async(std::launch::async, [&] { return http.Get(server.Url(), body); });
    const bool ended = second.wait_for(8s) == std::future_status::ready;
    if (!ended)
        THttpClient::AbortAll(); // let the transfer go so that the case can end
    const THttpResult result = second.get();
    THttpClient::ResetAbort();
    ASSERT_TRUE(ended);
    EXPECT_EQ(result.Outcome, THttpOutcome::Failed);
    EXPECT_EQ(result.Net, TNetError::TimedOut);
    EXPECT_TRUE(body.isEmpty());
    EXPECT_EQ(server.Connections(), 1);
}

TEST(HttpClientTest, HeadersHookSeesTheResponseBeforeItsBody)
{
    TTestHttpServer server([](const TTestRequest& request) {
        TTestResponse r = Fixed(request);
        r.HeaderGapMs = 400;
        return r;
    });
    THttpClient http;
    THttpHeaders seen;
    http.OnHeaders = [&](const THttpHeaders& headers) {
        seen = headers;
        return true;
    };
    QByteArray body;
    const THttpResult result = http.Get(server.Url(), body);
    EXPECT_EQ(result.Outcome, THttpOutcome::Abandoned);
    EXPECT_EQ(seen.ContentLength, 5000);
    EXPECT_EQ(seen.LastModified.toSecsSinceEpoch(), 1700000000);
    EXPECT_TRUE(body.isEmpty());
    EXPECT_FALSE(http.Connected());
    // The server notices the dropped connection before it sends any of the body.
    for (int i = 0; i < 500 && server.Withheld() == 0; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(server.Withheld(), 1);
    EXPECT_EQ(server.BodyBytes(), 0);

    // A hook that throws counts as "changed": the body is read.
    http.OnHeaders = [](const THttpHeaders&) -> bool { throw std::runtime_error("broken"); };
    EXPECT_TRUE(http.Get(server.Url(), body).Ok());
    EXPECT_EQ(body.size(), 5000);
}

TEST(HttpClientTest, TrailersAfterAChunkedBodyChangeNothing)
{
    // The image's date and length are those of the headers; header lines that follow the body
    // neither replace them nor run the unchanged-image test a second time.
    TTestHttpServer server([](const TTestRequest&) {
        TTestResponse r;
        r.Body = MakeBody(3000);
        r.Mode = TTestResponse::Chunked;
        r.Headers = {{"Last-Modified", HttpDate(1700000000)}, {"Trailer", "Last-Modified"}};
        r.Trailers = {{"Last-Modified", HttpDate(1800000000)}, {"Location", "/elsewhere.jpg"}};
        return r;
    });
    THttpClient http;
    int hookCalls = 0;
    http.OnHeaders = [&](const THttpHeaders&) {
        ++hookCalls;
        return false;
    };
    QByteArray body;
    const THttpResult result = http.Get(server.Url(), body);
    ASSERT_EQ(result.Outcome, THttpOutcome::Ok);
    EXPECT_EQ(body.size(), 3000);
    EXPECT_EQ(hookCalls, 1);
    EXPECT_EQ(result.Headers.LastModified.toSecsSinceEpoch(), 1700000000);
    EXPECT_EQ(result.Headers.ContentLength, -1);
    EXPECT_FALSE(result.Headers.HasLocation);
}

TEST(HttpClientTest, AbortAllEndsATransferUnderWay)
{
    TTestHttpServer server([](const TTestRequest&) { return StallResponse(MakeBody(1000), 10); });
    auto transfer = std::async(std::launch::async, [&] {
        THttpClient http;
        http.ReadTimeoutMs = 60000;
        QByteArray body;
        return http.Get(server.Url(), body).Outcome;
    });
    while (server.Requests() == 0)
        std::this_thread::sleep_for(5ms);
    THttpClient::AbortAll();
    ASSERT_EQ(transfer.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(transfer.get(), THttpOutcome::Aborted);
    THttpClient::ResetAbort();
}

} // namespace

namespace {

TEST(HttpClientTest, ImageDeadlineEndsATrickleButNotAStreamOfTimelyParts)
{
    // A byte every 20 ms never lets the read time-out expire; the body would take 100 s.
    TTestHttpServer trickle([](const TTestRequest&) { return TrickleResponse(); });
    THttpClient http;
    http.ImageTimeoutMs = 300;
    QByteArray body;
    THttpResult result = http.Get(trickle.Url(), body);
    EXPECT_EQ(result.Outcome, THttpOutcome::Failed);
    EXPECT_EQ(result.Net, TNetError::TimedOut) << result.Error.toStdString();
    EXPECT_TRUE(body.isEmpty());

    // Four parts 500 ms apart: the stream outlasts the deadline, no part does.
    TTestHttpServer stream([](const TTestRequest&) {
        TTestResponse r;
        r.Mode = TTestResponse::Stream;
        r.Parts.assign(4, MakeBody(500));
        r.PartDelayMs = 500;
        return r;
    });
    int parts = 0;
    http.OnPart = [&](const QByteArray&) { return ++parts > 0; };
    http.ImageTimeoutMs = 1000;
    result = http.Get(stream.Url(), body);
    EXPECT_TRUE(result.Ok()) << result.Error.toStdString();
    EXPECT_EQ(parts, 4);

    // The owner that cancels ends a trickle at once, as Aborted.
    http.OnPart = nullptr;
    http.ImageTimeoutMs = 0;
    http.Cancelled = [] { return true; };
    result = http.Get(trickle.Url(), body);
    EXPECT_EQ(result.Outcome, THttpOutcome::Aborted);
}

} // namespace
