// Prints the module's type stubs (anticheat.pyi) from the report field tables,
// so the record types cannot drift from the keys the core writes. The build
// checks that the committed stub equals this program's output.
#include <algorithm>
#include <iostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "reports/fields.hpp"

namespace {
using namespace ac;

// Keys whose value is "0" or "1".
constexpr std::string_view kProcessFlags[] = {
    proc_key::blockedNameHashMatch, proc_key::debuggerPresent, proc_key::externalWriteHandleDetected,
    proc_key::externalWriteHandleKnownBadHashMatch, proc_key::externalWriteHandleReportOnly,
    proc_key::externalWriteHandleToolHashMatch, proc_key::externalWriteHandleToolNameOnlyMatch,
    proc_key::fuzzyCheatProcessMatch, proc_key::fuzzyCheatProcessSuspect, proc_key::knownCheatProcessHashMatch,
    proc_key::knownCheatProcessNameOnlyMatch, proc_key::manualMapReportOnly, proc_key::manualMapSuspected,
    proc_key::processFound, proc_key::suspicious, proc_key::threadCountSuspicious,
    proc_key::toolProcessNameOnlyMatch,
};
// Flags that stay empty until a write handle is found.
constexpr std::string_view kProcessFlagsOrEmpty[] = {
    proc_key::externalWriteHandleSignatureTrustedMicrosoft, proc_key::externalWriteHandleWindowVisible,
};
// Keys the process record carries only when their finding is made.
constexpr std::string_view kProcessOptional[] = {
    proc_key::blockedNameHashMatch, proc_key::blockedNameHashMatchHash, proc_key::blockedNameHashMatchName,
    proc_key::externalWriteHandleNtStatus, proc_key::privateExecutableRegionsJson,
};
constexpr std::string_view kModuleFlags[] = {
    mod_key::blockedHashMatch, mod_key::fuzzyCorpusMatch, mod_key::fuzzyCorpusSuspect,
    mod_key::knownCheatHashMatch, mod_key::suspicious, mod_key::trustedMicrosoft,
};
constexpr std::string_view kCheatProcessFlags[] = {cheat_key::detected};
constexpr std::string_view kSystemInfoKeys[] = {
    info_key::displayRefreshHz, info_key::displayResolution, info_key::gpuName, info_key::powerPlan,
};

bool contains(std::span<const std::string_view> set, std::string_view key) {
    return std::find(set.begin(), set.end(), key) != set.end();
}

std::string quoted(std::string_view word) {
    std::string out(1, '"');
    out.append(word);
    out.push_back('"');
    return out;
}

struct Field {
    std::string_view key;
    std::string type;
    bool required = true;
};

void print_class(std::string_view name, std::string_view doc, std::vector<Field> fields, bool total = true) {
    std::sort(fields.begin(), fields.end(), [](const Field& a, const Field& b) { return a.key < b.key; });
    std::cout << "\n\nclass " << name << "(TypedDict" << (total ? "" : ", total=False") << "):\n";
    std::cout << "    \"\"\"" << doc << "\"\"\"\n\n";
    for (const Field& f : fields) {
        std::cout << "    " << f.key << ": " << (f.required ? f.type : "NotRequired[" + f.type + "]") << "\n";
    }
}

std::string process_type(std::string_view key) {
    if (key == proc_key::scanLevel) return "ScanLevel";
    if (contains(kProcessFlags, key)) return "Flag";
    if (contains(kProcessFlagsOrEmpty, key)) return "FlagOrEmpty";
    return "str";
}

constexpr std::string_view kFunctions = R"py(

def is_windows() -> bool:
    """Check if running on Windows OS"""

def initialize(arg0: str | bytes | bytearray | None, /) -> bool:
    """Initialize the anti-cheat system"""

def get_hwid() -> str:
    """Get the hardware ID"""

def is_cheat_detected() -> bool:
    """Check for known cheat software"""

def detect_cheat_process() -> CheatProcessRecord:
    """Return matched cheat-process {detected,name,path,md5} (empty if none)"""

def is_debugger_present() -> bool:
    """Check for debugger presence"""

def verify_game_integrity() -> bool:
    """Verify game file integrity"""

def detect_thread_hijack(arg0: int, /) -> bool:
    """Detect thread hijacking attacks"""

def inspect_process_modules(pid: int, game_dir: str | bytes | bytearray | None,
                            scan_level: ScanLevel = "medium") -> list[ModuleRecord]:
    """Inspect modules loaded by a game process"""

def inspect_process(pid: int, game_dir: str | bytes | bytearray | None,
                    scan_level: ScanLevel = "medium") -> ProcessReport:
    """Inspect process-level anti-cheat signals"""

def get_system_info() -> SystemInfo:
    """Machine info (GPU/display/power) for support telemetry"""

def shutdown() -> None:
    """Clean shutdown of anti-cheat system"""
)py";
}  // namespace

int main() {
    std::cout << R"py("""Tarnvale Native Checks Core Module (Windows Only)"""
# Generated from the report field tables by anticheat_stubgen; do not edit.
#
# Every record is a plain dict[str, str] at run time. The TypedDicts, Flag and
# ScanLevel below exist for type checkers only: import them under
# `if typing.TYPE_CHECKING:`. Flags are the texts "0" and "1", and both are
# true in a boolean context: compare them with "1".
from typing import Literal, NotRequired, TypeAlias, TypedDict

Flag: TypeAlias = Literal[)py"
              << quoted(word::flag_false) << ", " << quoted(word::flag_true) << R"py(]
FlagOrEmpty: TypeAlias = Literal["", )py"
              << quoted(word::flag_false) << ", " << quoted(word::flag_true) << R"py(]
ScanLevel: TypeAlias = Literal[)py"
              << quoted(word::cheap) << ", " << quoted(word::medium) << ", " << quoted(word::heavy) << "]\n";

    std::vector<Field> process;
    for (const auto& seed : kProcessRecordSeed) process.push_back({seed.first, process_type(seed.first)});
    for (std::string_view key : kProcessOptional) process.push_back({key, process_type(key), false});
    print_class("ProcessReport", "The record inspect_process returns.", process);

    std::vector<Field> module;
    for (std::string_view key : kModuleRecordKeys) {
        module.push_back({key, key == mod_key::scanLevel       ? "ScanLevel"
                               : contains(kModuleFlags, key) ? "Flag"
                                                             : "str"});
    }
    print_class("ModuleRecord", "One loaded module, as inspect_process_modules lists it.", module);

    std::vector<Field> cheat;
    for (const auto& seed : kCheatProcessRecordSeed) {
        cheat.push_back({seed.first, contains(kCheatProcessFlags, seed.first) ? "Flag" : "str"});
    }
    print_class("CheatProcessRecord", "The first known cheat program running, or detected \"0\".", cheat);

    std::vector<Field> info;
    for (std::string_view key : kSystemInfoKeys) {
        info.push_back({key, key == info_key::powerPlan
                                 ? "Literal[" + quoted(word::power_ac) + ", " + quoted(word::power_battery) + "]"
                                 : "str"});
    }
    print_class("SystemInfo", "Support telemetry; a key is present only when the machine answers it.", info,
                false);

    std::cout << kFunctions;
    return std::cout ? 0 : 1;
}
