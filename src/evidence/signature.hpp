// Authenticode verification: embedded signature, then the system catalogs.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/system.hpp"

namespace ac {

struct SignatureInfo {
    std::string status;
    std::string source;
    std::string publisher;
    std::string issuer;
    std::string signerThumbprint;
    bool trustedMicrosoft = false;
};

SignatureInfo empty_signature_info();
SignatureInfo verify_signature(std::string_view path);
// Cached by normalised path, validated by facts.
SignatureInfo signature_info(std::string_view path, const FileFacts& facts);
bool is_microsoft_signer(const SignatureInfo& info);

}  // namespace ac
