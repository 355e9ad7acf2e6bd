#include "platform/linux/vma_query.hpp"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <mutex>
#include <unordered_set>

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

// Files already seen to be regular, by device and inode. A type never
// changes, and an inode that a mapping holds is alive, so its number names
// the same file while anything maps it; looking through map_files costs
// several microseconds a mapping, a set lookup nanoseconds.
class RegularFiles {
public:
    bool contains(const ProcmapQuery& q) {
        std::lock_guard lock(mutex_);
        return files_.contains(key(q));
    }
    void add(const ProcmapQuery& q) {
        std::lock_guard lock(mutex_);
        if (files_.size() >= kLimit) files_.clear();
        files_.insert(key(q));
    }

private:
    struct Key {
        uint64_t device;
        uint64_t inode;
        bool operator==(const Key&) const = default;
    };
    struct Hash {
        size_t operator()(const Key& k) const { return std::hash<uint64_t>()(k.inode * 0x9e3779b97f4a7c15ull ^ k.device); }
    };
    static Key key(const ProcmapQuery& q) { return {uint64_t{q.dev_major} << 32 | q.dev_minor, q.inode}; }
    static constexpr size_t kLimit = 8192;
    std::mutex mutex_;
    std::unordered_set<Key, Hash> files_;
};

RegularFiles& regular_files() {
    static RegularFiles files;
    return files;
}

bool regular_file_behind(int proc_dir, const ProcmapQuery& q) {
    if (regular_files().contains(q)) return true;
    char name[64];
    std::snprintf(name, sizeof name, "map_files/%" PRIx64 "-%" PRIx64, q.vma_start, q.vma_end);
    struct statx st {};
    // Cached attributes: a network or FUSE server is never asked.
    if (::statx(proc_dir, name, AT_STATX_DONT_SYNC, STATX_TYPE | STATX_INO, &st) != 0) return false;
    bool regular = (st.stx_mask & STATX_TYPE) && S_ISREG(st.stx_mode) && (st.stx_mask & STATX_INO) &&
                   st.stx_ino == q.inode && st.stx_dev_major == q.dev_major && st.stx_dev_minor == q.dev_minor;
    if (regular) regular_files().add(q);
    return regular;
}

}  // namespace

bool only_disk_files(int maps_fd, int proc_dir, uint64_t address, size_t size) {
    const uint64_t end = address + size < address ? UINT64_MAX : address + size;
    ProcmapQuery q;
    for (uint64_t at = address; at < end; at = q.vma_end) {
        if (!query(maps_fd, at, q)) return errno == ENOENT;  // nothing mapped at or above `at`
        if (q.vma_start >= end) return true;
        if (q.inode == 0 || q.dev_major == 0 || !regular_file_behind(proc_dir, q)) return false;
    }
    return true;
}

}  // namespace ac::lx
