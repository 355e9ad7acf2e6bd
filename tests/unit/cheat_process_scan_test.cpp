// The two cheat-process scans and verify_game_integrity against the fake machine.
#include <gtest/gtest.h>

#include "evidence/digest.hpp"
#include "fake_system.hpp"
#include "module/session.hpp"
#include "reports/cheat_process_scan.hpp"
#include "reports/record.hpp"
#include "support/pe_builder.hpp"

namespace ac {
namespace {

using test::bytes_of;

const std::vector<uint8_t> kKnownCheat = bytes_of("KNOWN-CHEAT-TEST-FILE: a harmless file whose digest the known-cheat "
                                                  "digest check lists, so the detection can be seen end to end.\n");

std::vector<uint8_t> pe_with_section(std::string name, std::vector<uint8_t> data) {
    test::PeBuilder pe;
    pe.add_section(std::move(name), std::move(data)).add_import("kernel32.dll", {test::PeFunction::named("Sleep")});
    return pe.build();
}

struct Machine : test::FakeMachine {  // run: a running process with its image file
    ScopedSystemOverride use{*this};
    void run(uint32_t pid, std::string name, std::string path, std::vector<uint8_t> image = bytes_of("plain")) {
        add_process(pid, std::move(name), path);
        add_file(path, std::move(image), test::fresh_time());
    }
};

TEST(KnownCheatProcessScan, QuickScanAndGameIntegrity) {
    Machine m;
    auto found = [](std::string md5, std::string name, std::string path) {
        return ReportRecord{{"detected", name.empty() ? "0" : "1"}, {"md5", md5}, {"name", name}, {"path", path}};
    };
    m.run(10, "explorer.exe", "C:\\Windows\\explorer.exe");
    EXPECT_EQ(detect_cheat_process_record(), found("", "", ""));
    EXPECT_EQ(m.total_file_opens(), 0);
    auto verify = [&m](bool passes, int scans) {  // and how many process scans it ran
        m.process_snapshots = 0;
        EXPECT_EQ(verify_game_integrity(), passes);
        EXPECT_EQ(m.process_snapshots, scans);
    };
    shutdown_session();
    verify(false, 0);  // nothing runs before initialize
    initialize_session(nullptr);
    verify(true, 1);
    m.host_debug.peb_being_debugged = m.host_debug.examined = true;
    verify(false, 0);  // a debugger ends the check before the process scan
    m.host_debug = {};

    m.run(20, "CheatEngine-x86_64.exe", "C:\\Tools\\CE\\CheatEngine-x86_64.exe", bytes_of("ce"));
    m.run(30, "xenos64.exe", "C:\\Tools\\xenos64.exe");
    verify(false, 1);
    EXPECT_EQ(detect_cheat_process_record(),  // capitals kept; the scan ends at the first match
              found(buffer_md5("ce", 2), "CheatEngine-x86_64.exe", "C:\\Tools\\CE\\CheatEngine-x86_64.exe"));
    EXPECT_EQ(m.opens("C:\\Tools\\xenos64.exe"), 0);
    shutdown_session();

    m.processes.clear();
    m.add_process(20, "ArtMoney.exe").openable = false;
    EXPECT_EQ(detect_cheat_process_record(), found("", "ArtMoney.exe", ""));
    m.processes.clear();
    m.run(21, "CheatEngine.exe", "C:\\\xc0\x80" "\\CheatEngine.exe", bytes_of("ce"));  // "À€" in cp1252
    EXPECT_EQ(detect_cheat_process_record().at("path"), "C:\\\xc3\x80\xe2\x82\xac" "\\CheatEngine.exe");
    m.process_snapshot_fails = true;
    EXPECT_EQ(detect_cheat_process_record(), found("", "", ""));
}

// Runs the inspection's scan over a seeded record; returns the fields it changed.
ReportRecord scan(bool heavy, bool expect_detected) {
    const ReportRecord seed = seeded_record(kProcessRecordSeed);
    ReportRecord r = seed, out;
    EXPECT_EQ(inspection_cheat_scan(r, heavy), expect_detected);
    for (auto& [k, v] : r) if (auto it = seed.find(k); it == seed.end() || it->second != v) out[k] = v;
    return out;
}

TEST(InspectionCheatScan, HeavyDigestMatchThenMediumNameFlags) {
    Machine m;
    m.run(8, "gdb", "C:\\Windows\\System32\\gdb");                  // name flag: never passed over
    m.run(9, "svchost.exe", "C:\\Windows\\System32\\svchost.exe");  // a present system image: passed over
    m.run(10, "x64dbg.exe", "C:\\Tools\\x64dbg.exe");
    m.run(11, "helper.exe", "C:\\Users\\u\\Downloads\\helper.exe", kKnownCheat);  // not flagged
    m.add_process(12, "ArtMoney.exe").openable = false;                           // flagged, unreadable
    m.run(13, "cheatengine.exe", "C:\\Tools\\cheatengine.exe");
    m.add_process(14, "wireshark.exe", "C:\\Program Files\\Wireshark\\wireshark.exe");  // no file to read

    // Heavy reads digest and fingerprint of each image, the system one passed over; a digest match ends the scan.
    const std::string md5 = "85beb527cd2d9c91bf1cae40abfa6b9a";
    EXPECT_EQ(scan(true, true),
              (ReportRecord{{"blockedNameHashMatch", "1"}, {"blockedNameHashMatchHash", md5},
                            {"blockedNameHashMatchName", "helper.exe"}, {"knownCheatProcessHashMatch", "1"},
                            {"knownCheatProcessMd5", md5}, {"knownCheatProcessName", "helper.exe"},
                            {"knownCheatProcessPath", "C:\\Users\\u\\Downloads\\helper.exe"},
                            {"toolProcessCategory", "cheat-tool"}, {"toolProcessMatchStrength", "hash"}}));
    EXPECT_EQ(m.file_opens, (std::map<std::string, int>{{"C:\\Windows\\System32\\gdb", 2}, {"C:\\Tools\\x64dbg.exe", 2},
                                                        {"C:\\Users\\u\\Downloads\\helper.exe", 1}}));

    // Medium reads flagged names only, unchanged files not again; the last flagged process that opens stands.
    m.file_opens.clear();
    m.add_file("C:\\Users\\u\\Downloads\\helper.exe", kKnownCheat, test::fresh_time());  // changed since
    EXPECT_EQ(scan(false, false),
              (ReportRecord{{"knownCheatProcessName", "wireshark.exe"}, {"knownCheatProcessNameOnlyMatch", "1"},
                            {"knownCheatProcessPath", "C:\\Program Files\\Wireshark\\wireshark.exe"},
                            {"toolProcessCategory", "packet-tool"}, {"toolProcessMatchStrength", "name"}}));
    EXPECT_EQ(m.file_opens, (std::map<std::string, int>{{"C:\\Tools\\cheatengine.exe", 2}}));
}

// Folders under the Windows directory that any user can write are no hiding
// place: a renamed cheat there is swept, the real system image beside it is not.
TEST(InspectionCheatScan, HeavySweepExemptsOnlyFoldersUsersCannotWrite) {
    Machine m;
    const std::vector<std::string> exempt = {"C:\\Windows\\System32\\svchost.exe",
                                             "C:\\Windows\\Tasks2\\host.exe",  // only whole folder names
                                             "C:\\Windows\\System32\\spool\\drivers\\host.exe"};
    const std::vector<std::string> swept = {"C:\\WINDOWS\\Tasks\\host.exe", "c:/windows/tracing/sub/host.exe",
                                            "C:\\Windows\\SysWOW64\\Tasks\\host.exe",
                                            "C:\\Windows\\Tracing:host.exe",  // a stream of the folder
                                            "C:\\Windows\\System32:host.exe"};
    uint32_t pid = 100;
    for (const auto& path : exempt) m.run(pid++, "host.exe", path);
    for (const auto& path : swept) m.run(pid++, "host.exe", path);
    m.run(pid, "svchost.exe", "C:\\Windows\\System32\\spool\\drivers\\color\\svchost.exe", kKnownCheat);
    EXPECT_EQ(scan(true, true).at("knownCheatProcessPath"),
              "C:\\Windows\\System32\\spool\\drivers\\color\\svchost.exe");
    for (const auto& path : exempt) EXPECT_EQ(m.opens(path), 0) << path;
    for (const auto& path : swept) EXPECT_EQ(m.opens(path), 2) << path;  // digest and fingerprint
}

TEST(InspectionCheatScan, WeakCorpusThenStrongCorpus) {
    Machine m;
    m.run(10, "x64dbg.exe", "D:\\x64dbg.exe");
    m.run(11, "packed.exe", "C:\\Games\\packed.exe", pe_with_section(".vmp0", std::vector<uint8_t>(64, 0x90)));
    m.run(12, "plain.exe", "C:\\Games\\plain.exe", pe_with_section(".text", std::vector<uint8_t>(64, 0x90)));

    // Weak only: the suspect's details beside the debugger's name flag, and the scan goes on to the end.
    ReportRecord w = scan(true, false);
    EXPECT_EQ(w.at("fuzzyCheatSectionLayout").rfind(".vmp0:64:512:60000020;.idata:", 0), 0u);
    EXPECT_EQ(w.at("fuzzyCheatImportMd5").size() + w.at("fuzzyCheatCodeMd5").size(), 64u);
    for (const char* key : {"fuzzyCheatSectionLayout", "fuzzyCheatImportMd5", "fuzzyCheatCodeMd5"}) w.erase(key);
    EXPECT_EQ(w, (ReportRecord{{"fuzzyCheatProcessSuspect", "1"}, {"fuzzyCheatProcessName", "packed.exe"},
                               {"fuzzyCheatProcessPath", "C:\\Games\\packed.exe"}, {"fuzzyCheatRuleId", "layout-vmp"},
                               {"fuzzyCheatFamily", "vmprotect"}, {"fuzzyCheatConfidence", "medium"},
                               {"fuzzyCheatFeatures", "vmp_section"}, {"knownCheatProcessNameOnlyMatch", "1"},
                               {"knownCheatProcessName", "x64dbg.exe"}, {"toolProcessMatchStrength", "name"},
                               {"knownCheatProcessPath", "D:\\x64dbg.exe"}, {"toolProcessCategory", "debugger"}}));
    EXPECT_EQ(m.opens("C:\\Games\\plain.exe"), 2) << "digest and fingerprint of the last process";

    // Then a strong match: its details replace the suspect's and the name-only flag; the name fields stay.
    const std::string_view text = "KNOWN-CHEAT-CORPUS-TEST-BUILD: harmless code section of the fuzzy corpus test build.\n";
    std::vector<uint8_t> marker(512, 0);
    std::copy(text.begin(), text.end(), marker.begin());
    m.run(13, "trainer_x.exe", "C:\\Games\\trainer_x.exe", pe_with_section(".text", marker));
    w = scan(true, true);
    for (const char* key : {"fuzzyCheatSectionLayout", "fuzzyCheatImportMd5"}) w.erase(key);
    EXPECT_EQ(w, (ReportRecord{{"fuzzyCheatProcessMatch", "1"}, {"fuzzyCheatProcessName", "trainer_x.exe"},
                               {"fuzzyCheatProcessPath", "C:\\Games\\trainer_x.exe"},
                               {"fuzzyCheatRuleId", "known-build-test-0001"},
                               {"fuzzyCheatFamily", "corpus-test-build"}, {"fuzzyCheatConfidence", "high"},
                               {"fuzzyCheatFeatures", "code_md5"},
                               {"fuzzyCheatCodeMd5", "5a03e04fe50df04f05f1964e0b2a40db"},
                               {"knownCheatProcessName", "x64dbg.exe"}, {"toolProcessMatchStrength", "fuzzy"},
                               {"knownCheatProcessPath", "D:\\x64dbg.exe"}, {"toolProcessCategory", "cheat-tool"}}));
}

TEST(CheatProcessScans, ImagePathsFromTheSnapshotSpareTheProcessOpens) {
    Machine m;
    m.run(10, "x64dbg.exe", "C:\\Tools\\x64dbg.exe");
    m.run(11, "helper.exe", "C:\\Users\\u\\Downloads\\helper.exe", kKnownCheat);
    m.add_process(12, "ArtMoney.exe");  // its path query fails: "" in the snapshot, passed over as before
    m.run(13, "CheatEngine-x86_64.exe", "C:\\Tools\\CheatEngine-x86_64.exe");
    const ReportRecord heavy = scan(true, true), medium = scan(false, false);
    const ReportRecord quick = detect_cheat_process_record();
    EXPECT_FALSE(m.opened.empty());

    for (auto& p : m.processes) p.snapshot_has_image_path = true;
    m.opened.clear();
    EXPECT_EQ(scan(true, true), heavy);
    EXPECT_EQ(scan(false, false), medium);
    EXPECT_EQ(detect_cheat_process_record(), quick);
    EXPECT_TRUE(m.opened.empty());
}

}  // namespace
}  // namespace ac
