#pragma once
#include <string>

namespace ac {
std::string get_hwid();
}  // namespace ac
