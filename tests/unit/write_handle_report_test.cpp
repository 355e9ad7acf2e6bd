// The write-handle check and the report section built on it.
#include <gtest/gtest.h>

#include <cstring>
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "checks/write_handle_check.hpp"
#include "fake_system.hpp"
#include "reports/fields.hpp"
#include "reports/record.hpp"
#include "reports/write_handle_report.hpp"

namespace ac {
namespace {

using test::FakeMachine;
using test::FakeProcess;

constexpr uint32_t kGame = 100;
constexpr uint64_t kGameObject = 0xFFFF8000'12345678;
constexpr uint32_t kWrite = win::PROCESS_VM_WRITE | win::PROCESS_VM_OPERATION;
const std::string kSys = "C:\\Windows\\System32\\";

std::vector<uint8_t> pe_file(uint32_t stamp, size_t size = 0x400) {
    std::vector<uint8_t> bytes(size, 0);
    bytes[0] = 'M';
    bytes[1] = 'Z';
    uint32_t e_lfanew = 0x80;
    std::memcpy(bytes.data() + 60, &e_lfanew, 4);
    std::memcpy(bytes.data() + 0x80, "PE\0\0", 4);
    std::memcpy(bytes.data() + 0x88, &stamp, 4);
    return bytes;
}

// Lists the scan's own handle to the game (whatever value the fake gave it)
// ahead of the scripted foreign handles, as the system's list would.
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

bool has(const ReportRecord& r, std::string_view key) { return r.count(std::string(key)) != 0; }

// ------------------------------------------------------------------ the check

TEST(WriteAccess, WriteAndTakeOverRightsCountReadAndHousekeepingRightsDoNot) {
    for (uint32_t mask : {win::PROCESS_VM_WRITE, win::PROCESS_VM_OPERATION, win::PROCESS_CREATE_THREAD,
                          win::PROCESS_DUP_HANDLE, win::WRITE_DAC, win::WRITE_OWNER, win::GENERIC_WRITE,
                          win::GENERIC_ALL, win::PROCESS_ALL_ACCESS, 0x1F0FFFu})
        EXPECT_TRUE(grants_write_access(mask)) << std::hex << mask;
    for (uint32_t mask :
         {0u, win::PROCESS_QUERY_LIMITED_INFORMATION | win::SYNCHRONIZE | win::PROCESS_TERMINATE,
          win::PROCESS_VM_READ | win::PROCESS_QUERY_INFORMATION, win::PROCESS_SET_INFORMATION,
          win::PROCESS_SET_QUOTA, win::PROCESS_SUSPEND_RESUME, win::PROCESS_CREATE_PROCESS, win::READ_CONTROL,
          win::MAXIMUM_ALLOWED})
        EXPECT_FALSE(grants_write_access(mask)) << std::hex << mask;
}

TEST(SystemHolder, ANameCountsOnlyForAnImageDirectlyInTheSystemDirectory) {
    FakeMachine m;
    ScopedSystemOverride use(m);
    EXPECT_TRUE(is_system_holder("csrss.exe", kSys + "csrss.exe"));
    EXPECT_TRUE(is_system_holder("LSASS.EXE", "c:/windows/system32/lsass.exe"));
    EXPECT_FALSE(is_system_holder("svchost.exe", "C:\\Users\\p\\AppData\\Local\\Temp\\svchost.exe"));
    EXPECT_FALSE(is_system_holder("svchost.exe", kSys + "drivers\\svchost.exe"));
    EXPECT_FALSE(is_system_holder("svchost.exe", "C:\\Windows\\System32svchost.exe"));
    EXPECT_FALSE(is_system_holder("svchost.exe", ""));
    EXPECT_FALSE(is_system_holder("notepad.exe", kSys + "notepad.exe"));
    // The kernel's own handles are listed under image-less pseudo-processes.
    EXPECT_TRUE(is_system_holder("System", ""));
    EXPECT_FALSE(is_system_holder("System", "C:\\Temp\\System"));
    m.system_dir.reset();  // cannot tell where the system lives: nothing is exempt
    EXPECT_FALSE(is_system_holder("csrss.exe", kSys + "csrss.exe"));
}

TEST(FindWriteHandles, KeepsForeignWriteHandlesToTheTargetInListOrder) {
    HandleMachine m;
    ScopedSystemOverride use(m);
    m.add_handle(kGame, win::PROCESS_ALL_ACCESS);                // the game's own handle to itself
    m.add_handle(m.self_pid, win::PROCESS_ALL_ACCESS);           // ours
    m.add_handle(500, win::PROCESS_ALL_ACCESS, 0xDEAD);          // another process object
    m.add_handle(600, win::PROCESS_QUERY_LIMITED_INFORMATION);   // no write right
    m.add_handle(700, win::PROCESS_VM_WRITE);
    m.add_handle(300, win::PROCESS_DUP_HANDLE);
    auto h = m.open_process(kGame, 0x1000);
    WriteHandleCheckResult r = find_write_handles(kGame, *h);
    ASSERT_EQ(r.outcome, WriteHandleCheckResult::Outcome::ok);
    ASSERT_EQ(r.handles.size(), 2u);
    EXPECT_EQ(r.handles[0].holder_pid, 700u);
    EXPECT_EQ(r.handles[1].holder_pid, 300u);
    EXPECT_EQ(r.handles[1].granted_access, win::PROCESS_DUP_HANDLE);
}

// ------------------------------------------------------------------ statuses

TEST(WriteHandleScan, EveryFailureWritesItsWordAndNothingElse) {
    struct Case {
        const char* status;
        int32_t pid;
        std::function<void(HandleMachine&)> script;
    };
    std::vector<Case> cases = {
        {"invalid_pid", 0, [](HandleMachine&) {}},
        {"invalid_pid", -4, [](HandleMachine&) {}},
        {"ntdll_unavailable", kGame, [](HandleMachine& m) { m.has_ntdll = false; }},
        {"api_unavailable", kGame, [](HandleMachine& m) { m.has_handle_api = false; }},
        {"target_access_denied", kGame, [](HandleMachine& m) { m.find(kGame)->openable = false; }},
        {"target_access_denied", 9999, [](HandleMachine&) {}},
        {"query_failed", kGame, [](HandleMachine& m) { m.handle_query = {false, 0xC0000004u, {}}; }},
        {"target_object_unavailable", kGame, [](HandleMachine& m) { m.list_own_handle = false; }},
        {"target_object_unavailable", kGame, [](HandleMachine& m) { m.own_object = 0; }},
    };
    for (const Case& c : cases) {
        HandleMachine m;
        ScopedSystemOverride use(m);
        m.add_process(300, "x.exe", "C:\\x.exe");
        m.add_handle(300, win::PROCESS_ALL_ACCESS);
        c.script(m);
        ReportRecord r = fresh();
        EXPECT_EQ(scan_external_write_handles(c.pid, r), -1) << c.status;
        EXPECT_EQ(get_field(r, proc_key::externalWriteHandleStatus), c.status);
        ReportRecord expected = fresh();
        set_field(expected, proc_key::externalWriteHandleStatus, c.status);
        if (std::string_view(c.status) == "query_failed")
            set_field(expected, proc_key::externalWriteHandleNtStatus, "0xC0000004");
        EXPECT_EQ(r, expected) << c.status;
        EXPECT_EQ(m.live_process_handles, 0) << c.status;
    }
}

TEST(WriteHandleScan, NoForeignHandleIsAnOkScanWithZeros) {
    HandleMachine m;
    ScopedSystemOverride use(m);
    m.add_process(300, "reader.exe", "C:\\reader.exe");
    m.add_handle(300, win::PROCESS_VM_READ | win::PROCESS_QUERY_INFORMATION);
    ReportRecord r = fresh();
    EXPECT_EQ(scan_external_write_handles(kGame, r), 0);
    ReportRecord expected = fresh();
    set_field(expected, proc_key::externalWriteHandleStatus, "ok");
    EXPECT_EQ(r, expected);
    EXPECT_EQ(m.process_snapshots, 0);  // no holder, no name map
    EXPECT_EQ(m.live_process_handles, 0);
}

// ------------------------------------------------------------------ counting

TEST(WriteHandleScan, TwoHandlesOfOneHolderCountTwiceAndDescribeOnce) {
    HandleMachine m;
    ScopedSystemOverride use(m);
    m.add_process(300, "trainer.exe", "C:\\Tools\\trainer.exe");
    m.add_process(301, "second.exe", "C:\\Tools\\second.exe");
    m.add_handle(300, win::PROCESS_VM_WRITE | win::PROCESS_VM_OPERATION);
    m.add_handle(300, win::PROCESS_ALL_ACCESS);
    m.add_handle(301, win::PROCESS_ALL_ACCESS);
    ReportRecord r = fresh();
    EXPECT_EQ(scan_external_write_handles(kGame, r), 3);
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleCount), "3");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleDetected), "1");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleProcessPid), "300");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleAccess), "0x28");  // the first handle's mask
    EXPECT_EQ(m.windows_enumerations, 1);
    // The holder's path was read once for its identity, not per handle.
    int holder_opens = 0;
    for (auto& [pid, access] : m.opened) holder_opens += pid == 300;
    EXPECT_EQ(holder_opens, 1);
    EXPECT_EQ(m.live_process_handles, 0);
}

TEST(WriteHandleScan, SystemHoldersAreCountedApartAndNamedOnce) {
    HandleMachine m;
    ScopedSystemOverride use(m);
    m.add_process(10, "csrss.exe", kSys + "csrss.exe");
    m.add_process(11, "lsass.exe", kSys + "lsass.exe");
    m.add_process(12, "svchost.exe", "C:\\Users\\p\\svchost.exe");  // an impostor
    m.add_handle(10, win::PROCESS_ALL_ACCESS);
    m.add_handle(11, win::PROCESS_ALL_ACCESS);
    m.add_handle(10, win::PROCESS_DUP_HANDLE);
    m.add_handle(12, win::PROCESS_ALL_ACCESS);
    ReportRecord r = fresh();
    EXPECT_EQ(scan_external_write_handles(kGame, r), 1);
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleSystemProcessCount), "3");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleSystemProcessNames), "csrss.exe,lsass.exe");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleProcessName), "svchost.exe");
}

TEST(WriteHandleScan, ANameInsideAnAlreadyWrittenNameIsNotAppended) {
    HandleMachine m;
    ScopedSystemOverride use(m);
    // Image-less kernel pseudo-processes; their names come from the snapshot.
    m.add_process(8, "Secure System");
    m.add_process(4, "System");
    m.add_handle(8, win::PROCESS_ALL_ACCESS);
    m.add_handle(4, win::PROCESS_ALL_ACCESS);
    ReportRecord r = fresh();
    EXPECT_EQ(scan_external_write_handles(kGame, r), 0);
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleSystemProcessCount), "2");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleSystemProcessNames), "Secure System");
    EXPECT_EQ(m.process_snapshots, 1);  // one name map for the whole scan
}

// ------------------------------------------------------------------ the described holder

TEST(WriteHandleScan, DescribesTheFirstHolderInFull) {
    HandleMachine m;
    ScopedSystemOverride use(m);
    const std::string path = "C:\\Tools\\CheatEngine-x86_64.exe";
    FakeProcess& h = m.add_process(300, "CheatEngine-x86_64.exe", path);
    h.parent_pid = 200;
    h.start_time = UtcTime{2026, 3, 7, 8, 5, 9};
    h.token = {"TARNPC\\player", 0x2000};
    m.add_process(200, "explorer.exe", "C:\\Windows\\explorer.exe");
    // The harmless test file whose digest the known-cheat check lists; not a PE file.
    const std::string known_bytes =
        "KNOWN-CHEAT-TEST-FILE: a harmless file whose digest the known-cheat digest check lists, so the "
        "detection can be seen end to end.\n";
    m.add_file(path, known_bytes);
    m.version_strings[{path, "ProductName"}] = "Cheat Engine";
    m.version_strings[{path, "CompanyName"}] = "Maker";
    m.windows = {{300, false, "hidden"}, {999, true, "other"}, {300, true, "Cheat Engine 7.5"}};
    m.add_handle(300, win::PROCESS_ALL_ACCESS);

    ReportRecord r = fresh();
    EXPECT_EQ(scan_external_write_handles(kGame, r), 1);
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleProcessPath), path);
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleProcessName), "CheatEngine-x86_64.exe");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleAccess), "0x1FFFFF");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleToolNameOnlyMatch), "1");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleToolCategory), "memory-editor");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleParentPid), "200");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleParentName), "explorer.exe");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleProcessStartedAt), "2026-03-07T08:05:09Z");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleProcessAccount), "TARNPC\\player");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleProcessIntegrity), "medium");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleWindowTitle), "Cheat Engine 7.5");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleWindowVisible), "1");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleProcessSize), std::to_string(known_bytes.size()));
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleProcessPeTimestamp), "");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleProductName), "Cheat Engine");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleCompanyName), "Maker");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleFileVersion), "");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleProcessMd5), "85beb527cd2d9c91bf1cae40abfa6b9a");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleKnownBadHashMatch), "1");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleToolHashMatch), "1");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleSignatureStatus), "unsigned");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleSignatureTrustedMicrosoft), "0");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleSignaturePublisher), "");
    EXPECT_EQ(m.live_process_handles, 0);
}

TEST(WriteHandleScan, LargeImageIsNotDigestedButOtherwiseDescribed) {
    HandleMachine m;
    ScopedSystemOverride use(m);
    const std::string path = "C:\\Tools\\big.exe";
    m.add_process(300, "big.exe", path);
    test::FakeFile& f = m.add_file(path, pe_file(0x5F000000));
    f.facts.size = 100ull * 1024 * 1024;
    m.version_strings[{path, "FileVersion"}] = "1.2";
    m.add_handle(300, win::PROCESS_VM_WRITE);
    ReportRecord r = fresh();
    scan_external_write_handles(kGame, r);
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleProcessSize), "104857600");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleProcessPeTimestamp), "1593835520");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleFileVersion), "1.2");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleSignatureStatus), "unsigned");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleProcessMd5), "");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleKnownBadHashMatch), "0");
}

TEST(WriteHandleScan, HolderWithoutAnImagePathIsNamedFromTheSnapshot) {
    HandleMachine m;
    ScopedSystemOverride use(m);
    m.add_process(300, "old.exe");  // the path query fails
    m.add_process(300, "new.exe");  // the later entry for one pid wins
    m.add_handle(300, win::PROCESS_VM_WRITE);
    ReportRecord r = fresh();
    scan_external_write_handles(kGame, r);
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleProcessName), "new.exe");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleProcessPath), "");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleProcessSize), "");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleSignatureStatus), "");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleParentPid), "");  // parent 0 is not written
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleWindowVisible), "0");
}

TEST(WriteHandleScan, AHolderThatExitsHalfWayLeavesItsLaterFieldsEmpty) {
    class ExitsAfterStartTime : public HandleMachine {
    public:
        std::optional<UtcTime> process_start_time(uint32_t pid) override {
            processes.erase(std::remove_if(processes.begin(), processes.end(),
                                           [&](const FakeProcess& p) { return p.pid == pid; }),
                            processes.end());
            return std::nullopt;
        }
    } m;
    ScopedSystemOverride use(m);
    FakeProcess& h = m.add_process(300, "gone.exe", "C:\\Tools\\gone.exe");
    h.parent_pid = 200;
    h.token = {"PC\\u", 0x3000};
    m.add_file("C:\\Tools\\gone.exe", pe_file(7));
    m.add_handle(300, win::PROCESS_VM_WRITE);
    ReportRecord r = fresh();
    EXPECT_EQ(scan_external_write_handles(kGame, r), 1);
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleParentPid), "200");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleParentName), "");  // no such parent
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleProcessStartedAt), "");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleProcessAccount), "");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleProcessIntegrity), "");
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleProcessPeTimestamp), "7");  // its file remains
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleStatus), "ok");
    EXPECT_EQ(m.live_process_handles, 0);
}

// ------------------------------------------------------------------ helpers

TEST(ProcessWindow, FirstVisibleWindowElseTheFirstWindow) {
    FakeMachine m;
    ScopedSystemOverride use(m);
    ProcessWindow w = find_process_window(300);
    EXPECT_FALSE(w.found);
    EXPECT_FALSE(w.visible);

    m.windows = {{999, true, "other"}, {300, false, "first"}, {300, false, "second"}};
    w = find_process_window(300);
    EXPECT_TRUE(w.found);
    EXPECT_EQ(w.title, "first");
    EXPECT_FALSE(w.visible);

    m.windows = {{300, false, "first"}, {300, true, "shown"}, {300, true, "later"}};
    w = find_process_window(300);
    EXPECT_EQ(w.title, "shown");
    EXPECT_TRUE(w.visible);

    // A window with an empty title is still a found window.
    m.windows = {{300, false, ""}};
    HandleMachine hm;
    ScopedSystemOverride use_hm(hm);
    hm.add_process(300, "t.exe");
    hm.windows = {{300, false, ""}};
    hm.add_handle(300, win::PROCESS_VM_WRITE);
    ReportRecord r = fresh();
    scan_external_write_handles(kGame, r);
    EXPECT_EQ(get_field(r, proc_key::externalWriteHandleWindowVisible), "0");
    EXPECT_TRUE(has(r, proc_key::externalWriteHandleWindowTitle));
}

TEST(Integrity, WordsAtEachBoundary) {
    EXPECT_EQ(integrity_word(0), "low");
    EXPECT_EQ(integrity_word(0x1000), "low");
    EXPECT_EQ(integrity_word(0x1FFF), "low");
    EXPECT_EQ(integrity_word(0x2000), "medium");
    EXPECT_EQ(integrity_word(0x2FFF), "medium");
    EXPECT_EQ(integrity_word(0x3000), "high");
    EXPECT_EQ(integrity_word(0x3FFF), "high");
    EXPECT_EQ(integrity_word(0x4000), "system");
    EXPECT_EQ(integrity_word(0x7000), "system");

    FakeMachine m;
    ScopedSystemOverride use(m);
    m.add_process(5, "a.exe").token = {"", 0x4000};
    ProcessAccount a = read_process_account(5);
    EXPECT_EQ(a.account, "");
    EXPECT_EQ(a.integrity, "system");
    EXPECT_EQ(read_process_account(6).integrity, "");
}

TEST(PeTimestamp, ReadOnlyFromAWellFormedHeaderInsideTheFile) {
    FakeMachine m;
    ScopedSystemOverride use(m);
    m.add_file("ok.exe", pe_file(0xFFFFFFFF));
    EXPECT_EQ(read_pe_timestamp("ok.exe"), "4294967295");

    std::vector<uint8_t> cut = pe_file(1);
    cut.resize(0x80 + 23);  // the COFF header does not fit
    m.add_file("cut.exe", cut);
    EXPECT_EQ(read_pe_timestamp("cut.exe"), "");

    std::vector<uint8_t> zero = pe_file(1);
    std::memset(zero.data() + 60, 0, 4);
    m.add_file("zero.exe", zero);
    EXPECT_EQ(read_pe_timestamp("zero.exe"), "");

    std::vector<uint8_t> negative = pe_file(1);
    std::memset(negative.data() + 60, 0xFF, 4);
    m.add_file("negative.exe", negative);
    EXPECT_EQ(read_pe_timestamp("negative.exe"), "");

    m.add_file("short.exe", std::vector<uint8_t>{'M', 'Z'});
    EXPECT_EQ(read_pe_timestamp("short.exe"), "");
    EXPECT_EQ(read_pe_timestamp("missing.exe"), "");
    EXPECT_EQ(read_pe_timestamp(""), "");
}

TEST(ParentProcess, ListedWithOrWithoutAName) {
    FakeMachine m;
    ScopedSystemOverride use(m);
    m.add_process(300, "child.exe").parent_pid = 200;
    m.add_process(200, "parent.exe", "D:\\bin\\parent.exe");
    ParentProcess p = find_parent_process(300);
    EXPECT_TRUE(p.listed);
    EXPECT_EQ(p.parent_pid, 200u);
    EXPECT_EQ(p.parent_name, "parent.exe");
    EXPECT_FALSE(find_parent_process(301).listed);
    m.process_snapshot_fails = true;
    EXPECT_FALSE(find_parent_process(300).listed);
    EXPECT_EQ(m.live_process_handles, 0);
}

}  // namespace
}  // namespace ac
