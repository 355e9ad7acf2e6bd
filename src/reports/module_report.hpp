#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "evidence/report_record.hpp"
#include "platform/system.hpp"

namespace ac {
inline constexpr uint64_t kTextDigestLimit = 16777216;
inline constexpr size_t kTextDigestChunk = 65536;

std::vector<ReportRecord> inspect_process_modules_records(int32_t pid, const char* game_dir,
                                                          const char* scan_level);
// MD5 of the ".text" section of the module image at base; empty on failure.
std::string module_text_md5(ProcessHandle* process, uint64_t base);
}  // namespace ac
