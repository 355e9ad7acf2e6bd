#include "checks/debugger_check.hpp"
namespace ac {
bool debugger_attached(uint32_t) { return false; }  // PLACEHOLDER
bool host_debugger_attached() { return false; }     // PLACEHOLDER
}
