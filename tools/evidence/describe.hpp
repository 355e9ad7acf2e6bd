// One evidence record per path: what the inspections would see of the file,
// and which built-in table entries it matches.
#pragma once

#include <string>
#include <string_view>

#include "evidence/report_record.hpp"
#include "reports/fields.hpp"

namespace evidence {

// What a path names. Only a regular file is opened: a directory, device,
// FIFO or socket is described by its type alone.
std::string_view path_type(const std::string& path);

ac::ReportRecord describe(const std::string& path, std::string_view game_dir);

std::string json_line(const ac::ReportRecord& record);

}  // namespace evidence
