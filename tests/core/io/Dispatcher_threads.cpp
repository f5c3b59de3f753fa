// The hand-over of calls to the UI thread, and the exit sequence.
#include "TestHttpServer.h"
#include "ThreadTestUtil.h"
#include "core/image/JpegCodec.h"
#include "core/io/Dispatcher.h"
#include "core/io/Worker.h"
#include "core/net/ExitSequence.h"
#include "core/net/FetchEngine.h"
#include "core/net/HttpClient.h"
#include "core/net/ViewerFeed.h"

#include <atomic>
#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <system_error>
#include <thread>

namespace {

using namespace std::chrono_literals;

TEST(DispatcherTest, CallRunsOnTheUiThreadAndPublishesBothWays)
{
    TDispatcher dispatcher;
    const std::thread::id ui = std::this_thread::get_id();
    int sharedValue = 0; // plain memory: the hand-over must order the accesses
    std::thread::id ranOn;
    std::atomic<bool> returned{false};
    bool callResult = false;
    std::thread worker([&] {
        sharedValue = 1;
        callResult = dispatcher.Call([&] {
            ranOn = std::this_thread::get_id();
            sharedValue = sharedValue * 10 + 2;
        });
        sharedValue = sharedValue * 10 + 3;
        returned = true;
    });
    ASSERT_TRUE(PumpUntil([&] { return returned.load(); }));
    worker.join();
    EXPECT_TRUE(callResult);
    EXPECT_EQ(ranOn, ui);
    EXPECT_EQ(sharedValue, 123);
}

TEST(DispatcherTest, CallOnTheUiThreadRunsAtOnceAndExceptionsAreSwallowed)
{
    TDispatcher dispatcher;
    int runs = 0;
    EXPECT_TRUE(dispatcher.Call([&] { ++runs; }));
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(dispatcher.Call([] { throw std::runtime_error("handler failed"); }));

    std::atomic<bool> done{false};
    bool result = false;
    std::thread worker([&] {
        result = dispatcher.Call([] { throw 42; });
        done = true;
    });
    ASSERT_TRUE(PumpUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_TRUE(result);
}

TEST(DispatcherTest, CloseReleasesWaitingCallsAndRefusesLaterOnes)
{
    TDispatcher dispatcher;
    std::atomic<bool> ran{false};
    // The UI thread does not pump: the worker waits until Close lets it go.
    auto waiting =
        std::async(std::launch::async, [&] { return dispatcher.Call([&] { ran = true; }); });
    EXPECT_EQ(waiting.wait_for(100ms), std::future_status::timeout);
    dispatcher.Close();
    ASSERT_EQ(waiting.wait_for(5s), std::future_status::ready);
    EXPECT_FALSE(waiting.get());
    PumpFor(20);
    EXPECT_FALSE(ran.load());

    auto later =
        std::async(std::launch::async, [&] { return dispatcher.Call([&] { ran = true; }); });
    ASSERT_EQ(later.wait_for(5s), std::future_status::ready);
    EXPECT_FALSE(later.get());
    EXPECT_FALSE(dispatcher.Call([&] { ran = true; })); // on the UI thread too
    EXPECT_FALSE(ran.load());
    EXPECT_TRUE(dispatcher.IsClosed());
}

TEST(DispatcherTest, ManyWorkersInterleave)
{
    TDispatcher dispatcher;
    int total = 0; // touched on the UI thread only
    std::atomic<int> finished{0};
    std::vector<std::thread> workers;
    for (int w = 0; w < 4; ++w)
        workers.emplace_back([&] {
            for (int i = 0; i < 200; ++i)
                dispatcher.Call([&] { ++total; });
            ++finished;
        });
    ASSERT_TRUE(PumpUntil([&] { return finished.load() == 4; }));
    for (std::thread& t : workers)
        t.join();
    EXPECT_EQ(total, 800);
}

// A worker whose thread cannot be created.
class TUnstartableWorker final : public TWorkerThread
{
public:
    explicit TUnstartableWorker(std::shared_ptr<TDispatcher> d) : TWorkerThread(std::move(d)) {}

protected:
    void Execute() override { ADD_FAILURE() << "ran without a thread"; }
    void Launch(std::function<void()>) override
    {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    }
};

TEST(WorkerTest, AThreadThatCannotBeCreatedIsReportedAndLeavesNothingBehind)
{
    auto worker = std::make_shared<TUnstartableWorker>(std::make_shared<TDispatcher>());
    std::weak_ptr<TUnstartableWorker> watch = worker;
    EXPECT_FALSE(worker->Start());
    EXPECT_EQ(RunningWorkers(), 0);
    EXPECT_TRUE(WaitForWorkers(0ms)); // the exit sequence does not wait for it
    worker.reset();
    EXPECT_TRUE(watch.expired()); // nothing holds it any more
}

// The exit sequence ends every worker and the fetch engine quickly, wherever they are: a feed in a
// transfer that would take 20 s to time out, a feed in its wait, a worker in a hand-over the UI
// thread never serves. (It stops the process-wide engine: no later test of this program uses it.)
TEST(ShutdownTest, EndsFeedsInTransferAndWaitAndWorkersInHandOver)
{
    TTestHttpServer stalling(
        [](const TTestRequest&) { return StallResponse(MakeBody(10000), 10); });
    TTestHttpServer normal([](const TTestRequest& request) {
        TTestResponse r;
        r.Body = MakeBody(1000);
        r.Headers = {{"Last-Modified", HttpDate(1700000000 + request.Number)}};
        return r;
    });
    auto dispatcher = std::make_shared<TDispatcher>();
    int events = 0;

    auto inTransfer = THttpThread::Create();
    inTransfer->Url = stalling.Url();
    inTransfer->ReadTimeoutMs = 20000;
    inTransfer->SetInterval(0);
    auto inWait = THttpThread::Create();
    inWait->Url = normal.Url();
    inWait->SetInterval(3600);
    inWait->OnImage = [&](TViewerImage&) { ++events; };
    inWait->OnTick = [&](const TViewerTick&) { ++events; };
    inTransfer->Start();
    inWait->Start();
    ASSERT_TRUE(PumpUntil([&] { return events >= 2 && stalling.Requests() >= 1; }));
    // A worker whose hand-over finds the UI thread busy below.
    auto inHandOver = TViewerDecoder::Create(JpegCodec::Encode(TBitmap(64, 48)), {}, dispatcher);
    inHandOver->OnImage = [&](TViewerImage&) { ++events; };
    inHandOver->Start();
    inTransfer.reset();
    inWait.reset();
    inHandOver.reset();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(RunningWorkers(), 1);
    EXPECT_EQ(TFetchEngine::Main()->TransfersUnderWay(), 1);

    const int eventsBefore = events;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(ShutdownWorkers(dispatcher.get(), 10s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ(RunningWorkers(), 0);
    EXPECT_EQ(TFetchEngine::Main()->Tasks(), 0);
    EXPECT_EQ(TFetchEngine::Main()->TransfersUnderWay(), 0);
    // A feed started after the stop fetches nothing.
    auto late = THttpThread::Create();
    late->Url = normal.Url();
    late->OnImage = [&](TViewerImage&) { ++events; };
    late->Start();
    const int requests = normal.Requests();
    PumpFor(100);
    EXPECT_EQ(events, eventsBefore);
    EXPECT_EQ(normal.Requests(), requests);

    THttpClient::ResetAbort();
}

} // namespace
