// The write-handle check and the report section built on it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "checks/write_handle_check.hpp"
#include "fake_system.hpp"
#include "reports/record.hpp"
#include "reports/write_handle_report.hpp"

namespace ac {
namespace {

constexpr uint32_t kGame = 100;
constexpr uint64_t kGameObject = 0xFFFF800012345678;

// The system while it lives; lists the scan's own handle to the game, whatever its value, ahead of foreign ones.
struct HandleMachine : test::FakeMachine {
    std::vector<SystemHandle> foreign;
    uint32_t exits_at_start_time = 0;  // that holder ends when asked for its start time
    uint64_t own_object = kGameObject, own_value = 0;
    ScopedSystemOverride use{*this};
    HandleMachine() { add_process(kGame, "game.exe", "C:\\Games\\game.exe"); }
    void add_handle(uint32_t pid, uint32_t access, uint64_t object = kGameObject) {
        foreign.push_back({pid, 0x10 + 4 * foreign.size(), object, access});
    }
    std::unique_ptr<ProcessHandle> open_process(uint32_t pid, uint32_t access) override {
        auto h = FakeMachine::open_process(pid, access);
        if (h && pid == kGame) own_value = h->value();
        return h;
    }
    HandleQuery query_system_handles() override {
        HandleQuery q = FakeMachine::query_system_handles();
        if (q.ok) q.handles.push_back({self_pid, own_value, own_object, 0x1000});
        if (q.ok) q.handles.insert(q.handles.end(), foreign.begin(), foreign.end());
        return q;
    }
    std::optional<UtcTime> process_start_time(uint32_t pid) override {
        if (pid == exits_at_start_time) std::erase_if(processes, [&](auto& p) { return p.pid == pid; });
        return FakeMachine::process_start_time(pid);
    }
};

void set_all(ReportRecord& r, const std::vector<std::pair<std::string_view, std::string>>& fields) {
    for (auto& [key, value] : fields) set_field(r, "externalWriteHandle" + std::string(key), value);
}

TEST(WriteHandleScan, EveryStatusWritesItsWordAndNothingElseThenAHolderAmongSystemHoldersExitsHalfWay) {
    const std::vector<std::tuple<std::string, int32_t, std::function<void(HandleMachine&)>>> cases = {
        {"invalid_pid", 0, {}}, {"invalid_pid", -4, {}}, {"ok", kGame, {}},
        {"ntdll_unavailable", kGame, [](HandleMachine& m) { m.has_ntdll = false; }},
        {"api_unavailable", kGame, [](HandleMachine& m) { m.has_handle_api = false; }},
        {"target_access_denied", kGame, [](HandleMachine& m) { m.find(kGame)->openable = false; }},
        {"query_failed", kGame, [](HandleMachine& m) { m.handle_query = {false, 0xC0000004u, {}}; }},
        {"target_object_unavailable", kGame, [](HandleMachine& m) { m.own_object = 0; }}};
    for (auto& [status, pid, script] : cases) {
        HandleMachine m;  // "ok" skips the game's own handle, ours, one to another object, one without write rights
        for (uint32_t holder : {kGame, m.self_pid}) m.add_handle(holder, win::PROCESS_ALL_ACCESS);
        m.add_handle(300, win::PROCESS_ALL_ACCESS, 0xDEAD), m.add_handle(300, win::PROCESS_VM_READ | 0x1000);
        if (status != "ok") m.add_handle(300, win::PROCESS_ALL_ACCESS);
        if (script) script(m);
        ReportRecord r = seeded_record(kProcessRecordSeed), expected = r;
        EXPECT_EQ(scan_external_write_handles(pid, r), status == "ok" ? 0 : -1) << status;
        set_all(expected, {{"Status", status}});
        if (status == "query_failed") set_all(expected, {{"NtStatus", "0xC0000004"}});
        EXPECT_EQ(r, expected) << status;
        EXPECT_EQ(m.live_process_handles, 0) << status;
    }

    HandleMachine m;  // two handles of one holder among system holders
    const std::string path = "C:\\Tools\\CheatEngine-x86_64.exe", sys = "C:\\Windows\\System32\\";
    test::FakeProcess& h = m.add_process(300, "CheatEngine-x86_64.exe", path);
    h.parent_pid = 200, h.start_time = UtcTime{2026, 3, 7, 8, 5, 9}, h.token = {"TARNPC\\player", 0x2000};
    m.add_process(200, "explorer.exe", "C:\\Windows\\explorer.exe");
    for (auto [pid, name] : {std::pair{10u, "csrss.exe"}, {11u, "lsass.exe"}}) m.add_process(pid, name, sys + name);
    m.add_process(8, "Secure System"), m.add_process(4, "System");  // image-less; the second is inside the first
    // Listed by the known-cheat digests; not a PE file, so the time stamp keeps its seed.
    m.add_file(path, "KNOWN-CHEAT-TEST-FILE: a harmless file whose digest the known-cheat digest check lists, so "
                     "the detection can be seen end to end.\n");
    m.version_strings[{path, "ProductName"}] = "Cheat Engine";
    m.windows = {{300, false, "hidden"}, {999, true, "other"}, {300, true, "Cheat Engine 7.5"}};
    for (uint32_t holder : {10u, 300u, 11u, 10u, 8u, 300u, 4u}) m.add_handle(holder, win::PROCESS_ALL_ACCESS);
    m.foreign[5].granted_access = win::PROCESS_VM_WRITE;
    ReportRecord r = seeded_record(kProcessRecordSeed), expected = r;
    EXPECT_EQ(scan_external_write_handles(kGame, r), 2);
    set_all(expected, {{"Status", "ok"}, {"Count", "2"}, {"Detected", "1"}, {"ProcessPid", "300"},
        {"ProcessPath", path}, {"ProcessName", "CheatEngine-x86_64.exe"}, {"Access", "0x1FFFFF"},
        {"ToolNameOnlyMatch", "1"}, {"ToolCategory", "memory-editor"}, {"ParentPid", "200"},
        {"ParentName", "explorer.exe"}, {"ProcessStartedAt", "2026-03-07T08:05:09Z"}, {"ProcessSize", "129"},
        {"ProcessAccount", "TARNPC\\player"}, {"ProcessIntegrity", "medium"}, {"WindowTitle", "Cheat Engine 7.5"},
        {"WindowVisible", "1"}, {"ProductName", "Cheat Engine"}, {"SignatureStatus", "unsigned"},
        {"ToolHashMatch", "1"}, {"ProcessMd5", "85beb527cd2d9c91bf1cae40abfa6b9a"}, {"KnownBadHashMatch", "1"},
        {"SystemProcessCount", "5"}, {"SignatureTrustedMicrosoft", "0"},
        {"SystemProcessNames", "csrss.exe,lsass.exe,Secure System"}});
    EXPECT_EQ(r, expected);
    EXPECT_EQ(std::pair(m.windows_enumerations, m.process_snapshots), std::pair(1, 2));  // snapshots: names, parent
    EXPECT_EQ(std::count_if(m.opened.begin(), m.opened.end(), [](auto& o) { return o.first == 300; }), 1);

    // Its image now 100 MiB (described, not digested); it exits half way; no window is visible.
    std::vector<uint8_t> image(0x400, 0xFF);  // time stamp 0xFFFFFFFF
    std::memcpy(&image[0], "MZ", 2), std::memcpy(&image[60], "\x80\0\0\0", 4), std::memcpy(&image[0x80], "PE\0\0", 4);
    m.add_file(path, image).facts.size = 100ull << 20;
    m.exits_at_start_time = 300, m.windows = {{300, false, "first"}, {300, false, "second"}};
    EXPECT_EQ(scan_external_write_handles(kGame, r = seeded_record(kProcessRecordSeed)), 2);
    set_all(expected, {{"ProcessStartedAt", ""}, {"ProcessAccount", ""}, {"ProcessIntegrity", ""}, {"ProcessMd5", ""},
        {"KnownBadHashMatch", "0"}, {"ToolHashMatch", "0"}, {"ProcessSize", "104857600"},
        {"ProcessPeTimestamp", "4294967295"}, {"WindowTitle", "first"}, {"WindowVisible", "0"}});
    EXPECT_EQ(r, expected);
    EXPECT_EQ(m.live_process_handles, 0);

    EXPECT_FALSE(find_process_window(301).found || is_system_holder("svchost.exe", "C:\\Users\\p\\svchost.exe"));
    std::string words;  // each side of each boundary
    for (uint32_t rid : {0x1FFF, 0x2000, 0x2FFF, 0x3000, 0x3FFF, 0x4000}) words.append(integrity_word(rid)) += ' ';
    EXPECT_EQ(words, "low medium medium high high system ");
}

}  // namespace
}  // namespace ac
