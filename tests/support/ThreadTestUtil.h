#pragma once

#include "core/io/Worker.h"
#include "core/net/FetchEngine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <chrono>
#include <thread>

// Runs the UI thread's event loop (where the dispatcher delivers the workers' events) until pred
// holds or timeoutMs has passed; returns whether pred holds.
template <class Pred> bool PumpUntil(Pred pred, int timeoutMs = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (!pred()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Runs the event loop for the given time.
inline void PumpFor(int ms)
{
    PumpUntil([] { return false; }, ms);
}

// No worker thread runs and the process-wide fetch engine drives no feed any more.
inline bool FeedsIdle()
{
    return RunningWorkers() == 0 &&
           (!TFetchEngine::HasMain() || TFetchEngine::Main()->Tasks() == 0);
}
