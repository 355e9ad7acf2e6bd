// The system handle list, rebuilt from /proc: every pidfd and every open
// /proc/N/mem of every process we may look into, plus each ptrace tracer
// (which can write its tracee's memory without holding any descriptor).
// The object of an entry is the target's pid, standing in for the kernel
// object address; the handle value is the descriptor number.
#include <algorithm>
#include <string>
#include <vector>

#include "platform/linux/linux_adapter.hpp"
#include "platform/linux/posix_io.hpp"
#include "platform/linux/procfs.hpp"

namespace ac::lx {
namespace {

constexpr uint32_t STATUS_UNSUCCESSFUL = 0xC0000001u;

constexpr uint32_t kPidfdAccess =
    win::PROCESS_QUERY_LIMITED_INFORMATION | win::SYNCHRONIZE | win::PROCESS_TERMINATE;
constexpr uint32_t kMemReadAccess = win::PROCESS_VM_READ | win::PROCESS_QUERY_LIMITED_INFORMATION;
constexpr uint32_t kMemWriteAccess =
    win::PROCESS_VM_WRITE | win::PROCESS_VM_OPERATION | win::PROCESS_QUERY_LIMITED_INFORMATION;

// The process whose memory a descriptor link names: "/proc/N/mem" or
// "/proc/N/task/T/mem" (a thread's view of the same memory).
std::optional<uint32_t> mem_target(std::string_view link) {
    constexpr std::string_view prefix = "/proc/";
    if (link.substr(0, prefix.size()) != prefix) return std::nullopt;
    link.remove_prefix(prefix.size());
    size_t slash = link.find('/');
    if (slash == std::string_view::npos) return std::nullopt;
    std::string_view pid = link.substr(0, slash);
    std::string_view rest = link.substr(slash);
    if (rest != "/mem") {
        constexpr std::string_view task = "/task/";
        if (rest.substr(0, task.size()) != task) return std::nullopt;
        rest.remove_prefix(task.size());
        size_t s = rest.find('/');
        if (s == std::string_view::npos || !all_digits(rest.substr(0, s)) || rest.substr(s) != "/mem")
            return std::nullopt;
    }
    if (!all_digits(pid)) return std::nullopt;
    auto n = parse_unsigned(pid);
    if (!n || *n == 0 || *n > UINT32_MAX) return std::nullopt;
    return static_cast<uint32_t>(*n);
}

uint32_t mem_access(uint64_t open_flags) {
    switch (open_flags & O_ACCMODE) {
        case O_RDONLY: return kMemReadAccess;
        case O_WRONLY: return kMemWriteAccess;
        default: return kMemReadAccess | kMemWriteAccess;
    }
}

// Scans one holder's descriptor table.
void scan_descriptors(uint32_t holder, int dir, std::vector<SystemHandle>& out) {
    UniqueFd fds = open_at(dir, "fd", O_RDONLY | O_DIRECTORY);
    if (!fds) return;
    UniqueFd info;  // fdinfo, opened at the first descriptor worth a look
    auto fdinfo = [&](std::string_view fd) -> std::optional<std::string> {
        if (!info) info = open_at(dir, "fdinfo", O_RDONLY | O_DIRECTORY);
        if (!info) return std::nullopt;
        return read_file_at(info.get(), std::string(fd).c_str());
    };
    for_each_entry(fds.get(), [&](std::string_view fd) {
        auto number = parse_unsigned(fd);
        if (!number) return;
        auto link = read_link_at(fds.get(), std::string(fd).c_str());
        if (!link) return;
        if (*link == "anon_inode:[pidfd]") {
            auto text = fdinfo(fd);
            // A pidfd of a reaped process reads "Pid: -1", which is no number.
            auto target = text ? field_number(*text, "Pid:") : std::nullopt;
            if (target && *target > 0 && *target <= UINT32_MAX) out.push_back({holder, *number, *target, kPidfdAccess});
        } else if (auto target = mem_target(*link)) {
            auto text = fdinfo(fd);
            auto flags = text ? field_number(*text, "flags:", 8) : std::nullopt;
            if (flags) out.push_back({holder, *number, *target, mem_access(*flags)});
        }
    });
}

// TracerPid names the tracing thread; the handle list wants its process.
uint32_t process_of_thread(int proc, uint32_t tid) {
    auto status = read_file_at(proc, (std::to_string(tid) + "/status").c_str());
    auto tgid = status ? field_number(*status, "Tgid:") : std::nullopt;
    return tgid && *tgid > 0 && *tgid <= UINT32_MAX ? static_cast<uint32_t>(*tgid) : tid;
}

}  // namespace

HandleQuery query_system_handles() {
    HandleQuery query;
    UniqueFd proc = open_at(AT_FDCWD, "/proc", O_RDONLY | O_DIRECTORY);
    if (!proc) return {false, STATUS_UNSUCCESSFUL, {}};

    std::vector<std::pair<uint32_t, uint32_t>> traced;  // (tracer thread, tracee)
    for_each_entry(proc.get(), [&](std::string_view name) {
        if (!all_digits(name)) return;
        auto pid = parse_unsigned(name);
        if (!pid || *pid > UINT32_MAX) return;
        uint32_t holder = static_cast<uint32_t>(*pid);
        UniqueFd dir = open_at(proc.get(), std::string(name).c_str(), O_RDONLY | O_DIRECTORY);
        if (!dir) return;
        if (auto status = read_file_at(dir.get(), "status")) {
            auto tracer = field_number(*status, "TracerPid:");
            if (tracer && *tracer > 0 && *tracer <= UINT32_MAX) traced.emplace_back(static_cast<uint32_t>(*tracer), holder);
        }
        scan_descriptors(holder, dir.get(), query.handles);
    });
    for (auto [tracer, tracee] : traced)
        query.handles.push_back({process_of_thread(proc.get(), tracer), 0, tracee, win::PROCESS_ALL_ACCESS});

    // One holder's handles together, by handle value, as the system lists them.
    std::sort(query.handles.begin(), query.handles.end(), [](const SystemHandle& a, const SystemHandle& b) {
        return a.holder_pid != b.holder_pid ? a.holder_pid < b.holder_pid : a.handle_value < b.handle_value;
    });
    query.ok = true;
    query.status = 0;
    return query;
}

}  // namespace ac::lx
