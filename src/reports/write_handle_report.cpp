#include "reports/write_handle_report.hpp"
namespace ac {
int32_t scan_external_write_handles(int32_t, ReportRecord&) { return -1; }  // PLACEHOLDER
ParentProcess find_parent_process(uint32_t) { return {}; }
ProcessAccount read_process_account(uint32_t) { return {}; }
std::string_view integrity_word(uint32_t) { return {}; }
ProcessWindow find_process_window(uint32_t) { return {}; }
std::string read_pe_timestamp(std::string_view) { return {}; }
std::string read_version_string(std::string_view, std::string_view) { return {}; }
std::unordered_map<uint32_t, std::string> snapshot_process_names() { return {}; }
std::string process_start_time_text(uint32_t) { return {}; }
}
