// Small RAII and read helpers over raw descriptors, shared by the Linux adapter.
// Every helper reports failure as an empty optional; errno is left as the
// failing call set it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace ac::lx {

// Owns one file descriptor; closes it on destruction.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = other.release();
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1);

private:
    int fd_ = -1;
};

// openat(dir, name, flags | O_CLOEXEC), retried on EINTR. dir may be AT_FDCWD.
UniqueFd open_at(int dir, const char* name, int flags);

// The whole content of a (small, usually virtual) file; nullopt on any error.
std::optional<std::string> read_all(int fd);
std::optional<std::string> read_file_at(int dir, const char* name);
std::optional<std::string> read_file(const std::string& path);

// Reads to the end in 64 KiB pieces and hands `lines` each run of whole
// lines (the last one may lack its newline), so a file of tens of thousands
// of lines is never held whole; false on a read error.
bool read_line_blocks(int fd, const std::function<void(std::string_view)>& lines);

// readlinkat without a length limit; nullopt on failure.
std::optional<std::string> read_link_at(int dir, const char* name);

// A directory stream over an open directory descriptor; calls `visit` with
// each entry name except "." and "..".
template <class Visit>
void for_each_entry(int dir_fd, Visit&& visit);

// Parses an unsigned decimal (or, with base 16, hexadecimal; a "0x" prefix is
// accepted) number filling the whole text.
std::optional<uint64_t> parse_unsigned(std::string_view text, int base = 10);

// True when the text is a non-empty run of decimal digits (a /proc pid entry).
bool all_digits(std::string_view text);

}  // namespace ac::lx

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <memory>

namespace ac::lx {

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

template <class Visit>
void for_each_entry(int dir_fd, Visit&& visit) {
    // fdopendir takes ownership of the descriptor, so hand it a duplicate.
    UniqueFd dup_fd(fcntl(dir_fd, F_DUPFD_CLOEXEC, 0));
    if (!dup_fd) return;
    std::unique_ptr<DIR, DirCloser> dir(fdopendir(dup_fd.get()));
    if (!dir) return;
    dup_fd.release();
    rewinddir(dir.get());
    while (dirent* entry = readdir(dir.get())) {
        std::string_view name(entry->d_name);
        if (name == "." || name == "..") continue;
        visit(name);
    }
}

}  // namespace ac::lx
