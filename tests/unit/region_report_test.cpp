// The manual-map check and the region list it selects for.
#include <gtest/gtest.h>

#include <cstring>

#include "checks/manual_map_check.hpp"
#include "fake_system.hpp"
#include "reports/record.hpp"
#include "reports/region_report.hpp"

namespace ac {
namespace {

using test::FakeMachine;
using test::FakeProcess;

constexpr uint32_t kGame = 100;

MemoryRegion region(uint64_t base, uint64_t size, uint32_t protect, uint32_t type = win::MEM_PRIVATE) {
    MemoryRegion r;
    r.base = r.allocation_base = base;
    r.size = size;
    r.state = win::MEM_COMMIT;
    r.protect = protect;
    r.type = type;
    return r;
}

std::vector<uint8_t> pe_header(size_t size = 4096, int32_t e_lfanew = 0x80) {
    std::vector<uint8_t> bytes(size, 0x90);
    std::memcpy(bytes.data(), "MZ", 2);
    if (size >= 64) std::memcpy(bytes.data() + 60, &e_lfanew, 4);
    if (e_lfanew > 0 && static_cast<size_t>(e_lfanew) + 4 <= size) std::memcpy(bytes.data() + e_lfanew, "PE\0\0", 4);
    return bytes;
}

ManualMapVerdict check(FakeMachine& m) { return run_manual_map_check(*m.open_process(kGame, 0x410)); }

TEST(ManualMapCheck, SelectsPrivateCommittedExecutableMemory) {
    EXPECT_TRUE(region_selected(region(0x10000, 4096, win::PAGE_EXECUTE)));
    EXPECT_TRUE(region_selected(region(0x10000, 4096, win::PAGE_EXECUTE_READWRITE | win::PAGE_GUARD)));
    EXPECT_FALSE(region_selected(region(0x10000, 4096, win::PAGE_READWRITE)));
    EXPECT_FALSE(region_selected(region(0x10000, 4096, win::PAGE_EXECUTE_READ, win::MEM_IMAGE)));
    EXPECT_FALSE(region_selected(region(0x10000, 4096, win::PAGE_EXECUTE_READ, win::MEM_MAPPED)));
    MemoryRegion reserved = region(0x10000, 4096, win::PAGE_EXECUTE_READ);
    reserved.state = win::MEM_RESERVE;
    EXPECT_FALSE(region_selected(reserved));
}

TEST(ManualMapCheck, PeImageInPrivateMemoryAtTheRegionOrItsAllocationBase) {
    FakeMachine m;
    ScopedSystemOverride use(m);
    FakeProcess& p = m.add_process(kGame, "game.exe");
    p.regions = {region(0x140000000, 0x20000, win::PAGE_EXECUTE_READ, win::MEM_IMAGE),
                 region(0x200000000, 0x4000, win::PAGE_EXECUTE_READ)};
    p.memory[0x140000000] = pe_header();  // a loaded module: not counted, not suspect
    EXPECT_EQ(check(m).region_count, 1);
    EXPECT_FALSE(check(m).suspected);

    // A mapper that protects each section: read-only headers, then code.
    MemoryRegion headers = region(0x300000000, 0x1000, win::PAGE_READONLY);
    MemoryRegion text = region(0x300001000, 0x8000, win::PAGE_EXECUTE_READ);
    text.allocation_base = headers.base;
    p.regions.push_back(headers);
    p.regions.push_back(text);
    p.memory[0x300000000] = pe_header(0x9000);
    EXPECT_TRUE(check(m).suspected);
    p.regions[2].type = win::MEM_MAPPED;  // headers from a file view are a loader's work
    EXPECT_FALSE(check(m).suspected);
    EXPECT_EQ(m.live_process_handles, 0);
}

TEST(ManualMapCheck, MalformedHeadersDoNotFireAndReadsStayInTheRegion) {
    std::vector<uint8_t> no_pe = pe_header();
    std::memcpy(no_pe.data() + 0x80, "PX", 2);
    const std::vector<std::vector<uint8_t>> cases = {
        pe_header(),                   // control: fires
        std::vector<uint8_t>(4096, 0xC3), no_pe, pe_header(4096, 0), pe_header(4096, -8),
        pe_header(8192, 4094),         // readable memory, but past the region's end
        pe_header(4096, 0x7FFFFFF0), pe_header(32)};
    for (size_t i = 0; i < cases.size(); ++i) {
        FakeMachine m;
        ScopedSystemOverride use(m);
        FakeProcess& p = m.add_process(kGame, "game.exe");
        p.regions = {region(0x300000000, 4096, win::PAGE_EXECUTE_READ)};
        p.memory[0x300000000] = cases[i];
        EXPECT_EQ(check(m).suspected, i == 0) << "case " << i;
    }
}

TEST(ManualMapCheck, LargeWritableCodeAllocationFiresButHeapSizedChunksDoNot) {
    FakeMachine m;
    ScopedSystemOverride use(m);
    FakeProcess& p = m.add_process(kGame, "game.exe");
    MemoryRegion growing_heap = region(0x30001000, 0x200000, win::PAGE_EXECUTE_READWRITE);
    growing_heap.allocation_base = 0x30000000;
    p.regions = {region(0x10000000, 0x10000, win::PAGE_EXECUTE_READWRITE),  // executable heap
                 region(0x20000000, 0x400000, win::PAGE_EXECUTE_READ),      // large, not writable
                 growing_heap};
    EXPECT_FALSE(check(m).suspected);
    p.regions.push_back(region(0x40000000, 0x100000, win::PAGE_EXECUTE_READWRITE));
    EXPECT_TRUE(check(m).suspected);
}

// Answers a walk from a script, to drive its ends.
class ScriptedWalk : public ProcessHandle {
public:
    std::vector<MemoryRegion> answers;
    size_t queries = 0;
    uint64_t value() const override { return 4; }
    std::optional<uint32_t> exit_code() override { return std::nullopt; }
    std::optional<std::string> image_path() override { return std::nullopt; }
    std::optional<MemoryRegion> query_region(uint64_t) override {
        if (queries >= answers.size()) return std::nullopt;
        return answers[queries++];
    }
    ReadResult read_memory(uint64_t, void*, size_t) override { return {}; }
};

TEST(ManualMapCheck, WalkEndsWhenTheNextAddressDoesNotAdvance) {
    ScriptedWalk empty_region;
    empty_region.answers = {region(0x1000, 0x1000, win::PAGE_EXECUTE), region(0x2000, 0, win::PAGE_EXECUTE),
                            region(0x2000, 0x1000, win::PAGE_EXECUTE)};
    EXPECT_EQ(run_manual_map_check(empty_region).region_count, 2);
    EXPECT_EQ(empty_region.queries, 2u);

    ScriptedWalk top;  // base + size wraps past 2^64
    top.answers = {region(0xFFFFFFFFFFFF0000, 0x10000, win::PAGE_EXECUTE), region(0x1000, 0x1000, win::PAGE_EXECUTE)};
    EXPECT_EQ(run_manual_map_check(top).region_count, 1);
}

TEST(RegionList, WordsForProtectionAndType) {
    EXPECT_EQ(protect_word(0x140), "EXECUTE_READWRITE");
    EXPECT_EQ(protect_word(0x704), "READWRITE");
    EXPECT_EQ(protect_word(0x60), "UNKNOWN");
    EXPECT_EQ(region_type_word(win::MEM_IMAGE), "MEM_IMAGE");
    EXPECT_EQ(region_type_word(win::MEM_COMMIT), "UNKNOWN");
}

TEST(RegionList, RecordOfOneReadableRegion) {
    FakeMachine m;
    ScopedSystemOverride use(m);
    FakeProcess& p = m.add_process(kGame, "game.exe");
    p.regions = {region(0xABCD0000, 4096, 0x140)};
    p.memory[0xABCD0000] = pe_header();
    auto list = list_executable_regions(kGame);
    ASSERT_EQ(list.size(), 1u);
    std::string hex(get_field(list[0], region_key::sampleHex));
    EXPECT_EQ(hex.size(), 8192u);
    EXPECT_EQ(hex.substr(0, 8), "4d5a9090");
    hex.assign("-");  // keep the expected record short
    set_field(list[0], region_key::sampleHex, hex);
    EXPECT_EQ(list[0], (ReportRecord{{"baseAddress", "0xabcd0000"},
                                     {"protect", "EXECUTE_READWRITE"},
                                     {"protectRaw", "320"},
                                     {"sampleBytes", "4096"},
                                     {"sampleHex", "-"},
                                     {"size", "4096"},
                                     {"state", "4096"},
                                     {"type", "MEM_PRIVATE"}}));
    EXPECT_EQ(m.live_process_handles, 0);
}

TEST(RegionList, ThreeLowestSelectedRegionsWithCappedOrFailedSamples) {
    FakeMachine m;
    ScopedSystemOverride use(m);
    FakeProcess& p = m.add_process(kGame, "game.exe");
    p.regions = {region(0x10000, 0x1000, win::PAGE_READWRITE),      // not selected
                 region(0x20000, 0x200000, win::PAGE_EXECUTE_READ),  // 2 MiB
                 region(0x300000, 0x1000, win::PAGE_EXECUTE_READ),   // unreadable
                 region(0x400000, 0x2000, win::PAGE_EXECUTE_READ),   // half readable: a partial copy fails
                 region(0x500000, 0x1000, win::PAGE_EXECUTE_READ), region(0x600000, 0x1000, win::PAGE_EXECUTE_READ)};
    p.memory[0x20000] = std::vector<uint8_t>(0x200000, 0xAB);
    p.unreadable.insert(0x300000);
    p.memory[0x400000] = std::vector<uint8_t>(0x1000, 0x11);
    auto list = list_executable_regions(kGame);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(get_field(list[0], region_key::sampleBytes), "524288");
    EXPECT_EQ(get_field(list[0], region_key::sampleHex).size(), 1048576u);
    EXPECT_EQ(get_field(list[0], region_key::size), "2097152");
    for (size_t i : {1u, 2u}) {
        EXPECT_EQ(get_field(list[i], region_key::sampleStatus), "read_failed");
        EXPECT_EQ(list[i].count(std::string(region_key::sampleHex)), 0u);
        EXPECT_EQ(list[i].count(std::string(region_key::sampleBytes)), 0u);
    }
    EXPECT_EQ(get_field(list[2], region_key::baseAddress), "0x400000");
    EXPECT_EQ(check(m).region_count, 5);  // the count is not capped

    p.denied_access = win::PROCESS_VM_READ;
    EXPECT_TRUE(list_executable_regions(kGame).empty());
    EXPECT_EQ(m.live_process_handles, 0);
}

}  // namespace
}  // namespace ac
