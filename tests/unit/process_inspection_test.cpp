// The process inspection over the fake machine: seeding, level gating, the
// memory section and what may set `suspicious`.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "checks/thread_count_check.hpp"
#include "evidence/text.hpp"
#include "fake_system.hpp"
#include "reports/process_inspection.hpp"
#include "reports/record.hpp"

namespace ac {
namespace {

using test::FakeMachine;
using test::FakeProcess;

constexpr uint32_t kGame = 100;
constexpr uint32_t kHelper = 300;
constexpr uint64_t kInjected = 0x7ff600000000;

std::vector<uint8_t> pe_header_page() {
    std::vector<uint8_t> page(4096, 0xCC);
    page[0] = 'M';
    page[1] = 'Z';
    uint32_t e_lfanew = 0x80;
    std::memcpy(page.data() + 60, &e_lfanew, 4);
    std::memcpy(page.data() + 0x80, "PE\0\0", 4);
    return page;
}

MemoryRegion region(uint64_t base, uint64_t size, uint32_t protect, uint32_t type) {
    MemoryRegion r;
    r.base = base;
    r.allocation_base = base;
    r.size = size;
    r.state = win::MEM_COMMIT;
    r.protect = protect;
    r.type = type;
    return r;
}

// A game with three threads, its image, and a private executable region
// holding a PE image when `injected` is set.
FakeProcess& add_game(FakeMachine& m, bool injected) {
    FakeProcess& game = m.add_process(kGame, "game.exe", "C:\\Games\\Tarn\\game.exe");
    game.threads = {{1, {}}, {2, {}}, {3, {}}};
    game.regions.push_back(region(0x140000000, 0x10000, win::PAGE_EXECUTE_READ, win::MEM_IMAGE));
    if (injected) {
        game.regions.push_back(region(kInjected, 4096, win::PAGE_EXECUTE_READWRITE, win::MEM_PRIVATE));
        game.memory[kInjected] = pe_header_page();
    }
    return game;
}

// The handle list names whatever handle the inspection opened to the game.
class HandleListMachine : public FakeMachine {
public:
    std::vector<SystemHandle> foreign;
    std::unique_ptr<ProcessHandle> open_process(uint32_t pid, uint32_t access) override {
        auto h = FakeMachine::open_process(pid, access);
        if (h && pid == kGame) own_value_ = h->value();
        return h;
    }
    HandleQuery query_system_handles() override {
        HandleQuery q = FakeMachine::query_system_handles();
        q.handles.push_back({self_pid, own_value_, 0xABC, win::PROCESS_QUERY_LIMITED_INFORMATION});
        q.handles.insert(q.handles.end(), foreign.begin(), foreign.end());
        return q;
    }

private:
    uint64_t own_value_ = 0;
};

TEST(ProcessInspection, NonPositivePidGivesTheSeededRecordWithoutTouchingTheSystem) {
    for (int32_t pid : {0, -5}) {
        FakeMachine m;
        ScopedSystemOverride use(m);
        add_game(m, true);
        ReportRecord r = inspect_process_record(pid, "C:\\Games", "HEAVY");
        ReportRecord expected = seeded_record(kProcessRecordSeed);
        expected[std::string(proc_key::scanLevel)] = "heavy";
        EXPECT_EQ(r, expected);
        EXPECT_EQ(r.size(), 67u);
        EXPECT_EQ(get_field(r, proc_key::memoryScanStatus), "not_run");
        EXPECT_EQ(get_field(r, proc_key::externalWriteHandleStatus), "not_run");
        EXPECT_TRUE(m.opened.empty());
        EXPECT_EQ(m.process_snapshots + m.handle_queries + m.windows_enumerations, 0);
    }
}

TEST(ProcessInspection, CheapReadsOnlyProcessFacts) {
    FakeMachine m;
    ScopedSystemOverride use(m);
    FakeProcess& game = add_game(m, true);
    game.debug = {true, true, {}, {}, {}, {}};  // a debugger is attached, but cheap does not ask
    ReportRecord r = inspect_process_record(kGame, nullptr, "CHEAP");

    EXPECT_EQ(get_field(r, proc_key::scanLevel), "cheap");
    EXPECT_EQ(get_field(r, proc_key::processFound), "1");
    EXPECT_EQ(get_field(r, proc_key::threadCount), "3");
    EXPECT_EQ(get_field(r, proc_key::executablePath), "C:\\Games\\Tarn\\game.exe");
    EXPECT_EQ(get_field(r, proc_key::debuggerPresent), "0");
    EXPECT_EQ(get_field(r, proc_key::privateExecutableRegionCount), "");
    EXPECT_EQ(get_field(r, proc_key::manualMapSuspected), "0");
    EXPECT_EQ(get_field(r, proc_key::memoryScanStatus), "not_run_scan_level");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleStatus), "not_run_scan_level");
    EXPECT_EQ(get_field(r, proc_key::suspicious), "0");
    EXPECT_EQ(r.size(), 67u);
    EXPECT_EQ(m.process_snapshots, 0);  // no cheat-process scan
    EXPECT_EQ(m.handle_queries, 0);
    EXPECT_EQ(m.live_process_handles, 0);
}

TEST(ProcessInspection, MediumAddsTheDebuggerAndTheProcessScanButNoMemoryOrHandles) {
    FakeMachine m;
    ScopedSystemOverride use(m);
    FakeProcess& game = add_game(m, true);
    game.debug = {true, true, {}, {}, {}, {}};
    ReportRecord r = inspect_process_record(kGame, "C:\\Games", "no such level");

    EXPECT_EQ(get_field(r, proc_key::scanLevel), "medium");
    EXPECT_EQ(get_field(r, proc_key::debuggerPresent), "1");
    EXPECT_EQ(get_field(r, proc_key::suspicious), "1");
    EXPECT_EQ(get_field(r, proc_key::memoryScanStatus), "not_run_scan_level");
    EXPECT_EQ(get_field(r, proc_key::privateExecutableRegionCount), "");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleStatus), "not_run_scan_level");
    EXPECT_GT(m.process_snapshots, 0);
    EXPECT_EQ(m.handle_queries, 0);
    EXPECT_EQ(m.live_process_handles, 0);

    // The game directory is never read: any spelling gives the same record.
    EXPECT_EQ(inspect_process_record(kGame, nullptr, nullptr), r);
    EXPECT_EQ(inspect_process_record(kGame, "", "medium"), r);
}

TEST(ProcessInspection, HeavyReportsManualMapAndForeignWriterWithoutSettingSuspicious) {
    HandleListMachine m;
    ScopedSystemOverride use(m);
    add_game(m, true);
    m.add_process(kHelper, "helper.exe", "C:\\Tools\\helper.exe");
    m.foreign.push_back({kHelper, 0x40, 0xABC, win::PROCESS_ALL_ACCESS});
    ReportRecord r = inspect_process_record(kGame, nullptr, "heavy");

    EXPECT_EQ(get_field(r, proc_key::memoryScanStatus), "ok");
    EXPECT_EQ(get_field(r, proc_key::privateExecutableRegionCount), "1");
    EXPECT_EQ(get_field(r, proc_key::manualMapSuspected), "1");
    EXPECT_EQ(get_field(r, proc_key::manualMapReportOnly), "1");
    std::string json(get_field(r, proc_key::privateExecutableRegionsJson));
    EXPECT_EQ(json.rfind("[{\"baseAddress\":\"0x7ff600000000\",\"protect\":\"EXECUTE_READWRITE\"", 0), 0u) << json;
    EXPECT_NE(json.find("\"sampleHex\":\"4d5a"), std::string::npos);

    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleStatus), "ok");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleCount), "1");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleReportOnly), "1");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleProcessPid), "300");

    EXPECT_EQ(get_field(r, proc_key::suspicious), "0");
    EXPECT_EQ(m.live_process_handles, 0);
}

TEST(ProcessInspection, HeavyWithoutFindingsHasADecimalCountAndNoRegionList) {
    HandleListMachine m;
    ScopedSystemOverride use(m);
    add_game(m, false);
    ReportRecord r = inspect_process_record(kGame, nullptr, "heavy");
    EXPECT_EQ(get_field(r, proc_key::privateExecutableRegionCount), "0");
    EXPECT_EQ(get_field(r, proc_key::manualMapSuspected), "0");
    EXPECT_EQ(get_field(r, proc_key::manualMapReportOnly), "0");
    EXPECT_EQ(r.count(std::string(proc_key::privateExecutableRegionsJson)), 0u);
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleStatus), "ok");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleReportOnly), "0");
}

TEST(ProcessInspection, HeavyOnATargetThatRefusesMemoryAccess) {
    FakeMachine m;
    ScopedSystemOverride use(m);
    add_game(m, true).denied_access = win::PROCESS_VM_READ;
    ReportRecord r = inspect_process_record(kGame, nullptr, "heavy");
    EXPECT_EQ(get_field(r, proc_key::processFound), "1");
    EXPECT_EQ(get_field(r, proc_key::memoryScanStatus), "access_denied");
    EXPECT_EQ(get_field(r, proc_key::privateExecutableRegionCount), "");
    EXPECT_EQ(get_field(r, proc_key::manualMapSuspected), "0");
    EXPECT_EQ(r.count(std::string(proc_key::privateExecutableRegionsJson)), 0u);
}

TEST(ProcessInspection, RegionListIsEmptyWhenTheSecondOpeningFails) {
    class SecondMemoryOpenFails : public FakeMachine {
    public:
        int memory_opens = 0;
        std::unique_ptr<ProcessHandle> open_process(uint32_t pid, uint32_t access) override {
            if (access == (win::PROCESS_QUERY_INFORMATION | win::PROCESS_VM_READ) && ++memory_opens > 1)
                return nullptr;
            return FakeMachine::open_process(pid, access);
        }
    } m;
    ScopedSystemOverride use(m);
    add_game(m, true);
    ReportRecord r = inspect_process_record(kGame, nullptr, "heavy");
    EXPECT_EQ(get_field(r, proc_key::manualMapSuspected), "1");
    EXPECT_EQ(get_field(r, proc_key::privateExecutableRegionsJson), "[]");
    EXPECT_EQ(m.memory_opens, 2);
}

TEST(ProcessInspection, AProcessThatIsGoneOrEndedIsNotFound) {
    FakeMachine m;
    ScopedSystemOverride use(m);
    ReportRecord r = inspect_process_record(777, nullptr, "medium");
    EXPECT_EQ(get_field(r, proc_key::processFound), "0");
    EXPECT_EQ(get_field(r, proc_key::threadCount), "0");
    EXPECT_EQ(get_field(r, proc_key::executablePath), "");
    EXPECT_EQ(get_field(r, proc_key::debuggerPresent), "0");
    EXPECT_GT(m.process_snapshots, 0);  // the other processes are still scanned

    r = inspect_process_record(777, nullptr, "heavy");
    EXPECT_EQ(get_field(r, proc_key::memoryScanStatus), "access_denied");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleStatus), "target_access_denied");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleReportOnly), "0");

    add_game(m, false).exit_code = 0;  // exited, handle still answers
    r = inspect_process_record(kGame, nullptr, "cheap");
    EXPECT_EQ(get_field(r, proc_key::processFound), "0");
    EXPECT_EQ(get_field(r, proc_key::threadCount), "3");
}

TEST(ProcessInspection, ThreadCountVerdictIsJudgedAtEveryLevelAndAloneMakesSuspicious) {
    FakeMachine m;
    ScopedSystemOverride use(m);
    FakeProcess& game = add_game(m, false);
    game.threads.resize(20000);
    ReportRecord r = inspect_process_record(kGame, nullptr, "cheap");
    EXPECT_EQ(get_field(r, proc_key::threadCount), "20000");
    EXPECT_EQ(get_field(r, proc_key::threadCountSuspicious), "1");
    EXPECT_EQ(get_field(r, proc_key::suspicious), "1");

    m.thread_snapshot_fails = true;
    r = inspect_process_record(kGame, nullptr, "cheap");
    EXPECT_EQ(get_field(r, proc_key::threadCount), "0");
    EXPECT_EQ(get_field(r, proc_key::suspicious), "0");
}

TEST(ThreadCountCheck, OnlyAnImplausibleFloodIsSuspicious) {
    // 0 is what a racing snapshot shows; one thread or hundreds are ordinary.
    for (int32_t n : {0, 1, 2, 64, 700, 10000}) EXPECT_FALSE(thread_count_suspicious(n)) << n;
    EXPECT_TRUE(thread_count_suspicious(10001));
    EXPECT_TRUE(thread_count_suspicious(INT32_MAX));
}

TEST(ProcessInspection, ExecutablePathThatIsNotUtf8ComesBackRepaired) {
    FakeMachine m;
    ScopedSystemOverride use(m);
    add_game(m, false).image_path = std::string("C:\\Games\\caf\xE9.exe");
    ReportRecord r = inspect_process_record(kGame, nullptr, "cheap");
    std::string path(get_field(r, proc_key::executablePath));
    EXPECT_TRUE(is_structural_utf8(path)) << path;
    EXPECT_EQ(path.rfind("C:\\Games\\caf", 0), 0u);
    EXPECT_NE(path, "C:\\Games\\caf\xE9.exe");
}

}  // namespace
}  // namespace ac
