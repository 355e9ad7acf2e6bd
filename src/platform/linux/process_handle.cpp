// OpenProcess on Linux: a pidfd (the handle value the handle list shows), the
// /proc/PID directory (so later reads reach this process even if its pid is
// reused) and, for memory access, an open /proc/PID/mem.
#include <poll.h>
#include <sys/syscall.h>
#include <sys/uio.h>

#include <cerrno>
#include <string>

#include "platform/linux/address_space.hpp"
#include "platform/linux/linux_adapter.hpp"
#include "platform/linux/posix_io.hpp"
#include "platform/linux/procfs.hpp"
#include "platform/linux/vma_query.hpp"

namespace ac::lx {
namespace {

constexpr uint32_t kMemoryAccess = win::PROCESS_VM_READ | win::PROCESS_QUERY_INFORMATION;
// The longest path the Windows call gives (its largest buffer, terminator
// included); it starts at 1,040 characters and grows, so longer paths fit.
constexpr size_t kImagePathLimit = 32768;

// A pidfd polls readable once its process has exited.
bool has_exited(int pidfd) {
    pollfd p{pidfd, POLLIN, 0};
    int n;
    do {
        n = ::poll(&p, 1, 0);
    } while (n < 0 && errno == EINTR);
    return n > 0 && (p.revents & (POLLIN | POLLHUP));
}

// Signal 0 checks existence only; a zombie still answers, a reaped process
// gives ESRCH (EPERM still means it exists).
bool still_unreaped(int pidfd) {
    return ::syscall(SYS_pidfd_send_signal, pidfd, 0, nullptr, 0u) == 0 || errno != ESRCH;
}

class LinuxProcessHandle final : public ProcessHandle {
public:
    LinuxProcessHandle(uint32_t pid, uint32_t access, UniqueFd pidfd, UniqueFd dir, UniqueFd mem)
        : pid_(pid), access_(access), pidfd_(std::move(pidfd)), dir_(std::move(dir)), mem_(std::move(mem)) {}

    uint64_t value() const override { return static_cast<uint64_t>(pidfd_.get()); }

    std::optional<uint32_t> exit_code() override {
        if (auto text = read_file_at(dir_.get(), "stat")) {
            // The stat line is the main thread's: a main thread that ended
            // while others run is a zombie in a live process, which only
            // the pidfd tells apart.
            if (auto stat = parse_stat(*text))
                return (stat->state == 'Z' || stat->state == 'X') && has_exited(pidfd_.get()) ? 0u : win::STILL_ACTIVE;
        }
        // Reaped: /proc no longer knows it, but the pidfd still tells it ended.
        if (has_exited(pidfd_.get())) return 0u;
        return std::nullopt;
    }

    std::optional<std::string> image_path() override {
        auto path = read_link_at(dir_.get(), "exe");
        if (!path) path = read_link_at(memory_view_at(dir_.get()).get(), "exe");  // the main thread may have ended
        return image_path_from_link(std::move(path));
    }

    // exe reaches the image's bytes even when its name was deleted or now
    // names something else.
    std::string image_content_path() override {
        uint32_t thread = 0;
        memory_view_at(dir_.get(), &thread);
        return "/proc/" + std::to_string(thread ? thread : pid_) + "/exe";
    }

    std::optional<MemoryRegion> query_region(uint64_t address) override {
        if (!mem_) return std::nullopt;  // opened without query access
        // A walk asks at rising addresses over one snapshot of the maps; a
        // lower address starts a new walk over a fresh snapshot.
        if (!space_ || address < last_query_) {
            space_.reset();
            watched_.reset();
            auto lines = read_maps_at(memory_view_at(dir_.get()).get());
            if (!lines) return std::nullopt;
            space_.emplace(*lines);
        }
        last_query_ = address;
        return space_->query(address);
    }

    ReadResult read_memory(uint64_t address, void* buffer, size_t size) override {
        if (!(access_ & win::PROCESS_VM_READ) || !mem_) return {};
        if (size == 0) return {true, 0};
        // A page that userfaultfd watches would hold the read until the target
        // serves the fault, which it need never do: stop short of it.
        const size_t wanted = size;
        size = readable_before_watched(address, size);
        if (size == 0) return {};
        iovec local{buffer, size};
        iovec remote{reinterpret_cast<void*>(address), size};
        ssize_t n = ::process_vm_readv(static_cast<pid_t>(pid_), &local, 1, &remote, 1, 0);
        // ESRCH: the main thread has ended (it is what the pid names) while
        // others run on; mem still reaches the process's memory.
        if (n < 0 && (errno == ENOSYS || errno == EPERM || errno == ESRCH)) n = read_through_mem(address, buffer, size);
        if (n <= 0) return {};
        // process_vm_readv names the process by pid; if ours has gone the pid
        // may now belong to another process, so its bytes are not ours.
        if (has_exited(pidfd_.get())) return {};
        size_t copied = static_cast<size_t>(n);
        return {copied == wanted, copied};
    }

private:
    // How many of `size` bytes from `address` lie before the first watched
    // page; 0 as well when the watched ranges cannot be read.
    size_t readable_before_watched(uint64_t address, size_t size) {
        // Most reads land in a module's file mapping, where the kernel can say
        // so at once; the rest wait for smaps.
        if (!maps_) maps_ = open_at(memory_view_at(dir_.get()).get(), "maps", O_RDONLY);
        if (maps_->get() >= 0 && only_disk_files(maps_->get(), dir_.get(), pid_, address, size)) return size;
        if (!watched_) {
            watched_ = watched_ranges();
            if (!watched_) return 0;
        }
        uint64_t end = address + size < address ? UINT64_MAX : address + size;
        for (const AddressRange& r : *watched_) {
            if (r.start >= end || r.end <= address) continue;
            if (r.start <= address) return 0;
            end = r.start;
        }
        return static_cast<size_t>(end - address);
    }

    ssize_t read_through_mem(uint64_t address, void* buffer, size_t size) {
        if (address > static_cast<uint64_t>(INT64_MAX)) return -1;
        size_t done = 0;
        while (done < size) {
            ssize_t n = ::pread(mem_.get(), static_cast<char*>(buffer) + done, size - done,
                                static_cast<off_t>(address + done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        return done ? static_cast<ssize_t>(done) : -1;
    }

    // smaps runs to about a kilobyte per mapping, so it is read in pieces.
    std::optional<std::vector<AddressRange>> watched_ranges() {
        UniqueFd smaps = open_at(memory_view_at(dir_.get()).get(), "smaps", O_RDONLY);
        if (!smaps) return std::nullopt;
        UserfaultfdScan scan;
        if (!read_line_blocks(smaps.get(), [&](std::string_view lines) { scan.feed(lines); })) return std::nullopt;
        return scan.ranges();
    }

    uint32_t pid_;
    uint32_t access_;
    UniqueFd pidfd_;
    UniqueFd dir_;
    UniqueFd mem_;
    std::optional<AddressSpace> space_;
    std::optional<UniqueFd> maps_;  // asked mapping by mapping before a read; opened once
    std::optional<std::vector<AddressRange>> watched_;  // read with the first memory read of a walk that needs it
    uint64_t last_query_ = 0;
};

}  // namespace

std::optional<std::string> image_path_from_link(std::optional<std::string> link) {
    if (!link || link->empty() || link->size() >= kImagePathLimit) return std::nullopt;
    return link;
}

std::unique_ptr<ProcessHandle> open_process(uint32_t pid, uint32_t access) {
    if (pid == 0 || pid > INT32_MAX) return nullptr;
    UniqueFd pidfd(static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0u)));
    if (!pidfd) return nullptr;
    std::string dir_path = "/proc/" + std::to_string(pid);
    UniqueFd dir = open_at(AT_FDCWD, dir_path.c_str(), O_RDONLY | O_DIRECTORY);
    if (!dir) return nullptr;
    UniqueFd mem;
    if (access & kMemoryAccess) {
        // Opening mem passes the same ptrace read check that reading needs.
        // Once the main thread has ended only a running thread's mem opens.
        mem = open_at(memory_view_at(dir.get()).get(), "mem", O_RDONLY);
        if (!mem) return nullptr;
    }
    // The directory was opened by pid: had the process been reaped after
    // pidfd_open, it (and mem) could belong to a new process with the same
    // pid. A pid is not reused before reaping, so an unreaped process now
    // means the directory is ours.
    if (!still_unreaped(pidfd.get())) return nullptr;
    return std::make_unique<LinuxProcessHandle>(pid, access, std::move(pidfd), std::move(dir), std::move(mem));
}

}  // namespace ac::lx
