#include "evidence/origin.hpp"
namespace ac {
std::string classify_origin(std::string_view, std::string_view) { return "other"; }  // PLACEHOLDER
bool is_user_writable_path(std::string_view) { return false; }  // PLACEHOLDER
std::string system_directory() { return {}; }   // PLACEHOLDER
std::string windows_directory() { return {}; }  // PLACEHOLDER
}
