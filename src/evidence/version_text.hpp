// The bounds applied to a version resource read back from a file: the query
// key built from the file's own translation, and the value text cut to the
// resource block. Kept apart from the Windows calls so they run anywhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace ac {

inline constexpr size_t kVersionKeyBuffer = 128;

// "\StringFileInfo\<language><codepage>\<name>", or nothing when it would not
// fit the query buffer (a cut-off key would ask for another value).
std::optional<std::string> version_query_key(uint16_t language, uint16_t codepage, std::string_view name);

// The text of a value the query returned: `length` counts the terminating NUL
// and comes from the file, so the text never reaches past `block`. Empty when
// `value` lies outside the block.
std::string version_value_text(std::span<const uint8_t> block, const void* value, size_t length);

}  // namespace ac
