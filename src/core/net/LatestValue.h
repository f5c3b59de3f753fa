#pragma once

#include <mutex>
#include <optional>
#include <utility>

// The newest of a worker's values, waiting for the UI thread: a value not taken yet is replaced
// by the next one instead of queuing behind it, so a source that makes values faster than the UI
// takes them costs the UI one hand-over per take, not one per value.
//
// Protocol: the worker Puts; when Put returns true nobody is due to take, and the worker arranges
// a take on the UI thread. The taker, after using a value, arranges the next take (it is still
// due); a Take that finds nothing ends the duty, and the next Put returns true again.
template <class T> class TLatestValue
{
public:
    bool Put(T value)
    {
        std::lock_guard lock(Mutex);
        if (Value)
            ++ReplacedCount;
        Value = std::move(value);
        if (Due)
            return false;
        Due = true;
        return true;
    }

    std::optional<T> Take()
    {
        std::lock_guard lock(Mutex);
        std::optional<T> taken = std::move(Value);
        Value.reset();
        if (!taken)
            Due = false;
        return taken;
    }

    // Values that were replaced before anybody took them.
    long long Replaced() const
    {
        std::lock_guard lock(Mutex);
        return ReplacedCount;
    }

private:
    mutable std::mutex Mutex;
    std::optional<T> Value;
    bool Due = false;
    long long ReplacedCount = 0;
};
