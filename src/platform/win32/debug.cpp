// What a debugger check may ask about a process: the remote-debugger flag,
// the debug port and the debug object, and for the host its PEB flag.
#include "platform/win32/win32_system.hpp"

namespace ac::win32 {
namespace {

constexpr ULONG kProcessDebugPort = 7;
constexpr ULONG kProcessDebugObjectHandle = 30;
constexpr LONG kStatusPortNotSet = static_cast<LONG>(0xC0000353u);
using NtQueryInformationProcessFn = LONG(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);

DebugSignals signals_of(HANDLE process) {
    DebugSignals out;
    out.examined = true;
    BOOL remote = FALSE;
    if (CheckRemoteDebuggerPresent(process, &remote)) out.remote_debugger = remote != FALSE;

    auto query = function_cast<NtQueryInformationProcessFn>(ntdll_proc("NtQueryInformationProcess"));
    if (!query) return out;
    ULONG_PTR port = 0;
    if (query(process, kProcessDebugPort, &port, sizeof(port), nullptr) >= 0) out.debug_port = port;

    HANDLE object = nullptr;
    LONG status = query(process, kProcessDebugObjectHandle, &object, sizeof(object), nullptr);
    if (status >= 0) {
        out.debug_object = reinterpret_cast<uintptr_t>(object);
        // The query hands us a real handle to the debug object; only its
        // presence matters, so it is closed at once.
        if (object) CloseHandle(object);
    } else if (status == kStatusPortNotSet) {
        out.debug_object = 0;
    }
    return out;
}

}  // namespace

DebugSignals Win32System::debug_signals(uint32_t pid) {
    UniqueHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid));
    if (!process) return {};
    return signals_of(process.get());
}

DebugSignals Win32System::host_debug_signals() {
    DebugSignals out = signals_of(GetCurrentProcess());  // a pseudo handle: nothing to close
    out.peb_being_debugged = IsDebuggerPresent() != FALSE;
    return out;
}

}  // namespace ac::win32
