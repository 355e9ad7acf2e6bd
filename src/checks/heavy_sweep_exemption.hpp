#pragma once
#include <string_view>

#include "platform/system.hpp"

namespace ac {
bool heavy_sweep_exempt(std::string_view origin, const FileFacts& facts);
}  // namespace ac
