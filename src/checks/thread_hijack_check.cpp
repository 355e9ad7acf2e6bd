#include "checks/thread_hijack_check.hpp"
namespace ac {
bool thread_hijack_detected(int32_t) { return false; }  // PLACEHOLDER
}
