#include "checks/write_handle_check.hpp"
namespace ac {
bool grants_write_access(uint32_t) { return false; }  // PLACEHOLDER
bool is_system_holder(std::string_view, std::string_view) { return false; }  // PLACEHOLDER
WriteHandleCheckResult find_write_handles(uint32_t, const ProcessHandle&) { return {}; }  // PLACEHOLDER
}
