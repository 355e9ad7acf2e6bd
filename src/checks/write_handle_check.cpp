// Write-handle check: which processes hold a handle to the target through
// which they can change it, and which of them are the operating system's own.
#include "checks/write_handle_check.hpp"

#include <array>
#include <unordered_map>

#include "evidence/origin.hpp"
#include "evidence/text.hpp"

namespace ac {
namespace {

// Rights that let the holder change the target's memory or run code in it,
// directly or in one step:
constexpr uint32_t kWriteRights =
    win::PROCESS_VM_WRITE |        // WriteProcessMemory
    win::PROCESS_VM_OPERATION |    // VirtualAllocEx / VirtualProtectEx: reshape the address space
    win::PROCESS_CREATE_THREAD |   // run code inside the target
    win::PROCESS_DUP_HANDLE |      // duplicate the target's own NtCurrentProcess handle: full access
    win::WRITE_DAC |               // rewrite the target's DACL, then reopen with any access
    win::WRITE_OWNER |             // take ownership, then rewrite the DACL
    win::GENERIC_WRITE | win::GENERIC_ALL;
// PROCESS_ALL_ACCESS carries the bits above and so counts by itself.
// Deliberately not counted, because they do not change what the target runs:
//   PROCESS_SET_INFORMATION, PROCESS_SET_QUOTA - priority, affinity and working
//     set; process managers and game boosters hold these routinely;
//   PROCESS_SUSPEND_RESUME - freezes the target but writes nothing;
//   PROCESS_CREATE_PROCESS - a child started with the target as parent inherits
//     the target's inheritable handles, not a way into the target's memory;
//   PROCESS_TERMINATE, SYNCHRONIZE, the query and read rights;
//   MAXIMUM_ALLOWED - resolved to real rights when the handle is opened, so it
//     says nothing when it shows up in a granted mask.

// Core Windows processes that hold handles to every process as part of their
// work (session and console hosts, the security and service hosts, the window
// manager, error reporting). A name counts only for an image that lies directly
// in the system directory, so a cheat renamed "svchost.exe" stays counted.
constexpr std::array<std::string_view, 14> kSystemProcessNames = {
    "smss.exe",     "csrss.exe",   "wininit.exe", "winlogon.exe", "services.exe",
    "lsass.exe",    "lsaiso.exe",  "svchost.exe", "dwm.exe",      "fontdrvhost.exe",
    "conhost.exe",  "audiodg.exe", "werfault.exe", "wermgr.exe",
};

// Kernel pseudo-processes have no image file; the kernel's own handles (those
// drivers open) are listed under them. A user-mode program always has an image
// path the inspecting process can read, so an empty path is what marks them.
constexpr std::array<std::string_view, 4> kKernelProcessNames = {"system", "registry", "memory compression",
                                                                 "secure system"};

template <size_t N>
bool listed(const std::array<std::string_view, N>& table, std::string_view lower_name) {
    for (std::string_view entry : table)
        if (entry == lower_name) return true;
    return false;
}

bool directly_in_system_directory(std::string_view image_path) {
    std::string dir = system_directory();
    if (dir.empty()) return false;
    std::string path = normalize_path(image_path);
    if (path.size() <= dir.size() || path.compare(0, dir.size(), dir) != 0) return false;
    return path.find('\\', dir.size()) == std::string::npos;
}

}  // namespace

bool grants_write_access(uint32_t granted_access) { return (granted_access & kWriteRights) != 0; }

bool is_system_holder(std::string_view name, std::string_view image_path) {
    std::string lower = to_lower(name);
    if (image_path.empty()) return listed(kKernelProcessNames, lower);
    return listed(kSystemProcessNames, lower) && base_name(normalize_path(image_path)) == lower &&
           directly_in_system_directory(image_path);
}

namespace {

// The system hides object addresses (recent Windows without the debug
// privilege, Wine): every write-capable entry of the same object type as our
// handle is a candidate, identified by duplicating it from its holder. Each
// holder is opened once, its candidates checked, and it is closed before the
// next, so at most one holder handle and one duplicate are open at a time.
void identify_by_duplication(uint32_t target_pid, const ProcessHandle& target_handle, const SystemHandle& own,
                             const std::vector<SystemHandle>& entries, uint32_t self,
                             WriteHandleCheckResult& result) {
    std::vector<uint32_t> holders;                                // first-seen order
    std::unordered_map<uint32_t, std::vector<size_t>> candidates;  // holder -> entry indexes
    for (size_t i = 0; i < entries.size(); ++i) {
        const SystemHandle& e = entries[i];
        if (e.holder_pid == self || e.holder_pid == target_pid || e.object_type_index != own.object_type_index ||
            !grants_write_access(e.granted_access))
            continue;
        auto& list = candidates[e.holder_pid];
        if (list.empty()) holders.push_back(e.holder_pid);
        list.push_back(i);
    }

    std::vector<bool> matched(entries.size(), false);
    size_t opened = 0, duplications = 0;
    for (uint32_t holder : holders) {
        const std::vector<size_t>& mine = candidates[holder];
        bool complete = false;
        if (opened < kMaxDuplicatedHolders && duplications < kMaxDuplications) {
            ++opened;
            if (auto process = sys().open_process(holder, win::PROCESS_DUP_HANDLE)) {
                size_t checked = 0;
                for (size_t index : mine) {
                    if (checked == kMaxDuplicationsPerHolder || duplications == kMaxDuplications) break;
                    ++checked, ++duplications;
                    matched[index] =
                        sys().handle_refers_to(*process, entries[index].handle_value, target_handle, target_pid);
                }
                complete = checked == mine.size();
            }
        }
        if (!complete) result.unchecked_holders.push_back(holder);
    }
    for (size_t i = 0; i < entries.size(); ++i)
        if (matched[i]) result.handles.push_back({entries[i].holder_pid, entries[i].granted_access});
}

}  // namespace

WriteHandleCheckResult find_write_handles(uint32_t target_pid, const ProcessHandle& target_handle) {
    WriteHandleCheckResult result;
    HandleQuery query = sys().query_system_handles();
    if (!query.ok) {
        result.outcome = WriteHandleCheckResult::Outcome::query_failed;
        result.nt_status = query.status;
        return result;
    }

    // Our own entry tells the target's object (or, where addresses are
    // hidden, its object type); without it the check does not guess.
    uint32_t self = sys().current_pid();
    const SystemHandle* own = nullptr;
    for (const SystemHandle& entry : query.handles) {
        if (entry.holder_pid == self && entry.handle_value == target_handle.value()) {
            own = &entry;
            break;
        }
    }
    if (!own) {
        result.outcome = WriteHandleCheckResult::Outcome::target_unidentified;
        return result;
    }
    if (own->object == 0) {
        identify_by_duplication(target_pid, target_handle, *own, query.handles, self, result);
        return result;
    }

    for (const SystemHandle& entry : query.handles) {
        if (entry.object != own->object || entry.holder_pid == target_pid || entry.holder_pid == self) continue;
        if (grants_write_access(entry.granted_access))
            result.handles.push_back({entry.holder_pid, entry.granted_access});
    }
    return result;
}

}  // namespace ac
