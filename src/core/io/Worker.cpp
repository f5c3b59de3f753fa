#include "core/io/Worker.h"

#include "core/Log.h"
#include "core/io/Guarded.h"

#include <exception>
#include <set>
#include <thread>

namespace {

// Every worker whose thread runs, for TerminateAllWorkers. The set holds plain pointers: a worker
// leaves it before it can be freed. `Running` counts the threads until they let go of their worker.
struct TRegistry
{
    std::mutex Mutex;
    std::condition_variable Empty;
    std::set<TWorkerThread*> Workers;
    int Running = 0;
};

// Never destroyed: a worker that the exit sequence gave up on may still be ending while static
// objects are torn down, and it leaves the registry as its very last step.
TRegistry& Registry()
{
    static auto* registry = new TRegistry;
    return *registry;
}

} // namespace

TWorkerThread::TWorkerThread(std::shared_ptr<TDispatcher> dispatcher)
    : Dispatcher(dispatcher ? std::move(dispatcher) : TDispatcher::Main())
{
}

TWorkerThread::~TWorkerThread() = default;

void TWorkerThread::Launch(std::function<void()> body)
{
    std::thread(std::move(body)).detach();
}

bool TWorkerThread::Start()
{
    if (Started.exchange(true))
        return false;
    std::shared_ptr<TWorkerThread> self = weak_from_this().lock();
    if (!self) {
        qCWarning(lcWorker) << "worker not started: it must be held by a shared_ptr";
        return false;
    }
    TRegistry& registry = Registry();
    {
        std::lock_guard lock(registry.Mutex);
        registry.Workers.insert(this);
        ++registry.Running;
    }
    auto body = [self, &registry]() mutable {
        Guarded("a worker's run", [&self] { self->Execute(); });
        {
            std::lock_guard lock(registry.Mutex);
            registry.Workers.erase(self.get());
        }
        self.reset(); // frees the worker unless a hand-over still holds it
        std::lock_guard lock(registry.Mutex);
        if (--registry.Running == 0)
            registry.Empty.notify_all();
    };
    self.reset(); // the thread's copy is the worker's hold on itself; none is left if it fails
    QString failure;
    try {
        Launch(std::move(body));
        return true;
    } catch (const std::exception& e) {
        failure = QString::fromLocal8Bit(e.what());
    } catch (...) {
        failure = QStringLiteral("unknown error");
    }
    // No thread: undo the registration, so that nobody waits for a worker that never ran.
    {
        std::lock_guard lock(registry.Mutex);
        registry.Workers.erase(this);
        if (--registry.Running == 0)
            registry.Empty.notify_all();
    }
    qCWarning(lcWorker) << "worker thread could not be created:" << failure;
    return false;
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
    TRegistry& registry = Registry();
    std::lock_guard lock(registry.Mutex);
    return registry.Running;
}

void TerminateAllWorkers()
{
    TRegistry& registry = Registry();
    std::lock_guard lock(registry.Mutex);
    for (TWorkerThread* worker : registry.Workers)
        worker->Terminate();
}

bool WaitForWorkers(std::chrono::milliseconds bound)
{
    TRegistry& registry = Registry();
    std::unique_lock lock(registry.Mutex);
    return registry.Empty.wait_for(lock, bound, [&registry] { return registry.Running == 0; });
}
