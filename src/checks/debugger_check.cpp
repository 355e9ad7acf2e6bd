// Debugger check. Any one signal is enough: a remote-debugger answer, a debug
// port, a debug object, the PEB flag (host only) or, on Linux, a tracer. Each
// of them is set by the system when a debugger attaches, so none fires on a
// clean process. A target whose signals cannot be read gives false: "cannot
// tell" must not be reported as "debugged".
#include "checks/debugger_check.hpp"

#include "platform/system.hpp"

namespace ac {
namespace {

bool any_signal(const DebugSignals& s) {
    if (!s.examined) return false;
    return s.remote_debugger.value_or(false) || s.debug_port.value_or(0) != 0 ||
           s.debug_object.value_or(0) != 0 || s.peb_being_debugged.value_or(false) ||
           s.tracer_pid.value_or(0) != 0;
}

}  // namespace

bool debugger_attached(uint32_t pid) {
    if (pid == 0) return false;
    return any_signal(sys().debug_signals(pid));
}

bool host_debugger_attached() { return any_signal(sys().host_debug_signals()); }

}  // namespace ac
