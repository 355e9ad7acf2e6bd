// Files, MD5 and the ANSI code page: stat, plain reads, OpenSSL's EVP MD5 and
// iconv with Windows-1252 standing in for the system ANSI code page.
#include <iconv.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <sys/statfs.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/linux/linux_adapter.hpp"
#include "platform/linux/posix_io.hpp"
#include "platform/linux/vma_query.hpp"

namespace ac::lx {
namespace {

constexpr int64_t kUnixEpochInFiletimeSeconds = 11644473600;  // 1601-01-01 to 1970-01-01
constexpr int64_t kTicksPerSecond = 10000000;                  // FILETIME counts 100 ns

class FdReader final : public FileReader {
public:
    explicit FdReader(UniqueFd fd) : fd_(std::move(fd)) {}

    std::optional<size_t> read(void* buffer, size_t size) override {
        for (;;) {
            ssize_t n = ::read(fd_.get(), buffer, size);
            if (n >= 0) return static_cast<size_t>(n);
            if (errno != EINTR) return std::nullopt;
        }
    }
    std::optional<uint64_t> size() override {
        struct stat st{};
        if (::fstat(fd_.get(), &st) != 0) return std::nullopt;
        return static_cast<uint64_t>(st.st_size);
    }
    bool seek(uint64_t offset) override {
        if (offset > static_cast<uint64_t>(INT64_MAX)) return false;
        return ::lseek(fd_.get(), static_cast<off_t>(offset), SEEK_SET) >= 0;
    }

private:
    UniqueFd fd_;
};

class EvpMd5 final : public Md5Hasher {
public:
    EvpMd5() : ctx_(EVP_MD_CTX_new()) {}
    ~EvpMd5() override { EVP_MD_CTX_free(ctx_); }
    EvpMd5(const EvpMd5&) = delete;
    EvpMd5& operator=(const EvpMd5&) = delete;

    bool start() { return ctx_ && EVP_DigestInit_ex(ctx_, EVP_md5(), nullptr) == 1; }

    bool update(const void* data, size_t size) override {
        // Like a CryptoAPI hash, a finished digest takes no more data.
        if (digest_) return false;
        return size == 0 || EVP_DigestUpdate(ctx_, data, size) == 1;
    }
    std::optional<std::array<uint8_t, 16>> finish() override {
        if (!digest_) {
            std::array<uint8_t, 16> value{};
            unsigned int length = 0;
            if (EVP_DigestFinal_ex(ctx_, value.data(), &length) != 1 || length != value.size()) return std::nullopt;
            digest_ = value;
        }
        return digest_;
    }

private:
    EVP_MD_CTX* ctx_;
    std::optional<std::array<uint8_t, 16>> digest_;
};

// One conversion descriptor per direction and thread, reset before each use.
class Iconv {
public:
    Iconv(const char* to, const char* from) : cd_(::iconv_open(to, from)) {}
    ~Iconv() {
        if (valid()) ::iconv_close(cd_);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    // The converted bytes; nullopt on any invalid or incomplete input.
    std::optional<std::string> convert(const char* input, size_t length) {
        if (!valid()) return std::nullopt;
        ::iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        std::string out(length * 3 + 16, '\0');
        char* in = const_cast<char*>(input);
        size_t in_left = length;
        size_t used = 0;
        for (bool flushing = false;;) {
            char* dst = out.data() + used;
            size_t dst_left = out.size() - used;
            size_t rc = flushing ? ::iconv(cd_, nullptr, nullptr, &dst, &dst_left)
                                 : ::iconv(cd_, &in, &in_left, &dst, &dst_left);
            used = out.size() - dst_left;
            if (rc != static_cast<size_t>(-1)) {
                if (flushing) break;
                flushing = true;
                continue;
            }
            if (errno != E2BIG) return std::nullopt;
            out.resize(out.size() * 2);
        }
        out.resize(used);
        return out;
    }

private:
    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t cd_;
};

}  // namespace

uint64_t filetime_from_unix(int64_t seconds, int64_t nanoseconds) {
    // Times before 1601 have no FILETIME; clamp instead of wrapping.
    if (seconds < -kUnixEpochInFiletimeSeconds) return 0;
    uint64_t since_1601 = static_cast<uint64_t>(seconds + kUnixEpochInFiletimeSeconds);
    if (since_1601 > UINT64_MAX / kTicksPerSecond - 1) return UINT64_MAX;
    return since_1601 * kTicksPerSecond + static_cast<uint64_t>(nanoseconds / 100);
}

namespace {
// A path with a NUL inside would name a different, shorter path.
bool names_one_path(std::string_view path) { return !path.empty() && path.find('\0') == std::string_view::npos; }

// Filesystems whose regular files are kernel interfaces, not stored bytes:
// reads may never end (pagemap, kcore), block (trace_pipe, rpc pipes) or act.
constexpr uint64_t kPseudoFilesystems[] = {
    0x9fa0,      // proc
    0x62656572,  // sysfs
    0x64626720,  // debugfs
    0x74726163,  // tracefs
    0x73636673,  // securityfs
    0x27e0eb,    // cgroup
    0x63677270,  // cgroup2
    0xcafe4a11,  // bpf
    0x62656570,  // configfs
    0x6165676c,  // pstore
    0xde5e81e4,  // efivarfs
    0x65735543,  // fusectl
    0x42494e4d,  // binfmt_misc
    0xf97cff8c,  // selinuxfs
    0x43415d53,  // smackfs
    0x1cd1,      // devpts
    0x19800202,  // mqueue
    0x67596969,  // rpc_pipefs
    0x6e667364,  // nfsd
    0x09041934,  // anonymous inodes
    0x50494446,  // pidfs
    0x6e736673,  // nsfs
    0x444d4142,  // dma-buf
    0x5345434d,  // secretmem
    0x50495045,  // pipefs
    0x534f434b,  // sockfs
};

bool is_pseudo_filesystem(int fd) {
    struct statfs fs{};
    if (::fstatfs(fd, &fs) != 0) return true;
    for (auto magic : kPseudoFilesystems)
        if (static_cast<uint64_t>(fs.f_type) == magic) return true;
    return false;
}
}  // namespace

FileFacts file_facts(std::string_view path) {
    struct stat st{};
    if (!names_one_path(path) || ::stat(std::string(path).c_str(), &st) != 0) return {};
    remember_map_files_stat(path, st);
    // Windows reports no size for a directory.
    uint64_t size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
    return {true, size, filetime_from_unix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec)};
}

std::unique_ptr<FileReader> open_file(std::string_view path) {
    if (!names_one_path(path)) return nullptr;
    // O_PATH resolves the name (a /proc magic link included) to its inode
    // without opening it, so no device driver's open runs and no FIFO waits
    // while the inode is judged: a regular file on a filesystem that stores
    // files. The inode judged is then opened through the descriptor, so a
    // swapped name cannot slip another file in.
    UniqueFd where = open_at(AT_FDCWD, std::string(path).c_str(), O_PATH);
    if (!where) return nullptr;
    struct stat judged{};
    if (::fstat(where.get(), &judged) != 0 || !S_ISREG(judged.st_mode) || is_pseudo_filesystem(where.get()))
        return nullptr;
    const std::string reopen = "/proc/self/fd/" + std::to_string(where.get());
    UniqueFd fd = open_at(AT_FDCWD, reopen.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY);
    struct stat opened{};
    if (!fd || ::fstat(fd.get(), &opened) != 0 || opened.st_dev != judged.st_dev || opened.st_ino != judged.st_ino)
        return nullptr;
    int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return nullptr;
    return std::make_unique<FdReader>(std::move(fd));
}

std::unique_ptr<Md5Hasher> md5() {
    auto hasher = std::make_unique<EvpMd5>();
    if (!hasher->start()) return nullptr;
    return hasher;
}

std::optional<std::u16string> ansi_to_wide(std::string_view text) {
    if (text.empty()) return std::nullopt;
    thread_local Iconv to_wide("UTF-16LE", "WINDOWS-1252");
    auto bytes = to_wide.convert(text.data(), text.size());
    if (!bytes || bytes->empty() || bytes->size() % 2) return std::nullopt;
    std::u16string out(bytes->size() / 2, u'\0');
    std::memcpy(out.data(), bytes->data(), bytes->size());
    return out;
}

std::optional<std::string> wide_to_utf8(std::u16string_view text) {
    if (text.empty()) return std::nullopt;
    thread_local Iconv to_utf8("UTF-8", "UTF-16LE");
    auto out = to_utf8.convert(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t));
    if (!out || out->empty()) return std::nullopt;
    return out;
}

}  // namespace ac::lx
