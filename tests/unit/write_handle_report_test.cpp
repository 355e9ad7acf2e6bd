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

using test::FakeMachine;
using test::FakeProcess;

constexpr uint32_t kGame = 100;
constexpr uint64_t kGameObject = 0xFFFF800012345678;
const std::string kSys = "C:\\Windows\\System32\\";

std::vector<uint8_t> pe_file(uint32_t stamp) {
    std::vector<uint8_t> bytes(0x400, 0);
    uint32_t e_lfanew = 0x80;
    std::memcpy(bytes.data(), "MZ", 2);
    std::memcpy(bytes.data() + 60, &e_lfanew, 4);
    std::memcpy(bytes.data() + 0x80, "PE\0\0", 4);
    std::memcpy(bytes.data() + 0x88, &stamp, 4);
    return bytes;
}

// Lists the scan's own handle to the game, whatever value the fake gave it,
// ahead of the scripted foreign handles.
class HandleMachine : public FakeMachine {
public:
    std::vector<SystemHandle> foreign;
    bool list_own_handle = true;
    uint64_t own_object = kGameObject;

    HandleMachine() { add_process(kGame, "game.exe", "C:\\Games\\game.exe"); }
    void add_handle(uint32_t holder, uint32_t access, uint64_t object = kGameObject) {
        foreign.push_back({holder, 0x10 + 4 * foreign.size(), object, access});
    }
    std::unique_ptr<ProcessHandle> open_process(uint32_t pid, uint32_t access) override {
        auto h = FakeMachine::open_process(pid, access);
        if (h && pid == kGame) own_value_ = h->value();
        return h;
    }
    HandleQuery query_system_handles() override {
        HandleQuery q = FakeMachine::query_system_handles();
        if (!q.ok) return q;
        if (list_own_handle) q.handles.push_back({self_pid, own_value_, own_object, 0x1000});
        q.handles.insert(q.handles.end(), foreign.begin(), foreign.end());
        return q;
    }

private:
    uint64_t own_value_ = 0;
};

ReportRecord fresh() { return seeded_record(kProcessRecordSeed); }
std::string field(const ReportRecord& r, std::string_view key) { return std::string(get_field(r, key)); }

TEST(WriteHandleCheck, WriteAndTakeOverRightsCount) {
    for (uint32_t mask : {win::PROCESS_VM_WRITE, win::PROCESS_VM_OPERATION, win::PROCESS_CREATE_THREAD,
                          win::PROCESS_DUP_HANDLE, win::WRITE_DAC, win::WRITE_OWNER, win::GENERIC_WRITE,
                          win::GENERIC_ALL, win::PROCESS_ALL_ACCESS})
        EXPECT_TRUE(grants_write_access(mask)) << std::hex << mask;
    for (uint32_t mask : {0x101001u /* query, synchronize, terminate */, 0x410u, win::PROCESS_SET_INFORMATION,
                          win::PROCESS_SUSPEND_RESUME, win::PROCESS_CREATE_PROCESS, win::MAXIMUM_ALLOWED})
        EXPECT_FALSE(grants_write_access(mask)) << std::hex << mask;
}

TEST(WriteHandleCheck, SystemNameCountsOnlyForAnImageDirectlyInTheSystemDirectory) {
    FakeMachine m;
    ScopedSystemOverride use(m);
    EXPECT_TRUE(is_system_holder("csrss.exe", kSys + "csrss.exe"));
    EXPECT_TRUE(is_system_holder("LSASS.EXE", "c:/windows/system32/lsass.exe"));
    EXPECT_FALSE(is_system_holder("svchost.exe", "C:\\Users\\p\\AppData\\svchost.exe"));  // renamed cheat
    EXPECT_FALSE(is_system_holder("svchost.exe", kSys + "drivers\\svchost.exe"));
    EXPECT_FALSE(is_system_holder("notepad.exe", kSys + "notepad.exe"));
    EXPECT_TRUE(is_system_holder("System", ""));  // the kernel's own handles
    m.system_dir.reset();
    EXPECT_FALSE(is_system_holder("csrss.exe", kSys + "csrss.exe"));
}

TEST(WriteHandleCheck, KeepsForeignWriteHandlesToTheTargetInListOrder) {
    HandleMachine m;
    ScopedSystemOverride use(m);
    m.add_handle(kGame, win::PROCESS_ALL_ACCESS);      // the game's handle to itself
    m.add_handle(m.self_pid, win::PROCESS_ALL_ACCESS);  // ours
    m.add_handle(500, win::PROCESS_ALL_ACCESS, 0xDEAD); // another process
    m.add_handle(600, 0x1000);                          // no write right
    m.add_handle(700, win::PROCESS_VM_WRITE);
    m.add_handle(300, win::PROCESS_DUP_HANDLE);
    WriteHandleCheckResult r = find_write_handles(kGame, *m.open_process(kGame, 0x1000));
    ASSERT_EQ(r.handles.size(), 2u);
    EXPECT_EQ(r.handles[0].holder_pid, 700u);
    EXPECT_EQ(r.handles[1].holder_pid, 300u);
}

TEST(WriteHandleScan, EveryFailureWritesItsWordAndNothingElse) {
    const std::vector<std::tuple<std::string, int32_t, std::function<void(HandleMachine&)>>> cases = {
        {"invalid_pid", 0, [](HandleMachine&) {}},
        {"invalid_pid", -4, [](HandleMachine&) {}},
        {"ntdll_unavailable", kGame, [](HandleMachine& m) { m.has_ntdll = false; }},
        {"api_unavailable", kGame, [](HandleMachine& m) { m.has_handle_api = false; }},
        {"target_access_denied", kGame, [](HandleMachine& m) { m.find(kGame)->openable = false; }},
        {"query_failed", kGame, [](HandleMachine& m) { m.handle_query = {false, 0xC0000004u, {}}; }},
        {"target_object_unavailable", kGame, [](HandleMachine& m) { m.list_own_handle = false; }},
        {"target_object_unavailable", kGame, [](HandleMachine& m) { m.own_object = 0; }},
    };
    for (auto& [status, pid, script] : cases) {
        HandleMachine m;
        ScopedSystemOverride use(m);
        m.add_process(300, "x.exe", "C:\\x.exe");
        m.add_handle(300, win::PROCESS_ALL_ACCESS);
        script(m);
        ReportRecord r = fresh();
        EXPECT_EQ(scan_external_write_handles(pid, r), -1) << status;
        ReportRecord expected = fresh();
        set_field(expected, proc_key::externalWriteHandleStatus, status);
        if (status == "query_failed") set_field(expected, proc_key::externalWriteHandleNtStatus, "0xC0000004");
        EXPECT_EQ(r, expected) << status;
        EXPECT_EQ(m.live_process_handles, 0) << status;
    }
}

TEST(WriteHandleScan, NoForeignWriterIsAnOkScanWithZeros) {
    HandleMachine m;
    ScopedSystemOverride use(m);
    m.add_process(300, "reader.exe", "C:\\reader.exe");
    m.add_handle(300, win::PROCESS_VM_READ);
    ReportRecord r = fresh();
    EXPECT_EQ(scan_external_write_handles(kGame, r), 0);
    ReportRecord expected = fresh();
    set_field(expected, proc_key::externalWriteHandleStatus, "ok");
    EXPECT_EQ(r, expected);
}

TEST(WriteHandleScan, CountsPerHandleAndDescribesTheFirstHolderOnce) {
    HandleMachine m;
    ScopedSystemOverride use(m);
    m.add_process(300, "trainer.exe", "C:\\Tools\\trainer.exe");
    m.add_process(301, "second.exe", "C:\\Tools\\second.exe");
    m.add_handle(300, win::PROCESS_VM_WRITE | win::PROCESS_VM_OPERATION);
    m.add_handle(300, win::PROCESS_ALL_ACCESS);
    m.add_handle(301, win::PROCESS_ALL_ACCESS);
    ReportRecord r = fresh();
    EXPECT_EQ(scan_external_write_handles(kGame, r), 3);
    EXPECT_EQ(field(r, proc_key::externalWriteHandleCount), "3");
    EXPECT_EQ(field(r, proc_key::externalWriteHandleDetected), "1");
    EXPECT_EQ(field(r, proc_key::externalWriteHandleProcessPid), "300");
    EXPECT_EQ(field(r, proc_key::externalWriteHandleAccess), "0x28");
    EXPECT_EQ(m.windows_enumerations, 1);
    // The holder's identity (one path query) is computed once, not per handle.
    EXPECT_EQ(std::count_if(m.opened.begin(), m.opened.end(), [](auto& o) { return o.first == 300; }), 1);
}

TEST(WriteHandleScan, SystemHoldersAreCountedApartAndNamedOnce) {
    HandleMachine m;
    ScopedSystemOverride use(m);
    m.add_process(10, "csrss.exe", kSys + "csrss.exe");
    m.add_process(11, "lsass.exe", kSys + "lsass.exe");
    m.add_process(8, "Secure System");  // image-less: named from the snapshot
    m.add_process(4, "System");         // inside "Secure System": not appended
    m.add_process(12, "svchost.exe", "C:\\Users\\p\\svchost.exe");
    for (uint32_t holder : {10u, 11u, 10u, 8u, 4u, 12u}) m.add_handle(holder, win::PROCESS_ALL_ACCESS);
    ReportRecord r = fresh();
    EXPECT_EQ(scan_external_write_handles(kGame, r), 1);
    EXPECT_EQ(field(r, proc_key::externalWriteHandleSystemProcessCount), "5");
    EXPECT_EQ(field(r, proc_key::externalWriteHandleSystemProcessNames), "csrss.exe,lsass.exe,Secure System");
    EXPECT_EQ(field(r, proc_key::externalWriteHandleProcessName), "svchost.exe");
    EXPECT_EQ(m.process_snapshots, 2);  // one name map for the scan, one parent lookup
}

TEST(WriteHandleScan, DescribesTheHolderInFull) {
    HandleMachine m;
    ScopedSystemOverride use(m);
    const std::string path = "C:\\Tools\\CheatEngine-x86_64.exe";
    FakeProcess& h = m.add_process(300, "CheatEngine-x86_64.exe", path);
    h.parent_pid = 200;
    h.start_time = UtcTime{2026, 3, 7, 8, 5, 9};
    h.token = {"TARNPC\\player", 0x2000};
    m.add_process(200, "explorer.exe", "C:\\Windows\\explorer.exe");
    // The harmless file whose digest the known-cheat check lists; not a PE file.
    m.add_file(path, "KNOWN-CHEAT-TEST-FILE: a harmless file whose digest the known-cheat digest check lists, so "
                     "the detection can be seen end to end.\n");
    m.version_strings[{path, "ProductName"}] = "Cheat Engine";
    m.windows = {{300, false, "hidden"}, {999, true, "other"}, {300, true, "Cheat Engine 7.5"}};
    m.add_handle(300, win::PROCESS_ALL_ACCESS);

    ReportRecord r = fresh();
    EXPECT_EQ(scan_external_write_handles(kGame, r), 1);
    const std::vector<std::pair<std::string_view, std::string>> expected = {
        {proc_key::externalWriteHandleProcessPath, path},
        {proc_key::externalWriteHandleProcessName, "CheatEngine-x86_64.exe"},
        {proc_key::externalWriteHandleAccess, "0x1FFFFF"},
        {proc_key::externalWriteHandleToolNameOnlyMatch, "1"},
        {proc_key::externalWriteHandleToolCategory, "memory-editor"},
        {proc_key::externalWriteHandleParentPid, "200"},
        {proc_key::externalWriteHandleParentName, "explorer.exe"},
        {proc_key::externalWriteHandleProcessStartedAt, "2026-03-07T08:05:09Z"},
        {proc_key::externalWriteHandleProcessAccount, "TARNPC\\player"},
        {proc_key::externalWriteHandleProcessIntegrity, "medium"},
        {proc_key::externalWriteHandleWindowTitle, "Cheat Engine 7.5"},
        {proc_key::externalWriteHandleWindowVisible, "1"},
        {proc_key::externalWriteHandleProcessSize, "129"},
        {proc_key::externalWriteHandleProcessPeTimestamp, ""},
        {proc_key::externalWriteHandleProductName, "Cheat Engine"},
        {proc_key::externalWriteHandleFileVersion, ""},
        {proc_key::externalWriteHandleProcessMd5, "85beb527cd2d9c91bf1cae40abfa6b9a"},
        {proc_key::externalWriteHandleKnownBadHashMatch, "1"},
        {proc_key::externalWriteHandleToolHashMatch, "1"},
        {proc_key::externalWriteHandleSignatureStatus, "unsigned"},
        {proc_key::externalWriteHandleSignaturePublisher, ""},
        {proc_key::externalWriteHandleSignatureTrustedMicrosoft, "0"},
    };
    for (auto& [key, value] : expected) EXPECT_EQ(field(r, key), value) << key;
    EXPECT_EQ(m.live_process_handles, 0);
}

TEST(WriteHandleScan, LargeImageIsDescribedButNotDigested) {
    HandleMachine m;
    ScopedSystemOverride use(m);
    const std::string path = "C:\\Tools\\big.exe";
    m.add_process(300, "big.exe", path);
    m.add_file(path, pe_file(0x5F000000)).facts.size = 100ull << 20;
    m.add_handle(300, win::PROCESS_VM_WRITE);
    ReportRecord r = fresh();
    scan_external_write_handles(kGame, r);
    EXPECT_EQ(field(r, proc_key::externalWriteHandleProcessSize), "104857600");
    EXPECT_EQ(field(r, proc_key::externalWriteHandleProcessPeTimestamp), "1593835520");
    EXPECT_EQ(field(r, proc_key::externalWriteHandleSignatureStatus), "unsigned");
    EXPECT_EQ(field(r, proc_key::externalWriteHandleProcessMd5), "");
    EXPECT_EQ(field(r, proc_key::externalWriteHandleKnownBadHashMatch), "0");
}

TEST(WriteHandleScan, HolderWithoutPathIsNamedFromTheLaterSnapshotEntry) {
    HandleMachine m;
    ScopedSystemOverride use(m);
    m.add_process(300, "old.exe");
    m.add_process(300, "new.exe");
    m.add_handle(300, win::PROCESS_VM_WRITE);
    ReportRecord r = fresh();
    scan_external_write_handles(kGame, r);
    EXPECT_EQ(field(r, proc_key::externalWriteHandleProcessName), "new.exe");
    EXPECT_EQ(field(r, proc_key::externalWriteHandleSignatureStatus), "");  // no file fields
    EXPECT_EQ(field(r, proc_key::externalWriteHandleWindowVisible), "0");
}

TEST(WriteHandleScan, HolderThatExitsHalfWayLeavesItsLaterFieldsEmpty) {
    class ExitsAtStartTime : public HandleMachine {
    public:
        std::optional<UtcTime> process_start_time(uint32_t pid) override {
            std::erase_if(processes, [&](const FakeProcess& p) { return p.pid == pid; });
            return std::nullopt;
        }
    } m;
    ScopedSystemOverride use(m);
    FakeProcess& h = m.add_process(300, "gone.exe", "C:\\Tools\\gone.exe");
    h.token = {"PC\\u", 0x3000};
    m.add_file("C:\\Tools\\gone.exe", pe_file(7));
    m.add_handle(300, win::PROCESS_VM_WRITE);
    ReportRecord r = fresh();
    EXPECT_EQ(scan_external_write_handles(kGame, r), 1);
    EXPECT_EQ(field(r, proc_key::externalWriteHandleProcessStartedAt), "");
    EXPECT_EQ(field(r, proc_key::externalWriteHandleProcessAccount), "");
    EXPECT_EQ(field(r, proc_key::externalWriteHandleProcessIntegrity), "");
    EXPECT_EQ(field(r, proc_key::externalWriteHandleProcessPeTimestamp), "7");  // its file remains
    EXPECT_EQ(m.live_process_handles, 0);
}

TEST(WriteHandleHelpers, WindowChoice) {
    FakeMachine m;
    ScopedSystemOverride use(m);
    EXPECT_FALSE(find_process_window(300).found);
    m.windows = {{999, true, "other"}, {300, false, "first"}, {300, false, "second"}};
    ProcessWindow w = find_process_window(300);
    EXPECT_TRUE(w.found && !w.visible && w.title == "first");
    m.windows = {{300, false, "first"}, {300, true, "shown"}, {300, true, "later"}};
    w = find_process_window(300);
    EXPECT_TRUE(w.found && w.visible && w.title == "shown");
}

TEST(WriteHandleHelpers, IntegrityWordsAtEachBoundary) {
    const std::vector<std::pair<uint32_t, std::string_view>> table = {
        {0, "low"},       {0x1FFF, "low"},  {0x2000, "medium"}, {0x2FFF, "medium"},
        {0x3000, "high"}, {0x3FFF, "high"}, {0x4000, "system"}, {0x7000, "system"}};
    for (auto& [rid, word] : table) EXPECT_EQ(integrity_word(rid), word) << std::hex << rid;
}

TEST(WriteHandleHelpers, PeTimestampOnlyFromAWellFormedHeaderInsideTheFile) {
    FakeMachine m;
    ScopedSystemOverride use(m);
    auto with = [](std::vector<uint8_t> b, size_t at, std::vector<uint8_t> patch, size_t size = 0) {
        std::copy(patch.begin(), patch.end(), b.begin() + static_cast<long>(at));
        if (size) b.resize(size);
        return b;
    };
    m.add_file("ok.exe", pe_file(0xFFFFFFFF));
    m.add_file("cut.exe", with(pe_file(1), 0, {}, 0x80 + 23));  // the COFF header does not fit
    m.add_file("zero.exe", with(pe_file(1), 60, {0, 0, 0, 0}));
    m.add_file("negative.exe", with(pe_file(1), 60, {0xF0, 0xFF, 0xFF, 0xFF}));
    m.add_file("short.exe", std::vector<uint8_t>{'M', 'Z'});
    EXPECT_EQ(read_pe_timestamp("ok.exe"), "4294967295");
    for (const char* p : {"cut.exe", "zero.exe", "negative.exe", "short.exe", "missing.exe", ""})
        EXPECT_EQ(read_pe_timestamp(p), "") << p;
}

}  // namespace
}  // namespace ac
