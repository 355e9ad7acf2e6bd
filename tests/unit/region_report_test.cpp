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
constexpr uint32_t kGame = 100, rx = win::PAGE_EXECUTE_READ, rwx = win::PAGE_EXECUTE_READWRITE;

MemoryRegion region(uint64_t base, uint64_t size, uint32_t protect, uint32_t type = win::MEM_PRIVATE,
                    uint64_t allocation_base = 0) {
    return {base, allocation_base ? allocation_base : base, 0, size, win::MEM_COMMIT, protect, type};
}

std::vector<uint8_t> pe_header(size_t size = 4096) {
    std::vector<uint8_t> b(size, 0x90);
    b[0] = 'M', b[1] = 'Z', b[60] = 0x80, b[61] = b[62] = b[63] = 0;  // e_lfanew 0x80
    std::memcpy(&b[0x80], "PE\0\0", 4);
    return b;
}

ManualMapVerdict check(FakeMachine& m) { return run_manual_map_check(*m.open_process(kGame, 0x410)); }

TEST(ManualMapCheck, PeImageInPrivateMemoryFiresOrdinaryPrivateCodeDoesNot) {
    FakeMachine m;
    ScopedSystemOverride use(m);
    test::FakeProcess& p = m.add_process(kGame, "game.exe");
    // An executable heap, large code that is not writable, a heap that grew, a loaded module, JIT-like code.
    p.regions = {region(0x10000000, 0x10000, rwx), region(0x20000000, 0x400000, rx),
                 region(0x30001000, 0x200000, rwx, win::MEM_PRIVATE, 0x30000000),
                 region(0x140000000, 0x20000, rx, win::MEM_IMAGE), region(0x200000000, 0x4000, rx)};
    p.memory[0x140000000] = pe_header();
    p.memory[0x200000000] = std::vector<uint8_t>(0x4000, 0xC3);
    EXPECT_EQ(check(m).region_count, 4);
    EXPECT_FALSE(check(m).suspected);
    p.memory[0x200000000] = pe_header(0x4000);
    EXPECT_TRUE(check(m).suspected);
    p.memory.erase(0x200000000);
    // A mapper that protects each section: read-only headers, then code.
    p.regions.push_back(region(0x300000000, 0x1000, win::PAGE_READONLY));
    p.regions.push_back(region(0x300001000, 0x8000, rx, win::MEM_PRIVATE, 0x300000000));
    p.memory[0x300000000] = pe_header(0x9000);
    EXPECT_TRUE(check(m).suspected);
    p.regions[5].type = win::MEM_MAPPED;  // headers from a file view are a loader's work
    EXPECT_FALSE(check(m).suspected);
    p.regions.push_back(region(0x400000000, 0x100000, rwx));  // large writable code
    EXPECT_TRUE(check(m).suspected);
}

TEST(RegionList, ThreeLowestSelectedRegionsWithCappedOrFailedSamples) {
    EXPECT_EQ(protect_word(0x60), "UNKNOWN");
    FakeMachine m;
    ScopedSystemOverride use(m);
    test::FakeProcess& p = m.add_process(kGame, "game.exe");
    // Not selected; 2 MiB, guarded; unreadable; half readable (a partial copy fails); two more.
    p.regions = {region(0x10000, 0x1000, win::PAGE_READWRITE), region(0x20000, 0x200000, 0x140),
                 region(0x300000, 0x1000, rx), region(0x400000, 0x2000, rx), region(0x500000, 0x1000, rx),
                 region(0x600000, 0x1000, rx)};
    p.memory[0x20000] = std::vector<uint8_t>(0x200000, 0xAA);
    p.unreadable.insert(0x300000);
    p.memory[0x400000] = std::vector<uint8_t>(0x1000, 0x11);
    auto list = list_executable_regions(kGame);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0], (ReportRecord{{"baseAddress", "0x20000"}, {"protect", "EXECUTE_READWRITE"},
        {"protectRaw", "320"}, {"sampleBytes", "524288"}, {"sampleHex", std::string(1 << 20, 'a')}, {"size", "2097152"},
        {"state", "4096"}, {"type", "MEM_PRIVATE"}}));
    for (size_t i : {1u, 2u}) {
        EXPECT_EQ(get_field(list[i], region_key::sampleStatus), "read_failed");
        EXPECT_EQ(list[i].count(std::string(region_key::sampleHex)), 0u);
        EXPECT_EQ(list[i].count(std::string(region_key::sampleBytes)), 0u);
    }
    EXPECT_EQ(get_field(list[2], region_key::baseAddress), "0x400000");
    EXPECT_EQ(check(m).region_count, 5);  // the count is not capped
    EXPECT_EQ(m.live_process_handles, 0);
}

}  // namespace
}  // namespace ac
