// The external write-handle section of the process inspection: who else holds
// a handle through which the game can be written, and a description of the
// first such holder that is not part of the operating system.
#include "reports/write_handle_report.hpp"

#include <array>
#include <cstdio>
#include <cstring>
#include <optional>
#include <utility>

#include "checks/known_cheat_digest_check.hpp"
#include "checks/tool_process_table.hpp"
#include "checks/write_handle_check.hpp"
#include "evidence/digest.hpp"
#include "evidence/signature.hpp"
#include "evidence/text.hpp"
#include "platform/system.hpp"
#include "reports/fields.hpp"
#include "reports/record.hpp"

namespace ac {
namespace {

// Lower bound of each integrity level's relative identifier; below the first
// bound (untrusted included) the level reads "low".
constexpr std::array<std::pair<uint32_t, std::string_view>, 3> kIntegrityLevels = {{
    {0x4000, word::integrity_system},
    {0x3000, word::integrity_high},
    {0x2000, word::integrity_medium},
}};

constexpr std::array<std::pair<std::string_view, std::string_view>, 4> kVersionFields = {{
    {"ProductName", proc_key::externalWriteHandleProductName},
    {"OriginalFilename", proc_key::externalWriteHandleOriginalFilename},
    {"FileVersion", proc_key::externalWriteHandleFileVersion},
    {"CompanyName", proc_key::externalWriteHandleCompanyName},
}};

constexpr size_t kDosHeaderBytes = 64;
constexpr size_t kLfanewOffset = 60;
constexpr size_t kPeHeaderBytes = 24;  // signature and COFF file header
constexpr size_t kTimeDateStampOffset = 8;

struct HolderIdentity {
    std::string path;
    std::string name;
    bool system = false;
};

void write_if_not_empty(ReportRecord& record, std::string_view key, std::string_view value) {
    if (!value.empty()) set_field(record, key, value);
}

bool read_exact(FileReader& file, void* buffer, size_t size) {
    auto got = file.read(buffer, size);
    return got && *got == size;
}

// Per-scan holder identities, with the process-name map taken at the first
// holder and reused for the rest of the scan.
class HolderDirectory {
public:
    const HolderIdentity& identify(uint32_t pid) {
        auto it = holders_.find(pid);
        if (it != holders_.end()) return it->second;
        if (!names_) names_ = snapshot_process_names();
        HolderIdentity identity;
        // The system's own record first: a holder we may not open (csrss.exe
        // and the other system processes, to a normal user) still has a path
        // for the system-holder rule.
        identity.path = sys().image_path_unopened(pid).value_or(std::string());
        if (identity.path.empty()) identity.path = process_image_path(pid);
        identity.name = base_name(identity.path);
        if (identity.name.empty()) {
            auto listed = names_->find(pid);
            if (listed != names_->end()) identity.name = listed->second;
        }
        identity.system = is_system_holder(identity.name, identity.path);
        return holders_.emplace(pid, std::move(identity)).first->second;
    }

private:
    std::optional<std::unordered_map<uint32_t, std::string>> names_;
    std::unordered_map<uint32_t, HolderIdentity> holders_;
};

void describe_image_file(ReportRecord& r, const std::string& path) {
    FileFacts facts = get_file_facts(path);
    if (!facts.found) return;
    set_field(r, proc_key::externalWriteHandleProcessSize, std::to_string(facts.size));
    write_if_not_empty(r, proc_key::externalWriteHandleProcessPeTimestamp, read_pe_timestamp(path));
    for (auto& [name, key] : kVersionFields) write_if_not_empty(r, key, read_version_string(path, name));
    if (facts.size <= kHolderDigestLimit) {
        std::string md5 = file_md5(path, facts);
        set_field(r, proc_key::externalWriteHandleProcessMd5, md5);
        if (!md5.empty() && is_known_bad_holder_digest(md5)) {
            set_field(r, proc_key::externalWriteHandleKnownBadHashMatch, word::flag_true);
            set_field(r, proc_key::externalWriteHandleToolHashMatch, word::flag_true);
        }
    }
    SignatureInfo signature = signature_info(path, facts);
    set_field(r, proc_key::externalWriteHandleSignatureStatus, signature.status);
    write_if_not_empty(r, proc_key::externalWriteHandleSignaturePublisher, signature.publisher);
    write_if_not_empty(r, proc_key::externalWriteHandleSignatureIssuer, signature.issuer);
    write_if_not_empty(r, proc_key::externalWriteHandleSignatureThumbprint, signature.signerThumbprint);
    set_field(r, proc_key::externalWriteHandleSignatureTrustedMicrosoft, flag_text(signature.trustedMicrosoft));
}

void describe_holder(ReportRecord& r, uint32_t pid, const HolderIdentity& holder, uint32_t access) {
    set_field(r, proc_key::externalWriteHandleProcessPid, std::to_string(static_cast<int32_t>(pid)));
    set_field(r, proc_key::externalWriteHandleProcessPath, holder.path);
    set_field(r, proc_key::externalWriteHandleProcessName, holder.name);
    set_field(r, proc_key::externalWriteHandleAccess, hex_u32(access));

    std::string_view category = tool_category(to_lower(holder.name));
    if (!category.empty()) {
        set_field(r, proc_key::externalWriteHandleToolNameOnlyMatch, word::flag_true);
        set_field(r, proc_key::externalWriteHandleToolCategory, category);
    }

    ParentProcess parent = find_parent_process(pid);
    if (parent.listed) {
        if (static_cast<int32_t>(parent.parent_pid) > 0)
            set_field(r, proc_key::externalWriteHandleParentPid,
                      std::to_string(static_cast<int32_t>(parent.parent_pid)));
        write_if_not_empty(r, proc_key::externalWriteHandleParentName, parent.parent_name);
    }

    write_if_not_empty(r, proc_key::externalWriteHandleProcessStartedAt, process_start_time_text(pid));

    ProcessAccount account = read_process_account(pid);
    write_if_not_empty(r, proc_key::externalWriteHandleProcessAccount, account.account);
    write_if_not_empty(r, proc_key::externalWriteHandleProcessIntegrity, account.integrity);

    ProcessWindow window = find_process_window(pid);
    if (window.found) set_field(r, proc_key::externalWriteHandleWindowTitle, window.title);
    set_field(r, proc_key::externalWriteHandleWindowVisible, flag_text(window.found && window.visible));

    if (!holder.path.empty()) describe_image_file(r, holder.path);
}

int32_t fail(ReportRecord& r, std::string_view status) {
    set_field(r, proc_key::externalWriteHandleStatus, status);
    return -1;
}

}  // namespace

int32_t scan_external_write_handles(int32_t pid, ReportRecord& r) {
    set_field(r, proc_key::externalWriteHandleStatus, word::not_run);
    if (pid <= 0) return fail(r, word::invalid_pid);
    if (!sys().ntdll_loaded()) return fail(r, word::ntdll_unavailable);
    if (!sys().handle_query_available()) return fail(r, word::api_unavailable);

    const auto target = static_cast<uint32_t>(pid);
    WriteHandleCheckResult found;
    {
        auto handle = sys().open_process(target, win::PROCESS_QUERY_LIMITED_INFORMATION);
        if (!handle) return fail(r, word::target_access_denied);
        found = find_write_handles(target, *handle);
    }
    if (found.outcome == WriteHandleCheckResult::Outcome::query_failed) {
        set_field(r, proc_key::externalWriteHandleNtStatus, hex_u32(found.nt_status));
        return fail(r, word::query_failed);
    }
    if (found.outcome == WriteHandleCheckResult::Outcome::target_unidentified)
        return fail(r, word::target_object_unavailable);

    HolderDirectory holders;
    int32_t counted = 0;
    int32_t system_count = 0;
    std::string system_names;
    for (const QualifyingHandle& handle : found.handles) {
        const HolderIdentity& holder = holders.identify(handle.holder_pid);
        if (holder.system) {
            ++system_count;
            // A plain substring test, as the caller's parser expects: a name
            // inside a longer one already written is not added again.
            if (!holder.name.empty() && system_names.find(holder.name) == std::string::npos) {
                if (!system_names.empty()) system_names += ',';
                system_names += holder.name;
            }
        } else {
            ++counted;
            if (get_field(r, proc_key::externalWriteHandleProcessPid).empty())
                describe_holder(r, handle.holder_pid, holder, handle.granted_access);
        }
    }

    // A holder that could not be checked matters only when it is not a system
    // process: system holders are never counted, so they cannot change the count.
    bool partial = false;
    for (uint32_t holder : found.unchecked_holders) partial = partial || !holders.identify(holder).system;

    set_field(r, proc_key::externalWriteHandleStatus, partial ? word::partial : word::ok);
    set_field(r, proc_key::externalWriteHandleCount, std::to_string(counted));
    set_field(r, proc_key::externalWriteHandleDetected, flag_text(counted >= 1));
    set_field(r, proc_key::externalWriteHandleSystemProcessCount, std::to_string(system_count));
    set_field(r, proc_key::externalWriteHandleSystemProcessNames, system_names);
    return counted;
}

ParentProcess find_parent_process(uint32_t pid) {
    ParentProcess result;
    auto snapshot = sys().process_snapshot();
    if (!snapshot) return result;
    for (const ProcessEntry& entry : *snapshot) {
        if (entry.pid != pid) continue;
        result.listed = true;
        result.parent_pid = entry.parent_pid;
        if (static_cast<int32_t>(entry.parent_pid) > 0) {
            std::string path = process_image_path(entry.parent_pid);
            if (!path.empty()) result.parent_name = base_name(path);
        }
        return result;
    }
    return result;
}

std::string_view integrity_word(uint32_t rid) {
    for (auto& [lowest, level] : kIntegrityLevels)
        if (rid >= lowest) return level;
    return word::integrity_low;
}

ProcessAccount read_process_account(uint32_t pid) {
    TokenIdentity token = sys().token_identity(pid);
    ProcessAccount result;
    result.account = std::move(token.account);
    if (token.integrity_rid) result.integrity = std::string(integrity_word(*token.integrity_rid));
    return result;
}

ProcessWindow find_process_window(uint32_t pid) {
    ProcessWindow found;
    sys().enum_windows([&](WindowRef& window) {
        if (window.owner_pid() != pid) return true;
        bool visible = window.visible();
        if (found.found && (!visible || found.visible)) return true;
        found.title = window.title();
        found.visible = visible;
        found.found = true;
        return !visible;  // the first visible window ends the search
    });
    return found;
}

std::string process_start_time_text(uint32_t pid) {
    auto t = sys().process_start_time(pid);
    if (!t) return {};
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", unsigned{t->year}, unsigned{t->month},
                  unsigned{t->day}, unsigned{t->hour}, unsigned{t->minute}, unsigned{t->second});
    return text;
}

std::string read_pe_timestamp(std::string_view path) {
    if (path.empty()) return {};
    auto file = sys().open_file(path);
    if (!file) return {};
    std::array<uint8_t, kDosHeaderBytes> dos{};
    if (!read_exact(*file, dos.data(), dos.size()) || dos[0] != 'M' || dos[1] != 'Z') return {};
    int32_t e_lfanew = 0;
    std::memcpy(&e_lfanew, dos.data() + kLfanewOffset, sizeof e_lfanew);
    if (e_lfanew <= 0) return {};
    auto size = file->size();
    if (!size || static_cast<uint64_t>(e_lfanew) + kPeHeaderBytes > *size) return {};
    if (!file->seek(static_cast<uint64_t>(e_lfanew))) return {};
    std::array<uint8_t, kPeHeaderBytes> pe{};
    if (!read_exact(*file, pe.data(), pe.size())) return {};
    if (pe[0] != 'P' || pe[1] != 'E' || pe[2] != 0 || pe[3] != 0) return {};
    uint32_t stamp = 0;
    for (size_t i = 0; i < 4; ++i) stamp |= static_cast<uint32_t>(pe[kTimeDateStampOffset + i]) << (8 * i);
    return std::to_string(stamp);
}

std::string read_version_string(std::string_view path, std::string_view name) {
    if (path.empty()) return {};
    return sys().version_string(path, name);
}

std::unordered_map<uint32_t, std::string> snapshot_process_names() {
    std::unordered_map<uint32_t, std::string> names;
    auto snapshot = sys().process_snapshot();
    if (!snapshot) return names;
    for (ProcessEntry& entry : *snapshot) names[entry.pid] = std::move(entry.exe_name);  // the later entry wins
    return names;
}

}  // namespace ac
