#include "core/net/WorkPool.h"

#include "core/Log.h"
#include "core/io/Guarded.h"

#include <algorithm>
#include <exception>

TWorkPool::TWorkPool(int maxThreads) : Max(std::max(1, maxThreads)) {}

TWorkPool::~TWorkPool()
{
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(Mutex);
        Ending = true;
        Jobs.clear();
        threads.swap(Threads);
    }
    JobWake.notify_all();
    for (std::thread& thread : threads)
        if (thread.joinable())
            thread.join();
}

void TWorkPool::Start(std::function<void()> job)
{
    {
        std::lock_guard lock(Mutex);
        if (Ending)
            return;
        Jobs.push_back(std::move(job));
        if (Idle == 0 && int(Threads.size()) < Max) {
            try {
                Threads.emplace_back([this] { Work(); });
                return;
            } catch (const std::exception& e) {
                // The threads there are take the job.
                qCWarning(lcWorker) << "no new pool thread:" << e.what();
            }
        }
    }
    JobWake.notify_one();
}

void TWorkPool::Clear()
{
    std::lock_guard lock(Mutex);
    Jobs.clear();
    DoneWake.notify_all();
}

bool TWorkPool::WaitForDone(std::chrono::milliseconds bound)
{
    std::unique_lock lock(Mutex);
    return DoneWake.wait_for(lock, bound, [this] { return Jobs.empty() && Running == 0; });
}

void TWorkPool::Work()
{
    std::unique_lock lock(Mutex);
    for (;;) {
        ++Idle;
        JobWake.wait(lock, [this] { return Ending || !Jobs.empty(); });
        --Idle;
        if (Ending)
            return;
        std::function<void()> job = std::move(Jobs.front());
        Jobs.pop_front();
        ++Running;
        lock.unlock();
        Guarded("a pool job", job);
        job = nullptr; // what it holds goes before the pool counts it done
        lock.lock();
        --Running;
        DoneWake.notify_all();
    }
}
