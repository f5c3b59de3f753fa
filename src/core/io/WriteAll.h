#pragma once

#include <cstddef>
#include <cstdint>

// The one loop that writes every byte: writeSome(data, n) writes what it can and returns how many
// bytes that was (below 0: it failed). A call that writes nothing counts as a failure, so that a
// full disk ends the loop instead of spinning. True when all n bytes were written.
template <typename TWriteSome>
bool WriteAll(const void* data, std::size_t n, TWriteSome&& writeSome)
{
    const auto* p = static_cast<const std::uint8_t*>(data);
    while (n > 0) {
        const auto written = writeSome(p, n);
        if (written <= 0)
            return false;
        p += written;
        n -= static_cast<std::size_t>(written);
    }
    return true;
}
