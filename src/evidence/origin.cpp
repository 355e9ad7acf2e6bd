#include "evidence/origin.hpp"

#include <array>
#include <optional>

#include "evidence/text.hpp"
#include "platform/system.hpp"
#include "reports/fields.hpp"

namespace ac {
namespace {

// Bounded by backslashes on both sides so only whole folder names match.
constexpr std::array<std::string_view, 6> kUserWritableFragments = {
    "\\temp\\", "\\tmp\\", "\\downloads\\", "\\desktop\\", "\\documents\\", "\\appdata\\local\\temp\\"};
constexpr std::array<std::string_view, 2> kProgramFilesFragments = {"\\program files\\",
                                                                    "\\program files (x86)\\"};

bool contains(std::string_view text, std::string_view fragment) {
    return text.size() >= fragment.size() && text.find(fragment) != std::string_view::npos;
}

bool begins_with(std::string_view text, std::string_view prefix) {
    return !prefix.empty() && text.size() >= prefix.size() && text.substr(0, prefix.size()) == prefix;
}

std::string normalized_directory(const std::optional<std::string>& raw) {
    if (!raw) return {};
    std::string dir = normalize_path(*raw);
    if (!dir.empty() && dir.back() != '\\') dir += '\\';
    return dir;
}

}  // namespace

bool is_user_writable_path(std::string_view path) {
    for (std::string_view fragment : kUserWritableFragments)
        if (contains(path, fragment)) return true;
    return false;
}

bool is_system_origin(std::string_view origin) {
    return origin == word::origin_system32 || origin == word::origin_windows;
}

std::string system_directory() { return normalized_directory(sys().system_directory_raw()); }

std::string windows_directory() { return normalized_directory(sys().windows_directory_raw()); }

std::string classify_origin(std::string_view path, std::string_view game_dir) {
    if (path.empty()) return std::string(word::origin_unknown);
    // A plain prefix test: a game folder "game" also claims a sibling "game2".
    if (begins_with(path, game_dir)) return std::string(word::origin_game_dir);
    if (is_user_writable_path(path)) return std::string(word::origin_user_writable);
    // Queried only when reached, so a path decided earlier costs no system call.
    if (begins_with(path, system_directory())) return std::string(word::origin_system32);
    if (begins_with(path, windows_directory())) return std::string(word::origin_windows);
    for (std::string_view fragment : kProgramFilesFragments)
        if (contains(path, fragment)) return std::string(word::origin_program_files);
    return std::string(word::origin_other);
}

}  // namespace ac
