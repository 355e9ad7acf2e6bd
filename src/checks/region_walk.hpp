// The address-space walk shared by the memory checks: region by region from
// address 0, each step at the previous base plus its size. It stops on a
// failed query and on an address that would not advance, so a lying or
// changing target cannot make it loop.
#pragma once

#include <cstdint>

#include "platform/system.hpp"

namespace ac {

// visit(region) returns false to stop early.
template <typename Visit>
void walk_regions(ProcessHandle& process, Visit&& visit) {
    uint64_t address = 0;
    for (;;) {
        auto region = process.query_region(address);
        if (!region) return;
        if (!visit(*region)) return;
        uint64_t next = region->base + region->size;
        if (next <= address || next < region->base) return;
        address = next;
    }
}

}  // namespace ac
