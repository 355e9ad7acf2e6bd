// Report conventions: seeding, scan levels and the embedded JSON form.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "evidence/report_record.hpp"
#include "reports/fields.hpp"

namespace ac {

enum class ScanLevel { cheap = 0, medium = 1, heavy = 2 };

// nullptr (an absent text) counts as the empty text.
ScanLevel parse_scan_level(const char* text);
ScanLevel parse_scan_level(std::string_view text);
int scan_depth(ScanLevel level);
std::string_view scan_level_word(ScanLevel level);

ReportRecord seeded_record(std::span<const FieldDefault> seed);
void set_field(ReportRecord& record, std::string_view key, std::string_view value);
std::string_view get_field(const ReportRecord& record, std::string_view key);

std::string json_escape(std::string_view text);
std::string records_to_json(const std::vector<ReportRecord>& records);

}  // namespace ac
