#pragma once
#include <span>
#include <string_view>

#include "platform/system.hpp"

namespace ac {

enum class SystemRoot { windows, system };

// A folder under the Windows or system directory that an ordinary user can
// write to: images there are swept however system-like their origin.
struct WritableSystemFolder {
    SystemRoot root;
    std::string_view folder;  // normalised, relative to the root, ending in a backslash
};

std::span<const WritableSystemFolder> user_writable_system_folders();

// path: the image path normalised (normalize_path); origin: its FileOrigin word.
bool heavy_sweep_exempt(std::string_view path, std::string_view origin, const FileFacts& facts);
}  // namespace ac
