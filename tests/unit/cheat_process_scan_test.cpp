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
#include "reports/process_report.hpp"
#include "reports/record.hpp"
#include "support/pe_builder.hpp"

namespace ac {
namespace {

using test::FakeMachine;
using test::bytes_of;
using test::fresh_time;

// The harmless program whose digest the known-cheat digest set lists.
std::vector<uint8_t> known_cheat_program() {
    std::ifstream in(std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "testdata" /
                         "known-cheat-test-program",
                     std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> pe_with_section(std::string name, std::vector<uint8_t> data) {
    test::PeBuilder pe;
    pe.add_section(std::move(name), std::move(data));
    pe.add_import("kernel32.dll", {test::PeFunction::named("Sleep")});
    return pe.build();
}

std::vector<uint8_t> strong_corpus_build() {
    std::vector<uint8_t> marker =
        bytes_of("KNOWN-CHEAT-CORPUS-TEST-BUILD: harmless code section of the fuzzy corpus test build.\n");
    marker.resize(512, 0);
    return pe_with_section(".text", marker);
}

struct Machine : FakeMachine {
    // A running process with its image file.
    void run(uint32_t pid, std::string name, std::string path, std::vector<uint8_t> image = bytes_of("plain")) {
        add_process(pid, std::move(name), path);
        add_file(path, std::move(image), fresh_time());
    }
};

TEST(KnownCheatProcessScan, FirstFlaggedProcessInSnapshotOrder) {
    Machine m;
    ScopedSystemOverride use(m);
    m.run(10, "explorer.exe", "C:\\Windows\\explorer.exe");
    m.run(20, "CheatEngine-x86_64.exe", "C:\\Tools\\CE\\CheatEngine-x86_64.exe", bytes_of("ce"));
    m.run(30, "xenos64.exe", "C:\\Tools\\xenos64.exe");

    CheatProcessMatch match = known_cheat_process_scan();
    EXPECT_TRUE(match.detected);
    EXPECT_EQ(match.name, "CheatEngine-x86_64.exe");  // capitals kept
    EXPECT_EQ(match.path, "C:\\Tools\\CE\\CheatEngine-x86_64.exe");
    EXPECT_EQ(match.md5, buffer_md5("ce", 2));
    EXPECT_TRUE(is_cheat_detected());
    EXPECT_EQ(m.opens("C:\\Tools\\xenos64.exe"), 0);

    ReportRecord r = detect_cheat_process_record();
    EXPECT_EQ(r, (ReportRecord{{"detected", "1"},
                               {"md5", buffer_md5("ce", 2)},
                               {"name", "CheatEngine-x86_64.exe"},
                               {"path", "C:\\Tools\\CE\\CheatEngine-x86_64.exe"}}));
}

TEST(KnownCheatProcessScan, FlaggedButUnreadable) {
    Machine m;
    ScopedSystemOverride use(m);
    m.add_process(20, "ArtMoney.exe").openable = false;
    CheatProcessMatch match = known_cheat_process_scan();
    EXPECT_TRUE(match.detected);
    EXPECT_EQ(match.name, "ArtMoney.exe");
    EXPECT_EQ(match.path, "");
    EXPECT_EQ(match.md5, "");

    // A path whose file attributes cannot be read leaves the digest empty.
    m.processes.clear();
    m.add_process(21, "squalr.exe", "C:\\gone\\squalr.exe");
    match = known_cheat_process_scan();
    EXPECT_EQ(match.path, "C:\\gone\\squalr.exe");
    EXPECT_EQ(match.md5, "");
}

TEST(KnownCheatProcessScan, NothingFlaggedOrNoSnapshot) {
    Machine m;
    ScopedSystemOverride use(m);
    m.run(10, "explorer.exe", "C:\\Windows\\explorer.exe");
    const ReportRecord nothing{{"detected", "0"}, {"md5", ""}, {"name", ""}, {"path", ""}};
    EXPECT_FALSE(is_cheat_detected());
    EXPECT_EQ(detect_cheat_process_record(), nothing);
    m.process_snapshot_fails = true;
    EXPECT_FALSE(is_cheat_detected());
    EXPECT_EQ(detect_cheat_process_record(), nothing);
    EXPECT_EQ(m.total_file_opens(), 0);
}

TEST(KnownCheatProcessScan, RecordValuesAreNotRepaired) {
    Machine m;
    ScopedSystemOverride use(m);
    m.add_process(20, "cheatengine.exe", "C:\\Jeux\\\xe9t\xe9\\cheatengine.exe");
    EXPECT_EQ(get_field(detect_cheat_process_record(), cheat_key::path), "C:\\Jeux\\\xe9t\xe9\\cheatengine.exe");
}

// ---------------------------------------------------------------- inspection scan

ReportRecord seeded() { return seeded_record(kProcessRecordSeed); }

// The record after a scan, minus the seeded fields it left alone.
ReportRecord written(const ReportRecord& r) {
    ReportRecord seed = seeded(), out;
    for (auto& [k, v] : r) {
        auto it = seed.find(k);
        if (it == seed.end() || it->second != v) out[k] = v;
    }
    return out;
}

TEST(InspectionCheatScan, NameFlagsOnlyAtMedium) {
    Machine m;
    ScopedSystemOverride use(m);
    m.run(10, "x64dbg.exe", "C:\\Tools\\x64dbg.exe");
    m.run(11, "helper.exe", "C:\\Users\\u\\Downloads\\helper.exe", strong_corpus_build());  // not flagged
    m.add_process(12, "ArtMoney.exe").openable = false;                                      // flagged, unreadable
    m.run(13, "SpeedHack.exe", "C:\\Tools\\SpeedHack.exe");
    m.add_process(14, "wireshark.exe", "C:\\Program Files\\Wireshark\\wireshark.exe");       // no file to read

    ReportRecord r = seeded();
    EXPECT_FALSE(inspection_cheat_scan(r, false));
    // The last name-flagged process that could be opened stands; the others were overwritten.
    EXPECT_EQ(written(r), (ReportRecord{{"knownCheatProcessName", "wireshark.exe"},
                                        {"knownCheatProcessNameOnlyMatch", "1"},
                                        {"knownCheatProcessPath", "C:\\Program Files\\Wireshark\\wireshark.exe"},
                                        {"toolProcessCategory", "packet-tool"},
                                        {"toolProcessMatchStrength", "name"}}));
    // At medium processes without a name flag are not read.
    EXPECT_EQ(m.opens("C:\\Users\\u\\Downloads\\helper.exe"), 0);
    EXPECT_EQ(m.opens("C:\\Tools\\x64dbg.exe"), 2);

    // A name from the inspection's own list without a tool category gets the default word.
    m.processes.erase(m.processes.begin() + 4);
    r = seeded();
    inspection_cheat_scan(r, false);
    EXPECT_EQ(get_field(r, proc_key::knownCheatProcessName), "SpeedHack.exe");
    EXPECT_EQ(get_field(r, proc_key::toolProcessCategory), "cheat-tool");
}

TEST(InspectionCheatScan, NameFlagThenDigestMatchEndsTheScan) {
    Machine m;
    ScopedSystemOverride use(m);
    m.run(10, "x64dbg.exe", "C:\\Tools\\x64dbg.exe");
    m.run(11, "Notes.exe", "C:\\Users\\u\\Desktop\\Notes.exe", known_cheat_program());
    m.run(12, "cheatengine.exe", "C:\\Tools\\cheatengine.exe");

    ReportRecord r = seeded();
    EXPECT_TRUE(inspection_cheat_scan(r, true));
    const std::string md5 = "2f31174d476fd0c87532e56af5208a1a";
    EXPECT_EQ(written(r), (ReportRecord{{"blockedNameHashMatch", "1"},
                                        {"blockedNameHashMatchHash", md5},
                                        {"blockedNameHashMatchName", "Notes.exe"},
                                        {"knownCheatProcessHashMatch", "1"},
                                        {"knownCheatProcessMd5", md5},
                                        {"knownCheatProcessName", "Notes.exe"},
                                        {"knownCheatProcessPath", "C:\\Users\\u\\Desktop\\Notes.exe"},
                                        {"toolProcessCategory", "cheat-tool"},
                                        {"toolProcessMatchStrength", "hash"}}));
    EXPECT_EQ(m.opens("C:\\Tools\\cheatengine.exe"), 0) << "no process after the match is examined";

    // At medium the same image is read only because its name is flagged.
    m.processes.clear();
    m.run(20, "Known-Cheat-Test-Program", "/home/u/known-cheat-test-program", known_cheat_program());
    r = seeded();
    EXPECT_TRUE(inspection_cheat_scan(r, false));
    EXPECT_EQ(get_field(r, proc_key::knownCheatProcessNameOnlyMatch), "0");
    EXPECT_EQ(get_field(r, proc_key::blockedNameHashMatchName), "Known-Cheat-Test-Program");
}

TEST(InspectionCheatScan, WeakCorpusThenStrongCorpus) {
    Machine m;
    ScopedSystemOverride use(m);
    m.run(10, "x64dbg.exe", "C:\\Tools\\x64dbg.exe");
    m.run(11, "packed.exe", "C:\\Games\\packed.exe", pe_with_section(".vmp0", std::vector<uint8_t>(64, 0x90)));
    m.run(12, "plain.exe", "C:\\Games\\plain.exe", pe_with_section(".text", std::vector<uint8_t>(64, 0x90)));

    // Weak only: the suspect and its details, and the scan goes on to the end.
    ReportRecord r = seeded();
    EXPECT_FALSE(inspection_cheat_scan(r, true));
    ReportRecord w = written(r);
    EXPECT_EQ(w.at("fuzzyCheatProcessSuspect"), "1");
    EXPECT_EQ(w.count("fuzzyCheatProcessMatch"), 0u);
    EXPECT_EQ(w.at("fuzzyCheatProcessName"), "packed.exe");
    EXPECT_EQ(w.at("fuzzyCheatProcessPath"), "C:\\Games\\packed.exe");
    EXPECT_EQ(w.at("fuzzyCheatRuleId"), "layout-vmp");
    EXPECT_EQ(w.at("fuzzyCheatFamily"), "vmprotect");
    EXPECT_EQ(w.at("fuzzyCheatConfidence"), "medium");
    EXPECT_EQ(w.at("fuzzyCheatFeatures"), "vmp_section");
    EXPECT_EQ(w.at("fuzzyCheatSectionLayout").rfind(".vmp0:64:512:60000020;.idata:", 0), 0u);
    EXPECT_EQ(w.at("fuzzyCheatImportMd5").size(), 32u);
    EXPECT_EQ(w.at("toolProcessMatchStrength"), "name");  // from the debugger's name flag
    EXPECT_EQ(m.opens("C:\\Games\\plain.exe"), 2) << "digest and fingerprint of the last process";

    // Then a strong match: its details replace the suspect's.
    m.run(13, "trainer_x.exe", "C:\\Games\\trainer_x.exe", strong_corpus_build());
    r = seeded();
    EXPECT_TRUE(inspection_cheat_scan(r, true));
    w = written(r);
    EXPECT_EQ(w.count("fuzzyCheatProcessSuspect"), 0u) << "back to 0";
    EXPECT_EQ(w.at("fuzzyCheatProcessMatch"), "1");
    EXPECT_EQ(w.at("fuzzyCheatProcessName"), "trainer_x.exe");
    EXPECT_EQ(w.at("fuzzyCheatRuleId"), "known-build-test-0001");
    EXPECT_EQ(w.at("fuzzyCheatCodeMd5"), "5a03e04fe50df04f05f1964e0b2a40db");
    EXPECT_EQ(w.at("toolProcessMatchStrength"), "fuzzy");
    EXPECT_EQ(w.at("toolProcessCategory"), "cheat-tool");
    EXPECT_EQ(w.count("knownCheatProcessNameOnlyMatch"), 0u) << "back to 0";
    // The name fields still show the earlier name flag; no digest fields appear.
    EXPECT_EQ(w.at("knownCheatProcessName"), "x64dbg.exe");
    EXPECT_EQ(w.count("blockedNameHashMatch"), 0u);
    EXPECT_EQ(w.count("knownCheatProcessMd5"), 0u);
}

TEST(InspectionCheatScan, HeavySweepPassesOverSystemImagesOnly) {
    Machine m;
    ScopedSystemOverride use(m);
    m.run(10, "svchost.exe", "C:\\Windows\\System32\\svchost.exe");
    m.run(11, "explorer.exe", "C:\\Windows\\explorer.exe");
    m.run(12, "gdb", "C:\\Windows\\System32\\gdb");  // name flag: never exempted
    m.run(13, "app.exe", "C:\\Program Files\\App\\app.exe");
    m.add_process(14, "ghost.exe", "C:\\Windows\\System32\\ghost.exe");  // image file gone
    ReportRecord r = seeded();
    EXPECT_FALSE(inspection_cheat_scan(r, true));
    EXPECT_EQ(m.opens("C:\\Windows\\System32\\svchost.exe"), 0);
    EXPECT_EQ(m.opens("C:\\Windows\\explorer.exe"), 0);
    EXPECT_EQ(m.opens("C:\\Windows\\System32\\gdb"), 2);
    EXPECT_EQ(m.opens("C:\\Program Files\\App\\app.exe"), 2);

    // A second sweep over unchanged files reads nothing again.
    m.file_opens.clear();
    r = seeded();
    inspection_cheat_scan(r, true);
    EXPECT_EQ(m.total_file_opens(), 0);
}

TEST(InspectionCheatScan, NoSnapshotOrNothingFoundLeavesTheSeed) {
    Machine m;
    ScopedSystemOverride use(m);
    m.run(10, "explorer.exe", "C:\\Windows\\explorer.exe");
    m.run(11, "app.exe", "C:\\Program Files\\App\\app.exe");
    for (bool heavy : {false, true}) {
        ReportRecord r = seeded();
        EXPECT_FALSE(inspection_cheat_scan(r, heavy));
        EXPECT_EQ(r, seeded());
    }
    m.process_snapshot_fails = true;
    m.run(12, "cheatengine.exe", "C:\\Tools\\cheatengine.exe");
    ReportRecord r = seeded();
    EXPECT_FALSE(inspection_cheat_scan(r, true));
    EXPECT_EQ(r, seeded());
}

TEST(InspectionCheatScan, OnlyMediumAndHeavyInspectionsRunIt) {
    Machine m;
    ScopedSystemOverride use(m);
    m.add_process(77, "Game.exe", "C:\\Games\\Game.exe");
    m.run(20, "known-cheat-test-program", "C:\\Tools\\known-cheat-test-program", known_cheat_program());
    ReportRecord cheap = inspect_process_record(77, "", "cheap");
    for (auto& [key, value] : seeded()) {
        for (std::string_view section : {"fuzzyCheat", "knownCheatProcess", "toolProcess"})
            if (key.rfind(section, 0) == 0) {
                EXPECT_EQ(get_field(cheap, key), value) << key;
            }
    }
    EXPECT_EQ(cheap.count(std::string(proc_key::blockedNameHashMatch)), 0u);
    EXPECT_EQ(m.opens("C:\\Tools\\known-cheat-test-program"), 0);

    ReportRecord medium = inspect_process_record(77, "", "medium");
    EXPECT_EQ(get_field(medium, proc_key::blockedNameHashMatch), "1");
    EXPECT_EQ(get_field(medium, proc_key::suspicious), "1");
}

// ---------------------------------------------------------------- verify_game_integrity

TEST(VerifyGameIntegrity, NeedsInitializeAndNoDebuggerAndNoCheat) {
    Machine m;
    ScopedSystemOverride use(m);
    m.run(10, "explorer.exe", "C:\\Windows\\explorer.exe");
    shutdown_session();

    EXPECT_FALSE(verify_game_integrity());
    EXPECT_EQ(m.process_snapshots, 0) << "nothing runs before initialize";

    initialize_session(nullptr);
    EXPECT_TRUE(verify_game_integrity());
    EXPECT_EQ(m.process_snapshots, 1);

    m.host_debug.examined = true;
    m.host_debug.peb_being_debugged = true;
    EXPECT_FALSE(verify_game_integrity());
    EXPECT_EQ(m.process_snapshots, 1) << "a debugger ends the check before the process scan";
    m.host_debug = {};

    m.add_process(20, "cheatengine-x86_64.exe").openable = false;
    EXPECT_FALSE(verify_game_integrity());
    EXPECT_EQ(m.process_snapshots, 2);

    shutdown_session();
    m.processes.pop_back();
    EXPECT_FALSE(verify_game_integrity());
    EXPECT_EQ(m.process_snapshots, 2);
}

}  // namespace
}  // namespace ac
