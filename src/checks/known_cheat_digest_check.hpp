#pragma once
#include <string_view>

namespace ac {
bool is_known_cheat_digest(std::string_view md5_text);
// A write-handle holder's image: the known-cheat digests and the holder table.
bool is_known_bad_holder_digest(std::string_view md5_text);
}  // namespace ac
