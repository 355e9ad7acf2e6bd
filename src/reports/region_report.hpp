#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "evidence/report_record.hpp"
#include "platform/system.hpp"

namespace ac {
inline constexpr size_t kRegionListLimit = 3;
inline constexpr uint64_t kRegionSampleLimit = 524288;

std::string_view protect_word(uint32_t protect);
std::string_view region_type_word(uint32_t type);
std::vector<ReportRecord> list_executable_regions(uint32_t pid);
std::string read_region_sample(ProcessHandle* process, uint64_t address, uint64_t size);
}  // namespace ac
