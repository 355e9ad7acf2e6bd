#pragma once
#include <cstdint>

#include "evidence/report_record.hpp"

namespace ac {
// game_dir and scan_level may be nullptr (absent).
ReportRecord inspect_process_record(int32_t pid, const char* game_dir, const char* scan_level);
}  // namespace ac
