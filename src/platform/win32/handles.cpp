// The system-wide handle list (NtQuerySystemInformation, extended form).
#include <vector>

#include "platform/win32/win32_system.hpp"

namespace ac::win32 {
namespace {

constexpr ULONG kSystemExtendedHandleInformation = 64;
constexpr LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004u);
constexpr ULONG kInitialBuffer = 1u << 20;
constexpr ULONG kHeadroom = 1u << 16;  // the list grows between the two calls
constexpr int kMaxTries = 6;

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

}  // namespace

bool Win32System::ntdll_loaded() { return GetModuleHandleA("ntdll.dll") != nullptr; }

bool Win32System::handle_query_available() { return ntdll_proc("NtQuerySystemInformation") != nullptr; }

HandleQuery Win32System::query_system_handles() {
    HandleQuery out;
    auto query = function_cast<NtQuerySystemInformationFn>(ntdll_proc("NtQuerySystemInformation"));
    if (!query) return out;

    std::vector<ULONG_PTR> buffer;  // pointer-aligned storage
    ULONG size = kInitialBuffer;
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
                               reinterpret_cast<uintptr_t>(e.Object), e.GrantedAccess});
    }
    out.ok = true;
    return out;
}

}  // namespace ac::win32
