// The thread-count check feeds `suspicious` directly, so it must never fire on
// a healthy game. Low counts prove nothing: 0 is what a racing snapshot shows
// for a process that is starting or exiting, and a loader or launcher stub may
// legitimately run on one thread. High counts are normal too: engines size
// their worker pools by core count, and drivers, audio and overlays add their
// own threads, so a few hundred is ordinary on a large machine.
//
// What a game never has is tens of thousands of threads: with the default
// 1 MiB stack reservation that is already tens of GiB of address space spent
// on stacks. Counts like that come from thread flooding (spawning threads
// faster than a scanner can walk them, or a runaway injector retrying remote
// threads), which is what this check reports.
#include "checks/thread_count_check.hpp"

namespace ac {
namespace {

constexpr int32_t kMostThreadsAGameRuns = 10000;

}  // namespace

bool thread_count_suspicious(int32_t thread_count) { return thread_count > kMostThreadsAGameRuns; }

}  // namespace ac
