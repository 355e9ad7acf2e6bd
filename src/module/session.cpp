#include "module/session.hpp"

#include "checks/debugger_check.hpp"
#include "platform/system.hpp"
#include "reports/cheat_process_scan.hpp"

namespace ac {

SessionState& session_state() {
    static SessionState state;
    return state;
}

bool initialize_session(const char* /*text*/) {
    // The privilege step's outcome is deliberately not examined: initialize
    // succeeds whether or not the token holds the debug privilege.
    sys().enable_debug_privilege();
    session_state().initialized = true;
    return true;
}

void shutdown_session() { session_state().initialized = false; }

bool verify_game_integrity() {
    if (!session_state().initialized) return false;
    if (host_debugger_attached()) return false;
    return !is_cheat_detected();
}

}  // namespace ac
