// Tools that can read, change or observe a game (data/tool_processes.tsv),
// each with one category word (lowercase, parts joined with "-", like the
// default word "cheat-tool").
#include "checks/tool_process_table.hpp"

#include <string_view>
#include <unordered_map>

#include "checks/detection_tables.hpp"

namespace ac {

std::string_view tool_category(std::string_view lower_exe_name) {
    // Function-local static: built on first use, safe against concurrent first use.
    static const std::unordered_map<std::string_view, std::string_view> table = [] {
        std::unordered_map<std::string_view, std::string_view> t;
        for (const auto& row : tables::kToolProcesses) t.emplace(row.name, row.category);
        return t;
    }();
    auto it = table.find(lower_exe_name);
    return it == table.end() ? std::string_view() : it->second;
}

}  // namespace ac
