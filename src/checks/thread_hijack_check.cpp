// Thread-hijack check: a thread whose start address (on Linux: its current
// instruction pointer) lies outside every image-backed region of the target
// runs code that no loader mapped — the mark of a thread created on, or
// redirected to, injected memory. Threads whose address cannot be read are
// passed over, and a target that cannot be opened or walked gives false.
#include "checks/thread_hijack_check.hpp"

#include <utility>
#include <vector>

#include "checks/region_walk.hpp"
#include "platform/system.hpp"

namespace ac {

bool thread_hijack_detected(int32_t pid) {
    if (pid <= 0) return false;
    auto target = static_cast<uint32_t>(pid);
    auto process = sys().open_process(target, win::PROCESS_QUERY_INFORMATION | win::PROCESS_VM_READ);
    if (!process) return false;

    std::vector<std::pair<uint64_t, uint64_t>> images;  // [begin, end), ascending
    walk_regions(*process, [&](const MemoryRegion& r) {
        if (r.type != win::MEM_IMAGE || r.state != win::MEM_COMMIT) return true;
        if (!images.empty() && images.back().second == r.base) images.back().second = r.base + r.size;
        else images.emplace_back(r.base, r.base + r.size);
        return true;
    });
    if (images.empty()) return false;  // no image at all: the walk failed, not a verdict

    auto threads = sys().thread_snapshot();
    if (!threads) return false;
    for (const ThreadEntry& t : *threads) {
        if (t.owner_pid != target) continue;
        auto start = sys().thread_start_address(target, t.tid);
        if (!start || *start == 0) continue;
        bool inside = false;
        for (auto& [begin, end] : images)
            if (*start >= begin && *start < end) {
                inside = true;
                break;
            }
        if (!inside) return true;
    }
    return false;
}

}  // namespace ac
