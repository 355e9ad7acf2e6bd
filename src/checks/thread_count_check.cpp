#include "checks/thread_count_check.hpp"
namespace ac {
bool thread_count_suspicious(int32_t) { return false; }  // PLACEHOLDER
}
