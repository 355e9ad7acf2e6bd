#pragma once
#include <cstdint>

namespace ac {
bool thread_count_suspicious(int32_t thread_count);
}  // namespace ac
