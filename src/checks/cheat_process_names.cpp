// Executable names of cheat programs (data/cheat_process_names.tsv), matched
// on the ASCII-lowercased name exactly as the process snapshot gives it (base
// name with extension).
#include "checks/cheat_process_names.hpp"

#include <string_view>
#include <unordered_set>

#include "checks/detection_tables.hpp"

namespace ac {
namespace {

using NameSet = std::unordered_set<std::string_view>;

const NameSet& known_cheat_set() {
    static const NameSet set = [] {
        NameSet s;
        for (const auto& row : tables::kCheatProcessNames)
            if (row.quick_verdict) s.insert(row.name);
        return s;
    }();
    return set;
}

const NameSet& inspection_set() {
    // Function-local static: built on first use, safe against concurrent first use.
    static const NameSet set = [] {
        NameSet s;
        for (const auto& row : tables::kCheatProcessNames) s.insert(row.name);
        return s;
    }();
    return set;
}

// The quick verdict's list is built while the module loads.
[[maybe_unused]] const bool g_built_at_load = !known_cheat_set().empty();

}  // namespace

bool is_known_cheat_process(std::string_view lower_exe_name) {
    return known_cheat_set().count(lower_exe_name) != 0;
}

bool inspection_name_flagged(std::string_view lower_exe_name) {
    return inspection_set().count(lower_exe_name) != 0;
}

}  // namespace ac
