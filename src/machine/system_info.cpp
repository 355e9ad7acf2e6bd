#include "machine/system_info.hpp"

#include "evidence/text.hpp"
#include "platform/system.hpp"
#include "reports/record.hpp"

namespace ac {

ReportRecord get_system_info() {
    ReportRecord record;
    System& s = sys();
    if (auto adapter = s.display_adapter(); adapter && !adapter->empty())
        set_field(record, info_key::gpuName, *adapter);
    if (auto mode = s.display_mode()) {
        if (mode->width != 0 && mode->height != 0)
            set_field(record, info_key::displayResolution,
                      std::to_string(mode->width) + "x" + std::to_string(mode->height));
        // 0 and 1 mean "the hardware's default rate", not a rate.
        if (mode->frequency > 1) set_field(record, info_key::displayRefreshHz, std::to_string(mode->frequency));
    }
    if (auto line = s.ac_line_status()) {
        if (*line == 1) set_field(record, info_key::powerPlan, word::power_ac);
        else if (*line == 0) set_field(record, info_key::powerPlan, word::power_battery);
    }
    repair_utf8_values(record);  // the adapter name is in the ANSI code page
    return record;
}

}  // namespace ac
