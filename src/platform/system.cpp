#include "platform/system.hpp"

#include <atomic>

namespace ac {
namespace {
// Read by every call on whatever thread it runs; tests install overrides
// while no call is in flight, so plain acquire/release ordering suffices.
std::atomic<System*> g_override{nullptr};
}  // namespace

System& sys() {
    System* replacement = g_override.load(std::memory_order_acquire);
    return replacement ? *replacement : native_system();
}

int32_t System::thread_count(uint32_t pid) {
    auto threads = thread_snapshot();
    if (!threads) return 0;
    int32_t count = 0;
    for (const ThreadEntry& thread : *threads)
        if (thread.owner_pid == pid) ++count;
    return count;
}

ScopedSystemOverride::ScopedSystemOverride(System& replacement)
    : previous_(g_override.exchange(&replacement, std::memory_order_acq_rel)) {}

ScopedSystemOverride::~ScopedSystemOverride() { g_override.store(previous_, std::memory_order_release); }

}  // namespace ac
