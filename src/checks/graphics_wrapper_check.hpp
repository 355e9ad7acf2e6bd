#pragma once
#include <string_view>

#include "evidence/signature.hpp"

namespace ac {
bool is_graphics_wrapper(std::string_view lower_basename);
// For a wrapper in a system or Windows directory: is this signer accepted.
bool wrapper_signature_accepted(std::string_view lower_basename, const SignatureInfo& signature);
// For such a wrapper at medium or heavy: is its signature distrusted.
bool wrapper_signature_distrusted(std::string_view lower_basename, const SignatureInfo& signature);
}  // namespace ac
