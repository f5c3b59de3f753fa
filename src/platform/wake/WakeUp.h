#pragma once

#include <functional>
#include <memory>

class QObject;

// Wakes the thread that made it, inside that thread's Qt event loop, from any other thread: the
// way a worker tells the UI thread that something waits for it, without putting what waits into
// Qt's event queue. One implementation per system, chosen by CMake: WakeUpEventfd.cpp (Linux, an
// eventfd watched by the event loop) and WakeUpPortable.cpp (any system Qt runs on; the CMake
// option PICTAVO_PORTABLE_WAKE builds it on Linux too). Callers carry no system #ifdef.
class TWakeUp
{
public:
    // On the thread whose event loop is to run onWake (the UI thread).
    explicit TWakeUp(std::function<void()> onWake);
    // Any thread. Made on another thread's time, the wake-up still ends on its own thread; onWake
    // runs no more from here on.
    ~TWakeUp();
    TWakeUp(const TWakeUp&) = delete;
    TWakeUp& operator=(const TWakeUp&) = delete;

    // False when the system gave no wake-up (logged under lcWorker): Signal does nothing then.
    bool IsValid() const;
    // Any thread: onWake runs on the owner's thread soon. Signals that come before it runs fold
    // into one run; a signal that comes while it runs brings one more run.
    void Signal();
    // Owner's thread: onWake runs no more. Cannot be undone.
    void Disable();
    // An object on the owner's thread that lives as long as the wake-up: timers and queued calls
    // that must end with it take it as their context.
    QObject* Context() const;

private:
    struct TState;
    std::shared_ptr<TState> State;
};
