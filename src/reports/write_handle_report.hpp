#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "evidence/report_record.hpp"

namespace ac {

inline constexpr uint64_t kHolderDigestLimit = 83886080;

struct ParentProcess {
    bool listed = false;
    uint32_t parent_pid = 0;
    std::string parent_name;
};

struct ProcessAccount {
    std::string account;
    std::string integrity;
};

struct ProcessWindow {
    bool found = false;
    std::string title;
    bool visible = false;
};

int32_t scan_external_write_handles(int32_t pid, ReportRecord& record);
ParentProcess find_parent_process(uint32_t pid);
ProcessAccount read_process_account(uint32_t pid);
std::string_view integrity_word(uint32_t rid);
ProcessWindow find_process_window(uint32_t pid);
std::string read_pe_timestamp(std::string_view path);
std::string read_version_string(std::string_view path, std::string_view name);
std::unordered_map<uint32_t, std::string> snapshot_process_names();
std::string process_start_time_text(uint32_t pid);

}  // namespace ac
