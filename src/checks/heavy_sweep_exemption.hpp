#pragma once
#include <string_view>

#include "platform/system.hpp"

namespace ac {
// path: the image path normalised (normalize_path); origin: its FileOrigin word.
bool heavy_sweep_exempt(std::string_view path, std::string_view origin, const FileFacts& facts);
}  // namespace ac
