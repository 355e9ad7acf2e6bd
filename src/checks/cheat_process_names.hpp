#pragma once
#include <string_view>

namespace ac {
bool is_known_cheat_process(std::string_view lower_exe_name);  // quick verdict list
bool inspection_name_flagged(std::string_view lower_exe_name);  // inspection's own list
}  // namespace ac
