// The known-cheat digest sets: MD5 texts of files that are cheats whatever
// their name (data/known_cheat_digests.tsv), and of programs that are bad
// when they hold a write handle to the game (data/known_bad_holder_digests.tsv).
#include "checks/known_cheat_digest_check.hpp"

#include <unordered_set>

#include "checks/detection_tables.hpp"

namespace ac {
namespace {

using DigestSet = std::unordered_set<std::string_view>;

template <typename Table>
void add_rows(DigestSet& set, const Table& table) {
    for (const auto& row : table) set.insert(row.md5);
}

const DigestSet& digest_set() {
    // Function-local static: built once, safe against concurrent first use.
    static const DigestSet set = [] {
        DigestSet s;
        add_rows(s, tables::kKnownCheatDigests);
        return s;
    }();
    return set;
}

const DigestSet& holder_digest_set() {
    static const DigestSet set = [] {
        DigestSet s;
        add_rows(s, tables::kKnownCheatDigests);
        add_rows(s, tables::kKnownBadHolderDigests);
        return s;
    }();
    return set;
}

// Built while the module loads, so the first verdict costs no construction.
[[maybe_unused]] const bool g_built_at_load = digest_set().size() + holder_digest_set().size() > 0;

}  // namespace

bool is_known_cheat_digest(std::string_view md5_text) {
    return !md5_text.empty() && digest_set().count(md5_text) != 0;
}

bool is_known_bad_holder_digest(std::string_view md5_text) {
    return !md5_text.empty() && holder_digest_set().count(md5_text) != 0;
}

}  // namespace ac
