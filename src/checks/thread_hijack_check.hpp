#pragma once
#include <cstdint>

namespace ac {
bool thread_hijack_detected(int32_t pid);  // false when the target cannot be examined
}  // namespace ac
