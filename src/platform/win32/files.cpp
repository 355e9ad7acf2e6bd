// File facts, file reading, CryptoAPI MD5, the system and Windows
// directories, and version resources.

#include <atomic>
#include <cstdio>
#include <mutex>
#include <vector>

#include "platform/win32/win32_system.hpp"  // <windows.h> first: the headers below build on it

#include <wincrypt.h>

#include "evidence/version_text.hpp"

namespace ac::win32 {
namespace {

constexpr UINT kDirectoryBuffer = 260;

class Win32FileReader final : public FileReader {
public:
    explicit Win32FileReader(UniqueHandle h) : file_(std::move(h)) {}

    std::optional<size_t> read(void* buffer, size_t size) override {
        DWORD want = size > 0x7FFFFFFFu ? 0x7FFFFFFFu : static_cast<DWORD>(size);
        DWORD got = 0;
        if (!ReadFile(file_.get(), buffer, want, &got, nullptr)) return std::nullopt;
        return got;
    }

    std::optional<uint64_t> size() override {
        LARGE_INTEGER value = {};
        if (!GetFileSizeEx(file_.get(), &value)) return std::nullopt;
        return static_cast<uint64_t>(value.QuadPart);
    }

    bool seek(uint64_t offset) override {
        LARGE_INTEGER to = {};
        to.QuadPart = static_cast<LONGLONG>(offset);
        return SetFilePointerEx(file_.get(), to, nullptr, FILE_BEGIN) != FALSE;
    }

private:
    UniqueHandle file_;
};

// One provider context serves every digest: acquiring one costs more than
// hashing a small file, and a CRYPT_VERIFYCONTEXT context may be used from
// several threads at once (each digest still gets its own hash object). It
// is acquired on first use and kept for the life of the process: releasing
// it while the module unloads would call into advapi32 under the loader
// lock. A failed acquisition is not remembered, so the next digest retries.
HCRYPTPROV shared_provider() {
    static std::atomic<HCRYPTPROV> provider{0};
    static std::mutex acquiring;
    if (HCRYPTPROV ready = provider.load(std::memory_order_acquire)) return ready;
    std::lock_guard lock(acquiring);
    if (HCRYPTPROV ready = provider.load(std::memory_order_relaxed)) return ready;
    HCRYPTPROV acquired = 0;
    if (!CryptAcquireContextA(&acquired, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) return 0;
    provider.store(acquired, std::memory_order_release);
    return acquired;
}

// Owns its hash object, destroyed in every case.
class CryptoMd5 final : public Md5Hasher {
public:
    CryptoMd5() {
        HCRYPTPROV provider = shared_provider();
        if (provider && !CryptCreateHash(provider, CALG_MD5, 0, 0, &hash_)) hash_ = 0;
    }
    ~CryptoMd5() override {
        if (hash_) CryptDestroyHash(hash_);
    }
    CryptoMd5(const CryptoMd5&) = delete;
    CryptoMd5& operator=(const CryptoMd5&) = delete;

    bool ready() const { return hash_ != 0; }

    bool update(const void* data, size_t size) override {
        auto* bytes = static_cast<const BYTE*>(data);
        // CryptHashData takes a 32-bit length; larger inputs go in pieces.
        while (size > 0) {
            DWORD piece = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
            if (!CryptHashData(hash_, bytes, piece, 0)) return false;
            bytes += piece;
            size -= piece;
        }
        return true;
    }

    std::optional<std::array<uint8_t, 16>> finish() override {
        std::array<uint8_t, 16> digest = {};
        DWORD length = static_cast<DWORD>(digest.size());
        if (!CryptGetHashParam(hash_, HP_HASHVAL, digest.data(), &length, 0) || length != digest.size())
            return std::nullopt;
        return digest;
    }

private:
    HCRYPTHASH hash_ = 0;
};

// version.dll's entry points, from the system directory only (see
// load_system_library), resolved once.
struct VersionApi {
    decltype(&::GetFileVersionInfoSizeA) info_size = nullptr;
    decltype(&::GetFileVersionInfoA) info = nullptr;
    decltype(&::VerQueryValueA) query_value = nullptr;
    bool complete = false;
};

const VersionApi& version_api() {
    static const VersionApi api = [] {
        VersionApi a;
        HMODULE version = load_system_library(L"version.dll");
        a.complete = resolve(version, "GetFileVersionInfoSizeA", a.info_size) &&
                     resolve(version, "GetFileVersionInfoA", a.info) &&
                     resolve(version, "VerQueryValueA", a.query_value);
        return a;
    }();
    return api;
}

std::optional<std::string> directory_text(UINT (WINAPI* query)(LPSTR, UINT)) {
    char buffer[kDirectoryBuffer] = {};
    UINT n = query(buffer, kDirectoryBuffer);
    if (n < 1 || n > kDirectoryBuffer - 1) return std::nullopt;
    return std::string(buffer, n);
}

}  // namespace

FileFacts Win32System::file_facts(std::string_view path) {
    auto file = c_text(path);
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!file || !GetFileAttributesExA(file->c_str(), GetFileExInfoStandard, &data)) return {};
    FileFacts facts;
    facts.found = true;
    facts.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    facts.lastWriteTime = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                          data.ftLastWriteTime.dwLowDateTime;
    return facts;
}

std::unique_ptr<FileReader> Win32System::open_file(std::string_view path) {
    auto file = c_text(path);
    if (!file) return nullptr;
    HANDLE h = CreateFileA(file->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    UniqueHandle owned(h);
    // Only disk files: a pipe or console read could wait forever.
    if (GetFileType(owned.get()) != FILE_TYPE_DISK) return nullptr;
    return std::make_unique<Win32FileReader>(std::move(owned));
}

std::unique_ptr<Md5Hasher> Win32System::md5() {
    auto hasher = std::make_unique<CryptoMd5>();
    if (!hasher->ready()) return nullptr;
    return hasher;
}

std::optional<std::string> Win32System::system_directory_raw() { return directory_text(GetSystemDirectoryA); }

std::optional<std::string> Win32System::windows_directory_raw() { return directory_text(GetWindowsDirectoryA); }

std::string Win32System::version_string(std::string_view path, std::string_view name) {
    auto file = c_text(path);
    auto key = c_text(name);
    const VersionApi& api = version_api();
    if (!file || !key || !api.complete) return {};
    DWORD ignored = 0;
    DWORD size = api.info_size(file->c_str(), &ignored);
    if (size == 0) return {};
    std::vector<uint8_t> block(size, 0);
    if (!api.info(file->c_str(), 0, size, block.data())) return {};

    void* translation = nullptr;
    UINT length = 0;
    if (!api.query_value(block.data(), "\\VarFileInfo\\Translation", &translation, &length) || length < 4 ||
        !translation)
        return {};
    const auto* pair = static_cast<const WORD*>(translation);
    auto sub_block = version_query_key(pair[0], pair[1], *key);
    if (!sub_block) return {};

    void* value = nullptr;
    UINT value_length = 0;
    if (!api.query_value(block.data(), sub_block->c_str(), &value, &value_length) || !value || value_length == 0)
        return {};
    return version_value_text(block, value, value_length);
}

}  // namespace ac::win32
