// The main report on the game process. The scan level decides the depth:
// cheap reads process facts, medium adds the debugger check and the scan of
// the other processes, heavy adds the memory walk and the write-handle scan.
#include "reports/process_report.hpp"

#include <string>

#include "checks/debugger_check.hpp"
#include "checks/manual_map_check.hpp"
#include "checks/thread_count_check.hpp"
#include "evidence/digest.hpp"
#include "evidence/text.hpp"
#include "platform/system.hpp"
#include "reports/cheat_process_scan.hpp"
#include "reports/record.hpp"
#include "reports/region_report.hpp"
#include "reports/write_handle_report.hpp"

namespace ac {
namespace {

bool process_running(uint32_t pid) {
    auto process = sys().open_process(pid, win::PROCESS_QUERY_LIMITED_INFORMATION);
    if (!process) return false;
    auto code = process->exit_code();
    return code && *code == win::STILL_ACTIVE;
}

void memory_section(ReportRecord& r, uint32_t pid) {
    ManualMapVerdict verdict;
    {
        auto process = sys().open_process(pid, win::PROCESS_QUERY_INFORMATION | win::PROCESS_VM_READ);
        if (!process) {
            set_field(r, proc_key::privateExecutableRegionCount, "");
            set_field(r, proc_key::manualMapSuspected, word::flag_false);
            set_field(r, proc_key::memoryScanStatus, word::access_denied);
            return;
        }
        verdict = run_manual_map_check(*process);
    }
    set_field(r, proc_key::privateExecutableRegionCount, std::to_string(verdict.region_count));
    set_field(r, proc_key::manualMapSuspected, flag_text(verdict.suspected));
    set_field(r, proc_key::manualMapReportOnly, flag_text(verdict.suspected));
    set_field(r, proc_key::memoryScanStatus, word::ok);
    if (verdict.suspected)
        set_field(r, proc_key::privateExecutableRegionsJson, records_to_json(list_executable_regions(pid)));
}

}  // namespace

ReportRecord inspect_process_record(int32_t pid, const char* /*game_dir: accepted, never read*/,
                                    const char* scan_level) {
    const ScanLevel level = parse_scan_level(scan_level);
    const int depth = scan_depth(level);
    ReportRecord r = seeded_record(kProcessRecordSeed);
    set_field(r, proc_key::scanLevel, scan_level_word(level));
    if (pid <= 0) {
        repair_utf8_values(r);
        return r;
    }
    const auto target = static_cast<uint32_t>(pid);

    const bool found = process_running(target);
    const int32_t threads = sys().thread_count(target);
    const std::string executable = process_image_path(target);
    const bool debugger = depth >= scan_depth(ScanLevel::medium) && debugger_attached(target);

    if (depth >= scan_depth(ScanLevel::heavy)) {
        memory_section(r, target);
    } else {
        set_field(r, proc_key::privateExecutableRegionCount, "");
        set_field(r, proc_key::manualMapSuspected, word::flag_false);
        set_field(r, proc_key::memoryScanStatus, word::not_run_scan_level);
    }

    const bool thread_verdict = thread_count_suspicious(threads);
    set_field(r, proc_key::processFound, flag_text(found));
    set_field(r, proc_key::debuggerPresent, flag_text(debugger));
    set_field(r, proc_key::threadCount, std::to_string(threads));
    set_field(r, proc_key::threadCountSuspicious, flag_text(thread_verdict));
    set_field(r, proc_key::executablePath, executable);

    bool cheat_found = false;
    if (depth >= scan_depth(ScanLevel::medium))
        cheat_found = inspection_cheat_scan(r, depth >= scan_depth(ScanLevel::heavy));

    if (depth >= scan_depth(ScanLevel::heavy)) {
        int32_t holders = scan_external_write_handles(pid, r);
        set_field(r, proc_key::externalWriteHandleReportOnly, flag_text(holders >= 1));
    } else {
        set_field(r, proc_key::externalWriteHandleStatus, word::not_run_scan_level);
    }

    // Manual-map and write-handle findings stay report-only.
    set_field(r, proc_key::suspicious, flag_text(debugger || thread_verdict || cheat_found));
    repair_utf8_values(r);
    return r;
}

}  // namespace ac
