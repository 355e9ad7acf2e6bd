// Executable names of cheat programs, matched on the ASCII-lowercased name
// exactly as the process snapshot gives it (base name with extension).
#include "checks/cheat_process_names.hpp"

#include <string_view>
#include <unordered_set>

#include "checks/tool_process_table.hpp"

namespace ac {
namespace {

using NameSet = std::unordered_set<std::string_view>;

// The quick verdict's list: public memory editors, trainers and injectors
// whose only purpose around a game is to change it.
constexpr std::string_view kKnownCheatProcesses[] = {
    // Cheat Engine and its per-architecture and per-instruction-set builds
    "cheatengine.exe", "cheat engine.exe", "cheatengine-i386.exe", "cheatengine-x86_64.exe",
    "cheatengine-x86_64-sse4-avx2.exe",
    // other memory scanners and editors
    "artmoney.exe", "artmoney64.exe", "tsearch.exe", "mhs.exe", "squalr.exe", "scanmem", "gameconqueror",
    // trainer front ends
    "wemod.exe", "cosmos.exe",
    // DLL injectors
    "xenos.exe", "xenos64.exe", "extreme injector v3.exe", "extreme injector.exe", "injector.exe",
    "injector64.exe",
    // harmless stand-in that tests and operators run to see the verdict fire
    "known-cheat-test-program", "known-cheat-test-program.exe",
};

// The inspection's own additions: names too generic or too close to ordinary
// tools for the quick verdict, worth a look (and a digest at medium) in a report.
constexpr std::string_view kInspectionOnlyNames[] = {
    // speed hacks and generic trainer names
    "speedhack.exe", "speedhack64.exe", "trainer.exe", "trainer64.exe",
    // memory editors that double as hex editors
    "pince",
};

const NameSet& known_cheat_set() {
    static const NameSet set(std::begin(kKnownCheatProcesses), std::end(kKnownCheatProcesses));
    return set;
}

const NameSet& inspection_set() {
    // Function-local static: built on first use, safe against concurrent first use.
    static const NameSet set = [] {
        NameSet s(std::begin(kKnownCheatProcesses), std::end(kKnownCheatProcesses));
        s.insert(std::begin(kInspectionOnlyNames), std::end(kInspectionOnlyNames));
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
