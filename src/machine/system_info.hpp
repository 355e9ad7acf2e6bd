#pragma once
#include "evidence/report_record.hpp"

namespace ac {
ReportRecord get_system_info();
}  // namespace ac
