#include "evidence/text.hpp"

#include <cctype>

#include "platform/system.hpp"

namespace ac {

std::string to_lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string normalize_path(std::string_view path) {
    std::string out(path);
    for (char& c : out) {
        if (c == '/') c = '\\';
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

std::string base_name(std::string_view path) {
    size_t cut = path.find_last_of("\\/");
    return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

std::string join_comma(const std::vector<std::string>& items) {
    std::string out;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i) out += ',';
        out += items[i];
    }
    return out;
}

std::string hex_lower(const void* bytes, size_t count) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out(count * 2, '0');
    auto* p = static_cast<const uint8_t*>(bytes);
    for (size_t i = 0; i < count; ++i) {
        out[2 * i] = digits[p[i] >> 4];
        out[2 * i + 1] = digits[p[i] & 0xF];
    }
    return out;
}

namespace {
std::string hex_digits(uint64_t value, const char* digits) {
    char buf[16];
    size_t n = 0;
    do {
        buf[n++] = digits[value & 0xF];
        value >>= 4;
    } while (value);
    std::string out = "0x";
    while (n) out += buf[--n];
    return out;
}
}  // namespace

std::string hex_u32(uint32_t value) { return hex_digits(value, "0123456789ABCDEF"); }

std::string address_text(uint64_t address) { return hex_digits(address, "0123456789abcdef"); }

std::string utf8_from_wide(std::u16string_view wide) {
    if (wide.empty()) return {};
    return sys().wide_to_utf8(wide).value_or(std::string());
}

bool is_structural_utf8(std::string_view text) {
    size_t i = 0, n = text.size();
    while (i < n) {
        auto lead = static_cast<uint8_t>(text[i]);
        size_t follow;
        if (lead < 0x80) follow = 0;
        else if (lead >= 0xC0 && lead <= 0xDF) follow = 1;
        else if (lead >= 0xE0 && lead <= 0xEF) follow = 2;
        else if (lead >= 0xF0 && lead <= 0xF7) follow = 3;
        else return false;
        if (follow && follow >= n - i) return false;
        for (size_t k = 1; k <= follow; ++k) {
            auto c = static_cast<uint8_t>(text[i + k]);
            if (c < 0x80 || c > 0xBF) return false;
        }
        i += follow + 1;
    }
    return true;
}

void repair_utf8_values(ReportRecord& record) {
    for (auto& [key, value] : record) {
        if (is_structural_utf8(value)) continue;
        std::optional<std::string> converted;
        if (auto wide = sys().ansi_to_wide(value); wide && !wide->empty())
            converted = sys().wide_to_utf8(*wide);
        if (converted && !converted->empty()) {
            value = std::move(*converted);
            continue;
        }
        for (char& c : value)
            if (static_cast<uint8_t>(c) >= 0x80) c = '?';
    }
}

}  // namespace ac
