#include "platform/linux/posix_io.hpp"

#include <cerrno>
#include <climits>
#include <vector>

namespace ac::lx {

void UniqueFd::reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

UniqueFd open_at(int dir, const char* name, int flags) {
    int fd;
    do {
        fd = ::openat(dir, name, flags | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return UniqueFd(fd);
}

std::optional<std::string> read_all(int fd) {
    std::string out;
    char chunk[4096];
    for (;;) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (n == 0) return out;
        out.append(chunk, static_cast<size_t>(n));
    }
}

bool read_line_blocks(int fd, const std::function<void(std::string_view)>& lines) {
    std::string pending;
    std::string chunk(65536, '\0');
    for (;;) {
        ssize_t n = ::read(fd, chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        std::string_view piece(chunk.data(), static_cast<size_t>(n));
        size_t last = piece.rfind('\n');
        if (last == std::string_view::npos) {
            pending.append(piece);
            continue;
        }
        if (pending.empty()) {
            lines(piece.substr(0, last + 1));
        } else {
            pending.append(piece.substr(0, last + 1));
            lines(pending);
            pending.clear();
        }
        pending.append(piece.substr(last + 1));
    }
    if (!pending.empty()) lines(pending);
    return true;
}

std::optional<std::string> read_file_at(int dir, const char* name) {
    UniqueFd fd = open_at(dir, name, O_RDONLY);
    if (!fd) return std::nullopt;
    return read_all(fd.get());
}

std::optional<std::string> read_file(const std::string& path) { return read_file_at(AT_FDCWD, path.c_str()); }

std::optional<std::string> read_link_at(int dir, const char* name) {
    std::vector<char> buffer(256);
    for (;;) {
        ssize_t n = ::readlinkat(dir, name, buffer.data(), buffer.size());
        if (n < 0) return std::nullopt;
        if (static_cast<size_t>(n) < buffer.size()) return std::string(buffer.data(), static_cast<size_t>(n));
        if (buffer.size() >= PATH_MAX * 4) return std::nullopt;
        buffer.resize(buffer.size() * 2);
    }
}

std::optional<uint64_t> parse_unsigned(std::string_view text, int base) {
    if (base == 16 && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
    if (text.empty()) return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return std::nullopt;
        if (digit >= static_cast<unsigned>(base)) return std::nullopt;
        if (value > (UINT64_MAX - digit) / static_cast<uint64_t>(base)) return std::nullopt;
        value = value * static_cast<uint64_t>(base) + digit;
    }
    return value;
}

bool all_digits(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

}  // namespace ac::lx
