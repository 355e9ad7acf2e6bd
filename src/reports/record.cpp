#include "reports/record.hpp"

#include "evidence/text.hpp"

namespace ac {

ScanLevel parse_scan_level(std::string_view text) {
    std::string lower = to_lower(text);
    if (lower == word::cheap) return ScanLevel::cheap;
    if (lower == word::heavy) return ScanLevel::heavy;
    return ScanLevel::medium;
}

ScanLevel parse_scan_level(const char* text) {
    return parse_scan_level(text ? std::string_view(text) : std::string_view());
}

int scan_depth(ScanLevel level) { return static_cast<int>(level); }

std::string_view scan_level_word(ScanLevel level) {
    switch (level) {
        case ScanLevel::cheap: return word::cheap;
        case ScanLevel::heavy: return word::heavy;
        default: return word::medium;
    }
}

ReportRecord seeded_record(std::span<const FieldDefault> seed) {
    ReportRecord record;
    for (auto& [key, value] : seed) record.emplace(key, value);
    return record;
}

void set_field(ReportRecord& record, std::string_view key, std::string_view value) {
    record.insert_or_assign(std::string(key), std::string(value));
}

std::string_view get_field(const ReportRecord& record, std::string_view key) {
    auto it = record.find(std::string(key));
    return it == record.end() ? std::string_view() : std::string_view(it->second);
}

std::string json_escape(std::string_view text) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        auto c = static_cast<uint8_t>(ch);
        switch (c) {
            case 0x09: out += "\\t"; break;
            case 0x0A: out += "\\n"; break;
            case 0x0D: out += "\\r"; break;
            case 0x22: out += "\\\""; break;
            case 0x5C: out += "\\\\"; break;
            default:
                if (c < 0x20) {
                    out += "\\u00";
                    out += digits[c >> 4];
                    out += digits[c & 0xF];
                } else {
                    out += ch;
                }
        }
    }
    return out;
}

std::string records_to_json(const std::vector<ReportRecord>& records) {
    std::string out = "[";
    bool first_record = true;
    for (const auto& record : records) {
        if (!first_record) out += ',';
        first_record = false;
        out += '{';
        bool first_pair = true;
        for (const auto& [key, value] : record) {
            if (!first_pair) out += ',';
            first_pair = false;
            out += '"';
            out += json_escape(key);
            out += "\":\"";
            out += json_escape(value);
            out += '"';
        }
        out += '}';
    }
    out += ']';
    return out;
}

}  // namespace ac
