// The process inspection over the fake machine: seeding, level gating, the
// memory section and what may set `suspicious`.
#include <gtest/gtest.h>

#include <cstring>

#include "checks/thread_count_check.hpp"
#include "fake_system.hpp"
#include "reports/process_report.hpp"
#include "reports/record.hpp"

namespace ac {
namespace {

using test::FakeMachine;
using test::FakeProcess;

constexpr uint32_t kGame = 100;
constexpr uint64_t kInjected = 0x7ff600000000;

// A running game with three threads and, in private executable memory, a
// copied PE image.
FakeProcess& add_game(FakeMachine& m) {
    FakeProcess& game = m.add_process(kGame, "game.exe", "C:\\Games\\game.exe");
    game.threads = {{1, {}}, {2, {}}, {3, {}}};
    MemoryRegion r;
    r.base = r.allocation_base = kInjected;
    r.size = 4096;
    r.state = win::MEM_COMMIT;
    r.protect = win::PAGE_EXECUTE_READWRITE;
    r.type = win::MEM_PRIVATE;
    game.regions = {r};
    std::vector<uint8_t> page(4096, 0xCC);
    uint32_t e_lfanew = 0x80;
    std::memcpy(page.data(), "MZ", 2);
    std::memcpy(page.data() + 60, &e_lfanew, 4);
    std::memcpy(page.data() + 0x80, "PE\0\0", 4);
    game.memory[kInjected] = page;
    return game;
}

std::string field(const ReportRecord& r, std::string_view key) { return std::string(get_field(r, key)); }

TEST(ProcessInspection, NonPositivePidGivesTheSeededRecordWithoutTouchingTheSystem) {
    for (int32_t pid : {0, -5}) {
        FakeMachine m;
        ScopedSystemOverride use(m);
        add_game(m);
        ReportRecord expected = seeded_record(kProcessRecordSeed);
        set_field(expected, proc_key::scanLevel, "heavy");
        EXPECT_EQ(inspect_process_record(pid, "C:\\Games", "HEAVY"), expected);
        EXPECT_EQ(expected.size(), 67u);
        EXPECT_TRUE(m.opened.empty());
        EXPECT_EQ(m.process_snapshots + m.handle_queries, 0);
    }
}

TEST(ProcessInspection, LevelsGateTheSections) {
    FakeMachine m;
    ScopedSystemOverride use(m);
    add_game(m).debug = {true, true, {}, {}, {}, {}};  // a debugger is attached

    ReportRecord cheap = inspect_process_record(kGame, nullptr, "CHEAP");
    EXPECT_EQ(field(cheap, proc_key::scanLevel), "cheap");
    EXPECT_EQ(field(cheap, proc_key::processFound), "1");
    EXPECT_EQ(field(cheap, proc_key::threadCount), "3");
    EXPECT_EQ(field(cheap, proc_key::executablePath), "C:\\Games\\game.exe");
    EXPECT_EQ(field(cheap, proc_key::debuggerPresent), "0");  // not asked at cheap
    EXPECT_EQ(field(cheap, proc_key::suspicious), "0");
    EXPECT_EQ(m.process_snapshots, 0);  // no cheat-process scan

    ReportRecord medium = inspect_process_record(kGame, nullptr, "bogus");
    EXPECT_EQ(field(medium, proc_key::scanLevel), "medium");
    EXPECT_EQ(field(medium, proc_key::debuggerPresent), "1");
    EXPECT_EQ(field(medium, proc_key::suspicious), "1");
    EXPECT_GT(m.process_snapshots, 0);
    for (const ReportRecord* r : {&cheap, &medium}) {
        EXPECT_EQ(field(*r, proc_key::memoryScanStatus), "not_run_scan_level");
        EXPECT_EQ(field(*r, proc_key::privateExecutableRegionCount), "");
        EXPECT_EQ(field(*r, proc_key::manualMapSuspected), "0");
        EXPECT_EQ(field(*r, proc_key::externalWriteHandleStatus), "not_run_scan_level");
        EXPECT_EQ(r->size(), 67u);
    }
    EXPECT_EQ(m.handle_queries, 0);
    // The game directory is never read.
    EXPECT_EQ(inspect_process_record(kGame, "D:\\elsewhere", nullptr), medium);

    ReportRecord heavy = inspect_process_record(kGame, nullptr, "heavy");
    EXPECT_EQ(field(heavy, proc_key::memoryScanStatus), "ok");
    EXPECT_EQ(field(heavy, proc_key::privateExecutableRegionCount), "1");
    EXPECT_EQ(m.handle_queries, 1);
    EXPECT_EQ(m.live_process_handles, 0);
}

TEST(ProcessInspection, ManualMapFindingIsReportOnly) {
    FakeMachine m;
    ScopedSystemOverride use(m);
    add_game(m);
    ReportRecord r = inspect_process_record(kGame, nullptr, "heavy");
    EXPECT_EQ(field(r, proc_key::manualMapSuspected), "1");
    EXPECT_EQ(field(r, proc_key::manualMapReportOnly), "1");
    EXPECT_EQ(field(r, proc_key::privateExecutableRegionsJson).rfind("[{\"baseAddress\":\"0x7ff600000000\"", 0), 0u);
    EXPECT_EQ(field(r, proc_key::suspicious), "0");

    m.find(kGame)->memory.clear();  // the same region without an image in it
    r = inspect_process_record(kGame, nullptr, "heavy");
    EXPECT_EQ(field(r, proc_key::privateExecutableRegionCount), "1");
    EXPECT_EQ(field(r, proc_key::manualMapSuspected), "0");
    EXPECT_EQ(r.count(std::string(proc_key::privateExecutableRegionsJson)), 0u);
}

TEST(ProcessInspection, MemorySectionWhenTheTargetRefusesMemoryAccess) {
    FakeMachine m;
    ScopedSystemOverride use(m);
    add_game(m).denied_access = win::PROCESS_VM_READ;
    ReportRecord r = inspect_process_record(kGame, nullptr, "heavy");
    EXPECT_EQ(field(r, proc_key::processFound), "1");
    EXPECT_EQ(field(r, proc_key::memoryScanStatus), "access_denied");
    EXPECT_EQ(field(r, proc_key::privateExecutableRegionCount), "");
    EXPECT_EQ(field(r, proc_key::manualMapSuspected), "0");
    EXPECT_EQ(r.count(std::string(proc_key::privateExecutableRegionsJson)), 0u);
}

TEST(ProcessInspection, RegionListIsEmptyWhenTheSecondOpeningFails) {
    class SecondMemoryOpenFails : public FakeMachine {
    public:
        int memory_opens = 0;
        std::unique_ptr<ProcessHandle> open_process(uint32_t pid, uint32_t access) override {
            if (access == 0x410 && ++memory_opens > 1) return nullptr;
            return FakeMachine::open_process(pid, access);
        }
    } m;
    ScopedSystemOverride use(m);
    add_game(m);
    ReportRecord r = inspect_process_record(kGame, nullptr, "heavy");
    EXPECT_EQ(field(r, proc_key::manualMapSuspected), "1");
    EXPECT_EQ(field(r, proc_key::privateExecutableRegionsJson), "[]");
}

TEST(ProcessInspection, ThreadFloodAloneMakesSuspiciousAtEveryLevel) {
    // 0 is what a racing snapshot shows; one thread or hundreds are ordinary.
    for (int32_t n : {0, 1, 700, 10000}) EXPECT_FALSE(thread_count_suspicious(n)) << n;
    EXPECT_TRUE(thread_count_suspicious(10001));

    FakeMachine m;
    ScopedSystemOverride use(m);
    add_game(m).threads.resize(20000);
    ReportRecord r = inspect_process_record(kGame, nullptr, "cheap");
    EXPECT_EQ(field(r, proc_key::threadCountSuspicious), "1");
    EXPECT_EQ(field(r, proc_key::suspicious), "1");
    m.thread_snapshot_fails = true;
    r = inspect_process_record(kGame, nullptr, "cheap");
    EXPECT_EQ(field(r, proc_key::threadCount), "0");
    EXPECT_EQ(field(r, proc_key::suspicious), "0");
}

}  // namespace
}  // namespace ac
