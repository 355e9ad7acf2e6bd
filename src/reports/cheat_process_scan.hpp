#pragma once
#include <string>

#include "evidence/report_record.hpp"

namespace ac {

struct CheatProcessMatch {
    bool detected = false;
    std::string name;
    std::string path;
    std::string md5;
};

CheatProcessMatch known_cheat_process_scan();
bool is_cheat_detected();
ReportRecord detect_cheat_process_record();
// Inspection scan: true when it ended on a conclusive match.
bool inspection_cheat_scan(ReportRecord& record, bool heavy);

}  // namespace ac
