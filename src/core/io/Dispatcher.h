#pragma once

#include "platform/wake/WakeUp.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// Hands calls from worker threads to the UI thread and lets the worker wait until they have run.
// The wait is ours, not Qt's, so Close() can release it: at exit, waiting workers are let go and
// later hand-overs return at once without running. Everything a call carries is published under
// the dispatcher's mutex, so the worker's writes before Call() happen-before the call's run on the
// UI thread, and the call's writes happen-before Call() returns.
class TDispatcher
{
public:
    // Must be created on the UI thread, the thread that runs the Qt event loop; calls run there.
    TDispatcher();
    ~TDispatcher();
    TDispatcher(const TDispatcher&) = delete;
    TDispatcher& operator=(const TDispatcher&) = delete;

    // The process-wide dispatcher of the fetch threads. The first call must be on the UI thread.
    static std::shared_ptr<TDispatcher> Main();
    // Whether Main() was ever created (the exit sequence does not create one).
    static bool HasMain();

    // Runs fn on the UI thread and returns true once it has run there (an exception it throws is
    // logged and goes no further). Returns false without running it when the dispatcher is or becomes closed.
    // Called on the UI thread itself, fn runs at once.
    bool Call(std::function<void()> fn);
    // Any thread: runs fn on the UI thread later, no sooner than delay from now, without waiting
    // for it. Dropped without running when the dispatcher is closed before its turn.
    void Post(std::function<void()> fn,
              std::chrono::milliseconds delay = std::chrono::milliseconds(0));

    // UI thread. Releases every waiting Call (they return false) and makes later ones return
    // false at once. Cannot be undone.
    void Close();
    bool IsClosed() const;
    bool IsUiThread() const { return std::this_thread::get_id() == UiThread; }

private:
    struct TJob
    {
        std::function<void()> Fn;
        bool Done = false;
    };

    void RunPending();

    const std::thread::id UiThread;
    mutable std::mutex Mutex;
    std::condition_variable Finished;
    std::deque<std::shared_ptr<TJob>> Queue;
    bool Closed = false;
    std::unique_ptr<TWakeUp> Wake;
};
