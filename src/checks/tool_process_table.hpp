#pragma once
#include <string_view>

namespace ac {
// Category word of a known tool program, empty when the table has none.
std::string_view tool_category(std::string_view lower_exe_name);
}  // namespace ac
