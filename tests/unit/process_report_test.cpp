// The process inspection over the fake machine: seeding, level gating, the memory section, `suspicious`.
#include <gtest/gtest.h>

#include "fake_system.hpp"
#include "reports/process_report.hpp"
#include "reports/record.hpp"

namespace ac {
namespace {

using namespace proc_key;
constexpr uint32_t kGame = 100;
constexpr uint64_t kImage = 0x7ff600000000;

struct GameMachine : test::FakeMachine {
    int memory_opens_left = 1000;  // memory openings past these fail
    ScopedSystemOverride use{*this};
    std::unique_ptr<ProcessHandle> open_process(uint32_t pid, uint32_t access) override {
        return access == 0x410 && --memory_opens_left < 0 ? nullptr : FakeMachine::open_process(pid, access);
    }
};

std::string at(const ReportRecord& r, auto... k) { return ((std::string(get_field(r, k)) + "|") + ...); }

TEST(ProcessInspection, SeedingLevelGatingAndTheHeavyMemorySection) {
    GameMachine m;
    test::FakeProcess& game = m.add_process(kGame, "game.exe", "C:\\Games\\game.exe");
    game.threads = {{1, {}}, {2, {}}, {3, {}}};
    game.regions = {{kImage, kImage, 0, 4096, win::MEM_COMMIT, win::PAGE_EXECUTE_READWRITE, win::MEM_PRIVATE}};
    std::vector<uint8_t>& page = game.memory[kImage] = std::vector<uint8_t>(4096, 0);
    page[0] = 'M', page[1] = 'Z', page[60] = 0x80, page[0x80] = 'P', page[0x81] = 'E';  // e_lfanew 0x80
    auto seeded = [r = seeded_record(kProcessRecordSeed)]() mutable { return set_field(r, scanLevel, "heavy"), r; }();
    for (int32_t pid : {0, -5}) EXPECT_EQ(inspect_process_record(pid, "C:\\Games", "HEAVY"), seeded) << pid;
    EXPECT_EQ(m.opened.size() + m.process_snapshots + m.handle_queries, 0u);  // nothing was asked of the system

    game.debug = {true, true, {}, {}, {}, {}};  // a debugger is attached
    ReportRecord cheap = inspect_process_record(kGame, nullptr, "CHEAP");
    EXPECT_EQ(at(cheap, processFound, threadCount, executablePath, scanLevel, debuggerPresent, suspicious) +
                  std::to_string(m.process_snapshots),  // no cheat-process scan below medium
              "1|3|C:\\Games\\game.exe|cheap|0|0|0");
    ReportRecord medium = inspect_process_record(kGame, nullptr, "bogus");
    EXPECT_EQ(at(medium, scanLevel, debuggerPresent, suspicious, memoryScanStatus, externalWriteHandleStatus,
                 privateExecutableRegionCount, manualMapSuspected) + std::to_string(m.process_snapshots),
              "medium|1|1|not_run_scan_level|not_run_scan_level||0|1");
    EXPECT_EQ(cheap.size() + medium.size(), 2 * 67u);
    EXPECT_EQ(inspect_process_record(kGame, "D:\\elsewhere", nullptr), medium);  // the game directory is never read

    game.debug = {};  // a manual-map finding alone is report-only, not suspicious
    auto heavy = [] { return inspect_process_record(kGame, nullptr, "heavy"); };
    ReportRecord r = heavy();  // the write-handle scan is heavy only: the first system handle query
    EXPECT_EQ(at(r, memoryScanStatus, privateExecutableRegionCount, manualMapSuspected, manualMapReportOnly,
                 suspicious) + std::to_string(m.handle_queries), "ok|1|1|1|0|1");
    EXPECT_EQ(get_field(r, privateExecutableRegionsJson).rfind("[{\"baseAddress\":\"0x7ff600000000\"", 0), 0u);
    m.memory_opens_left = 1;  // the verdict's opening works, the region list's does not
    EXPECT_EQ(at(heavy(), manualMapSuspected, privateExecutableRegionsJson), "1|[]|");
    m.memory_opens_left = 0;  // the target's memory cannot be opened at all
    EXPECT_EQ(at(r = heavy(), processFound, memoryScanStatus, privateExecutableRegionCount, manualMapSuspected),
              "1|access_denied||0|");
    EXPECT_EQ(r.count(std::string(privateExecutableRegionsJson)), 0u);
    EXPECT_EQ(m.live_process_handles, 0);
}

}  // namespace
}  // namespace ac
