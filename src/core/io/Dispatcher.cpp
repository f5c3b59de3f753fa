#include "core/io/Dispatcher.h"

#include "core/Log.h"
#include "core/io/Guarded.h"
#include "core/io/ProcessWide.h"

#include <QTimer>
#include <chrono>

namespace {

// Runs a handed-over call; what it throws ends here, with a log line.
void RunCall(const std::function<void()>& fn)
{
    Guarded("a handed-over call", fn);
}

} // namespace

TDispatcher::TDispatcher() : UiThread(std::this_thread::get_id())
{
    // The UI thread learns of new calls through a wake-up of its event loop. Nothing of a call
    // travels through Qt's event queue: the queue and its locks stay out of the hand-over.
    Wake = std::make_unique<TWakeUp>([this] { RunPending(); });
    // Without one nothing could ever be handed over: the dispatcher starts closed, so workers end.
    if (!Wake->IsValid())
        Closed = true;
}

TDispatcher::~TDispatcher()
{
    Close();
}

std::shared_ptr<TDispatcher> TDispatcher::Main()
{
    return TProcessWide<TDispatcher>::Get();
}

bool TDispatcher::HasMain()
{
    return TProcessWide<TDispatcher>::Made();
}

bool TDispatcher::Call(std::function<void()> fn)
{
    if (IsUiThread()) {
        {
            std::lock_guard lock(Mutex);
            if (Closed)
                return false;
        }
        RunCall(fn);
        return true;
    }
    auto job = std::make_shared<TJob>();
    job->Fn = std::move(fn);
    std::unique_lock lock(Mutex);
    if (Closed)
        return false;
    Queue.push_back(job);
    Wake->Signal();
    Finished.wait(lock, [&] { return job->Done || Closed; });
    return job->Done;
}

void TDispatcher::Post(std::function<void()> fn, std::chrono::milliseconds delay)
{
    if (delay.count() > 0) {
        // The timer lives on the UI thread and ends with the wake-up: a dispatcher that goes
        // takes its waiting calls along.
        Post([this, fn = std::move(fn), delay]() mutable {
            QTimer::singleShot(delay, Wake->Context(), [this, fn = std::move(fn)] {
                if (!IsClosed())
                    RunCall(fn);
            });
        });
        return;
    }
    auto job = std::make_shared<TJob>();
    job->Fn = std::move(fn);
    std::lock_guard lock(Mutex);
    if (Closed)
        return;
    Queue.push_back(std::move(job)); // nobody waits for its Done
    Wake->Signal();
}

void TDispatcher::RunPending()
{
    // Many workers may hand over at once (every viewer's image in the same second). The calls run
    // in slices: after a slice the event loop gets its turn (paints, timers, input) and the rest
    // follows at its next pass, so no event waits behind the whole queue.
    const auto sliceEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(8);
    for (;;) {
        std::function<void()> fn;
        std::shared_ptr<TJob> job;
        {
            std::lock_guard lock(Mutex);
            if (Queue.empty() || Closed)
                return;
            if (std::chrono::steady_clock::now() >= sliceEnd) {
                Wake->Signal();
                return;
            }
            job = std::move(Queue.front());
            Queue.pop_front();
            fn = std::move(job->Fn);
        }
        RunCall(fn);
        {
            std::lock_guard lock(Mutex);
            job->Done = true;
        }
        Finished.notify_all();
        // The call's captures (a worker's keep-alive among them) are released here, outside the
        // lock: the last reference to a worker may go with them.
    }
}

void TDispatcher::Close()
{
    std::deque<std::shared_ptr<TJob>> released;
    {
        std::lock_guard lock(Mutex);
        Closed = true;
        released.swap(Queue);
    }
    Finished.notify_all();
    if (IsUiThread())
        Wake->Disable();
}

bool TDispatcher::IsClosed() const
{
    std::lock_guard lock(Mutex);
    return Closed;
}
