// Byte-string helpers shared by every report.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "evidence/report_record.hpp"

namespace ac {

std::string to_lower(std::string_view text);
std::string normalize_path(std::string_view path);
std::string base_name(std::string_view path);
std::string join_comma(const std::vector<std::string>& items);
std::string hex_lower(const void* bytes, size_t count);
std::string hex_u32(uint32_t value);
std::string utf8_from_wide(std::u16string_view wide);
// Well-formed UTF-8 (RFC 3629): what the interpreter decodes without error.
bool is_valid_utf8(std::string_view text);
// A value that is not valid UTF-8 is read in the ANSI code page, else its
// bytes of 0x80 and above become '?'.
void repair_utf8_text(std::string& value);
void repair_utf8_values(ReportRecord& record);

// Report value forms.
std::string address_text(uint64_t address);  // "0x" + lowercase hex
inline std::string_view flag_text(bool value) { return value ? "1" : "0"; }

}  // namespace ac
