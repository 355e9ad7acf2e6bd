// SessionState and the quick verdicts that read it.
#pragma once

#include <atomic>

namespace ac {

// Calls run without the interpreter lock, so the flag is read and written
// from several threads at once.
struct SessionState {
    std::atomic<bool> initialized{false};
};

SessionState& session_state();
bool initialize_session(const char* text);  // text may be nullptr; it has no effect
void shutdown_session();
bool verify_game_integrity();

}  // namespace ac
