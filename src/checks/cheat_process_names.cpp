#include "checks/cheat_process_names.hpp"
namespace ac {
bool is_known_cheat_process(std::string_view) { return false; }   // PLACEHOLDER
bool inspection_name_flagged(std::string_view) { return false; }  // PLACEHOLDER
}
