#include "reports/process_inspection.hpp"
namespace ac {
ReportRecord inspect_process_record(int32_t, const char*, const char*) { return {}; }  // PLACEHOLDER
}
