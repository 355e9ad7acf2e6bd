#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/system.hpp"

namespace ac {

bool grants_write_access(uint32_t granted_access);
bool is_system_holder(std::string_view name, std::string_view image_path);

struct QualifyingHandle {
    uint32_t holder_pid = 0;
    uint32_t granted_access = 0;
};

struct WriteHandleCheckResult {
    enum class Outcome { ok, query_failed, target_unidentified } outcome = Outcome::ok;
    uint32_t nt_status = 0;
    std::vector<QualifyingHandle> handles;  // in the order of the system's list
};

// target_handle is the inspecting process's own handle to the target.
WriteHandleCheckResult find_write_handles(uint32_t target_pid, const ProcessHandle& target_handle);

}  // namespace ac
