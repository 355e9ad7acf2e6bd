#include "platform/system.hpp"

namespace ac {
namespace {
System* g_override = nullptr;
}

System& sys() { return g_override ? *g_override : native_system(); }

ScopedSystemOverride::ScopedSystemOverride(System& replacement) : previous_(g_override) {
    g_override = &replacement;
}

ScopedSystemOverride::~ScopedSystemOverride() { g_override = previous_; }

}  // namespace ac
