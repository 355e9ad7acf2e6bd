// The process inspection over the fake machine: seeding, level gating, the memory section, `suspicious`.
#include <gtest/gtest.h>

#include <cstring>

#include "fake_system.hpp"
#include "reports/process_report.hpp"
#include "reports/record.hpp"

namespace ac {
namespace {

using namespace proc_key;
using Values = std::vector<std::string>;
constexpr uint32_t kGame = 100;
constexpr uint64_t kImage = 0x7ff600000000;

struct GameMachine : test::FakeMachine {
    int memory_opens_left = 1000;  // memory openings past these fail
    ScopedSystemOverride use{*this};
    GameMachine() {
        test::FakeProcess& game = add_process(kGame, "game.exe", "C:\\Games\\game.exe");
        game.threads = {{1, {}}, {2, {}}, {3, {}}};
        game.regions = {{kImage, kImage, 0, 4096, win::MEM_COMMIT, win::PAGE_EXECUTE_READWRITE, win::MEM_PRIVATE}};
        std::vector<uint8_t>& page = game.memory[kImage] = std::vector<uint8_t>(4096, 0xCC);
        std::memcpy(&page[0], "MZ", 2), std::memcpy(&page[60], "\x80\0\0\0", 4), std::memcpy(&page[0x80], "PE\0\0", 4);
    }
    std::unique_ptr<ProcessHandle> open_process(uint32_t pid, uint32_t access) override {
        return access == 0x410 && --memory_opens_left < 0 ? nullptr : FakeMachine::open_process(pid, access);
    }
};

template <typename... K> Values at(const ReportRecord& r, K... keys) { return {std::string(get_field(r, keys))...}; }

TEST(ProcessInspection, SeedingAndLevelGating) {
    GameMachine m;
    ReportRecord seeded = seeded_record(kProcessRecordSeed);
    set_field(seeded, scanLevel, "heavy");
    for (int32_t pid : {0, -5}) EXPECT_EQ(inspect_process_record(pid, "C:\\Games", "HEAVY"), seeded) << pid;
    EXPECT_EQ(seeded.size(), 67u);
    EXPECT_EQ(m.opened.size() + m.process_snapshots + m.handle_queries, 0u);  // nothing was asked of the system

    m.find(kGame)->debug = {true, true, {}, {}, {}, {}};  // a debugger is attached
    ReportRecord cheap = inspect_process_record(kGame, nullptr, "CHEAP");
    EXPECT_EQ(m.process_snapshots, 0);  // no cheat-process scan
    EXPECT_EQ(at(cheap, processFound, threadCount, executablePath), (Values{"1", "3", "C:\\Games\\game.exe"}));
    ReportRecord medium = inspect_process_record(kGame, nullptr, "bogus");
    EXPECT_GT(m.process_snapshots, 0);
    for (auto [r, level, debugger] : {std::tuple{&cheap, "cheap", "0"}, {&medium, "medium", "1"}}) {
        EXPECT_EQ(at(*r, scanLevel, debuggerPresent, suspicious), (Values{level, debugger, debugger}));
        EXPECT_EQ(at(*r, memoryScanStatus, externalWriteHandleStatus, privateExecutableRegionCount, manualMapSuspected),
                  (Values{"not_run_scan_level", "not_run_scan_level", "", "0"}));
        EXPECT_EQ(r->size(), 67u);
    }
    EXPECT_EQ(m.handle_queries, 0);
    EXPECT_EQ(inspect_process_record(kGame, "D:\\elsewhere", nullptr), medium);  // the game directory is never read
}

TEST(ProcessInspection, HeavyManualMapFindingIsReportOnlyAndFailedOpeningsAreReported) {
    GameMachine m;
    ReportRecord r = inspect_process_record(kGame, nullptr, "heavy");
    EXPECT_EQ(at(r, memoryScanStatus, privateExecutableRegionCount, manualMapSuspected, manualMapReportOnly),
              (Values{"ok", "1", "1", "1"}));
    EXPECT_EQ(get_field(r, suspicious), "0");  // a manual-map finding alone is not suspicious
    EXPECT_EQ(get_field(r, privateExecutableRegionsJson).rfind("[{\"baseAddress\":\"0x7ff600000000\"", 0), 0u);
    EXPECT_EQ(m.handle_queries, 1);
    m.memory_opens_left = 1;  // the verdict's opening works, the region list's does not
    r = inspect_process_record(kGame, nullptr, "heavy");
    EXPECT_EQ(at(r, manualMapSuspected, privateExecutableRegionsJson), (Values{"1", "[]"}));
    m.memory_opens_left = 0;  // the target's memory cannot be opened at all
    r = inspect_process_record(kGame, nullptr, "heavy");
    EXPECT_EQ(at(r, processFound, memoryScanStatus, privateExecutableRegionCount, manualMapSuspected),
              (Values{"1", "access_denied", "", "0"}));
    EXPECT_EQ(r.count(std::string(privateExecutableRegionsJson)), 0u);
    EXPECT_EQ(m.live_process_handles, 0);
}

}  // namespace
}  // namespace ac
