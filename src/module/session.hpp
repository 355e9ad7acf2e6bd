// SessionState and the quick verdicts that read it.
#pragma once

namespace ac {

struct SessionState {
    bool initialized = false;
};

SessionState& session_state();
bool initialize_session(const char* text);  // text may be nullptr; it has no effect
void shutdown_session();
bool verify_game_integrity();

}  // namespace ac
