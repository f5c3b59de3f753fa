#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// A fixed number of threads that run the jobs given to them, in the order given, each job on
// whichever thread is free. Threads are made as jobs need them, up to MaxThreads, and end with
// the pool. Built on the standard library's threads and locks, so that the thread checker sees
// every hand-over between a poster and the thread that runs its job.
class TWorkPool
{
public:
    explicit TWorkPool(int maxThreads);
    ~TWorkPool(); // drops the jobs not begun, waits for those under way
    TWorkPool(const TWorkPool&) = delete;
    TWorkPool& operator=(const TWorkPool&) = delete;

    // Any thread. A job that throws is logged; the thread goes on.
    void Start(std::function<void()> job);
    // Any thread: the jobs not begun are dropped.
    void Clear();
    // Any thread but the pool's own: waits at most bound until no job is queued or running.
    bool WaitForDone(std::chrono::milliseconds bound);
    int MaxThreads() const { return Max; }

private:
    void Work();

    const int Max;
    std::mutex Mutex;
    std::condition_variable JobWake;  // a job was queued, or the pool ends
    std::condition_variable DoneWake; // a job ended
    std::deque<std::function<void()>> Jobs;
    std::vector<std::thread> Threads;
    int Idle = 0;
    int Running = 0;
    bool Ending = false;
};
