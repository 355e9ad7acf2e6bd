// The Win32 adapter against Wine's implementation of the calls: every call
// sequence runs and answers with the shapes portable code relies on.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "checks/debugger_check.hpp"
#include "checks/thread_hijack_check.hpp"
#include "evidence/digest.hpp"
#include "evidence/origin.hpp"
#include "evidence/text.hpp"
#include "module/session.hpp"
#include "platform/win32/win32_system.hpp"
#include "win_test_support.hpp"

namespace ac {
namespace {

using wintest::exe_path;

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool debug_privilege_enabled() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    win32::UniqueHandle owned(token);
    LUID debug = {};
    if (!LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &debug)) return false;
    DWORD size = 0;
    GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
    std::vector<uint8_t> buffer(size);
    if (!GetTokenInformation(token, TokenPrivileges, buffer.data(), size, &size)) return false;
    auto* privileges = reinterpret_cast<TOKEN_PRIVILEGES*>(buffer.data());
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
        const auto& p = privileges->Privileges[i];
        if (p.Luid.LowPart == debug.LowPart && p.Luid.HighPart == debug.HighPart)
            return (p.Attributes & SE_PRIVILEGE_ENABLED) != 0;
    }
    return false;
}

TEST(Session, PrivilegeStepEnablesTheDebugPrivilege) {
    EXPECT_TRUE(initialize_session("ignored"));
    EXPECT_TRUE(debug_privilege_enabled());
    EXPECT_TRUE(initialize_session(nullptr));  // a second run changes nothing
    shutdown_session();
}

TEST(ProtectionChecks, CleanTestProcessIsNotDebuggedOrHijacked) {
    EXPECT_FALSE(host_debugger_attached());
    EXPECT_FALSE(debugger_attached(GetCurrentProcessId()));
    EXPECT_FALSE(thread_hijack_detected(static_cast<int32_t>(GetCurrentProcessId())));

    DebugSignals self = native_system().host_debug_signals();
    EXPECT_TRUE(self.examined);
    EXPECT_EQ(self.remote_debugger, std::optional<bool>(false));
    EXPECT_EQ(self.peb_being_debugged, std::optional<bool>(false));
    EXPECT_EQ(self.debug_port.value_or(0), 0u);
    EXPECT_EQ(self.debug_object.value_or(0), 0u);
}

TEST(ProtectionChecks, ProcessThatCannotBeOpenedIsNotReported) {
    constexpr uint32_t kNoSuchPid = 0x7FFFFFF0;  // pids are multiples of 4
    EXPECT_FALSE(native_system().debug_signals(kNoSuchPid).examined);
    EXPECT_FALSE(debugger_attached(kNoSuchPid));
    EXPECT_FALSE(thread_hijack_detected(static_cast<int32_t>(kNoSuchPid)));
    EXPECT_EQ(process_image_path(kNoSuchPid), "");
}

TEST(ProcessFacts, OwnProcessAnswersEveryQuery) {
    System& s = native_system();
    EXPECT_EQ(s.current_pid(), GetCurrentProcessId());
    EXPECT_EQ(lower(process_image_path(GetCurrentProcessId())), lower(exe_path()));

    auto handle = s.open_process(GetCurrentProcessId(), PROCESS_QUERY_LIMITED_INFORMATION);
    ASSERT_NE(handle, nullptr);
    EXPECT_NE(handle->value(), 0u);
    EXPECT_EQ(handle->exit_code(), std::optional<uint32_t>(STILL_ACTIVE));

    auto started = s.process_start_time(GetCurrentProcessId());
    ASSERT_TRUE(started.has_value());
    SYSTEMTIME now;
    GetSystemTime(&now);
    EXPECT_EQ(started->year, now.wYear);  // started moments ago (a New Year's Eve run aside)
    EXPECT_GE(started->month, 1);

    TokenIdentity token = s.token_identity(GetCurrentProcessId());
    EXPECT_NE(token.account.find('\\'), std::string::npos) << token.account;
    ASSERT_TRUE(token.integrity_rid.has_value());
    EXPECT_GE(*token.integrity_rid, 0x1000u);
}

struct Parking {
    std::atomic<bool> running{false};
    std::atomic<bool> stop{false};
};

DWORD WINAPI parked_thread(LPVOID context) {
    auto* parking = static_cast<Parking*>(context);
    parking->running = true;
    while (!parking->stop) Sleep(5);
    return 0;
}

TEST(Snapshots, ListTheTestProcessItsThreadsAndModules) {
    System& s = native_system();
    auto processes = s.process_snapshot();
    ASSERT_TRUE(processes.has_value());
    auto self = std::find_if(processes->begin(), processes->end(),
                             [](const ProcessEntry& p) { return p.pid == GetCurrentProcessId(); });
    ASSERT_NE(self, processes->end());
    EXPECT_EQ(lower(self->exe_name), "windows_tests.exe");
    EXPECT_GE(self->thread_count, 1u);

    Parking parking;
    DWORD tid = 0;
    HANDLE thread = CreateThread(nullptr, 0, parked_thread, &parking, 0, &tid);
    ASSERT_NE(thread, nullptr);
    // Wine records a thread's start address only once the thread runs.
    while (!parking.running) Sleep(1);
    auto threads = s.thread_snapshot();
    ASSERT_TRUE(threads.has_value());
    auto listed = [&](DWORD id) {
        return std::any_of(threads->begin(), threads->end(), [&](const ThreadEntry& t) {
            return t.tid == id && t.owner_pid == GetCurrentProcessId();
        });
    };
    EXPECT_TRUE(listed(GetCurrentThreadId()));
    EXPECT_TRUE(listed(tid));
    // The start address is the thread function we passed.
    EXPECT_EQ(s.thread_start_address(GetCurrentProcessId(), tid),
              std::optional<uint64_t>(reinterpret_cast<uintptr_t>(&parked_thread)));
    // Asked on behalf of another process, the thread is not that process's.
    auto other = std::find_if(processes->begin(), processes->end(),
                              [](const ProcessEntry& p) { return p.pid != GetCurrentProcessId(); });
    ASSERT_NE(other, processes->end());
    EXPECT_EQ(s.thread_start_address(other->pid, tid), std::nullopt);
    parking.stop = true;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);

    auto modules = s.module_snapshot(GetCurrentProcessId());
    ASSERT_TRUE(modules.has_value());
    ASSERT_FALSE(modules->empty());
    EXPECT_EQ(lower(modules->front().path), lower(exe_path()));
    EXPECT_EQ(modules->front().base, reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr)));
    auto kernel32 = std::find_if(modules->begin(), modules->end(), [](const ModuleEntry& m) {
        return lower(base_name(m.path)) == "kernel32.dll";
    });
    ASSERT_NE(kernel32, modules->end());
    EXPECT_EQ(kernel32->base, reinterpret_cast<uintptr_t>(GetModuleHandleA("kernel32.dll")));
    EXPECT_GT(kernel32->size, 0u);

    EXPECT_FALSE(s.module_snapshot(0x7FFFFFF0).has_value());
}

TEST(Memory, RegionWalkAndReadsOfOwnProcess) {
    constexpr size_t kSize = 3 * 4096;
    void* block = VirtualAlloc(nullptr, kSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    ASSERT_NE(block, nullptr);
    std::memcpy(block, "known bytes", 11);
    auto address = reinterpret_cast<uintptr_t>(block);

    auto process = native_system().open_process(GetCurrentProcessId(), PROCESS_QUERY_INFORMATION | PROCESS_VM_READ);
    ASSERT_NE(process, nullptr);

    // Walk from 0 the way the inspections do, until the queries stop.
    bool saw_block = false, saw_exe_image = false;
    uint64_t next = 0;
    int steps = 0;
    while (auto region = process->query_region(next)) {
        if (region->base == address) {
            saw_block = true;
            EXPECT_EQ(region->size, kSize);
            EXPECT_EQ(region->state, static_cast<uint32_t>(MEM_COMMIT));
            EXPECT_EQ(region->protect, static_cast<uint32_t>(PAGE_READWRITE));
            EXPECT_EQ(region->type, static_cast<uint32_t>(MEM_PRIVATE));
            EXPECT_EQ(region->allocation_base, address);
        }
        if (region->allocation_base == reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr)))
            saw_exe_image = saw_exe_image || region->type == MEM_IMAGE;
        if (region->base + region->size <= next) break;
        next = region->base + region->size;
        ++steps;
    }
    EXPECT_TRUE(saw_block);
    EXPECT_TRUE(saw_exe_image);
    EXPECT_GT(steps, 10);

    char copy[11] = {};
    ReadResult read = process->read_memory(address, copy, sizeof(copy));
    EXPECT_TRUE(read.ok);
    EXPECT_EQ(read.bytes, sizeof(copy));
    EXPECT_EQ(std::memcmp(copy, "known bytes", 11), 0);

    VirtualFree(block, 0, MEM_RELEASE);
    ReadResult null_page = process->read_memory(0x10, copy, sizeof(copy));
    EXPECT_FALSE(null_page.ok);
    EXPECT_EQ(null_page.bytes, 0u);
}

TEST(HandleList, ListsOurOwnHandleWithItsValueAndAccess) {
    System& s = native_system();
    EXPECT_TRUE(s.ntdll_loaded());
    EXPECT_TRUE(s.handle_query_available());
    auto own = s.open_process(GetCurrentProcessId(), PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ);
    ASSERT_NE(own, nullptr);

    HandleQuery query = s.query_system_handles();
    ASSERT_TRUE(query.ok) << std::hex << query.status;
    EXPECT_EQ(query.status, 0u);
    auto entry = std::find_if(query.handles.begin(), query.handles.end(), [&](const SystemHandle& h) {
        return h.holder_pid == GetCurrentProcessId() && h.handle_value == own->value();
    });
    ASSERT_NE(entry, query.handles.end());
    EXPECT_EQ(entry->granted_access & (PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ),
              static_cast<uint32_t>(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ));

    size_t with_object = std::count_if(query.handles.begin(), query.handles.end(),
                                       [](const SystemHandle& h) { return h.object != 0; });
    RecordProperty("system_handles", static_cast<int>(query.handles.size()));
    RecordProperty("handles_with_object_address", static_cast<int>(with_object));
    if (wintest::running_under_wine()) {
        EXPECT_EQ(with_object, 0u) << "Wine started filling object addresses";
    }
}

TEST(TextConversion, AnsiAndUtf8WithExplicitLengths) {
    System& s = native_system();
    EXPECT_EQ(s.ansi_to_wide("abc"), std::optional<std::u16string>(u"abc"));
    EXPECT_FALSE(s.ansi_to_wide("").has_value());
    // A view into a longer text converts only its own characters.
    std::u16string long_text = u"caf\u00e9 au lait";
    EXPECT_EQ(utf8_from_wide(std::u16string_view(long_text).substr(0, 4)), "caf\xc3\xa9");
    EXPECT_EQ(utf8_from_wide(u"\u20ac\U0001F600"), "\xe2\x82\xac\xf0\x9f\x98\x80");

    if (GetACP() == 1252) {
        ReportRecord record{{"k", "\xe9t\xe9"}, {"ok", "plain"}};
        repair_utf8_values(record);
        EXPECT_EQ(record["k"], "\xc3\xa9t\xc3\xa9");
        EXPECT_EQ(record["ok"], "plain");
    }
}

TEST(Files, FactsReaderAndDirectories) {
    wintest::ScratchDir dir("scratch_files");
    std::string path = dir.file("data.bin");
    wintest::write_file(path, wintest::pattern_bytes(70000));

    System& s = native_system();
    FileFacts facts = s.file_facts(path);
    EXPECT_TRUE(facts.found);
    EXPECT_EQ(facts.size, 70000u);
    EXPECT_GT(facts.lastWriteTime, 116444736000000000ull);  // after 1970
    EXPECT_FALSE(s.file_facts(dir.file("missing.bin")).found);
    EXPECT_EQ(s.open_file(dir.file("missing.bin")), nullptr);
    // A path with a NUL inside is not the path before the NUL.
    std::string with_nul = path + std::string(1, '\0') + "x";
    EXPECT_FALSE(s.file_facts(with_nul).found);
    EXPECT_EQ(s.open_file(with_nul), nullptr);
    if (!wintest::signing_facts().empty()) {
        std::string signed_with_nul = wintest::fixture_path("fixture_leaf_signed.dll") + std::string(1, '\0') + "x";
        EXPECT_NE(s.trust_embedded(wintest::widen_ascii(signed_with_nul)).result, 0);
    }

    auto reader = s.open_file(path);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->size(), std::optional<uint64_t>(70000));
    // Another writer may keep the file open: every sharing mode is granted.
    HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(writer, INVALID_HANDLE_VALUE);
    CloseHandle(writer);
    ASSERT_TRUE(reader->seek(69990));
    uint8_t tail[32];
    EXPECT_EQ(reader->read(tail, sizeof(tail)), std::optional<size_t>(10));
    EXPECT_EQ(tail[9], wintest::pattern_bytes(70000)[69999]);
    EXPECT_EQ(reader->read(tail, sizeof(tail)), std::optional<size_t>(0));
    reader.reset();

    EXPECT_EQ(system_directory(), lower(*s.system_directory_raw()) + "\\");
    EXPECT_EQ(classify_origin(normalize_path(*s.system_directory_raw() + "\\kernel32.dll"), ""), "system32");
    EXPECT_EQ(classify_origin(normalize_path(*s.windows_directory_raw() + "\\notepad.exe"), ""), "windows");
}

// Every operation once, through success and failure paths.
void exercise_every_operation(const std::string& scratch_file) {
    System& s = native_system();
    const uint32_t self = GetCurrentProcessId();
    const uint32_t missing = 0x7FFFFFF0;
    const std::u16string module = wintest::widen_ascii(wintest::fixture_path("fixture_module.dll"));
    const std::u16string sha256 = u"SHA256";
    s.enable_debug_privilege();
    for (uint32_t pid : {self, missing}) {
        if (auto p = s.open_process(pid, PROCESS_QUERY_INFORMATION | PROCESS_VM_READ)) {
            p->exit_code();
            p->image_path();
            p->query_region(0);
            char byte;
            p->read_memory(reinterpret_cast<uintptr_t>(&byte), &byte, 1);
        }
        s.module_snapshot(pid);
        s.thread_start_address(pid, GetCurrentThreadId());
        s.debug_signals(pid);
        s.process_start_time(pid);
        s.token_identity(pid);
    }
    s.process_snapshot();
    s.thread_snapshot();
    s.host_debug_signals();
    s.enum_windows([](WindowRef& w) { return w.title().empty() || w.visible() || w.owner_pid() == 0; });
    s.query_system_handles();
    s.file_facts(scratch_file);
    if (auto f = s.open_file(scratch_file)) {
        char buffer[16];
        f->read(buffer, sizeof(buffer));
        f->size();
        f->seek(0);
    }
    s.open_file(scratch_file + ".missing");
    if (auto h = s.md5()) {
        h->update("abc", 3);
        h->finish();
    }
    s.version_string(*s.system_directory_raw() + "\\kernel32.dll", "FileVersion");
    s.trust_embedded(module);
    s.trust_embedded(module + u".missing");
    s.trust_catalog(module, &sha256);
    s.trust_catalog(module, nullptr);
    s.trust_catalog_legacy(module);
    s.trust_catalog_legacy(module + u".missing");
    s.volume_serial_c();
    s.computer_name();
    s.display_adapter();
    s.display_mode();
    s.ac_line_status();
}

TEST(Handles, NoOperationLeavesAHandleOpen) {
    wintest::ScratchDir dir("scratch_handles");
    std::string file = dir.file("data.bin");
    wintest::write_file(file, wintest::pattern_bytes(100));
    // Counted from the system handle list: Wine's GetProcessHandleCount always says 0.
    auto own_handles = [] {
        HandleQuery q = native_system().query_system_handles();
        return std::count_if(q.handles.begin(), q.handles.end(),
                             [](const SystemHandle& h) { return h.holder_pid == GetCurrentProcessId(); });
    };
    exercise_every_operation(file);  // first use may open lasting library state
    auto before = own_handles();
    ASSERT_GT(before, 0);
    for (int i = 0; i < 3; ++i) exercise_every_operation(file);
    EXPECT_EQ(own_handles(), before);
}

TEST(Trust, CatalogMemberTagIsUppercaseHex) {
    const uint8_t hash[] = {0x00, 0x0a, 0xbc, 0xff};
    EXPECT_EQ(win32::catalog_member_tag(hash, sizeof(hash)), u"000ABCFF");
    EXPECT_EQ(win32::catalog_member_tag(hash, 0), u"");
}

}  // namespace
}  // namespace ac
