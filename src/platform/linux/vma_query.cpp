#include "platform/linux/vma_query.hpp"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <sys/sysmacros.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

namespace ac::lx {
namespace {

// The kernel's layout; the headers of older systems lack it.
struct ProcmapQuery {
    uint64_t size;
    uint64_t query_flags;
    uint64_t query_addr;
    uint64_t vma_start;
    uint64_t vma_end;
    uint64_t vma_flags;
    uint64_t vma_page_size;
    uint64_t vma_offset;
    uint64_t inode;
    uint32_t dev_major;
    uint32_t dev_minor;
    uint32_t vma_name_size;
    uint32_t build_id_size;
    uint64_t vma_name_addr;
    uint64_t build_id_addr;
};
static_assert(sizeof(ProcmapQuery) == 104);

constexpr unsigned long kProcmapQuery = _IOWR('f', 17, ProcmapQuery);
constexpr uint64_t kCoveringOrNextVma = 0x10;

// The first mapping at or above `address`; false with errno set when there
// is none (ENOENT) or no answer.
bool query(int maps_fd, uint64_t address, ProcmapQuery& q) {
    q = ProcmapQuery{};
    q.size = sizeof q;
    q.query_flags = kCoveringOrNextVma;
    q.query_addr = address;
    int rc;
    do {
        rc = ::ioctl(maps_fd, kProcmapQuery, &q);
    } while (rc < 0 && errno == EINTR);
    if (rc == 0 && q.vma_end <= address) {  // never seen; it would stall the walk
        errno = EINVAL;
        return false;
    }
    return rc == 0;
}

struct RecentStat {
    std::string path;
    dev_t device = 0;
    ino_t inode = 0;
    bool regular = false;
    std::chrono::steady_clock::time_point when;
};
// Long enough for one module's inspection, from its facts to its code read;
// too short for any later call to see.
constexpr auto kRecent = std::chrono::milliseconds(100);
thread_local std::array<RecentStat, 4> recent_stats;
thread_local size_t next_recent = 0;

// The latest stat of `path`, if recent, must say regular and name the file
// that the kernel says the mapping holds.
bool recently_regular(std::string_view path, const ProcmapQuery& q) {
    const auto now = std::chrono::steady_clock::now();
    const RecentStat* latest = nullptr;
    for (const RecentStat& r : recent_stats)
        if (r.path == path && now - r.when < kRecent && (!latest || r.when > latest->when)) latest = &r;
    return latest && latest->regular && major(latest->device) == q.dev_major &&
           minor(latest->device) == q.dev_minor && latest->inode == q.inode;
}

bool regular_file_behind(int proc_dir, uint32_t pid, const ProcmapQuery& q) {
    char path[96];
    int n = std::snprintf(path, sizeof path, "/proc/%u/map_files/%" PRIx64 "-%" PRIx64, pid, q.vma_start, q.vma_end);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof path) return false;
    if (recently_regular(std::string_view(path, static_cast<size_t>(n)), q)) return true;
    const char* entry = std::strstr(path, "map_files/");
    struct statx st {};
    // Cached attributes: a network or FUSE server is never asked.
    if (::statx(proc_dir, entry, AT_STATX_DONT_SYNC, STATX_TYPE | STATX_INO, &st) != 0) return false;
    return (st.stx_mask & STATX_TYPE) && S_ISREG(st.stx_mode) && (st.stx_mask & STATX_INO) &&
           st.stx_ino == q.inode && st.stx_dev_major == q.dev_major && st.stx_dev_minor == q.dev_minor;
}

}  // namespace

void remember_map_files_stat(std::string_view path, const struct stat& st) {
    if (path.find("/map_files/") == std::string_view::npos) return;
    RecentStat& r = recent_stats[next_recent++ % recent_stats.size()];
    r.path.assign(path);
    r.device = st.st_dev;
    r.inode = st.st_ino;
    r.regular = S_ISREG(st.st_mode);
    r.when = std::chrono::steady_clock::now();
}

bool only_disk_files(int maps_fd, int proc_dir, uint32_t pid, uint64_t address, size_t size) {
    const uint64_t end = address + size < address ? UINT64_MAX : address + size;
    ProcmapQuery q;
    for (uint64_t at = address; at < end; at = q.vma_end) {
        if (!query(maps_fd, at, q)) return errno == ENOENT;  // nothing mapped at or above `at`
        if (q.vma_start >= end) return true;
        if (q.inode == 0 || q.dev_major == 0 || !regular_file_behind(proc_dir, pid, q)) return false;
    }
    return true;
}

}  // namespace ac::lx
