// The system-wide handle list (NtQuerySystemInformation, extended form), the
// identification of a foreign handle by duplication, and a process's image
// path from the system's process-id record (no handle to the process needed).
#include <atomic>
#include <climits>
#include <initializer_list>
#include <vector>

#include "platform/win32/win32_system.hpp"

namespace ac::win32 {
namespace {

constexpr ULONG kSystemExtendedHandleInformation = 64;
constexpr LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004u);
constexpr ULONG kInitialBuffer = 1u << 20;
constexpr ULONG kHeadroom = 1u << 16;  // the list grows between the two calls
constexpr int kMaxTries = 6;

// The size the last successful query needed, with room for growth: a machine
// whose list outgrows the first guess pays the second query once, not on
// every call. Concurrent calls only ever store a size that worked.
std::atomic<ULONG> g_handle_buffer{kInitialBuffer};

constexpr ULONG kSystemProcessIdInformation = 88;
constexpr USHORT kImageNameFirstBytes = 1040 * sizeof(WCHAR);

using NtQuerySystemInformationFn = LONG(NTAPI*)(ULONG, PVOID, ULONG, PULONG);

// Not in the SDK headers; the documented 64-bit layout.
struct SystemHandleEntryEx {
    PVOID Object;
    ULONG_PTR UniqueProcessId;
    ULONG_PTR HandleValue;
    ULONG GrantedAccess;
    USHORT CreatorBackTraceIndex;
    USHORT ObjectTypeIndex;
    ULONG HandleAttributes;
    ULONG Reserved;
};
struct SystemHandleInformationEx {
    ULONG_PTR NumberOfHandles;
    ULONG_PTR Reserved;
    SystemHandleEntryEx Handles[1];
};
static_assert(sizeof(SystemHandleEntryEx) == 40);
static_assert(offsetof(SystemHandleInformationEx, Handles) == 16);

// SYSTEM_PROCESS_ID_INFORMATION: the caller supplies the name buffer; on
// STATUS_INFO_LENGTH_MISMATCH the system writes the size it needs into
// MaximumLength.
struct CountedUnicodeText {  // UNICODE_STRING
    USHORT Length;         // bytes, without a terminator
    USHORT MaximumLength;  // bytes of the buffer
    PWSTR Buffer;
};
struct SystemProcessIdInformation {
    HANDLE ProcessId;
    CountedUnicodeText ImageName;
};
static_assert(sizeof(SystemProcessIdInformation) == 24);

using CompareObjectHandlesFn = BOOL(WINAPI*)(HANDLE, HANDLE);

// Windows 10 and later; kernelbase holds it, kernel32 forwards it. Both are
// always loaded, so nothing is loaded here.
CompareObjectHandlesFn compare_object_handles() {
    static const CompareObjectHandlesFn fn = [] {
        for (const wchar_t* name : {L"kernelbase.dll", L"kernel32.dll"})
            if (HMODULE module = GetModuleHandleW(name))
                if (FARPROC proc = GetProcAddress(module, "CompareObjectHandles"))
                    return function_cast<CompareObjectHandlesFn>(proc);
        return CompareObjectHandlesFn{};
    }();
    return fn;
}

std::optional<std::string> ansi_of(const std::wstring& wide) {
    if (wide.empty() || wide.size() > static_cast<size_t>(INT_MAX)) return std::nullopt;
    int length = static_cast<int>(wide.size());
    int needed = WideCharToMultiByte(CP_ACP, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return std::nullopt;
    std::string out(static_cast<size_t>(needed), '\0');
    if (WideCharToMultiByte(CP_ACP, 0, wide.data(), length, out.data(), needed, nullptr, nullptr) != needed)
        return std::nullopt;
    return out;
}

}  // namespace

// "\Device\HarddiskVolume3\x" -> "C:\x" through the drive letters' device
// names; "\??\C:\x" -> "C:\x". Anything else (network, unmapped volumes) is
// not a path the Win32 calls would give: nullopt.
std::optional<std::wstring> win32_path_of(std::wstring_view nt) {
    constexpr std::wstring_view dos_prefix = L"\\??\\";
    if (nt.substr(0, dos_prefix.size()) == dos_prefix && nt.size() > dos_prefix.size() + 2 &&
        nt[dos_prefix.size() + 1] == L':')
        return std::wstring(nt.substr(dos_prefix.size()));
    DWORD drives = GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        if (!(drives & (1u << i))) continue;
        const wchar_t drive[3] = {static_cast<wchar_t>(L'A' + i), L':', L'\0'};
        wchar_t device[MAX_PATH + 1] = {};
        DWORD n = QueryDosDeviceW(drive, device, MAX_PATH);
        if (n == 0) continue;
        std::wstring_view name(device);  // the first of the NUL-separated names
        if (name.empty() || nt.size() <= name.size() || nt[name.size()] != L'\\') continue;
        if (CompareStringOrdinal(nt.data(), static_cast<int>(name.size()), name.data(),
                                 static_cast<int>(name.size()), TRUE) != CSTR_EQUAL)
            continue;
        return std::wstring(drive) + std::wstring(nt.substr(name.size()));
    }
    return std::nullopt;
}

bool Win32System::ntdll_loaded() { return GetModuleHandleA("ntdll.dll") != nullptr; }

bool Win32System::handle_query_available() { return ntdll_proc("NtQuerySystemInformation") != nullptr; }

HandleQuery Win32System::query_system_handles() {
    HandleQuery out;
    auto query = function_cast<NtQuerySystemInformationFn>(ntdll_proc("NtQuerySystemInformation"));
    if (!query) return out;

    std::vector<ULONG_PTR> buffer;  // pointer-aligned storage
    ULONG size = g_handle_buffer.load(std::memory_order_relaxed);
    ULONG returned = 0;
    LONG status = kStatusInfoLengthMismatch;
    for (int attempt = 0; attempt < kMaxTries && status == kStatusInfoLengthMismatch; ++attempt) {
        buffer.assign(size / sizeof(ULONG_PTR) + 1, 0);
        returned = 0;
        status = query(kSystemExtendedHandleInformation, buffer.data(),
                       static_cast<ULONG>(buffer.size() * sizeof(ULONG_PTR)), &returned);
        if (status == kStatusInfoLengthMismatch) {
            ULONG wanted = returned > size ? returned : size * 2;
            if (wanted > 0x7FFFFFFFu - kHeadroom) break;
            size = wanted + kHeadroom;
        }
    }
    out.status = static_cast<uint32_t>(status);
    if (status < 0) return out;
    if (returned <= 0x7FFFFFFFu - kHeadroom - returned / 8)
        g_handle_buffer.store(returned + returned / 8 + kHeadroom, std::memory_order_relaxed);

    // Trust the count only as far as the buffer holds entries.
    const auto* info = reinterpret_cast<const SystemHandleInformationEx*>(buffer.data());
    size_t capacity = (buffer.size() * sizeof(ULONG_PTR) - offsetof(SystemHandleInformationEx, Handles)) /
                      sizeof(SystemHandleEntryEx);
    size_t count = info->NumberOfHandles < capacity ? info->NumberOfHandles : capacity;
    const auto* entries = reinterpret_cast<const SystemHandleEntryEx*>(
        reinterpret_cast<const uint8_t*>(buffer.data()) + offsetof(SystemHandleInformationEx, Handles));
    out.handles.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const SystemHandleEntryEx& e = entries[i];
        out.handles.push_back({static_cast<uint32_t>(e.UniqueProcessId), e.HandleValue,
                               reinterpret_cast<uintptr_t>(e.Object), e.GrantedAccess, e.ObjectTypeIndex});
    }
    out.ok = true;
    return out;
}

bool Win32System::handle_refers_to(ProcessHandle& holder, uint64_t handle_value, const ProcessHandle& own,
                                   uint32_t target_pid) {
    auto as_handle = [](uint64_t value) { return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value)); };
    CompareObjectHandlesFn compare = compare_object_handles();
    HANDLE duplicate = nullptr;
    // Comparing objects needs no right on the duplicate; reading its process
    // id needs a query right, which the holder's entry may lack.
    BOOL ok = compare ? DuplicateHandle(as_handle(holder.value()), as_handle(handle_value), GetCurrentProcess(),
                                        &duplicate, 0, FALSE, DUPLICATE_SAME_ACCESS)
                      : DuplicateHandle(as_handle(holder.value()), as_handle(handle_value), GetCurrentProcess(),
                                        &duplicate, PROCESS_QUERY_LIMITED_INFORMATION, FALSE, 0);
    if (!ok) return false;
    UniqueHandle owned(duplicate);
    if (compare) return compare(owned.get(), as_handle(own.value())) != FALSE;
    DWORD pid = GetProcessId(owned.get());  // 0 when the call fails
    return pid != 0 && pid == target_pid;
}

std::optional<std::string> Win32System::image_path_unopened(uint32_t pid) {
    auto query = function_cast<NtQuerySystemInformationFn>(ntdll_proc("NtQuerySystemInformation"));
    if (!query || pid == 0) return std::nullopt;
    std::vector<WCHAR> name(kImageNameFirstBytes / sizeof(WCHAR), 0);
    SystemProcessIdInformation info = {};
    for (int attempt = 0; attempt < 2; ++attempt) {
        info.ProcessId = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(pid));
        info.ImageName.Length = 0;
        info.ImageName.MaximumLength = static_cast<USHORT>(name.size() * sizeof(WCHAR));
        info.ImageName.Buffer = name.data();
        LONG status = query(kSystemProcessIdInformation, &info, sizeof(info), nullptr);
        if (status == kStatusInfoLengthMismatch && attempt == 0) {
            // The size it needs, at most what a UNICODE_STRING can hold.
            size_t wanted = info.ImageName.MaximumLength / sizeof(WCHAR);
            if (wanted <= name.size()) return std::nullopt;
            name.assign(wanted, 0);
            continue;
        }
        if (status < 0) return std::nullopt;
        break;
    }
    // The name must lie in our buffer, within its length.
    if (info.ImageName.Buffer != name.data() || info.ImageName.Length > name.size() * sizeof(WCHAR))
        return std::nullopt;
    std::wstring_view nt(name.data(), info.ImageName.Length / sizeof(WCHAR));
    if (size_t nul = nt.find(L'\0'); nul != std::wstring_view::npos) nt = nt.substr(0, nul);
    auto path = win32_path_of(nt);
    if (!path) return std::nullopt;
    return ansi_of(*path);
}

}  // namespace ac::win32
