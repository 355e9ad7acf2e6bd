#include "evidence/version_text.hpp"

#include <cstdio>
#include <functional>

namespace ac {

std::optional<std::string> version_query_key(uint16_t language, uint16_t codepage, std::string_view name) {
    if (name.find('\0') != std::string_view::npos) return std::nullopt;
    std::string key(name);
    char buffer[kVersionKeyBuffer] = {};
    int written = std::snprintf(buffer, sizeof(buffer), "\\StringFileInfo\\%04x%04x\\%s",
                                static_cast<unsigned>(language), static_cast<unsigned>(codepage), key.c_str());
    if (written < 0 || static_cast<size_t>(written) >= sizeof(buffer)) return std::nullopt;
    return std::string(buffer, static_cast<size_t>(written));
}

std::string version_value_text(std::span<const uint8_t> block, const void* value, size_t length) {
    if (!value || length == 0 || block.empty()) return {};
    // The pointer comes back from the system; compare it as an address, not
    // as a pointer into the block it may not belong to.
    const auto* text = static_cast<const uint8_t*>(value);
    const auto* begin = block.data();
    const auto* end = block.data() + block.size();
    if (std::less<const uint8_t*>()(text, begin) || !std::less<const uint8_t*>()(text, end)) return {};
    size_t count = length - 1;
    size_t room = static_cast<size_t>(end - text);
    if (count > room) count = room;
    return std::string(reinterpret_cast<const char*>(text), count);
}

}  // namespace ac
