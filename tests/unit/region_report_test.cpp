// The manual-map check and the region list it selects for.
#include <gtest/gtest.h>

#include "checks/manual_map_check.hpp"
#include "fake_system.hpp"
#include "reports/record.hpp"
#include "reports/region_report.hpp"

namespace ac {
namespace {

constexpr uint32_t kGame = 100, rx = win::PAGE_EXECUTE_READ, rwx = win::PAGE_EXECUTE_READWRITE;

MemoryRegion region(uint64_t base, uint64_t size, uint32_t protect, uint32_t type = win::MEM_PRIVATE, uint64_t ab = 0) {
    return {base, ab ? ab : base, 0, size, win::MEM_COMMIT, protect, type};  // ab: the allocation base
}

std::vector<uint8_t> pe_header(size_t size = 4096) {
    std::vector<uint8_t> b(size, 0);
    b[0] = 'M', b[1] = 'Z', b[60] = 0x80, b[0x80] = 'P', b[0x81] = 'E';  // e_lfanew 0x80
    return b;
}

struct RegionTest : ::testing::Test {
    test::FakeMachine m;
    ScopedSystemOverride use{m};
    test::FakeProcess& p = m.add_process(kGame, "game.exe");
    ManualMapVerdict check() { return run_manual_map_check(*m.open_process(kGame, 0x410)); }
};

TEST_F(RegionTest, PeImageInPrivateMemoryFiresOrdinaryPrivateCodeDoesNotThenTheRegionList) {
    // An executable heap, large code that is not writable, a heap that grew, a loaded module, JIT-like code.
    p.regions = {region(0x10000000, 0x10000, rwx), region(0x20000000, 0x400000, rx),
                 region(0x30001000, 0x200000, rwx, win::MEM_PRIVATE, 0x30000000),
                 region(0x140000000, 0x20000, rx, win::MEM_IMAGE), region(0x200000000, 0x4000, rx)};
    p.memory[0x140000000] = pe_header(), p.memory[0x200000000] = std::vector<uint8_t>(0x4000, 0xC3);
    EXPECT_EQ(std::pair(check().region_count, check().suspected), std::pair(4, false));
    p.memory[0x200000000] = pe_header(0x4000);
    EXPECT_TRUE(check().suspected);
    p.memory.erase(0x200000000), p.memory[0x300000000] = pe_header(0x9000);
    p.regions.push_back(region(0x300000000, 0x1000, win::PAGE_READONLY));  // a mapper protecting each section
    p.regions.push_back(region(0x300001000, 0x8000, rx, win::MEM_PRIVATE, 0x300000000));
    EXPECT_TRUE(check().suspected);
    p.regions[5].type = win::MEM_MAPPED;  // headers from a file view are a loader's work
    EXPECT_FALSE(check().suspected);
    p.regions.push_back(region(0x400000000, 0x100000, rwx));  // large writable code
    EXPECT_TRUE(check().suspected);

    EXPECT_EQ(protect_word(0x60), "UNKNOWN");
    // The list, lowest three: not selected; 2 MiB, guarded; unreadable; half readable (partial copies fail); two more.
    p.regions = {region(0x10000, 0x1000, win::PAGE_READWRITE), region(0x20000, 0x200000, 0x140),
                 region(0x300000, 0x1000, rx), region(0x400000, 0x2000, rx), region(0x500000, 0x1000, rx),
                 region(0x600000, 0x1000, rx)};
    p.memory[0x20000] = std::vector<uint8_t>(0x200000, 0xAA);
    p.unreadable.insert(0x300000), p.memory[0x400000] = std::vector<uint8_t>(0x1000, 0x11);
    auto list = list_executable_regions(kGame);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0], (ReportRecord{{"baseAddress", "0x20000"}, {"protect", "EXECUTE_READWRITE"},
        {"protectRaw", "320"}, {"sampleBytes", "524288"}, {"sampleHex", std::string(1 << 20, 'a')}, {"size", "2097152"},
        {"state", "4096"}, {"type", "MEM_PRIVATE"}}));
    for (const ReportRecord& r : {list[1], list[2]})  // failed samples leave no bytes behind
        EXPECT_EQ(std::to_string(r.count("sampleHex") + r.count("sampleBytes")).append(r.at("sampleStatus")),
                  "0read_failed");
    EXPECT_EQ(get_field(list[2], region_key::baseAddress), "0x400000");
    EXPECT_EQ(std::pair(check().region_count, m.live_process_handles), std::pair(5, 0));  // the count is not capped
}

}  // namespace
}  // namespace ac
