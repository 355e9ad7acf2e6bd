// Toolhelp-style snapshots and per-process facts, read from /proc.
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <string>
#include <vector>

#include "platform/linux/address_space.hpp"
#include "platform/linux/linux_adapter.hpp"
#include "platform/linux/posix_io.hpp"
#include "platform/linux/procfs.hpp"

namespace ac::lx {
namespace {

std::string proc_path(uint32_t pid, const char* leaf) { return "/proc/" + std::to_string(pid) + "/" + leaf; }

// Calls visit(pid, directory fd) for every process directory that can still
// be opened; processes that end during the walk are skipped.
template <class Visit>
bool for_each_process(Visit&& visit) {
    UniqueFd proc = open_at(AT_FDCWD, "/proc", O_RDONLY | O_DIRECTORY);
    if (!proc) return false;
    for_each_entry(proc.get(), [&](std::string_view name) {
        if (!all_digits(name)) return;
        auto pid = parse_unsigned(name);
        if (!pid || *pid > UINT32_MAX) return;
        UniqueFd dir = open_at(proc.get(), std::string(name).c_str(), O_RDONLY | O_DIRECTORY);
        if (dir) visit(static_cast<uint32_t>(*pid), dir.get());
    });
    return true;
}

std::string exe_base_name(std::string_view path) {
    // An executable replaced or removed since it started is still that program.
    constexpr std::string_view deleted = " (deleted)";
    if (path.size() > deleted.size() && path.substr(path.size() - deleted.size()) == deleted)
        path.remove_suffix(deleted.size());
    size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace

std::optional<std::vector<ProcessEntry>> process_snapshot() {
    std::vector<ProcessEntry> out;
    bool listed = for_each_process([&](uint32_t, int dir) {
        auto text = read_file_at(dir, "stat");
        auto stat = text ? parse_stat(*text) : std::nullopt;
        if (!stat) return;
        ProcessEntry e{stat->pid, stat->ppid, stat->num_threads, {}, {}, {}};
        auto exe = read_link_at(dir, "exe");
        uint32_t exe_owner = stat->pid;
        if (!exe && stat->state == 'Z') {  // main thread ended
            uint32_t thread = 0;
            exe = read_link_at(memory_view_at(dir, &thread).get(), "exe");
            if (thread) exe_owner = thread;
        }
        e.exe_name = exe ? exe_base_name(*exe) : stat->comm;
        if (e.exe_name.empty()) e.exe_name = stat->comm;
        // The link just read is what the process's handle would report, so
        // the scans need not open every process again.
        e.image_path = image_path_from_link(std::move(exe)).value_or(std::string());
        if (!e.image_path->empty()) e.image_content_path = "/proc/" + std::to_string(exe_owner) + "/exe";
        out.push_back(std::move(e));
    });
    if (!listed) return std::nullopt;
    return out;
}

std::optional<std::vector<ThreadEntry>> thread_snapshot() {
    std::vector<ThreadEntry> out;
    bool listed = for_each_process([&](uint32_t pid, int dir) {
        UniqueFd tasks = open_at(dir, "task", O_RDONLY | O_DIRECTORY);
        if (!tasks) return;
        for_each_entry(tasks.get(), [&](std::string_view name) {
            auto tid = parse_unsigned(name);
            if (tid && *tid <= UINT32_MAX) out.push_back({static_cast<uint32_t>(*tid), pid});
        });
    });
    if (!listed) return std::nullopt;
    return out;
}

int32_t thread_count(uint32_t pid) {
    if (pid == 0) return 0;
    UniqueFd dir = open_at(AT_FDCWD, ("/proc/" + std::to_string(pid)).c_str(), O_RDONLY | O_DIRECTORY);
    if (!dir) return 0;
    // /proc also answers for a thread id that leads no process, which the
    // machine-wide snapshot never lists as an owner.
    auto status = read_file_at(dir.get(), "status");
    auto tgid = status ? field_number(*status, "Tgid:") : std::nullopt;
    if (!tgid || *tgid != pid) return 0;
    UniqueFd tasks = open_at(dir.get(), "task", O_RDONLY | O_DIRECTORY);
    if (!tasks) return 0;
    int32_t count = 0;
    for_each_entry(tasks.get(), [&](std::string_view name) {
        auto tid = parse_unsigned(name);
        if (tid && *tid <= UINT32_MAX && count < INT32_MAX) ++count;
    });
    return count;
}

std::optional<std::vector<ModuleEntry>> module_snapshot(uint32_t pid) {
    if (pid == 0) return std::nullopt;
    // Both reads through one directory, so the executable named is that of
    // the process whose maps were read even if the pid is reused meanwhile.
    UniqueFd dir = open_at(AT_FDCWD, ("/proc/" + std::to_string(pid)).c_str(), O_RDONLY | O_DIRECTORY);
    if (!dir) return std::nullopt;
    uint32_t thread = 0;
    UniqueFd view = memory_view_at(dir.get(), &thread);
    // Modules are files: a game's thousands of anonymous mappings need not be kept.
    auto maps = read_maps_at(view.get(), true);
    if (!maps) return std::nullopt;
    auto exe = read_link_at(view.get(), "exe");
    // Task directories have no map_files, but /proc/TID, unlisted, does.
    const std::string map_files = "/proc/" + std::to_string(thread ? thread : pid) + "/map_files/";
    return image_modules(*maps, exe ? std::string_view(*exe) : std::string_view(), map_files);
}

std::optional<uint64_t> thread_start_address(uint32_t pid, uint32_t tid) {
    if (pid == 0 || tid == 0) return std::nullopt;
    auto text = read_file("/proc/" + std::to_string(pid) + "/task/" + std::to_string(tid) + "/syscall");
    if (!text) return std::nullopt;
    return syscall_instruction_pointer(*text);
}

DebugSignals debug_signals_of(const std::string& proc_entry) {
    DebugSignals out;
    auto status = read_file("/proc/" + proc_entry + "/status");
    if (!status) return out;
    out.examined = true;
    if (auto tracer = field_number(*status, "TracerPid:"); tracer && *tracer <= UINT32_MAX)
        out.tracer_pid = static_cast<uint32_t>(*tracer);
    return out;
}

std::optional<UtcTime> process_start_time(uint32_t pid) {
    if (pid == 0) return std::nullopt;
    auto text = read_file(proc_path(pid, "stat"));
    auto stat = text ? parse_stat(*text) : std::nullopt;
    auto system = read_file("/proc/stat");
    auto boot = system ? field_number(*system, "btime") : std::nullopt;
    long ticks = ::sysconf(_SC_CLK_TCK);
    if (!stat || !boot || ticks <= 0) return std::nullopt;
    time_t seconds = static_cast<time_t>(*boot + stat->starttime / static_cast<uint64_t>(ticks));
    tm civil{};
    if (!::gmtime_r(&seconds, &civil)) return std::nullopt;
    return UtcTime{static_cast<uint16_t>(civil.tm_year + 1900), static_cast<uint16_t>(civil.tm_mon + 1),
                   static_cast<uint16_t>(civil.tm_mday),         static_cast<uint16_t>(civil.tm_hour),
                   static_cast<uint16_t>(civil.tm_min),          static_cast<uint16_t>(civil.tm_sec)};
}

TokenIdentity token_identity(uint32_t pid) {
    TokenIdentity out;
    if (pid == 0) return out;
    auto status = read_file(proc_path(pid, "status"));
    auto uid = status ? field_number(*status, "Uid:") : std::nullopt;
    if (!uid || *uid > UINT32_MAX) return out;

    std::string user = std::to_string(*uid);
    std::vector<char> buffer(4096);
    for (;;) {
        passwd entry{};
        passwd* found = nullptr;
        int rc = ::getpwuid_r(static_cast<uid_t>(*uid), &entry, buffer.data(), buffer.size(), &found);
        if (rc == ERANGE && buffer.size() < (1u << 20)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (rc == 0 && found && found->pw_name && *found->pw_name) user = found->pw_name;
        break;
    }
    // Local accounts carry the computer's name as their domain.
    auto host = computer_name();
    out.account = (host ? *host : std::string()) + "\\" + user;
    out.integrity_rid = *uid == 0 ? 0x4000u : 0x2000u;
    return out;
}

}  // namespace ac::lx
