// Where a file lives, as one FileOrigin word.
#pragma once

#include <string>
#include <string_view>

namespace ac {

// Both inputs already normalised (normalize_path).
std::string classify_origin(std::string_view path, std::string_view game_dir);
bool is_user_writable_path(std::string_view path);
// The origin words of the system and Windows directories.
bool is_system_origin(std::string_view origin);
// Normalised, with one trailing backslash; empty when the system does not say.
std::string system_directory();
std::string windows_directory();

}  // namespace ac
