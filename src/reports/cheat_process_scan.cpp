#include "reports/cheat_process_scan.hpp"
namespace ac {
CheatProcessMatch known_cheat_process_scan() { return {}; }  // PLACEHOLDER
bool is_cheat_detected() { return false; }
ReportRecord detect_cheat_process_record() { return {}; }
bool inspection_cheat_scan(ReportRecord&, bool) { return false; }
}
