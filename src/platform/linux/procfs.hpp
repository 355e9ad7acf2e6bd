// Parsers for the text files of /proc. Pure functions over the file content,
// so they can be tested with crafted lines.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ac::lx {

// The fields of /proc/PID/stat the adapter uses.
struct StatLine {
    uint32_t pid = 0;
    std::string comm;
    char state = '?';
    uint32_t ppid = 0;
    uint32_t num_threads = 0;
    uint64_t starttime = 0;  // clock ticks after boot
};

// comm may hold spaces and ')' itself, so the fields start after the last ')'.
std::optional<StatLine> parse_stat(std::string_view text);

// One line of /proc/PID/maps.
struct MapsLine {
    uint64_t start = 0;
    uint64_t end = 0;
    bool read = false, write = false, exec = false, shared = false;
    uint64_t offset = 0;
    std::string device;  // "major:minor" as printed
    uint64_t inode = 0;
    std::string path;    // empty for anonymous memory; "[heap]", "[vdso]", ... for kernel-named ones

    // What lies behind the mapping. Shared anonymous memory, memfds and SysV
    // segments show up as paths too ("/dev/zero (deleted)", "/memfd:x
    // (deleted)"), but no file on disk stands behind them.
    enum class Backing { anonymous, shared_memory, file };
    Backing backing() const;
    bool file_backed() const { return backing() == Backing::file; }
};

// Malformed lines are skipped; the kernel prints the lines in address order.
std::vector<MapsLine> parse_maps(std::string_view text);

// The value of the line that starts with `key` (for example "TracerPid:" or
// "btime"), leading blanks removed, up to the end of that line.
std::optional<std::string_view> field_value(std::string_view text, std::string_view key);

// The first blank-separated word of that value as a number (base 8 for the
// fdinfo "flags:" line). A negative value (a pidfd of a reaped process shows
// "Pid: -1") is no number.
std::optional<uint64_t> field_number(std::string_view text, std::string_view key, int base = 10);

// The instruction pointer in /proc/PID/task/TID/syscall: its last field.
// "running" (the thread is on a CPU) gives nothing.
std::optional<uint64_t> syscall_instruction_pointer(std::string_view text);

class UniqueFd;

// The directory whose maps and exe describe the process open at `proc_dir`:
// that directory itself, or, once the main thread has ended while others run
// (its own view of the memory then reads empty), a thread still running.
UniqueFd memory_view_at(int proc_dir);

}  // namespace ac::lx
