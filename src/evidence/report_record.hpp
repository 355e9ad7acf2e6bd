#pragma once

#include <map>
#include <string>

namespace ac {

// Ordered by std::string's comparison, which compares bytes as unsigned values
// and puts a prefix first: exactly the order the caller sees.
using ReportRecord = std::map<std::string, std::string>;

}  // namespace ac
