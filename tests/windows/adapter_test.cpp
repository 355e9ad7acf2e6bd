// The Win32 adapter against Wine's implementation of the calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>

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

bool debug_privilege_enabled() {
    HANDLE token = nullptr;
    LUID debug = {};
    DWORD size = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    win32::UniqueHandle owned(token);
    GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
    std::vector<uint8_t> buffer(size);
    if (!LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &debug) ||
        !GetTokenInformation(token, TokenPrivileges, buffer.data(), size, &size))
        return false;
    auto* set = reinterpret_cast<TOKEN_PRIVILEGES*>(buffer.data());
    return std::any_of(set->Privileges, set->Privileges + set->PrivilegeCount, [&](const LUID_AND_ATTRIBUTES& p) {
        return p.Luid.LowPart == debug.LowPart && p.Luid.HighPart == debug.HighPart &&
               (p.Attributes & SE_PRIVILEGE_ENABLED);
    });
}

TEST(Session, PrivilegeStepEnablesTheDebugPrivilege) {
    EXPECT_TRUE(initialize_session("ignored"));
    EXPECT_TRUE(debug_privilege_enabled());
    EXPECT_TRUE(initialize_session(nullptr));  // a second run changes nothing
    shutdown_session();
}

TEST(ProtectionChecks, SelfIsCleanAndAnUnopenableProcessIsNotReported) {
    EXPECT_FALSE(host_debugger_attached());
    EXPECT_FALSE(debugger_attached(GetCurrentProcessId()));
    EXPECT_FALSE(thread_hijack_detected(static_cast<int32_t>(GetCurrentProcessId())));
    EXPECT_EQ(to_lower(process_image_path(GetCurrentProcessId())), to_lower(wintest::exe_path()));

    EXPECT_FALSE(native_system().debug_signals(kNoSuchPid).examined);
    EXPECT_FALSE(debugger_attached(kNoSuchPid));
    EXPECT_FALSE(thread_hijack_detected(static_cast<int32_t>(kNoSuchPid)));
    EXPECT_EQ(process_image_path(kNoSuchPid), "");
}

struct Parking {
    std::atomic<bool> running{false}, stop{false};
};

DWORD WINAPI parked_thread(LPVOID context) {
    auto* parking = static_cast<Parking*>(context);
    for (parking->running = true; !parking->stop;) Sleep(5);
    return 0;
}

TEST(Snapshots, OwnThreadStartAddressAndMainModuleFirst) {
    System& s = native_system();
    Parking parking;
    DWORD tid = 0;
    HANDLE thread = CreateThread(nullptr, 0, parked_thread, &parking, 0, &tid);
    ASSERT_NE(thread, nullptr);
    while (!parking.running) Sleep(1);  // Wine records a thread's start address only once the thread runs
    EXPECT_EQ(s.thread_start_address(GetCurrentProcessId(), tid),
              std::optional<uint64_t>(reinterpret_cast<uintptr_t>(&parked_thread)));
    parking.stop = true;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    auto modules = s.module_snapshot(GetCurrentProcessId());
    ASSERT_TRUE(modules && !modules->empty());
    EXPECT_EQ(to_lower(modules->front().path), to_lower(wintest::exe_path()));
}

TEST(Memory, RegionWalkAndReadOfAKnownBuffer) {
    constexpr size_t kSize = 3 * 4096;
    void* block = VirtualAlloc(nullptr, kSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    ASSERT_NE(block, nullptr);
    std::memcpy(block, "known bytes", 11);
    const auto address = reinterpret_cast<uintptr_t>(block);
    auto process = native_system().open_process(GetCurrentProcessId(), PROCESS_QUERY_INFORMATION | PROCESS_VM_READ);
    ASSERT_NE(process, nullptr);

    // Walk from 0 the way the inspections do, until the queries stop.
    bool saw_block = false, saw_exe_image = false;
    for (uint64_t next = 0; auto region = process->query_region(next);) {
        if (region->base == address) {
            saw_block = true;
            EXPECT_EQ(std::tuple(region->size, region->state, region->protect, region->type, region->allocation_base),
                      std::tuple(kSize, uint32_t{MEM_COMMIT}, uint32_t{PAGE_READWRITE}, uint32_t{MEM_PRIVATE},
                                 address));
        }
        saw_exe_image |= region->allocation_base == reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr)) &&
                         region->type == MEM_IMAGE;
        if (region->base + region->size <= next) break;
        next = region->base + region->size;
    }
    EXPECT_TRUE(saw_block && saw_exe_image);

    char copy[11] = {};
    ReadResult read = process->read_memory(address, copy, sizeof(copy));
    EXPECT_TRUE(read.ok && read.bytes == sizeof(copy));
    EXPECT_EQ(std::string(copy, 11), "known bytes");
    VirtualFree(block, 0, MEM_RELEASE);
    ReadResult null_page = process->read_memory(0x10, copy, sizeof(copy));
    EXPECT_TRUE(!null_page.ok && null_page.bytes == 0u);
}

// Every operation once, through success and failure paths.
void exercise_every_operation(const std::string& scratch_file) {
    System& s = native_system();
    const std::string module_path = wintest::fixture_path("fixture_module.dll");
    const std::u16string module(module_path.begin(), module_path.end()), sha256 = u"SHA256";
    s.enable_debug_privilege();
    for (uint32_t pid : {static_cast<uint32_t>(GetCurrentProcessId()), kNoSuchPid}) {
        if (auto p = s.open_process(pid, PROCESS_QUERY_INFORMATION | PROCESS_VM_READ)) {
            char byte;
            p->exit_code(), p->image_path(), p->query_region(0);
            p->read_memory(reinterpret_cast<uintptr_t>(&byte), &byte, 1);
        }
        s.module_snapshot(pid), s.thread_start_address(pid, GetCurrentThreadId()), s.debug_signals(pid);
        s.process_start_time(pid), s.token_identity(pid);
    }
    s.process_snapshot(), s.thread_snapshot(), s.host_debug_signals(), s.query_system_handles();
    s.enum_windows([](WindowRef& w) { return w.title().empty() || w.visible() || w.owner_pid() == 0; });
    s.file_facts(scratch_file), s.open_file(scratch_file + ".missing");
    if (auto f = s.open_file(scratch_file)) {
        char buffer[16];
        f->read(buffer, sizeof(buffer)), f->size(), f->seek(0);
    }
    if (auto h = s.md5()) h->update("abc", 3), h->finish();
    s.version_string(*s.system_directory_raw() + "\\kernel32.dll", "FileVersion");
    s.trust_embedded(module), s.trust_embedded(module + u".missing");
    s.trust_catalog(module, &sha256), s.trust_catalog(module, nullptr);
    s.trust_catalog_legacy(module), s.trust_catalog_legacy(module + u".missing");
    s.volume_serial_c(), s.computer_name(), s.display_adapter(), s.display_mode(), s.ac_line_status();
}

TEST(Handles, NoOperationLeavesAHandleOpen) {
    wintest::ScratchDir dir("scratch_handles");
    const std::string file = dir.file("data.bin");
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

}  // namespace
}  // namespace ac
