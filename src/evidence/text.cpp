#include "evidence/text.hpp"

#include <cctype>
#include <optional>

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

bool is_valid_utf8(std::string_view text) {
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        const auto lead = static_cast<uint8_t>(text[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        // The range of the first continuation byte is what rules out overlong
        // forms (E0, F0), surrogates (ED) and values past U+10FFFF (F4).
        size_t follow;
        uint8_t low = 0x80, high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            follow = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            follow = 2;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            follow = 3;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        } else {
            return false;  // a continuation byte as lead, C0, C1, F5-FF
        }
        if (follow >= n - i) return false;
        for (size_t k = 1; k <= follow; ++k) {
            const auto c = static_cast<uint8_t>(text[i + k]);
            if (c < low || c > high) return false;
            low = 0x80, high = 0xBF;
        }
        i += follow + 1;
    }
    return true;
}

void repair_utf8_text(std::string& value) {
    if (is_valid_utf8(value)) return;
    // The code-page road can hand back text the interpreter still refuses
    // (a converter that passes a lone surrogate through), so its answer is
    // checked like any other.
    std::optional<std::string> converted;
    if (auto wide = sys().ansi_to_wide(value); wide && !wide->empty()) converted = sys().wide_to_utf8(*wide);
    if (converted && !converted->empty() && is_valid_utf8(*converted)) {
        value = std::move(*converted);
        return;
    }
    for (char& c : value)
        if (static_cast<uint8_t>(c) >= 0x80) c = '?';
}

void repair_utf8_values(ReportRecord& record) {
    for (auto& [key, value] : record) repair_utf8_text(value);
}

}  // namespace ac
