#include "checks/graphics_wrapper_check.hpp"
namespace ac {
bool is_graphics_wrapper(std::string_view) { return false; }  // PLACEHOLDER
bool wrapper_signature_accepted(std::string_view, const SignatureInfo&) { return false; }  // PLACEHOLDER
bool wrapper_signature_distrusted(std::string_view, const SignatureInfo&) { return false; }  // PLACEHOLDER
}
