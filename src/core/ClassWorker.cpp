#include "core/ClassWorker.h"

#include "core/ClassHttpClient.h"

#include <set>
#include <thread>

namespace {

// Every worker whose thread runs, for TerminateAllWorkers. The set holds plain pointers: a worker
// leaves it before it can be freed. `running` counts the threads until they let go of their worker.
std::mutex registryMutex;
std::condition_variable registryEmpty;
std::set<TWorkerThread*> registry;
int running = 0;

} // namespace

TWorkerThread::TWorkerThread(std::shared_ptr<TDispatcher> dispatcher)
    : Dispatcher(dispatcher ? std::move(dispatcher) : TDispatcher::Main())
{
}

TWorkerThread::~TWorkerThread() = default;

void TWorkerThread::Start()
{
    if (Started.exchange(true))
        return;
    std::shared_ptr<TWorkerThread> self = shared_from_this();
    {
        std::lock_guard lock(registryMutex);
        registry.insert(this);
        ++running;
    }
    std::thread([self = std::move(self)]() mutable {
        try {
            self->Execute();
        } catch (...) {
            // An unexpected failure ends the thread without a report.
        }
        {
            std::lock_guard lock(registryMutex);
            registry.erase(self.get());
        }
        self.reset(); // frees the worker unless a hand-over still holds it
        std::lock_guard lock(registryMutex);
        if (--running == 0)
            registryEmpty.notify_all();
    }).detach();
}

void TWorkerThread::Terminate()
{
    {
        std::lock_guard lock(SleepMutex);
        TerminateFlag.store(true);
    }
    SleepWake.notify_all();
}

bool TWorkerThread::Terminated() const
{
    return TerminateFlag.load() || Dispatcher->IsClosed();
}

bool TWorkerThread::Sleep(std::chrono::milliseconds duration)
{
    std::unique_lock lock(SleepMutex);
    return !SleepWake.wait_for(lock, duration, [this] { return TerminateFlag.load(); });
}

bool TWorkerThread::Synchronize(const std::function<void()>& fn)
{
    std::shared_ptr<TWorkerThread> keep = shared_from_this();
    return Dispatcher->Call([keep, fn] { fn(); });
}

int RunningWorkers()
{
    std::lock_guard lock(registryMutex);
    return running;
}

void TerminateAllWorkers()
{
    std::lock_guard lock(registryMutex);
    for (TWorkerThread* worker : registry)
        worker->Terminate();
}

bool WaitForWorkers(std::chrono::milliseconds bound)
{
    std::unique_lock lock(registryMutex);
    return registryEmpty.wait_for(lock, bound, [] { return running == 0; });
}

bool ShutdownWorkers(TDispatcher* dispatcher, std::chrono::milliseconds bound)
{
    if (dispatcher)
        dispatcher->Close();
    THttpClient::AbortAll();
    TerminateAllWorkers();
    const bool allEnded = WaitForWorkers(bound);
    if (allEnded)
        THttpClient::GlobalCleanup();
    return allEnded;
}

bool ShutdownWorkers(std::chrono::milliseconds bound)
{
    return ShutdownWorkers(TDispatcher::HasMain() ? TDispatcher::Main().get() : nullptr, bound);
}
