// The Win32 adapter against Wine's implementation of the calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <span>

#include "checks/debugger_check.hpp"
#include "checks/thread_hijack_check.hpp"
#include "evidence/digest.hpp"
#include "evidence/text.hpp"
#include "module/session.hpp"
#include "platform/win32/win32_system.hpp"
#include "win_test_support.hpp"

namespace ac {
namespace {

constexpr uint32_t kNoSuchPid = 0x7FFFFFF0;  // pids are multiples of 4

// SeDebugPrivilege in our token: (held, enabled).
std::pair<bool, bool> debug_privilege() {
    HANDLE token = nullptr;
    DWORD size = 0;
    std::vector<uint64_t> buffer(1024);  // room for every privilege, aligned for TOKEN_PRIVILEGES
    auto* set = reinterpret_cast<TOKEN_PRIVILEGES*>(buffer.data());
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    win32::UniqueHandle owned(token);
    if (!GetTokenInformation(token, TokenPrivileges, set, 8 * 1024, &size)) return {};
    for (const auto& p : std::span(set->Privileges, set->PrivilegeCount))
        if (p.Luid.LowPart == 20 && p.Luid.HighPart == 0) return {true, (p.Attributes & SE_PRIVILEGE_ENABLED) != 0};
    return {};
}

// A normal user's token does not hold the privilege at all; an administrator's holds it disabled.
TEST(Session, PrivilegeStepEnablesTheDebugPrivilegeWhereTheTokenHoldsIt) {
    const bool held = debug_privilege().first;
    EXPECT_TRUE(initialize_session("ignored"));
    EXPECT_EQ(debug_privilege(), std::pair(held, held));
    if (wintest::running_under_wine()) {
        EXPECT_TRUE(held);  // Wine-only: every process has an administrator token
    }
    shutdown_session();
}

TEST(ProtectionChecks, SelfIsCleanAndAnUnopenableProcessIsNotReported) {
    EXPECT_FALSE(host_debugger_attached() || thread_hijack_detected(int32_t(GetCurrentProcessId())));
    EXPECT_FALSE(native_system().debug_signals(kNoSuchPid).examined || debugger_attached(kNoSuchPid) ||
                 thread_hijack_detected(int32_t(kNoSuchPid)));
}

struct Parking { std::atomic<bool> running{false}, stop{false}; };

DWORD WINAPI parked_thread(LPVOID context) {
    auto* parking = static_cast<Parking*>(context);
    for (parking->running = true; !parking->stop;) Sleep(5);
    return 0;
}

TEST(Snapshots, OwnThreadStartAddressAndMainModuleFirst) {
    Parking parking;
    HANDLE thread = CreateThread(nullptr, 0, parked_thread, &parking, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    while (!parking.running) Sleep(1);  // Wine records a thread's start address only once the thread runs
    auto start = native_system().thread_start_address(GetCurrentProcessId(), GetThreadId(thread));
    parking.stop = true;
    WaitForSingleObject(thread, INFINITE), CloseHandle(thread);
    EXPECT_EQ(start, std::optional<uint64_t>(reinterpret_cast<uintptr_t>(&parked_thread)));
    auto modules = native_system().module_snapshot(GetCurrentProcessId());
    ASSERT_TRUE(modules && !modules->empty());
    EXPECT_EQ(to_lower(modules->front().path), to_lower(wintest::exe_path()));
}

TEST(Memory, RegionWalkAndReadOfAKnownBuffer) {
    constexpr size_t kSize = 3 * 4096;
    void* block = VirtualAlloc(nullptr, kSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    auto process = native_system().open_process(GetCurrentProcessId(), PROCESS_QUERY_INFORMATION | PROCESS_VM_READ);
    ASSERT_TRUE(block && process);
    std::memcpy(block, "known bytes", 11);
    const auto address = reinterpret_cast<uintptr_t>(block);
    const auto exe = reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr));
    std::optional<MemoryRegion> mine;  // walked from 0 the way the inspections do, until the queries stop
    bool saw_exe_image = false;
    for (uint64_t next = 0, end; auto region = process->query_region(next); next = end) {
        if (region->base == address) mine = region;
        saw_exe_image |= region->allocation_base == exe && region->type == MEM_IMAGE;
        if ((end = region->base + region->size) <= next) break;
    }
    ASSERT_TRUE(mine && saw_exe_image);
    EXPECT_EQ(std::tuple(mine->size, mine->state, mine->protect, mine->type, mine->allocation_base),
              std::tuple(kSize, uint32_t{MEM_COMMIT}, uint32_t{PAGE_READWRITE}, uint32_t{MEM_PRIVATE}, address));
    char copy[11] = {}, none[11] = {};
    const ReadResult read = process->read_memory(address, copy, 11), null_page = process->read_memory(0x10, none, 11);
    VirtualFree(block, 0, MEM_RELEASE);
    EXPECT_EQ(std::tuple(read.ok, read.bytes, std::string(copy, 11), null_page.ok, null_page.bytes),
              std::tuple(true, size_t{11}, std::string("known bytes"), false, size_t{0}));
}

// Every operation once, through success and failure paths.
void exercise_every_operation() {
    System& s = native_system();
    const std::string file = wintest::fixture_path("fixture_module.dll");
    const std::u16string module(file.begin(), file.end()), sha256 = u"SHA256";
    for (uint32_t pid : {static_cast<uint32_t>(GetCurrentProcessId()), kNoSuchPid}) {
        if (char byte; auto p = s.open_process(pid, PROCESS_QUERY_INFORMATION | PROCESS_VM_READ))
            p->exit_code(), p->image_path(), p->query_region(0),
                p->read_memory(reinterpret_cast<uintptr_t>(&byte), &byte, 1);
        s.module_snapshot(pid), s.thread_start_address(pid, GetCurrentThreadId()), s.debug_signals(pid);
        s.process_start_time(pid), s.token_identity(pid), s.image_path_unopened(pid);
    }
    if (auto own = s.open_process(GetCurrentProcessId(), PROCESS_QUERY_LIMITED_INFORMATION))
        if (auto holder = s.open_process(GetCurrentProcessId(), PROCESS_DUP_HANDLE))
            s.handle_refers_to(*holder, own->value(), *own, GetCurrentProcessId());
    s.process_snapshot(), s.thread_snapshot(), s.host_debug_signals(), s.query_system_handles();
    s.enum_windows([](WindowRef& w) { return w.title().empty() || w.visible() || w.owner_pid() == 0; });
    s.file_facts(file), s.open_file(file + ".missing");
    EXPECT_FALSE(s.open_file("NUL"));  // opens, but a device is no file to read: refused and closed
    if (char buffer[16]; auto f = s.open_file(file)) f->read(buffer, sizeof(buffer)), f->size(), f->seek(0);
    if (auto h = s.md5()) h->update("abc", 3), h->finish();
    s.version_string(*s.system_directory_raw() + "\\kernel32.dll", "FileVersion"), s.enable_debug_privilege();
    s.trust_provider_available(), s.trust_embedded(module), s.trust_embedded(module + u".missing");
    s.trust_catalog(module, &sha256), s.trust_catalog(module, nullptr);
    s.trust_catalog_legacy(module), s.trust_catalog_legacy(module + u".missing");
    s.volume_serial_c(), s.computer_name(), s.display_adapter(), s.display_mode(), s.ac_line_status();
}

// On Windows the trust and catalog calls start thread-pool and RPC handles that come and go, so a leak shows
// as growth with the number of rounds rather than as any difference.
TEST(Handles, NoOperationLeavesAHandleOpen) {
    auto own_handles = [pid = GetCurrentProcessId()] {  // from the system list: Wine's GetProcessHandleCount says 0
        auto handles = native_system().query_system_handles().handles;
        return std::count_if(handles.begin(), handles.end(), [&](auto& h) { return h.holder_pid == pid; });
    };
    auto rounds = [](int n) { for (int i = 0; i < n; ++i) exercise_every_operation(); };
    rounds(1);  // first use may open lasting library state
    const auto before = own_handles();
    ASSERT_GT(before, 0);
    rounds(2);
    const auto middle = own_handles();
    rounds(8);
    const auto after = own_handles();
    EXPECT_LT(after - middle, 8);
    if (wintest::running_under_wine()) {
        EXPECT_EQ(std::pair(middle, after), std::pair(before, before));  // Wine-only: no handle comes and goes
    }
}

TEST(Handles, AForeignHandleIsIdentifiedByDuplicationAndAnImagePathReadWithoutOpening) {
    wintest::Child child(wintest::exe_dir() + "handle_holder.exe", "");
    ASSERT_TRUE(child);
    System& s = native_system();
    auto own = s.open_process(child.pid(), PROCESS_QUERY_LIMITED_INFORMATION);
    auto holder = s.open_process(GetCurrentProcessId(), PROCESS_DUP_HANDLE);  // we hold the child's handles too
    auto reader = s.open_process(GetCurrentProcessId(), PROCESS_QUERY_LIMITED_INFORMATION);
    ASSERT_TRUE(own && holder && reader);
    const auto creation = reinterpret_cast<uintptr_t>(child.info.hProcess);
    EXPECT_TRUE(s.handle_refers_to(*holder, creation, *own, child.pid()));
    EXPECT_FALSE(s.handle_refers_to(*holder, reader->value(), *own, child.pid()));  // a handle to us
    EXPECT_FALSE(s.handle_refers_to(*holder, 0x7FFFFFF0, *own, child.pid()));      // no such handle

    EXPECT_EQ(s.image_path_unopened(kNoSuchPid), std::nullopt);
    if (auto path = s.image_path_unopened(child.pid())) {
        EXPECT_EQ(normalize_path(*path), normalize_path(wintest::exe_dir() + "handle_holder.exe"));
    } else {
        EXPECT_TRUE(wintest::running_under_wine());  // Wine-only: no process-id information class
    }
    wchar_t device[MAX_PATH] = {};  // the NT form of a path on C:, as the system's process records give it
    ASSERT_GT(QueryDosDeviceW(L"C:", device, MAX_PATH), 0u);
    EXPECT_EQ(win32::win32_path_of(std::wstring(device) + L"\\Dir\\Game.exe"), L"C:\\Dir\\Game.exe");
    EXPECT_EQ(win32::win32_path_of(L"\\??\\D:\\x.exe"), L"D:\\x.exe");
    for (const wchar_t* other : {L"\\Device\\Mup\\server\\share\\x.exe", static_cast<const wchar_t*>(device), L""})
        EXPECT_EQ(win32::win32_path_of(other), std::nullopt);
}

}  // namespace
}  // namespace ac
