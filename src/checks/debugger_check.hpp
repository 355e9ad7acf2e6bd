#pragma once
#include <cstdint>

namespace ac {
bool debugger_attached(uint32_t pid);  // false when the target cannot be examined
bool host_debugger_attached();
}  // namespace ac
