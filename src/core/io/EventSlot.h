#pragma once

#include <utility>

// Calls an event slot as it stands when the call comes (on the UI thread, where slots are set and
// cleared). It runs a copy: the slot may clear or replace itself while it runs. An empty slot is
// skipped.
template <class TSlot, class... TArgs> void RunSlot(const TSlot& slot, TArgs&&... args)
{
    if (!slot)
        return;
    const TSlot run = slot;
    run(std::forward<TArgs>(args)...);
}
