// Graphics and input modules that proxy DLLs imitate: a game loads them by
// name, so a file of that name beside the game (or anywhere ahead of the
// system directory in the search order) sits between the game and its
// renderer or input and sees every frame and key (data/graphics_wrappers.tsv).
#include "checks/graphics_wrapper_check.hpp"

#include <string_view>
#include <unordered_set>

#include "checks/detection_tables.hpp"
#include "evidence/text.hpp"
#include "reports/fields.hpp"

namespace ac {

bool is_graphics_wrapper(std::string_view lower_basename) {
    // Function-local static: built on first use, safe against concurrent first use.
    static const std::unordered_set<std::string_view> set = [] {
        std::unordered_set<std::string_view> names;
        for (const auto& row : tables::kWrapperModules) names.insert(row.name);
        return names;
    }();
    return set.count(lower_basename) != 0;
}

bool wrapper_signature_accepted(std::string_view lower_basename, const SignatureInfo& signature) {
    if (signature.status != word::sig_valid) return false;
    if (signature.trustedMicrosoft) return true;
    const std::string publisher = to_lower(signature.publisher);
    // Loaders that other vendors install into the system directory
    // (data/wrapper_vendor_signers.tsv): a valid signature by one of them is
    // as good as Microsoft's.
    for (const auto& row : tables::kVendorSigners)
        if (row.module == lower_basename && row.publisher == publisher) return true;
    return false;
}

// Only a verified signature from an accepted signer clears a system wrapper.
// Anything short of "valid" (unsigned, invalid, unavailable) is distrusted:
// Windows ships every one of these modules signed or catalogued, so a copy
// that does not verify has been replaced. A valid signature from any other
// publisher is distrusted too: code signing certificates are cheap to buy,
// and nobody but the platform and the listed driver vendors has a reason to
// put these names into the system directory.
bool wrapper_signature_distrusted(std::string_view lower_basename, const SignatureInfo& signature) {
    return !wrapper_signature_accepted(lower_basename, signature);
}

}  // namespace ac
