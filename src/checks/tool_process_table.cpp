#include "checks/tool_process_table.hpp"
namespace ac {
std::string_view tool_category(std::string_view) { return {}; }  // PLACEHOLDER
}
