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
constexpr uint16_t kProcessType = 7, kThreadType = 8;

// The system while it lives; lists the scan's own handle to the game, whatever its value, ahead of foreign ones.
// With hidden objects every address reads 0, as for a caller without the debug privilege on recent Windows.
struct HandleMachine : test::FakeMachine {
    std::vector<SystemHandle> foreign;
    uint32_t exits_at_start_time = 0;  // that holder ends when asked for its start time
    uint64_t own_value = 0;
    bool hidden = false, lists_own = true;
    ScopedSystemOverride use{*this};
    explicit HandleMachine(bool hide = false) : hidden(hide) { add_process(kGame, "game.exe", "C:\\Games\\game.exe"); }
    void add_handle(uint32_t pid, uint32_t access, uint64_t object = kGameObject, uint16_t type = kProcessType) {
        foreign.push_back({pid, 0x10 + 4 * foreign.size(), object, access, type});
        handle_targets[{pid, foreign.back().handle_value}] = object == kGameObject ? kGame : 1;
    }
    std::unique_ptr<ProcessHandle> open_process(uint32_t pid, uint32_t access) override {
        auto h = FakeMachine::open_process(pid, access);
        if (h && pid == kGame) own_value = h->value();
        return h;
    }
    HandleQuery query_system_handles() override {
        HandleQuery q = FakeMachine::query_system_handles();
        if (q.ok && lists_own) q.handles.push_back({self_pid, own_value, kGameObject, 0x1000, kProcessType});
        if (q.ok) q.handles.insert(q.handles.end(), foreign.begin(), foreign.end());
        for (SystemHandle& h : q.handles) h.object = hidden ? 0 : h.object;
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
        {"target_object_unavailable", kGame, [](HandleMachine& m) { m.lists_own = false; }}};
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

    for (bool hidden : {false, true}) {  // identified by object address, then by duplication
        SCOPED_TRACE(hidden);
        HandleMachine m(hidden);  // two handles of one holder among system holders
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
        const auto described = std::pair(300u, win::PROCESS_QUERY_LIMITED_INFORMATION);
        EXPECT_EQ(std::count(m.opened.begin(), m.opened.end(), described), 1);

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
    }

    EXPECT_FALSE(find_process_window(301).found || is_system_holder("svchost.exe", "C:\\Users\\p\\svchost.exe"));
    std::string words;  // each side of each boundary
    for (uint32_t rid : {0x1FFF, 0x2000, 0x2FFF, 0x3000, 0x3FFF, 0x4000}) words.append(integrity_word(rid)) += ' ';
    EXPECT_EQ(words, "low medium medium high high system ");
}

TEST(WriteHandleScan, UnopenableSystemProcessesAreRecognisedByTheirListedPathACheatUnderTheirNameIsNot) {
    for (bool hidden : {false, true}) {
        SCOPED_TRACE(hidden);
        HandleMachine m(hidden);
        const std::string sys = "C:\\Windows\\System32\\", cheat = "C:\\Users\\p\\AppData\\csrss.exe";
        for (auto [pid, name] : {std::pair{10u, "csrss.exe"}, {11u, "lsass.exe"}, {12u, "svchost.exe"}}) {
            test::FakeProcess& p = m.add_process(pid, name);  // a normal user may open none of them
            p.openable = false, p.listed_path = sys + name;
        }
        test::FakeProcess& fake = m.add_process(13, "csrss.exe", cheat);
        fake.openable = false, fake.listed_path = cheat;
        m.add_process(14, "reader.exe", "C:\\Tools\\reader.exe");
        m.add_process(15, "writer.exe", "C:\\Tools\\writer.exe").listed_path = "C:\\Tools\\writer.exe";
        for (uint32_t holder : {10u, 11u, 12u}) m.add_handle(holder, win::PROCESS_ALL_ACCESS);
        m.add_handle(14, win::PROCESS_VM_READ | win::PROCESS_QUERY_LIMITED_INFORMATION);  // read-only: never counted
        m.add_handle(15, win::PROCESS_ALL_ACCESS, 0, kThreadType);                         // a thread of the game
        m.add_handle(15, win::PROCESS_VM_WRITE | win::PROCESS_VM_OPERATION);
        ReportRecord visible = seeded_record(kProcessRecordSeed);
        scan_external_write_handles(kGame, visible);
        m.add_handle(13, win::PROCESS_ALL_ACCESS);
        ReportRecord r = seeded_record(kProcessRecordSeed);
        EXPECT_EQ(scan_external_write_handles(kGame, r), hidden ? 1 : 2);
        auto f = [](const ReportRecord& rec, std::string_view key) {
            return get_field(rec, "externalWriteHandle" + std::string(key));
        };
        if (!hidden) {  // the addresses tell every holder's handles apart: each is judged by its path
            EXPECT_EQ(std::tuple(f(r, "Status"), f(r, "Count"), f(r, "SystemProcessCount"), f(r, "SystemProcessNames")),
                      std::tuple("ok", "2", "3", "csrss.exe,lsass.exe,svchost.exe"));
            EXPECT_EQ(std::tuple(f(r, "ProcessPid"), f(r, "ProcessName"), f(r, "ProcessPath")),
                      std::tuple("15", "writer.exe", "C:\\Tools\\writer.exe"));
        } else {  // unopenable holders go unchecked; only one that is no system process leaves the scan partial
            EXPECT_EQ(std::tuple(f(visible, "Status"), f(visible, "Count"), f(visible, "SystemProcessCount")),
                      std::tuple("ok", "1", "0"));
            EXPECT_EQ(std::tuple(f(r, "Status"), f(r, "Count"), f(r, "Detected"), f(r, "ProcessPid"), f(r, "Access")),
                      std::tuple("partial", "1", "1", "15", "0x28"));
            EXPECT_EQ(m.duplications, 2);  // the writer's process handle, each scan; not its thread handle
        }
        EXPECT_EQ(m.live_process_handles, 0);
    }
}

TEST(WriteHandleScan, DuplicationIsBoundedPerHolderAndPerCall) {
    HandleMachine m(true);
    m.add_process(20, "flood.exe", "C:\\Tools\\flood.exe");
    for (size_t i = 0; i <= kMaxDuplicationsPerHolder; ++i) m.add_handle(20, win::PROCESS_ALL_ACCESS, 1);
    m.add_handle(20, win::PROCESS_VM_WRITE);  // past its bound: never reached
    ReportRecord r = seeded_record(kProcessRecordSeed);
    EXPECT_EQ(scan_external_write_handles(kGame, r), 0);
    EXPECT_EQ(std::tuple(get_field(r, proc_key::externalWriteHandleStatus), m.duplications),
              std::tuple(word::partial, int(kMaxDuplicationsPerHolder)));

    HandleMachine many(true);  // more holders than one call opens
    for (uint32_t pid = 1000; pid < 1000 + 4 * (kMaxDuplicatedHolders + 1); pid += 4) {
        many.add_process(pid, "helper.exe", "C:\\Tools\\helper.exe");
        many.add_handle(pid, win::PROCESS_VM_WRITE);
    }
    ReportRecord all = seeded_record(kProcessRecordSeed);
    EXPECT_EQ(scan_external_write_handles(kGame, all), int(kMaxDuplicatedHolders));
    EXPECT_EQ(get_field(all, proc_key::externalWriteHandleStatus), word::partial);
    EXPECT_EQ(many.live_process_handles, 0);
}

}  // namespace
}  // namespace ac
