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
// A newline in a path, which maps prints as "\012", is given back as one.
std::vector<MapsLine> parse_maps(std::string_view text);
// The same over a piece of the file that ends at a line end, appended to
// `out`; with `files_only`, only mappings of files on disk are kept.
void append_maps_lines(std::string_view text, std::vector<MapsLine>& out, bool files_only = false);
// The maps file in `proc_dir` (a /proc/PID or task directory), read piece by
// piece; nullopt when it cannot be opened or read.
std::optional<std::vector<MapsLine>> read_maps_at(int proc_dir, bool files_only = false);

// The address ranges [start, end) of /proc/PID/smaps whose VmFlags show a
// userfaultfd registration ("um" missing pages, "uw" write-protect, "ui"
// minor faults): touching such a page may wait for the owner for ever.
struct AddressRange {
    uint64_t start = 0;
    uint64_t end = 0;
    bool operator==(const AddressRange&) const = default;
};
std::vector<AddressRange> userfaultfd_ranges(std::string_view smaps);

// The same over smaps fed in pieces that end at line ends, so a process with
// tens of thousands of mappings need not be held whole.
class UserfaultfdScan {
public:
    void feed(std::string_view lines);
    const std::vector<AddressRange>& ranges() const { return ranges_; }

private:
    std::optional<AddressRange> current_;
    std::vector<AddressRange> ranges_;
};

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

// The directory whose maps, mem and exe describe the process open at
// `proc_dir`: that directory itself, or, once the main thread has ended while
// others run (its own view of the memory then reads empty), a thread still
// running. `thread` receives that thread's id, 0 when none stands in.
UniqueFd memory_view_at(int proc_dir, uint32_t* thread = nullptr);

}  // namespace ac::lx
