#pragma once
#include <cstdint>

#include "platform/system.hpp"

namespace ac {

// The region test that both the manual-map count and the region report use.
bool region_selected(const MemoryRegion& region);

struct ManualMapVerdict {
    int32_t region_count = 0;
    bool suspected = false;
};

// Walks the target's memory through a handle opened with 0x410.
ManualMapVerdict run_manual_map_check(ProcessHandle& process);

}  // namespace ac
