// The known-cheat digest set: MD5 texts of files that are cheats whatever
// their name. Adding a build is one line in kKnownCheatDigests.
#include "checks/known_cheat_digest_check.hpp"

#include <string_view>
#include <unordered_set>

namespace ac {
namespace {

// 32 lowercase hexadecimal digits each, as file_md5 writes them.
constexpr std::string_view kKnownCheatDigests[] = {
    // testdata/known-cheat-test-file.txt: harmless text, lets operators see the check fire.
    "85beb527cd2d9c91bf1cae40abfa6b9a",
    // testdata/known-cheat-test-program: harmless Linux program that waits in pause().
    "2f31174d476fd0c87532e56af5208a1a",
    // testdata/known-cheat-test-module.dll: harmless Windows DLL without code to run.
    "c022610d680a97cd91c46b20eee33a15",
    // testdata/known-cheat-test-program.exe: harmless Windows program that waits in Sleep().
    "2ccc2438178f7916e6d587d7c2e30d18",
};

const std::unordered_set<std::string_view>& digest_set() {
    // Function-local static: built once, safe against concurrent first use.
    static const std::unordered_set<std::string_view> set(std::begin(kKnownCheatDigests),
                                                          std::end(kKnownCheatDigests));
    return set;
}

// Built while the module loads, so the first verdict costs no construction.
[[maybe_unused]] const bool g_built_at_load = !digest_set().empty();

}  // namespace

bool is_known_cheat_digest(std::string_view md5_text) {
    return !md5_text.empty() && digest_set().count(md5_text) != 0;
}

}  // namespace ac
