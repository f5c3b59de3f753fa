#pragma once

#include "core/net/HttpClient.h"
#include "core/net/WorkPool.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>


class TDispatcher;
class TFetchEngine;

// One webcam's schedule in the fetch engine: the engine asks it to prepare a request when it is
// due, runs the transfer with the others on its one thread, and hands it the result, from which
// the task says when it is due again. Every method but Cancel and Reschedule runs on the
// engine's thread only; a task is driven by one engine at a time.
class TFetchTask
{
public:
    using TClock = std::chrono::steady_clock;
    static constexpr TClock::time_point Never = TClock::time_point::max();

    virtual ~TFetchTask();

    // Engine thread: the task is due; sets up http (address, hooks, validators) and the URL to
    // fetch. False: no fetch now; Due() is asked again.
    virtual bool Prepare(THttpClient& http, QString& url) = 0;
    // Engine thread: the transfer ended (body empty unless it succeeded). The hooks set in
    // Prepare run no more.
    virtual void Finished(THttpClient& http, const THttpResult& result, QByteArray body) = 0;
    // Engine thread: when the task is due next; Never: it has nothing more to fetch (it stays
    // registered until it is cancelled, and Reschedule wakes it again).
    virtual TClock::time_point Due() = 0;

    // Any thread: the engine drops the task; a transfer under way ends at once, without Finished.
    void Cancel();
    bool Cancelled() const { return CancelFlag.load(); }
    // Any thread: the task's due time may have changed (a new interval); the engine asks Due again.
    void Reschedule();

private:
    friend class TFetchEngine;
    std::atomic<bool> CancelFlag{false};
    std::atomic<bool> RescheduleFlag{false};
    std::weak_ptr<TFetchEngine> Engine; // set when added
};

// Runs jobs one after another on a pool, in the order they were posted: what one webcam decodes
// and writes keeps its order while the webcams share the pool's threads.
class TSerialQueue : public std::enable_shared_from_this<TSerialQueue>
{
public:
    explicit TSerialQueue(TWorkPool* pool);
    // Any thread. A job that throws is logged and the next one runs.
    void Post(std::function<void()> job);
    // Jobs posted and not finished yet.
    int Pending() const;

private:
    void Drain();
    TWorkPool* const Pool;
    mutable std::mutex Mutex;
    std::deque<std::function<void()>> Jobs;
    bool Running = false;
};

// Where a feed's values go: calls queued to a context object on its thread (the UI thread). The
// owner detaches it when its window goes; later posts are dropped, and so are those still queued
// (Qt drops the events of a deleted object, and each call finds the box detached).
class TPostBox : public std::enable_shared_from_this<TPostBox>
{
public:
    // The context object is made here, on the calling thread (the UI thread), and lives until
    // Detach.
    TPostBox();
    ~TPostBox();
    TPostBox(const TPostBox&) = delete;
    TPostBox& operator=(const TPostBox&) = delete;

    // Any thread: runs fn on the context's thread unless the box is detached by then.
    void Post(std::function<void()> fn);
    // Any thread: like Post, but under `key` only the latest call waits: a call posted while an
    // earlier one with the same key has not run yet replaces it. Progress and stream parts take
    // this road, so a UI thread that is behind runs one call per key, not the backlog. With a
    // gap, calls of the key run at least that far apart (a flood of stream parts costs the UI
    // thread one call per frame of the screen).
    void PostLatest(int key, std::function<void()> fn,
                    std::chrono::milliseconds gap = std::chrono::milliseconds(0));
    // Context thread: runs the call waiting under key now, if there is one.
    void RunLatest(int key);
    // Context thread: nothing posted runs any more.
    void Detach();
    bool Detached() const;

private:
    struct TLatest
    {
        int Key = 0;
        std::function<void()> Fn;
        bool Queued = false;
        std::chrono::steady_clock::time_point LastRun;
    };

    mutable std::mutex Mutex;
    QObject* Context = nullptr; // under Mutex; null once detached
    const std::shared_ptr<TDispatcher> Dispatcher;
    std::vector<TLatest> Latest;
};

// What a feed shares with its tasks: the post box its values go through to the UI thread, and the
// tasks that fetch for it. Made on the UI thread; the feed's event slots live beside it.
struct TFeedSink
{
    std::shared_ptr<TPostBox> Box = std::make_shared<TPostBox>();
    std::vector<std::weak_ptr<TFetchTask>> Tasks; // set by Begin, before the engine has them

    // UI thread: the feed has not begun and its owner has not left.
    bool CanBegin() const { return Tasks.empty() && !Box->Detached(); }
    // UI thread: engine drives tasks from now on. False when the engine has stopped (the
    // program ends).
    bool Begin(TFetchEngine& engine, const std::vector<std::shared_ptr<TFetchTask>>& tasks);
    // UI thread: the owner leaves. Nothing posted runs any more, and the transfers under way end
    // at once.
    void Leave();
    // Any thread: the tasks' due times may have changed.
    void RescheduleAll() const;
};

// The one fetch engine: every transfer of viewers, chooser and mosaic on one thread with
// libcurl's multi interface. Webcams on the same host share the kept connections of its cache.
// Decoding and writing run on its pool, which has no more threads than the machine has cores.
class TFetchEngine : public std::enable_shared_from_this<TFetchEngine>
{
public:
    // The process-wide engine, made (and its thread started) on first use; never destroyed.
    static std::shared_ptr<TFetchEngine> Main();
    static bool HasMain();

    TFetchEngine();
    ~TFetchEngine();
    TFetchEngine(const TFetchEngine&) = delete;
    TFetchEngine& operator=(const TFetchEngine&) = delete;

    // Any thread: the engine drives task from now on (the first Due is asked at once).
    void Add(const std::shared_ptr<TFetchTask>& task);
    // The pool for decoding and writing.
    TWorkPool* Pool() const { return WorkPool.get(); }

    // Any thread: ends every transfer, stops the thread and waits for it and the pool at most
    // `bound`; true when both ended. Later Adds are dropped. Cannot be undone.
    bool Stop(std::chrono::milliseconds bound);
    bool Stopped() const { return StopFlag.load(); }

    // Figures for tests and benchmarks.
    int Tasks() const { return TaskCount.load(); }
    int TransfersUnderWay() const { return ActiveCount.load(); }

    // Any thread: the engine looks at its tasks again now.
    void Wake();

private:
    struct TSlot;
    void Run();
    void TakeCommands();
    void StartDue(std::chrono::steady_clock::time_point now);
    void EndTransfer(TSlot& slot, int code, bool deliver);
    void CheckSilence();

    void* Multi = nullptr; // CURLM*
    std::unique_ptr<TWorkPool> WorkPool;
    std::thread Thread;
    std::atomic<bool> StopFlag{false};
    std::atomic<int> TaskCount{0};
    std::atomic<int> ActiveCount{0};

    std::mutex CommandMutex;
    std::vector<std::shared_ptr<TFetchTask>> Incoming; // under CommandMutex

    std::mutex EndMutex;
    std::condition_variable EndWake;
    bool Ended = false; // under EndMutex: the thread left its loop

    // Engine thread only.
    std::vector<std::unique_ptr<TSlot>> Slots;
};

// The exit sequence's part for the engine: stops the process-wide engine (if it was made).
bool StopFetchEngine(std::chrono::milliseconds bound);
