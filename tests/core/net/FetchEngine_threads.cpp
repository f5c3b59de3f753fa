// The fetch engine: many feeds on one thread, kept connections shared, values posted to the UI
// thread, and a stop that ends every transfer at once.
#include "TestHttpServer.h"
#include "ThreadTestUtil.h"
#include "core/net/FetchEngine.h"
#include "core/net/ViewerFeed.h"

#include <QFile>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

int ProcessThreads()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("Threads:"))
            return line.mid(8).trimmed().toInt();
    return -1;
}

TTestResponse NewImage(const TTestRequest& request)
{
    TTestResponse r;
    r.Body = MakeBody(2000, char('a' + request.Number % 7));
    r.Headers = {{"Last-Modified", HttpDate(1700000000LL + request.Number)}};
    return r;
}

TEST(FetchEngineTest, ManyFeedsRunOnOneThreadAndShareKeptConnections)
{
    TTestHttpServer server(NewImage);
    const int threadsBefore = ProcessThreads();
    auto engine = std::make_shared<TFetchEngine>();
    constexpr int Feeds = 40;
    std::vector<std::shared_ptr<THttpThread>> feeds;
    std::vector<int> images(Feeds, 0);
    for (int i = 0; i < Feeds; ++i) {
        auto feed = THttpThread::Create(engine);
        feed->Url = server.Url(QStringLiteral("/cam%1.jpg").arg(i));
        feed->Tick = 20ms;
        feed->SetInterval(1);
        feed->OnImage = [&images, i](TViewerImage&) { ++images[size_t(i)]; };
        feed->Start();
        feeds.push_back(feed);
    }
    ASSERT_TRUE(PumpUntil(
        [&] { return std::all_of(images.begin(), images.end(), [](int n) { return n >= 4; }); },
        20000));
    // The engine's thread and its pool, whatever the number of feeds (the test server has a
    // thread per connection).
    EXPECT_LE(ProcessThreads() - threadsBefore,
              1 + engine->Pool()->MaxThreads() + server.Connections());
    EXPECT_LE(engine->Pool()->MaxThreads(), QThread::idealThreadCount());
    // Feeds of one host take turns on the kept connections: far fewer than their requests.
    EXPECT_GE(server.Requests(), 4 * Feeds);
    EXPECT_LT(server.Connections(), server.Requests() / 2);
    for (auto& feed : feeds)
        feed->ClearEvents();
    feeds.clear();
    EXPECT_TRUE(PumpUntil([&] { return engine->Tasks() == 0; }));
    EXPECT_TRUE(engine->Stop(5s));
}

// A closed window's feed: its transfer ends at once and nothing it posted runs any more.
TEST(FetchEngineTest, ClearedEventsEndTheTransferAtOnceAndDropWhatWasPosted)
{
    TTestHttpServer slow(
        [](const TTestRequest&) { return TrickleResponse(MakeBody(100000), 100, 50); });
    auto engine = std::make_shared<TFetchEngine>();
    auto feed = THttpThread::Create(engine);
    feed->Url = slow.Url();
    int progress = 0;
    feed->OnProgress = [&](const TViewerProgress&) { ++progress; };
    feed->Start();
    ASSERT_TRUE(PumpUntil([&] { return progress >= 1; }));
    // Progress posted meanwhile is not run once the events are cleared.
    std::this_thread::sleep_for(120ms);
    const int seen = progress;
    feed->ClearEvents();
    feed.reset();
    EXPECT_TRUE(PumpUntil([&] { return engine->Tasks() == 0; }, 1000));
    EXPECT_EQ(engine->TransfersUnderWay(), 0);
    PumpFor(100);
    EXPECT_EQ(progress, seen);
    EXPECT_TRUE(engine->Stop(5s));
}

TEST(PostBoxTest, LatestKeepsOneCallPerKeyAndADetachedBoxRunsNothing)
{
    auto box = std::make_shared<TPostBox>();
    std::vector<int> ran;
    // The UI thread is behind: ten progress values and two plain calls wait.
    for (int i = 0; i < 10; ++i)
        box->PostLatest(1, [&ran, i] { ran.push_back(i); });
    box->Post([&ran] { ran.push_back(100); });
    box->PostLatest(2, [&ran] { ran.push_back(200); });
    box->Post([&ran] { ran.push_back(101); });
    PumpFor(20);
    // The latest value of key 1 runs where the first one was posted; plain calls all run.
    EXPECT_EQ(ran, (std::vector<int>{9, 100, 200, 101}));

    ran.clear();
    box->Post([&ran] { ran.push_back(1); });
    box->PostLatest(1, [&ran] { ran.push_back(2); });
    box->Detach();
    box->Post([&ran] { ran.push_back(3); });
    PumpFor(20);
    EXPECT_TRUE(ran.empty());
    EXPECT_TRUE(box->Detached());
}

TEST(SerialQueueTest, JobsRunOneAfterAnotherInOrderOnThePool)
{
    TWorkPool pool(4);
    auto queue = std::make_shared<TSerialQueue>(&pool);
    std::mutex mutex;
    std::vector<int> order;
    std::atomic<int> running{0};
    std::atomic<bool> overlapped{false};
    for (int i = 0; i < 200; ++i)
        queue->Post([&, i] {
            if (running.fetch_add(1) != 0)
                overlapped = true;
            {
                std::lock_guard lock(mutex);
                order.push_back(i);
            }
            running.fetch_sub(1);
            if (i == 50)
                throw std::runtime_error("a failing job"); // logged; the next one runs
        });
    ASSERT_TRUE(pool.WaitForDone(std::chrono::seconds(10)));
    EXPECT_FALSE(overlapped.load());
    ASSERT_EQ(order.size(), 200u);
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ(order[size_t(i)], i);
    EXPECT_EQ(queue->Pending(), 0);
}

} // namespace
