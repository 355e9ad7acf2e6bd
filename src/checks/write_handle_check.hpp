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
    // Holders with write-capable handles that could not all be checked (not
    // openable to duplicate from, or past the per-call bound), first seen first.
    std::vector<uint32_t> unchecked_holders;
};

// Bounds of the identification by duplication, per call.
inline constexpr size_t kMaxDuplicatedHolders = 512;
inline constexpr size_t kMaxDuplications = 8192;
inline constexpr size_t kMaxDuplicationsPerHolder = 1024;

// target_handle is the inspecting process's own handle to the target. Where
// the system lists kernel object addresses the target is the object behind
// that handle; where it hides them, each candidate is duplicated and compared.
WriteHandleCheckResult find_write_handles(uint32_t target_pid, const ProcessHandle& target_handle);

}  // namespace ac
