#include "checks/known_cheat_digest_check.hpp"
namespace ac {
bool is_known_cheat_digest(std::string_view) { return false; }  // PLACEHOLDER
}
