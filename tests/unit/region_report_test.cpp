// The manual-map check and the region list it selects for.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "checks/manual_map_check.hpp"
#include "fake_system.hpp"
#include "reports/record.hpp"
#include "reports/region_report.hpp"

namespace ac {
namespace {

using test::FakeMachine;
using test::FakeProcess;

constexpr uint32_t kGame = 100;
constexpr uint32_t kMemoryAccess = win::PROCESS_QUERY_INFORMATION | win::PROCESS_VM_READ;

MemoryRegion region(uint64_t base, uint64_t size, uint32_t protect, uint32_t type = win::MEM_PRIVATE,
                    uint32_t state = win::MEM_COMMIT) {
    MemoryRegion r;
    r.base = base;
    r.allocation_base = base;
    r.size = size;
    r.state = state;
    r.protect = protect;
    r.type = type;
    return r;
}

std::vector<uint8_t> pe_header(size_t size = 4096, int32_t e_lfanew = 0x80) {
    std::vector<uint8_t> bytes(size, 0x90);
    bytes[0] = 'M';
    bytes[1] = 'Z';
    if (size >= 64) std::memcpy(bytes.data() + 60, &e_lfanew, 4);
    if (e_lfanew > 0 && static_cast<size_t>(e_lfanew) + 4 <= size) std::memcpy(bytes.data() + e_lfanew, "PE\0\0", 4);
    return bytes;
}

ManualMapVerdict check(FakeMachine& m, uint32_t pid = kGame) {
    auto h = m.open_process(pid, kMemoryAccess);
    return run_manual_map_check(*h);
}

TEST(RegionSelection, PrivateCommittedExecutableMemoryOnly) {
    EXPECT_TRUE(region_selected(region(0x10000, 4096, win::PAGE_EXECUTE)));
    EXPECT_TRUE(region_selected(region(0x10000, 4096, win::PAGE_EXECUTE_READ)));
    EXPECT_TRUE(region_selected(region(0x10000, 4096, win::PAGE_EXECUTE_READWRITE | win::PAGE_GUARD)));
    EXPECT_TRUE(region_selected(region(0x10000, 4096, win::PAGE_EXECUTE_WRITECOPY)));
    EXPECT_FALSE(region_selected(region(0x10000, 4096, win::PAGE_READWRITE)));
    EXPECT_FALSE(region_selected(region(0x10000, 4096, win::PAGE_EXECUTE_READ, win::MEM_IMAGE)));
    EXPECT_FALSE(region_selected(region(0x10000, 4096, win::PAGE_EXECUTE_READ, win::MEM_MAPPED)));
    EXPECT_FALSE(region_selected(region(0x10000, 4096, win::PAGE_EXECUTE_READ, win::MEM_PRIVATE, win::MEM_RESERVE)));
    EXPECT_FALSE(region_selected(region(0x10000, 4096, 0x60)));  // no single protection
}

TEST(ManualMapCheck, FiresOnAPeImageInPrivateMemory) {
    FakeMachine m;
    ScopedSystemOverride use(m);
    FakeProcess& p = m.add_process(kGame, "game.exe");
    p.regions = {region(0x140000000, 0x20000, win::PAGE_EXECUTE_READ, win::MEM_IMAGE),
                 region(0x200000000, 0x4000, win::PAGE_EXECUTE_READ),
                 region(0x300000000, 0x4000, win::PAGE_EXECUTE_READWRITE)};
    p.memory[0x140000000] = pe_header();  // a loaded module: image memory, not counted
    p.memory[0x200000000] = std::vector<uint8_t>(0x4000, 0xC3);
    p.memory[0x300000000] = pe_header();
    ManualMapVerdict v = check(m);
    EXPECT_EQ(v.region_count, 2);
    EXPECT_TRUE(v.suspected);
    EXPECT_EQ(m.live_process_handles, 0);
}

TEST(ManualMapCheck, HeaderAtTheAllocationBaseCountsWhenSectionsHaveTheirOwnProtection) {
    FakeMachine m;
    ScopedSystemOverride use(m);
    FakeProcess& p = m.add_process(kGame, "game.exe");
    MemoryRegion headers = region(0x300000000, 0x1000, win::PAGE_READONLY);
    MemoryRegion text = region(0x300001000, 0x8000, win::PAGE_EXECUTE_READ);
    text.allocation_base = headers.base;
    p.regions = {headers, text};
    p.memory[0x300000000] = pe_header(0x9000);
    EXPECT_TRUE(check(m).suspected);

    // The same layout in a file-backed or image view is a loader's work.
    p.regions[0].type = win::MEM_IMAGE;
    EXPECT_FALSE(check(m).suspected);
}

TEST(ManualMapCheck, MalformedHeadersAndCodeWithoutHeadersDoNotFire) {
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    };
    std::vector<uint8_t> no_pe = pe_header();
    std::memcpy(no_pe.data() + 0x80, "PX\0\0", 4);
    std::vector<Case> cases = {
        {"plain code", std::vector<uint8_t>(4096, 0xC3)},
        {"MZ without PE", no_pe},
        {"e_lfanew zero", pe_header(4096, 0)},
        {"e_lfanew negative", pe_header(4096, -8)},
        {"e_lfanew past the region", pe_header(4096, 4094)},
        {"e_lfanew huge", pe_header(4096, 0x7FFFFFF0)},
        {"region shorter than a DOS header", pe_header(32)},
    };
    for (const Case& c : cases) {
        FakeMachine m;
        ScopedSystemOverride use(m);
        FakeProcess& p = m.add_process(kGame, "game.exe");
        p.regions = {region(0x300000000, c.bytes.size(), win::PAGE_EXECUTE_READ)};
        p.memory[0x300000000] = c.bytes;
        ManualMapVerdict v = check(m);
        EXPECT_EQ(v.region_count, 1) << c.what;
        EXPECT_FALSE(v.suspected) << c.what;
    }
}

TEST(ManualMapCheck, LargeWritableCodeAllocationFiresButJitSizedChunksDoNot) {
    FakeMachine m;
    ScopedSystemOverride use(m);
    FakeProcess& p = m.add_process(kGame, "game.exe");
    p.regions = {region(0x10000000, 0x10000, win::PAGE_EXECUTE_READWRITE),   // an executable heap
                 region(0x20000000, 0x400000, win::PAGE_EXECUTE_READ)};       // large, but not writable
    EXPECT_FALSE(check(m).suspected);

    MemoryRegion tail = region(0x30001000, 0x200000, win::PAGE_EXECUTE_READWRITE);
    tail.allocation_base = 0x30000000;  // commits inside a reservation: a heap growing
    p.regions.push_back(tail);
    EXPECT_FALSE(check(m).suspected);

    p.regions.push_back(region(0x40000000, 0x100000, win::PAGE_EXECUTE_READWRITE));
    ManualMapVerdict v = check(m);
    EXPECT_TRUE(v.suspected);
    EXPECT_EQ(v.region_count, 4);
}

// Answers the walk from a script, to drive its ends.
class ScriptedWalk : public ProcessHandle {
public:
    std::vector<MemoryRegion> answers;
    int queries = 0;
    uint64_t value() const override { return 4; }
    std::optional<uint32_t> exit_code() override { return win::STILL_ACTIVE; }
    std::optional<std::string> image_path() override { return std::nullopt; }
    std::optional<MemoryRegion> query_region(uint64_t) override {
        if (queries >= static_cast<int>(answers.size())) return std::nullopt;
        return answers[queries++];
    }
    ReadResult read_memory(uint64_t, void*, size_t) override { return {}; }
};

TEST(ManualMapCheck, WalkEndsWhenTheNextAddressDoesNotAdvance) {
    ScriptedWalk zero_size;
    zero_size.answers = {region(0x1000, 0x1000, win::PAGE_EXECUTE_READ), region(0x2000, 0, win::PAGE_EXECUTE_READ),
                         region(0x2000, 0x1000, win::PAGE_EXECUTE_READ)};
    EXPECT_EQ(run_manual_map_check(zero_size).region_count, 2);
    EXPECT_EQ(zero_size.queries, 2);

    ScriptedWalk top_of_memory;  // base + size wraps past 2^64
    top_of_memory.answers = {region(0xFFFFFFFFFFFF0000, 0x10000, win::PAGE_EXECUTE_READ),
                             region(0, 0x1000, win::PAGE_EXECUTE_READ)};
    EXPECT_EQ(run_manual_map_check(top_of_memory).region_count, 1);
    EXPECT_EQ(top_of_memory.queries, 1);
}

TEST(RegionWords, ProtectionModifiersAreClearedAndUnknownValuesNamedSo) {
    EXPECT_EQ(protect_word(0x140), "EXECUTE_READWRITE");
    EXPECT_EQ(protect_word(0x704), "READWRITE");
    EXPECT_EQ(protect_word(0x01), "NOACCESS");
    EXPECT_EQ(protect_word(0x80), "EXECUTE_WRITECOPY");
    EXPECT_EQ(protect_word(0x60), "UNKNOWN");
    EXPECT_EQ(protect_word(0), "UNKNOWN");
    EXPECT_EQ(region_type_word(win::MEM_PRIVATE), "MEM_PRIVATE");
    EXPECT_EQ(region_type_word(win::MEM_MAPPED), "MEM_MAPPED");
    EXPECT_EQ(region_type_word(win::MEM_IMAGE), "MEM_IMAGE");
    EXPECT_EQ(region_type_word(win::MEM_COMMIT), "UNKNOWN");
}

TEST(RegionList, RecordShapeAndSample) {
    FakeMachine m;
    ScopedSystemOverride use(m);
    FakeProcess& p = m.add_process(kGame, "game.exe");
    p.regions = {region(0xABCD0000, 4096, win::PAGE_EXECUTE_READWRITE | win::PAGE_GUARD)};
    p.memory[0xABCD0000] = pe_header();
    auto list = list_executable_regions(kGame);
    ASSERT_EQ(list.size(), 1u);
    const ReportRecord& r = list[0];
    EXPECT_EQ(get_field(r, region_key::baseAddress), "0xabcd0000");
    EXPECT_EQ(get_field(r, region_key::protect), "EXECUTE_READWRITE");
    EXPECT_EQ(get_field(r, region_key::protectRaw), "320");
    EXPECT_EQ(get_field(r, region_key::sampleBytes), "4096");
    std::string hex(get_field(r, region_key::sampleHex));
    EXPECT_EQ(hex.size(), 8192u);
    EXPECT_EQ(hex.rfind("4d5a9090", 0), 0u);
    EXPECT_EQ(get_field(r, region_key::size), "4096");
    EXPECT_EQ(get_field(r, region_key::state), "4096");
    EXPECT_EQ(get_field(r, region_key::type), "MEM_PRIVATE");
    EXPECT_EQ(r.count(std::string(region_key::sampleStatus)), 0u);
    std::string json = records_to_json(list);
    EXPECT_EQ(json.rfind("[{\"baseAddress\":\"0xabcd0000\",\"protect\":\"EXECUTE_READWRITE\",\"protectRaw\":\"320\","
                         "\"sampleBytes\":\"4096\",\"sampleHex\":\"4d5a",
                         0),
              0u);
    EXPECT_TRUE(json.ends_with("\",\"size\":\"4096\",\"state\":\"4096\",\"type\":\"MEM_PRIVATE\"}]")) << json.substr(8000);
    EXPECT_EQ(m.live_process_handles, 0);
}

TEST(RegionList, ThreeLowestSelectedRegionsWithCappedOrFailedSamples) {
    FakeMachine m;
    ScopedSystemOverride use(m);
    FakeProcess& p = m.add_process(kGame, "game.exe");
    p.regions = {region(0x10000, 0x1000, win::PAGE_READWRITE),                 // not selected
                 region(0x20000, 0x200000, win::PAGE_EXECUTE_READ),            // 2 MiB
                 region(0x300000, 0x1000, win::PAGE_EXECUTE_READ),             // unreadable
                 region(0x400000, 0x2000, win::PAGE_EXECUTE_READ),             // only half readable
                 region(0x500000, 0x1000, win::PAGE_EXECUTE_READ),
                 region(0x600000, 0x1000, win::PAGE_EXECUTE_READ)};
    p.memory[0x20000] = std::vector<uint8_t>(0x200000, 0xAB);
    p.unreadable.insert(0x300000);
    p.memory[0x400000] = std::vector<uint8_t>(0x1000, 0x11);  // a partial copy reports failure
    p.memory[0x500000] = std::vector<uint8_t>(0x1000, 0x22);
    auto list = list_executable_regions(kGame);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(get_field(list[0], region_key::baseAddress), "0x20000");
    EXPECT_EQ(get_field(list[0], region_key::sampleBytes), "524288");
    EXPECT_EQ(get_field(list[0], region_key::sampleHex).size(), 1048576u);
    EXPECT_EQ(get_field(list[0], region_key::size), "2097152");
    for (size_t i : {1u, 2u}) {
        EXPECT_EQ(get_field(list[i], region_key::sampleStatus), "read_failed");
        EXPECT_EQ(list[i].count(std::string(region_key::sampleBytes)), 0u);
        EXPECT_EQ(list[i].count(std::string(region_key::sampleHex)), 0u);
    }
    EXPECT_EQ(get_field(list[2], region_key::baseAddress), "0x400000");

    // The check counts every selected region; the list stops at three.
    EXPECT_EQ(check(m).region_count, 5);
    EXPECT_EQ(m.live_process_handles, 0);
}

TEST(RegionList, EndsAtAFailedQueryAndIsEmptyWhenTheTargetCannotBeOpened) {
    FakeMachine m;
    ScopedSystemOverride use(m);
    FakeProcess& p = m.add_process(kGame, "game.exe");
    p.regions = {region(0x20000, 0x1000, win::PAGE_EXECUTE_READ)};
    p.region_query_fails = true;
    EXPECT_TRUE(list_executable_regions(kGame).empty());
    p.region_query_fails = false;
    p.denied_access = win::PROCESS_VM_READ;
    EXPECT_TRUE(list_executable_regions(kGame).empty());
    EXPECT_TRUE(list_executable_regions(555).empty());
    EXPECT_EQ(m.live_process_handles, 0);
}

TEST(RegionSample, NothingForZeroInputsOrAnEmptyRead) {
    FakeMachine m;
    ScopedSystemOverride use(m);
    FakeProcess& p = m.add_process(kGame, "game.exe");
    p.memory[0x1000] = {0x0F, 0xA0};
    auto h = m.open_process(kGame, kMemoryAccess);
    EXPECT_EQ(read_region_sample(h.get(), 0x1000, 2), "0fa0");
    EXPECT_EQ(read_region_sample(h.get(), 0x1000, 3), "");  // partial copy
    EXPECT_EQ(read_region_sample(h.get(), 0, 2), "");
    EXPECT_EQ(read_region_sample(h.get(), 0x1000, 0), "");
    EXPECT_EQ(read_region_sample(nullptr, 0x1000, 2), "");
}

}  // namespace
}  // namespace ac
