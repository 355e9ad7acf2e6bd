// Session privilege, Toolhelp snapshots, thread start addresses and process
// creation times.

#include "platform/win32/win32_system.hpp"  // <windows.h> first: the headers below build on it

#include <tlhelp32.h>

namespace ac::win32 {

// The ANSI Toolhelp entries of the 64-bit layout.
static_assert(sizeof(PROCESSENTRY32) == 304);
static_assert(sizeof(THREADENTRY32) == 28);
static_assert(sizeof(MODULEENTRY32) == 568);

namespace {

constexpr ULONG kThreadQuerySetWin32StartAddress = 9;
using NtQueryInformationThreadFn = LONG(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);

UniqueHandle take_snapshot(DWORD flags, DWORD pid) {
    HANDLE snap = CreateToolhelp32Snapshot(flags, pid);
    return UniqueHandle(snap == INVALID_HANDLE_VALUE ? nullptr : snap);
}

}  // namespace

FARPROC ntdll_proc(const char* name) {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll ? GetProcAddress(ntdll, name) : nullptr;
}

void Win32System::enable_debug_privilege() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return;
    UniqueHandle owned(token);
    LUID luid = {};
    if (!LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &luid)) return;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Luid = luid;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    // A token without the privilege reports partial success; that is accepted.
    AdjustTokenPrivileges(owned.get(), FALSE, &privileges, 0, nullptr, nullptr);
}

uint32_t Win32System::current_pid() { return GetCurrentProcessId(); }

std::optional<std::vector<ProcessEntry>> Win32System::process_snapshot() {
    UniqueHandle snap = take_snapshot(TH32CS_SNAPPROCESS, 0);
    if (!snap) return std::nullopt;
    std::vector<ProcessEntry> out;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snap.get(), &entry); more; more = Process32Next(snap.get(), &entry))
        // No image path: the scans query each process for it, as they always have.
        out.push_back({entry.th32ProcessID, entry.th32ParentProcessID, entry.cntThreads, field_text(entry.szExeFile),
                       {}, {}});
    return out;
}

std::optional<std::vector<ThreadEntry>> Win32System::thread_snapshot() {
    UniqueHandle snap = take_snapshot(TH32CS_SNAPTHREAD, 0);
    if (!snap) return std::nullopt;
    std::vector<ThreadEntry> out;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snap.get(), &entry); more; more = Thread32Next(snap.get(), &entry))
        out.push_back({entry.th32ThreadID, entry.th32OwnerProcessID});
    return out;
}

std::optional<std::vector<ModuleEntry>> Win32System::module_snapshot(uint32_t pid) {
    // Both flags, so that the modules of a 32-bit target are listed too.
    UniqueHandle snap = take_snapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, pid);
    if (!snap) return std::nullopt;
    std::vector<ModuleEntry> out;
    MODULEENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Module32First(snap.get(), &entry); more; more = Module32Next(snap.get(), &entry))
        out.push_back({reinterpret_cast<uintptr_t>(entry.modBaseAddr), entry.modBaseSize, field_text(entry.szExePath)});
    return out;
}

std::optional<uint64_t> Win32System::thread_start_address(uint32_t pid, uint32_t tid) {
    auto query = function_cast<NtQueryInformationThreadFn>(ntdll_proc("NtQueryInformationThread"));
    if (!query) return std::nullopt;
    HANDLE h = OpenThread(THREAD_QUERY_INFORMATION, FALSE, tid);
    if (!h) h = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, tid);
    if (!h) return std::nullopt;
    UniqueHandle thread(h);
    // A thread id freed since the snapshot may name another process's thread
    // now; its start address says nothing about this process.
    DWORD owner = GetProcessIdOfThread(thread.get());  // 0 when the call fails
    if (owner == 0 || owner != pid) return std::nullopt;
    PVOID start = nullptr;
    LONG status = query(thread.get(), kThreadQuerySetWin32StartAddress, &start, sizeof(start), nullptr);
    if (status < 0) return std::nullopt;
    return reinterpret_cast<uintptr_t>(start);
}

std::optional<UtcTime> Win32System::process_start_time(uint32_t pid) {
    UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process) return std::nullopt;
    FILETIME creation = {}, exit = {}, kernel = {}, user = {};
    if (!GetProcessTimes(process.get(), &creation, &exit, &kernel, &user)) return std::nullopt;
    SYSTEMTIME st = {};
    if (!FileTimeToSystemTime(&creation, &st)) return std::nullopt;
    return UtcTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

}  // namespace ac::win32
