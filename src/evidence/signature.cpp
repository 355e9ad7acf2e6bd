#include "evidence/signature.hpp"

#include <array>

#include "evidence/file_cache.hpp"
#include "evidence/text.hpp"
#include "reports/fields.hpp"

namespace ac {
namespace {

FileResultCache<SignatureInfo> g_signature_cache;

constexpr std::array<std::string_view, 3> kMicrosoftPhrases = {"microsoft corporation", "microsoft windows",
                                                              "microsoft code signing"};

std::string certificate_name(const std::u16string& name) { return utf8_from_wide(name); }

std::string certificate_thumbprint(const std::vector<uint8_t>& sha1) {
    return sha1.empty() ? std::string() : hex_lower(sha1.data(), sha1.size());
}

// A signer the provider could not reach leaves the info as it was.
void read_signer(const SignerCertificate& signer, SignatureInfo& info) {
    if (!signer.present) return;
    info.publisher = certificate_name(signer.subject);
    info.issuer = certificate_name(signer.issuer);
    info.signerThumbprint = certificate_thumbprint(signer.sha1);
}

// A verifying catalog speaks for the file: names left over from a failed
// embedded signature must not ride on its verdict (they could claim any
// publisher), so they go even when the catalog's own signer is unreadable.
void accept_catalog(std::string source, const SignerCertificate& signer, SignatureInfo& info) {
    info.status = std::string(word::sig_valid);
    info.source = std::move(source);
    info.publisher.clear();
    info.issuer.clear();
    info.signerThumbprint.clear();
    read_signer(signer, info);
}

bool verify_catalog(const std::u16string& path, const std::u16string* algorithm, SignatureInfo& info) {
    CatalogTrust trust = sys().trust_catalog(path, algorithm);
    if (!trust.verified) return false;
    std::string source(word::source_catalog);
    if (algorithm) source += ':' + utf8_from_wide(*algorithm);
    accept_catalog(std::move(source), trust.signer, info);
    return true;
}

bool verify_catalog_legacy(const std::u16string& path, SignatureInfo& info) {
    CatalogTrust trust = sys().trust_catalog_legacy(path);
    if (!trust.verified) return false;
    accept_catalog(std::string(word::source_catalog_legacy), trust.signer, info);
    return true;
}

}  // namespace

SignatureInfo empty_signature_info() {
    SignatureInfo info;
    info.status = std::string(word::sig_unavailable);
    info.source = std::string(word::source_none);
    return info;
}

bool is_microsoft_signer(const SignatureInfo& info) {
    std::string text = to_lower(info.publisher + " " + info.issuer);
    for (std::string_view phrase : kMicrosoftPhrases)
        if (text.find(phrase) != std::string::npos) return true;
    return false;
}

SignatureInfo verify_signature(std::string_view path) {
    SignatureInfo info = empty_signature_info();
    if (path.empty()) return info;
    auto wide = sys().ansi_to_wide(path);
    if (!wide || wide->empty()) return info;
    // Without any trust provider nothing can be verified; calling the file
    // "invalid" would be a verdict nobody made.
    if (!sys().trust_provider_available()) return info;

    EmbeddedTrust embedded = sys().trust_embedded(*wide);
    read_signer(embedded.signer, info);
    if (embedded.result == 0) {
        info.status = std::string(word::sig_valid);
        info.source = std::string(word::source_embedded);
    } else if (embedded.result == win::TRUST_E_NOSIGNATURE) {
        info.status = std::string(word::sig_unsigned);
        info.source = std::string(word::source_none);
    } else {
        info.status = std::string(word::sig_invalid);
        bool signer_known = !info.publisher.empty() || !info.issuer.empty() || !info.signerThumbprint.empty();
        info.source = std::string(signer_known ? word::source_embedded : word::source_none);
    }

    if (info.status != word::sig_valid) {
        static const std::u16string sha256 = u"SHA256";
        static const std::u16string sha1 = u"SHA1";
        (void)(verify_catalog(*wide, &sha256, info) || verify_catalog(*wide, &sha1, info) ||
               verify_catalog(*wide, nullptr, info) || verify_catalog_legacy(*wide, info));
    }

    info.trustedMicrosoft = info.status == word::sig_valid && is_microsoft_signer(info);
    return info;
}

SignatureInfo signature_info(std::string_view path, const FileFacts& facts) {
    std::string key = normalize_path(path);
    if (auto cached = g_signature_cache.find(key, facts)) return *cached;
    SignatureInfo info = verify_signature(path);
    // A verdict other than "valid" or "unsigned" may only say that the file
    // could not be opened just now; that is not kept, the next call tries again.
    const bool settled = info.status == word::sig_valid || info.status == word::sig_unsigned;
    if (settled || sys().open_file(path)) g_signature_cache.store(key, facts, info);
    return info;
}

}  // namespace ac
