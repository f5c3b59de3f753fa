#pragma once

#include "core/io/Dispatcher.h"
#include "core/io/EventSlot.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

// Base of the fetch threads. A worker is created suspended and started once; from then on it keeps
// itself alive and frees itself when its loop ends: its owner may forget it at any time. Owners
// hold it by std::shared_ptr and stop it with Terminate(); nobody waits for a worker, except the
// exit sequence, which waits a bounded time for all of them (WaitForWorkers).
class TWorkerThread : public std::enable_shared_from_this<TWorkerThread>
{
public:
    virtual ~TWorkerThread();
    TWorkerThread(const TWorkerThread&) = delete;
    TWorkerThread& operator=(const TWorkerThread&) = delete;

    // Runs Execute on a new thread. Only the first call does anything. False when this call did
    // not start the thread: a later call, or a thread that could not be created (logged under
    // lcWorker). A worker that could not start leaves nothing behind: it is not counted among the
    // running workers and goes with its owner's last reference.
    bool Start();
    // Any thread: asks the loop to end at its next check; wakes a sleeping worker.
    void Terminate();
    // Termination requested, or the dispatcher closed (the program is ending).
    bool Terminated() const;

    // Length of one second of waiting (the countdown's step, the pause after a failed fetch, the
    // least time between two rounds of the thumbnail thread); tests shorten it. Set before Start.
    std::chrono::milliseconds Tick{1000};

protected:
    explicit TWorkerThread(std::shared_ptr<TDispatcher> dispatcher);

    virtual void Execute() = 0;
    // Creates the thread that runs body and lets it go; throws (std::system_error) when no thread
    // can be created. Overridden by tests to make that happen.
    virtual void Launch(std::function<void()> body);

    // Waits for the given time; returns early (false) when termination is requested.
    bool Sleep(std::chrono::milliseconds duration);
    // Runs fn on the UI thread and waits until it has run; false when it could not be handed
    // over (dispatcher closed). The worker stays alive while fn runs.
    bool Synchronize(const std::function<void()>& fn);
    // Hands value to an event slot of the derived thread on the UI thread and waits until it has
    // run. The slot is looked up there, just before it would run, so a slot cleared meanwhile is
    // found empty and nothing runs; it may clear itself while it runs. False when the hand-over
    // failed (dispatcher closed).
    template <class TOwner, class TValue>
    bool Deliver(std::function<void(TValue&)> TOwner::*slot, TValue& value)
    {
        auto* owner = static_cast<TOwner*>(this);
        return Synchronize([owner, slot, &value] { RunSlot(owner->*slot, value); });
    }

    const std::shared_ptr<TDispatcher> Dispatcher;

private:
    std::atomic<bool> TerminateFlag{false};
    std::atomic<bool> Started{false};
    std::mutex SleepMutex;
    std::condition_variable SleepWake;
};

// A worker that does one piece of work and hands its outcome, one value, to OnDone on the UI
// thread; then it ends. The owner clears OnDone (ClearEvents) when it goes; the work is finished
// anyway, and a cleared OnDone is skipped.
template <class TValue> class TWorkerJob : public TWorkerThread
{
public:
    using TDoneEvent = std::function<void(TValue&)>;

    TDoneEvent OnDone; // UI thread only
    void ClearEvents() { OnDone = nullptr; }

protected:
    using TWorkerThread::TWorkerThread;

    // The work, on the worker's thread: the outcome to hand over, or none.
    virtual std::optional<TValue> Work() = 0;

private:
    void Execute() final
    {
        if (std::optional<TValue> value = Work())
            Deliver(&TWorkerJob::OnDone, *value);
    }
};

// Number of workers whose thread has not ended yet.
int RunningWorkers();
// Asks every running worker to terminate.
void TerminateAllWorkers();
// Waits until no worker runs any more, at most `bound`; true when none runs.
bool WaitForWorkers(std::chrono::milliseconds bound);
