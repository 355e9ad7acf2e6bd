// Session lifecycle, the debugger check and the thread-hijack check.
#include <gtest/gtest.h>

#include "checks/debugger_check.hpp"
#include "checks/region_walk.hpp"
#include "checks/thread_count_check.hpp"
#include "checks/thread_hijack_check.hpp"
#include "fake_system.hpp"
#include "module/session.hpp"

namespace ac {
namespace {

using test::FakeMachine;

TEST(Session, InitializeAlwaysSucceedsAndShutdownOnlyClearsTheFlag) {
    FakeMachine m;
    ScopedSystemOverride use(m);
    shutdown_session();
    EXPECT_FALSE(session_state().initialized);
    EXPECT_TRUE(initialize_session(nullptr));
    EXPECT_TRUE(initialize_session("anything"));
    EXPECT_EQ(m.privilege_steps, 2);
    EXPECT_TRUE(session_state().initialized);
    shutdown_session();
    EXPECT_FALSE(session_state().initialized);
    EXPECT_EQ(m.privilege_steps, 2);
}

TEST(DebuggerCheck, AnySignalFiresUnreadableTargetDoesNot) {
    FakeMachine m;
    ScopedSystemOverride use(m);
    auto& p = m.add_process(50, "game.exe");
    p.debug.examined = true;
    p.debug.debug_object = 0;
    p.debug.remote_debugger = false;
    EXPECT_FALSE(debugger_attached(50));
    p.debug.debug_port = 0xFFFFFFFFFFFFFFFFull;
    EXPECT_TRUE(debugger_attached(50));
    p.debug = DebugSignals{};
    p.debug.examined = true;
    p.debug.tracer_pid = 77;
    EXPECT_TRUE(debugger_attached(50));
    p.debug.examined = false;  // signals that could not be trusted
    EXPECT_FALSE(debugger_attached(50));
    EXPECT_FALSE(debugger_attached(0));
    EXPECT_FALSE(debugger_attached(999));

    EXPECT_FALSE(host_debugger_attached());
    m.host_debug.examined = true;
    m.host_debug.peb_being_debugged = true;
    EXPECT_TRUE(host_debugger_attached());
}

MemoryRegion region(uint64_t base, uint64_t size, uint32_t type) {
    MemoryRegion r;
    r.base = r.allocation_base = base;
    r.size = size;
    r.type = type;
    r.state = win::MEM_COMMIT;
    r.protect = win::PAGE_EXECUTE_READ;
    return r;
}

TEST(ThreadHijackCheck, FiresOnAThreadStartingOutsideEveryImage) {
    FakeMachine m;
    ScopedSystemOverride use(m);
    auto& p = m.add_process(60, "game.exe");
    p.regions = {region(0x10000, 0x1000, win::MEM_PRIVATE), region(0x400000, 0x1000, win::MEM_IMAGE),
                 region(0x401000, 0x3000, win::MEM_IMAGE), region(0x7000000, 0x10000, win::MEM_PRIVATE)};
    p.threads = {{1, 0x400100}, {2, 0x403FFF}, {3, std::nullopt}};
    EXPECT_FALSE(thread_hijack_detected(60));  // adjacent image regions form one range
    p.threads.push_back({4, 0x7000100});
    EXPECT_TRUE(thread_hijack_detected(60));
    EXPECT_EQ(m.live_process_handles, 0);
}

TEST(ThreadHijackCheck, UnexaminableTargetsGiveFalse) {
    FakeMachine m;
    ScopedSystemOverride use(m);
    auto& p = m.add_process(61, "game.exe");
    p.threads = {{1, 0xdead0000}};
    p.regions = {region(0x400000, 0x1000, win::MEM_IMAGE)};
    p.denied_access = win::PROCESS_VM_READ;
    EXPECT_FALSE(thread_hijack_detected(61));
    p.denied_access = 0;
    p.region_query_fails = true;  // no image seen: no verdict
    EXPECT_FALSE(thread_hijack_detected(61));
    p.region_query_fails = false;
    m.thread_snapshot_fails = true;
    EXPECT_FALSE(thread_hijack_detected(61));
    EXPECT_FALSE(thread_hijack_detected(0));
    EXPECT_FALSE(thread_hijack_detected(-3));
    EXPECT_FALSE(thread_hijack_detected(12345));
}

TEST(ThreadCountCheck, OnlyAFloodOfThreadsIsSuspicious) {
    EXPECT_FALSE(thread_count_suspicious(0));  // a snapshot that raced the process
    EXPECT_FALSE(thread_count_suspicious(10000));
    EXPECT_TRUE(thread_count_suspicious(10001));
}

TEST(RegionWalk, StopsWhenTheNextAddressDoesNotAdvance) {
    FakeMachine m;
    ScopedSystemOverride use(m);
    auto& p = m.add_process(62, "game.exe");
    p.regions = {region(0x1000, 0x1000, win::MEM_PRIVATE), region(0xFFFFFFFFFFFFF000ull, 0x1000, win::MEM_PRIVATE)};
    auto process = m.open_process(62, win::PROCESS_QUERY_INFORMATION);
    int visited = 0;
    walk_regions(*process, [&](const MemoryRegion&) { return ++visited < 100; });
    EXPECT_EQ(visited, 4);  // free, region, free up to the top, the top region (its end wraps to 0)
}

}  // namespace
}  // namespace ac
