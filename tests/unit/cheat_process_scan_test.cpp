// The two cheat-process scans and verify_game_integrity against the fake machine.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "evidence/digest.hpp"
#include "fake_system.hpp"
#include "module/session.hpp"
#include "reports/cheat_process_scan.hpp"
#include "reports/fields.hpp"
#include "reports/record.hpp"
#include "support/pe_builder.hpp"

namespace ac {
namespace {

using test::bytes_of;

// The harmless program whose digest the known-cheat digest set lists.
std::vector<uint8_t> known_cheat_program() {
    std::ifstream in(std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "testdata" /
                         "known-cheat-test-program", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> pe_with_section(std::string name, std::vector<uint8_t> data) {
    test::PeBuilder pe;
    pe.add_section(std::move(name), std::move(data));
    pe.add_import("kernel32.dll", {test::PeFunction::named("Sleep")});
    return pe.build();
}

struct Machine : test::FakeMachine {
    // A running process with its image file.
    void run(uint32_t pid, std::string name, std::string path, std::vector<uint8_t> image = bytes_of("plain")) {
        add_process(pid, std::move(name), path);
        add_file(path, std::move(image), test::fresh_time());
    }
};

TEST(KnownCheatProcessScan, FirstFlaggedWinsUnreadableAndNothingFlagged) {
    Machine m;
    ScopedSystemOverride use(m);
    m.run(10, "explorer.exe", "C:\\Windows\\explorer.exe");
    const ReportRecord nothing{{"detected", "0"}, {"md5", ""}, {"name", ""}, {"path", ""}};
    EXPECT_FALSE(is_cheat_detected());
    EXPECT_EQ(detect_cheat_process_record(), nothing);
    EXPECT_EQ(m.total_file_opens(), 0);

    m.run(20, "CheatEngine-x86_64.exe", "C:\\Tools\\CE\\CheatEngine-x86_64.exe", bytes_of("ce"));
    m.run(30, "xenos64.exe", "C:\\Tools\\xenos64.exe");
    EXPECT_TRUE(is_cheat_detected());
    EXPECT_EQ(detect_cheat_process_record(), (ReportRecord{{"detected", "1"}, {"md5", buffer_md5("ce", 2)},
                                                           {"name", "CheatEngine-x86_64.exe"},  // capitals kept
                                                           {"path", "C:\\Tools\\CE\\CheatEngine-x86_64.exe"}}));
    EXPECT_EQ(m.opens("C:\\Tools\\xenos64.exe"), 0);

    m.processes.clear();
    m.add_process(20, "ArtMoney.exe").openable = false;
    EXPECT_EQ(detect_cheat_process_record(),
              (ReportRecord{{"detected", "1"}, {"md5", ""}, {"name", "ArtMoney.exe"}, {"path", ""}}));
    m.process_snapshot_fails = true;
    EXPECT_EQ(detect_cheat_process_record(), nothing);
}

// The fields a scan wrote over the seeded record.
ReportRecord written(const ReportRecord& r) {
    ReportRecord seed = seeded_record(kProcessRecordSeed), out;
    for (auto& [k, v] : r)
        if (auto it = seed.find(k); it == seed.end() || it->second != v) out[k] = v;
    return out;
}

// `want`'s keys as they stand in `r` ("<absent>" when missing).
ReportRecord pick(const ReportRecord& r, const ReportRecord& want) {
    ReportRecord out;
    for (auto& [k, _] : want) out[k] = r.count(k) ? r.at(k) : "<absent>";
    return out;
}

ReportRecord scan(bool heavy, bool expect_detected) {
    ReportRecord r = seeded_record(kProcessRecordSeed);
    EXPECT_EQ(inspection_cheat_scan(r, heavy), expect_detected);
    return written(r);
}

TEST(InspectionCheatScan, NameFlagsOnlyThenDigestMatchEndsTheScan) {
    Machine m;
    ScopedSystemOverride use(m);
    m.run(10, "x64dbg.exe", "C:\\Tools\\x64dbg.exe");
    m.run(11, "helper.exe", "C:\\Users\\u\\Downloads\\helper.exe", known_cheat_program());  // not flagged
    m.add_process(12, "ArtMoney.exe").openable = false;                                       // flagged, unreadable
    m.add_process(14, "wireshark.exe", "C:\\Program Files\\Wireshark\\wireshark.exe");        // no file to read
    // The last name-flagged process that could be opened stands; at medium unflagged names are not read.
    EXPECT_EQ(scan(false, false),
              (ReportRecord{{"knownCheatProcessName", "wireshark.exe"}, {"knownCheatProcessNameOnlyMatch", "1"},
                            {"knownCheatProcessPath", "C:\\Program Files\\Wireshark\\wireshark.exe"},
                            {"toolProcessCategory", "packet-tool"}, {"toolProcessMatchStrength", "name"}}));
    EXPECT_EQ(m.opens("C:\\Users\\u\\Downloads\\helper.exe"), 0);
    EXPECT_EQ(m.opens("C:\\Tools\\x64dbg.exe"), 2);

    // Heavy reads every image: the digest match replaces the name flag and ends the scan.
    m.run(15, "cheatengine.exe", "C:\\Tools\\cheatengine.exe");
    const std::string md5 = "2f31174d476fd0c87532e56af5208a1a";
    EXPECT_EQ(scan(true, true),
              (ReportRecord{{"blockedNameHashMatch", "1"}, {"blockedNameHashMatchHash", md5},
                            {"blockedNameHashMatchName", "helper.exe"}, {"knownCheatProcessHashMatch", "1"},
                            {"knownCheatProcessMd5", md5}, {"knownCheatProcessName", "helper.exe"},
                            {"knownCheatProcessPath", "C:\\Users\\u\\Downloads\\helper.exe"},
                            {"toolProcessCategory", "cheat-tool"}, {"toolProcessMatchStrength", "hash"}}));
    EXPECT_EQ(m.opens("C:\\Tools\\cheatengine.exe"), 0) << "no process after the match is examined";
}

TEST(InspectionCheatScan, WeakCorpusThenStrongCorpus) {
    Machine m;
    ScopedSystemOverride use(m);
    m.run(10, "x64dbg.exe", "C:\\Tools\\x64dbg.exe");
    m.run(11, "packed.exe", "C:\\Games\\packed.exe", pe_with_section(".vmp0", std::vector<uint8_t>(64, 0x90)));
    m.run(12, "plain.exe", "C:\\Games\\plain.exe", pe_with_section(".text", std::vector<uint8_t>(64, 0x90)));

    // Weak only: the suspect and its details, and the scan goes on to the end.
    const ReportRecord weak{{"fuzzyCheatProcessSuspect", "1"}, {"fuzzyCheatProcessMatch", "<absent>"},
                            {"fuzzyCheatProcessName", "packed.exe"}, {"fuzzyCheatProcessPath", "C:\\Games\\packed.exe"},
                            {"fuzzyCheatRuleId", "layout-vmp"}, {"fuzzyCheatFamily", "vmprotect"},
                            {"fuzzyCheatConfidence", "medium"}, {"fuzzyCheatFeatures", "vmp_section"},
                            {"toolProcessMatchStrength", "name"}};  // from the debugger's name flag
    ReportRecord w = scan(true, false);
    EXPECT_EQ(pick(w, weak), weak);
    EXPECT_EQ(w.at("fuzzyCheatSectionLayout").rfind(".vmp0:64:512:60000020;.idata:", 0), 0u);
    EXPECT_EQ(w.at("fuzzyCheatImportMd5").size(), 32u);
    EXPECT_EQ(m.opens("C:\\Games\\plain.exe"), 2) << "digest and fingerprint of the last process";

    // Then a strong match: its details replace the suspect's; the name fields still show the earlier flag.
    std::vector<uint8_t> marker =
        bytes_of("KNOWN-CHEAT-CORPUS-TEST-BUILD: harmless code section of the fuzzy corpus test build.\n");
    marker.resize(512, 0);
    m.run(13, "trainer_x.exe", "C:\\Games\\trainer_x.exe", pe_with_section(".text", marker));
    const ReportRecord strong{{"fuzzyCheatProcessSuspect", "<absent>"}, {"fuzzyCheatProcessMatch", "1"},
                              {"fuzzyCheatProcessName", "trainer_x.exe"}, {"fuzzyCheatRuleId", "known-build-test-0001"},
                              {"fuzzyCheatCodeMd5", "5a03e04fe50df04f05f1964e0b2a40db"},
                              {"toolProcessMatchStrength", "fuzzy"}, {"toolProcessCategory", "cheat-tool"},
                              {"knownCheatProcessNameOnlyMatch", "<absent>"}, {"knownCheatProcessName", "x64dbg.exe"},
                              {"blockedNameHashMatch", "<absent>"}, {"knownCheatProcessMd5", "<absent>"}};
    EXPECT_EQ(pick(scan(true, true), strong), strong);
}

TEST(InspectionCheatScan, HeavySweepPassesOverSystemImagesOnly) {
    Machine m;
    ScopedSystemOverride use(m);
    m.run(10, "svchost.exe", "C:\\Windows\\System32\\svchost.exe");
    m.run(11, "explorer.exe", "C:\\Windows\\explorer.exe");
    m.run(12, "gdb", "C:\\Windows\\System32\\gdb");  // name flag: never exempted
    m.run(13, "app.exe", "C:\\Program Files\\App\\app.exe");
    m.add_process(14, "ghost.exe", "C:\\Windows\\System32\\ghost.exe");  // image file gone
    scan(true, false);
    EXPECT_EQ(m.opens("C:\\Windows\\System32\\svchost.exe") + m.opens("C:\\Windows\\explorer.exe"), 0);
    EXPECT_EQ(m.opens("C:\\Windows\\System32\\gdb"), 2);
    EXPECT_EQ(m.opens("C:\\Program Files\\App\\app.exe"), 2);
    m.file_opens.clear();
    scan(true, false);
    EXPECT_EQ(m.total_file_opens(), 0) << "unchanged files are not read again";
}

TEST(VerifyGameIntegrity, NeedsInitializeAndNoDebuggerAndNoCheat) {
    Machine m;
    ScopedSystemOverride use(m);
    m.run(10, "explorer.exe", "C:\\Windows\\explorer.exe");
    auto verify = [&m](bool passes, int snapshots) {
        EXPECT_EQ(verify_game_integrity(), passes);
        EXPECT_EQ(m.process_snapshots, snapshots);
    };
    shutdown_session();
    verify(false, 0);  // nothing runs before initialize
    initialize_session(nullptr);
    verify(true, 1);
    m.host_debug.examined = true;
    m.host_debug.peb_being_debugged = true;
    verify(false, 1);  // a debugger ends the check before the process scan
    m.host_debug = {};
    m.add_process(20, "cheatengine-x86_64.exe").openable = false;
    verify(false, 2);
    shutdown_session();
    m.processes.pop_back();
    verify(false, 2);
}

}  // namespace
}  // namespace ac
