#include "checks/manual_map_check.hpp"
namespace ac {
bool region_selected(const MemoryRegion&) { return false; }  // PLACEHOLDER
ManualMapVerdict run_manual_map_check(ProcessHandle&) { return {}; }  // PLACEHOLDER
}
