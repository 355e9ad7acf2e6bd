// Graphics and input modules that proxy DLLs imitate: a game loads them by
// name, so a file of that name beside the game (or anywhere ahead of the
// system directory in the search order) sits between the game and its
// renderer or input and sees every frame and key.
#include "checks/graphics_wrapper_check.hpp"

#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "evidence/text.hpp"
#include "reports/fields.hpp"

namespace ac {
namespace {

constexpr std::string_view kWrapperModules[] = {
    // Direct3D 8 to 12 and the DXGI layer under 10 to 12
    "d3d8.dll", "d3d9.dll", "d3d10.dll", "d3d10_1.dll", "d3d10core.dll", "d3d11.dll", "d3d12.dll", "dxgi.dll",
    // DirectDraw, still proxied to patch older games
    "ddraw.dll",
    // OpenGL and Vulkan entry points
    "opengl32.dll", "vulkan-1.dll",
    // DirectInput and XInput, every redistributable version
    "dinput.dll", "dinput8.dll", "xinput1_1.dll", "xinput1_2.dll", "xinput1_3.dll", "xinput1_4.dll",
    "xinput9_1_0.dll",
    // multimedia library that carries the legacy joystick API
    "winmm.dll",
};

// Loaders that other vendors install into the system directory: the Vulkan
// loader comes with each GPU driver (or the loader project's runtime), so a
// valid signature by one of these publishers is as good as Microsoft's.
// Publisher names are compared whole, lowercased.
struct VendorSigners {
    std::string_view module;
    std::vector<std::string_view> publishers;
};

const std::vector<VendorSigners>& vendor_signers() {
    static const std::vector<VendorSigners> table = {
        {"vulkan-1.dll",
         {"nvidia corporation", "advanced micro devices, inc.", "advanced micro devices inc.", "intel corporation",
          "intel(r) pgfx", "lunarg, inc.", "lunarg inc."}},
    };
    return table;
}

}  // namespace

bool is_graphics_wrapper(std::string_view lower_basename) {
    // Function-local static: built on first use, safe against concurrent first use.
    static const std::unordered_set<std::string_view> set(std::begin(kWrapperModules), std::end(kWrapperModules));
    return set.count(lower_basename) != 0;
}

bool wrapper_signature_accepted(std::string_view lower_basename, const SignatureInfo& signature) {
    if (signature.status != word::sig_valid) return false;
    if (signature.trustedMicrosoft) return true;
    const std::string publisher = to_lower(signature.publisher);
    for (const auto& entry : vendor_signers()) {
        if (entry.module != lower_basename) continue;
        for (std::string_view accepted : entry.publishers)
            if (publisher == accepted) return true;
    }
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
