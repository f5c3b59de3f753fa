#include "mosaic/ThumbnailTick.h"

#include <chrono>

namespace {
int tickMs = 1000;
} // namespace

std::shared_ptr<TMireThread> NewThumbnailThread()
{
    std::shared_ptr<TMireThread> thread = TMireThread::Create();
    thread->Tick = std::chrono::milliseconds(tickMs);
    return thread;
}

void SetThumbnailTickMilliseconds(int ms)
{
    tickMs = ms;
}
