// Where facts and bytes come from when the adapter offers a content path: a
// module or image whose name now leads elsewhere is still read, shown under
// its own path and cached under it.
#include <gtest/gtest.h>

#include "evidence/digest.hpp"
#include "fake_system.hpp"
#include "reports/cheat_process_scan.hpp"
#include "reports/module_report.hpp"
#include "reports/record.hpp"

namespace ac {
namespace {

using test::bytes_of;

const std::vector<uint8_t> kKnownCheat = bytes_of("KNOWN-CHEAT-TEST-FILE: a harmless file whose digest the known-cheat "
                                                  "digest check lists, so the detection can be seen end to end.\n");

TEST(ModuleInspection, ReadsTheMappedFileAndShowsTheModulePath) {
    test::FakeMachine m;
    ScopedSystemOverride use(m);
    auto& game = m.add_process(5, "game", "/games/x/game");
    const uint64_t t = test::fresh_time();
    // The name now leads to a pseudo file; the mapping still reaches the cheat's bytes.
    game.modules->push_back({0x1000, 0x1000, "/tmp/c.so (deleted)", "/proc/5/map_files/1000-2000"});
    m.add_file("/proc/5/map_files/1000-2000", kKnownCheat, t);
    // The mapping is gone: the name is read.
    game.modules->push_back({0x3000, 0x1000, "/tmp/plain.so", "/proc/5/map_files/3000-4000"});
    m.add_file("/tmp/plain.so", "plain", t);

    auto records = inspect_process_modules_records(5, "", "medium");
    ASSERT_EQ(records.size(), 2u);
    const std::string cheat_md5 = buffer_md5(kKnownCheat.data(), kKnownCheat.size()),
                      plain_md5 = buffer_md5("plain", 5);
    auto fields = [&](size_t i) {
        const auto& r = records[i];
        return std::tuple(std::string(get_field(r, mod_key::path)), std::string(get_field(r, mod_key::md5)),
                          std::string(get_field(r, mod_key::knownCheatHashMatch)),
                          std::string(get_field(r, mod_key::size)));
    };
    EXPECT_EQ(fields(0), std::tuple("/tmp/c.so (deleted)", cheat_md5, "1", std::to_string(kKnownCheat.size())));
    EXPECT_EQ(fields(1), std::tuple("/tmp/plain.so", plain_md5, "0", "5"));
    EXPECT_EQ(std::tuple(m.opens("/tmp/c.so (deleted)"), m.opens("/proc/5/map_files/1000-2000")), std::tuple(0, 2));

    // The caches key on the shown path: another mapping of the same file is not read again.
    game.modules->front().content_path = "/proc/5/map_files/1000-1800";
    m.add_file("/proc/5/map_files/1000-1800", kKnownCheat, t);
    EXPECT_EQ(inspect_process_modules_records(5, "", "medium"), records);
    EXPECT_EQ(m.opens("/proc/5/map_files/1000-1800"), 0);
}

TEST(CheatProcessScans, ReadTheImageThroughItsContentPath) {
    // Whether the listing carries the image (Linux) or the process is asked (Windows).
    for (bool listed : {false, true}) {
        test::FakeMachine m;
        ScopedSystemOverride use(m);
        auto& cheat = m.add_process(9, "cheatengine.exe", "/tmp/gone/cheatengine.exe");
        cheat.image_content_path = "/proc/9/exe";
        cheat.snapshot_has_image_path = listed;
        m.add_file("/proc/9/exe", kKnownCheat, test::fresh_time());
        const std::string md5 = buffer_md5(kKnownCheat.data(), kKnownCheat.size());

        CheatProcessMatch quick = known_cheat_process_scan();
        EXPECT_EQ(std::tuple(quick.detected, quick.path, quick.md5),
                  std::tuple(true, "/tmp/gone/cheatengine.exe", md5));

        ReportRecord r;
        EXPECT_TRUE(inspection_cheat_scan(r, false));
        EXPECT_EQ(std::tuple(get_field(r, proc_key::knownCheatProcessPath),
                             get_field(r, proc_key::knownCheatProcessMd5)),
                  std::tuple(std::string_view("/tmp/gone/cheatengine.exe"), std::string_view(md5)));
        EXPECT_EQ(m.opens("/tmp/gone/cheatengine.exe"), 0);
    }
}

}  // namespace
}  // namespace ac
