// Code-page conversions: system ANSI code page to UTF-16, UTF-16 to UTF-8.
// Inputs are views without a terminating NUL, so lengths are passed
// explicitly and the outputs carry no terminator.
#include <climits>

#include "platform/win32/win32_system.hpp"

namespace ac::win32 {

std::optional<std::u16string> Win32System::ansi_to_wide(std::string_view text) {
    if (text.empty() || text.size() > static_cast<size_t>(INT_MAX)) return std::nullopt;
    int length = static_cast<int>(text.size());
    int needed = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    if (needed <= 0) return std::nullopt;
    std::u16string out(static_cast<size_t>(needed), u'\0');
    int written = MultiByteToWideChar(CP_ACP, 0, text.data(), length, reinterpret_cast<wchar_t*>(out.data()), needed);
    if (written != needed) return std::nullopt;
    return out;
}

std::optional<std::string> Win32System::wide_to_utf8(std::u16string_view text) {
    if (text.empty() || text.size() > static_cast<size_t>(INT_MAX)) return std::nullopt;
    int length = static_cast<int>(text.size());
    auto* source = reinterpret_cast<const wchar_t*>(text.data());
    int needed = WideCharToMultiByte(CP_UTF8, 0, source, length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return std::nullopt;
    std::string out(static_cast<size_t>(needed), '\0');
    int written = WideCharToMultiByte(CP_UTF8, 0, source, length, out.data(), needed, nullptr, nullptr);
    if (written != needed) return std::nullopt;
    return out;
}

}  // namespace ac::win32
