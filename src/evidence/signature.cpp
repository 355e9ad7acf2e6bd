#include "evidence/signature.hpp"
namespace ac {
SignatureInfo empty_signature_info() { return {"unavailable", "none", "", "", "", false}; }  // PLACEHOLDER
SignatureInfo verify_signature(std::string_view) { return empty_signature_info(); }
SignatureInfo signature_info(std::string_view, const FileFacts&) { return empty_signature_info(); }
bool is_microsoft_signer(const SignatureInfo&) { return false; }
}
