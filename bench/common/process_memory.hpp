// What a benchmark's own process has committed, for the figures it prints.
#pragma once

#include <windows.h>

// Committed private memory, summed over the address space as the system
// accounts it (what counts against the commit limit on Windows, touched or
// not).
inline unsigned long long committed_private_bytes()
{
    unsigned long long total = 0;
    MEMORY_BASIC_INFORMATION region;
    for (const char *at = nullptr; VirtualQuery(at, &region, sizeof region) == sizeof region;
         at = static_cast<const char *>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            total += region.RegionSize;
    }
    return total;
}
