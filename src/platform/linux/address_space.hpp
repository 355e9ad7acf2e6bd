// A process's address space as Windows would describe it, built from the
// lines of /proc/PID/maps: regions for VirtualQueryEx and the module list.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/linux/procfs.hpp"
#include "platform/system.hpp"

namespace ac::lx {

// The end of the x86-64 user address space; nothing above it is queried.
inline constexpr uint64_t kUserSpaceEnd = 0x800000000000ull;

class AddressSpace {
public:
    explicit AddressSpace(const std::vector<MapsLine>& lines);

    // VirtualQueryEx at `address`: the mapping that holds it (from the
    // address's page to the mapping's end) or the free gap around it; nothing
    // at or above the end of user space unless a mapping lies there.
    std::optional<MemoryRegion> query(uint64_t address) const;

    // One region per mapping, ascending.
    const std::vector<MemoryRegion>& regions() const { return regions_; }

private:
    std::vector<MemoryRegion> regions_;
};

// The executable images among the mappings, one per file: base = the file's
// mapping at offset 0, size up to the end of its last mapping. The main
// executable comes first, the rest in address order. With `map_files` (a
// /proc/ID/map_files/ directory) each module's content path is the entry of
// its first mapping there.
std::vector<ModuleEntry> image_modules(const std::vector<MapsLine>& lines, std::string_view main_executable,
                                       std::string_view map_files = {});

}  // namespace ac::lx
