// The Win32 adapter: the port's operations as exact Win32 call sequences.
// The class is declared once here and its methods are defined by concern in
// the neighbouring files (processes, memory, files, text, trust, handles,
// machine, token and windows).
#pragma once

// The port first: its Windows-named constants would collide with the macros
// of <windows.h> if the macros were defined before them.
#include "platform/system.hpp"

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace ac::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 texts are passed to the wide calls as they are");

// An owned kernel handle, closed with CloseHandle. Both null and
// INVALID_HANDLE_VALUE count as "no handle" since Win32 uses either.
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE h) : h_(h) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : h_(std::exchange(other.h_, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset();
            h_ = std::exchange(other.h_, nullptr);
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    HANDLE get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
    void reset() {
        if (*this) CloseHandle(h_);
        h_ = nullptr;
    }

private:
    HANDLE h_ = nullptr;
};

// A NUL-terminated copy for the ANSI calls, which take C strings. A text
// with a NUL inside would name a different, shorter path: nullopt.
inline std::optional<std::string> c_text(std::string_view text) {
    if (text.find('\0') != std::string_view::npos) return std::nullopt;
    return std::string(text);
}

// Bytes of a fixed-size ANSI field up to its first NUL (never past the field).
template <size_t N>
std::string field_text(const char (&field)[N]) {
    size_t n = 0;
    while (n < N && field[n]) ++n;
    return std::string(field, n);
}

inline const wchar_t* wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

// ntdll entry points are not in the import libraries' stable set, so they
// are looked up at run time in the already loaded ntdll.dll.
FARPROC ntdll_proc(const char* name);

// A looked-up entry point as its real type (through void(*)(), the generic
// function pointer type).
template <typename Fn>
Fn function_cast(FARPROC proc) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
}

// A system DLL from the system directory only. The module's own folder (and
// the host's) come first in the default search order, and wintrust, crypt32
// and version are no KnownDLLs, so a copy planted there would load into the
// anti-cheat. They are therefore never import-linked either: their entry
// points are looked up in the module this gives.
inline HMODULE load_system_library(const wchar_t* name) {
    return LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// Looks `name` up in `module` into `out`; false (and `out` null) when absent.
template <typename Fn>
bool resolve(HMODULE module, const char* name, Fn& out) {
    out = module ? function_cast<Fn>(GetProcAddress(module, name)) : nullptr;
    return out != nullptr;
}

// An NT path ("\\Device\\HarddiskVolume3\\x", "\\??\\C:\\x") in the Win32 form
// ("C:\\x") through the drive letters' device names; nullopt for anything else.
std::optional<std::wstring> win32_path_of(std::wstring_view nt_path);

// Uppercase hexadecimal of a catalog hash as UTF-16: the member tag that
// catalogs file their members under.
std::u16string catalog_member_tag(const uint8_t* hash, size_t size);

class Win32System final : public System {
public:
    Win32System();

    // session, processes and threads (processes.cpp)
    void enable_debug_privilege() override;
    uint32_t current_pid() override;
    std::unique_ptr<ProcessHandle> open_process(uint32_t pid, uint32_t access) override;
    std::optional<std::vector<ProcessEntry>> process_snapshot() override;
    std::optional<std::vector<ThreadEntry>> thread_snapshot() override;
    std::optional<std::vector<ModuleEntry>> module_snapshot(uint32_t pid) override;
    std::optional<uint64_t> thread_start_address(uint32_t pid, uint32_t tid) override;
    DebugSignals debug_signals(uint32_t pid) override;
    DebugSignals host_debug_signals() override;
    std::optional<UtcTime> process_start_time(uint32_t pid) override;

    // token and windows (token_windows.cpp)
    TokenIdentity token_identity(uint32_t pid) override;
    void enum_windows(const std::function<bool(WindowRef&)>& callback) override;

    // system handle list (handles.cpp)
    bool ntdll_loaded() override;
    bool handle_query_available() override;
    HandleQuery query_system_handles() override;
    bool handle_refers_to(ProcessHandle& holder, uint64_t handle_value, const ProcessHandle& own,
                          uint32_t target_pid) override;
    std::optional<std::string> image_path_unopened(uint32_t pid) override;

    // files, digests, directories, version resources (files.cpp)
    FileFacts file_facts(std::string_view path) override;
    std::unique_ptr<FileReader> open_file(std::string_view path) override;
    std::unique_ptr<Md5Hasher> md5() override;
    std::optional<std::string> system_directory_raw() override;
    std::optional<std::string> windows_directory_raw() override;
    std::string version_string(std::string_view path, std::string_view name) override;

    // text conversion (text.cpp)
    std::optional<std::u16string> ansi_to_wide(std::string_view text) override;
    std::optional<std::string> wide_to_utf8(std::u16string_view text) override;

    // signatures (trust.cpp)
    bool trust_provider_available() override;
    EmbeddedTrust trust_embedded(const std::u16string& path) override;
    CatalogTrust trust_catalog(const std::u16string& path, const std::u16string* algorithm) override;
    CatalogTrust trust_catalog_legacy(const std::u16string& path) override;

    // machine and telemetry (machine.cpp)
    std::optional<uint32_t> volume_serial_c() override;
    std::optional<std::string> computer_name() override;
    std::array<uint32_t, 4> cpuid0() override;
    std::optional<std::string> display_adapter() override;
    std::optional<DisplayMode> display_mode() override;
    std::optional<uint8_t> ac_line_status() override;
};

}  // namespace ac::win32
