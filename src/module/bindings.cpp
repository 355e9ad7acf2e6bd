// The extension module: twelve plain functions, each calling one operation.
// No logic lives here, and nothing OS-specific: the same source builds the
// Windows .pyd and the Linux stand-in.
//
// Every operation runs with the interpreter lock released: an inspection can
// hash hundreds of megabytes, and the game's other Python threads must keep
// running meanwhile. The lock is held only while arguments are converted
// (before the guard) and results are turned into Python objects (after it);
// the operations touch no Python object, and the state they share (the
// per-file caches, the session flag) carries its own synchronisation.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "checks/debugger_check.hpp"
#include "checks/thread_hijack_check.hpp"
#include "machine/hwid.hpp"
#include "machine/system_info.hpp"
#include "module/session.hpp"
#include "reports/cheat_process_scan.hpp"
#include "reports/module_report.hpp"
#include "reports/process_report.hpp"

namespace py = pybind11;

namespace ac {
// A text argument: str (as UTF-8), bytes or bytearray byte for byte, or None
// (absent). The operation sees a NUL-terminated pointer, so an embedded NUL
// cuts the text short.
struct Text {
    std::optional<std::string> bytes;
    const char* c_str() const { return bytes ? bytes->c_str() : nullptr; }
};
// A module list: hundreds of records over the same few dozen keys.
struct RecordList {
    std::vector<ReportRecord> records;
};
}  // namespace ac

namespace pybind11::detail {
template <>
struct type_caster<ac::Text> {
    PYBIND11_TYPE_CASTER(ac::Text, const_name("str"));
    bool load(handle src, bool convert) {
        if (src.is_none()) {
            value.bytes.reset();
            return true;
        }
        make_caster<std::string> text;
        if (!text.load(src, convert)) return false;
        value.bytes = cast_op<std::string&&>(std::move(text));
        return true;
    }
};

// Records repeat their keys and most of their values (flags, status words,
// empty fields): one str per distinct text for the whole list makes about a
// tenth of the objects while the lock is held. Keys, order and the annotation
// are pybind11's own.
template <>
struct type_caster<ac::RecordList> {
    PYBIND11_TYPE_CASTER(ac::RecordList, const_name("List[Dict[str, str]]"));
    bool load(handle, bool) { return false; }
    static handle cast(const ac::RecordList& list, return_value_policy, handle) {
        std::unordered_map<std::string_view, str> texts;
        auto text = [&](const std::string& s) -> const str& {
            auto known = texts.find(s);
            if (known == texts.end()) known = texts.emplace(s, str(s)).first;
            return known->second;
        };
        pybind11::list out(list.records.size());
        for (size_t i = 0; i < list.records.size(); ++i) {
            dict record;
            for (const auto& [key, value] : list.records[i]) record[text(key)] = text(value);
            out[i] = std::move(record);
        }
        return out.release();
    }
};
}  // namespace pybind11::detail

PYBIND11_MODULE(anticheat, m) {
    using ac::Text;
    const auto unlocked = py::call_guard<py::gil_scoped_release>();
    m.doc() = "Tarnvale Native Checks Core Module (Windows Only)";

    m.def("is_windows", [] {
#ifdef _WIN32
        return true;
#else
        return false;  // the Linux stand-in build is not Windows
#endif
    }, unlocked, "Check if running on Windows OS");
    m.def("initialize", [](Text text) { return ac::initialize_session(text.c_str()); }, unlocked,
          "Initialize the anti-cheat system");
    m.def("get_hwid", &ac::get_hwid, unlocked, "Get the hardware ID");
    m.def("is_cheat_detected", &ac::is_cheat_detected, unlocked, "Check for known cheat software");
    m.def("detect_cheat_process", &ac::detect_cheat_process_record, unlocked,
          "Return matched cheat-process {detected,name,path,md5} (empty if none)");
    m.def("is_debugger_present", &ac::host_debugger_attached, unlocked, "Check for debugger presence");
    m.def("verify_game_integrity", &ac::verify_game_integrity, unlocked, "Verify game file integrity");
    m.def("detect_thread_hijack", [](int32_t pid) { return ac::thread_hijack_detected(pid); }, unlocked,
          "Detect thread hijacking attacks");
    m.def("inspect_process_modules",
          [](int32_t pid, Text game_dir, Text scan_level) {
              return ac::RecordList{ac::inspect_process_modules_records(pid, game_dir.c_str(), scan_level.c_str())};
          },
          unlocked, "Inspect modules loaded by a game process", py::arg("pid"), py::arg("game_dir"),
          py::arg("scan_level") = "medium");
    m.def("inspect_process",
          [](int32_t pid, Text game_dir, Text scan_level) {
              return ac::inspect_process_record(pid, game_dir.c_str(), scan_level.c_str());
          },
          unlocked, "Inspect process-level anti-cheat signals", py::arg("pid"), py::arg("game_dir"),
          py::arg("scan_level") = "medium");
    m.def("get_system_info", &ac::get_system_info, unlocked, "Machine info (GPU/display/power) for support telemetry");
    m.def("shutdown", &ac::shutdown_session, unlocked, "Clean shutdown of anti-cheat system");
}
