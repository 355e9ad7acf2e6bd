#include "reports/region_report.hpp"
namespace ac {
std::string_view protect_word(uint32_t) { return "UNKNOWN"; }  // PLACEHOLDER
std::string_view region_type_word(uint32_t) { return "UNKNOWN"; }
std::vector<ReportRecord> list_executable_regions(uint32_t) { return {}; }
std::string read_region_sample(ProcessHandle*, uint64_t, uint64_t) { return {}; }
}
