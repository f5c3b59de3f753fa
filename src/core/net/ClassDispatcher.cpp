#include "core/net/ClassDispatcher.h"

#include "core/Log.h"

#include <QSocketNotifier>
#include <QTimer>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <exception>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

std::atomic<bool> mainCreated{false};

// Runs a handed-over call; what it throws ends here, with a log line.
void RunCall(const std::function<void()>& fn)
{
    try {
        fn();
    } catch (const std::exception& e) {
        qCInfo(lcWorker) << "a handed-over call failed:" << e.what();
    } catch (...) {
        qCInfo(lcWorker) << "a handed-over call failed";
    }
}

} // namespace

TDispatcher::TDispatcher() : UiThread(std::this_thread::get_id())
{
    // The UI thread learns of new calls through an eventfd watched by its event loop. Nothing of a
    // call travels through Qt's event queue: the queue and its locks stay out of the hand-over.
    WakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (WakeFd < 0) {
        // Nothing could ever be handed over: the dispatcher starts closed, so workers end.
        qCWarning(lcWorker) << "no eventfd for the dispatcher:" << strerror(errno);
        Closed = true;
        return;
    }
    Notifier = std::make_unique<QSocketNotifier>(WakeFd, QSocketNotifier::Read);
    QObject::connect(Notifier.get(), &QSocketNotifier::activated, Notifier.get(),
                     [this] { RunPending(); });
}

TDispatcher::~TDispatcher()
{
    Close();
    if (Notifier && !IsUiThread())
        Notifier.release()->deleteLater();
    Notifier.reset();
    if (WakeFd >= 0)
        ::close(WakeFd);
}

std::shared_ptr<TDispatcher> TDispatcher::Main()
{
    // Never destroyed: workers that outlive main() may still hold it.
    static auto* instance = new std::shared_ptr<TDispatcher>(std::make_shared<TDispatcher>());
    mainCreated.store(true);
    return *instance;
}

bool TDispatcher::HasMain()
{
    return mainCreated.load();
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
    if (Closed || WakeFd < 0)
        return false;
    Queue.push_back(job);
    const std::uint64_t one = 1;
    while (::write(WakeFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
    Finished.wait(lock, [&] { return job->Done || Closed; });
    return job->Done;
}

void TDispatcher::Post(std::function<void()> fn, std::chrono::milliseconds delay)
{
    if (delay.count() > 0) {
        // The timer lives on the UI thread and ends with the notifier: a dispatcher that goes
        // takes its waiting calls along.
        Post([this, fn = std::move(fn), delay]() mutable {
            if (Notifier)
                QTimer::singleShot(delay, Notifier.get(), [this, fn = std::move(fn)] {
                    if (!IsClosed())
                        RunCall(fn);
                });
        });
        return;
    }
    auto job = std::make_shared<TJob>();
    job->Fn = std::move(fn);
    std::lock_guard lock(Mutex);
    if (Closed || WakeFd < 0)
        return;
    Queue.push_back(std::move(job)); // nobody waits for its Done
    const std::uint64_t one = 1;
    while (::write(WakeFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void TDispatcher::RunPending()
{
    std::uint64_t count = 0;
    while (::read(WakeFd, &count, sizeof count) < 0 && errno == EINTR) {
    }
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
                const std::uint64_t one = 1;
                while (::write(WakeFd, &one, sizeof one) < 0 && errno == EINTR) {
                }
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
    if (Notifier && IsUiThread())
        Notifier->setEnabled(false);
}

bool TDispatcher::IsClosed() const
{
    std::lock_guard lock(Mutex);
    return Closed;
}
