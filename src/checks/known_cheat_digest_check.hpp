#pragma once
#include <string_view>

namespace ac {
bool is_known_cheat_digest(std::string_view md5_text);
}  // namespace ac
