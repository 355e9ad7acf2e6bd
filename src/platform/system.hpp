// The operating-system port. Portable code talks to the machine only through
// `System`; each build links one adapter (win32/ or linux/) and the unit tests
// install a scripted fake with `ScopedSystemOverride`.
//
// Values are Windows-shaped so portable code never branches on the OS: access
// masks are PROCESS_*, memory types MEM_*, protections PAGE_*, times FILETIME.
// A failed call is an empty optional, false or a status value; only allocation
// failure escapes as an exception.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ac {

// Windows constants that cross the port, spelled out so no header is needed.
namespace win {
inline constexpr uint32_t PROCESS_TERMINATE = 0x0001;
inline constexpr uint32_t PROCESS_CREATE_THREAD = 0x0002;
inline constexpr uint32_t PROCESS_VM_OPERATION = 0x0008;
inline constexpr uint32_t PROCESS_VM_READ = 0x0010;
inline constexpr uint32_t PROCESS_VM_WRITE = 0x0020;
inline constexpr uint32_t PROCESS_DUP_HANDLE = 0x0040;
inline constexpr uint32_t PROCESS_CREATE_PROCESS = 0x0080;
inline constexpr uint32_t PROCESS_SET_QUOTA = 0x0100;
inline constexpr uint32_t PROCESS_SET_INFORMATION = 0x0200;
inline constexpr uint32_t PROCESS_QUERY_INFORMATION = 0x0400;
inline constexpr uint32_t PROCESS_SUSPEND_RESUME = 0x0800;
inline constexpr uint32_t PROCESS_QUERY_LIMITED_INFORMATION = 0x1000;
inline constexpr uint32_t DELETE_ACCESS = 0x00010000;
inline constexpr uint32_t READ_CONTROL = 0x00020000;
inline constexpr uint32_t WRITE_DAC = 0x00040000;
inline constexpr uint32_t WRITE_OWNER = 0x00080000;
inline constexpr uint32_t SYNCHRONIZE = 0x00100000;
inline constexpr uint32_t PROCESS_ALL_ACCESS = 0x001FFFFF;
inline constexpr uint32_t GENERIC_ALL = 0x10000000;
inline constexpr uint32_t GENERIC_WRITE = 0x40000000;
inline constexpr uint32_t MAXIMUM_ALLOWED = 0x02000000;

inline constexpr uint32_t STILL_ACTIVE = 259;

inline constexpr uint32_t MEM_COMMIT = 0x1000;
inline constexpr uint32_t MEM_RESERVE = 0x2000;
inline constexpr uint32_t MEM_FREE = 0x10000;
inline constexpr uint32_t MEM_PRIVATE = 0x20000;
inline constexpr uint32_t MEM_MAPPED = 0x40000;
inline constexpr uint32_t MEM_IMAGE = 0x1000000;

inline constexpr uint32_t PAGE_NOACCESS = 0x01;
inline constexpr uint32_t PAGE_READONLY = 0x02;
inline constexpr uint32_t PAGE_READWRITE = 0x04;
inline constexpr uint32_t PAGE_WRITECOPY = 0x08;
inline constexpr uint32_t PAGE_EXECUTE = 0x10;
inline constexpr uint32_t PAGE_EXECUTE_READ = 0x20;
inline constexpr uint32_t PAGE_EXECUTE_READWRITE = 0x40;
inline constexpr uint32_t PAGE_EXECUTE_WRITECOPY = 0x80;
inline constexpr uint32_t PAGE_GUARD = 0x100;
inline constexpr uint32_t PAGE_NOCACHE = 0x200;
inline constexpr uint32_t PAGE_WRITECOMBINE = 0x400;

inline constexpr int32_t TRUST_E_NOSIGNATURE = static_cast<int32_t>(0x800B0100u);
// The trust provider does not know the requested action.
inline constexpr int32_t TRUST_E_PROVIDER_UNKNOWN = static_cast<int32_t>(0x800B0001u);
inline constexpr uint32_t STATUS_INFO_LENGTH_MISMATCH = 0xC0000004u;
}  // namespace win

// ---------------------------------------------------------------- values

struct ProcessEntry {
    uint32_t pid = 0;
    uint32_t parent_pid = 0;
    uint32_t thread_count = 0;
    std::string exe_name;  // szExeFile: base name, case as the system gives it
    // What process_image_path would answer ("" when it would fail), when the
    // adapter read it while listing anyway; absent when callers must ask.
    std::optional<std::string> image_path;
    // With image_path: where the image's bytes are read, as ModuleEntry::content_path.
    std::string image_content_path;
};

struct ThreadEntry {
    uint32_t tid = 0;
    uint32_t owner_pid = 0;
};

struct ModuleEntry {
    ModuleEntry() = default;
    ModuleEntry(uint64_t base_, uint64_t size_, std::string path_, std::string content_path_ = {})
        : base(base_), size(size_), path(std::move(path_)), content_path(std::move(content_path_)) {}

    uint64_t base = 0;
    uint64_t size = 0;
    std::string path;  // szExePath, system code page bytes
    // Where the module file's facts and bytes are read when the adapter has a
    // better way in than the name (Linux: the mapping itself, which still
    // reaches a file deleted, renamed or replaced since it was mapped); empty
    // means `path`. Reports show `path` and caches key on it either way.
    std::string content_path;
};

// One VirtualQueryEx answer (MEMORY_BASIC_INFORMATION).
struct MemoryRegion {
    uint64_t base = 0;
    uint64_t allocation_base = 0;
    uint32_t allocation_protect = 0;
    uint64_t size = 0;
    uint32_t state = 0;
    uint32_t protect = 0;
    uint32_t type = 0;
};

// ReadProcessMemory: ok is the call's result, bytes what it reported copied.
struct ReadResult {
    bool ok = false;
    size_t bytes = 0;
};

// GetFileAttributesExA at GetFileExInfoStandard.
struct FileFacts {
    bool found = false;
    uint64_t size = 0;
    uint64_t lastWriteTime = 0;  // FILETIME, 100 ns since 1601-01-01 UTC
    bool operator==(const FileFacts&) const = default;
};

// A SYSTEMTIME in UTC, milliseconds and weekday dropped.
struct UtcTime {
    uint16_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

struct DisplayMode {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t frequency = 0;
};

// Everything a debugger check can ask about one process. Each signal is
// present only when its query answered.
struct DebugSignals {
    bool examined = false;                     // the process could be opened/read at all
    std::optional<bool> remote_debugger;       // CheckRemoteDebuggerPresent
    std::optional<uint64_t> debug_port;        // NtQueryInformationProcess(ProcessDebugPort)
    std::optional<uint64_t> debug_object;      // NtQueryInformationProcess(ProcessDebugObjectHandle); 0 when none
    std::optional<bool> peb_being_debugged;    // host only: PEB flag / IsDebuggerPresent
    std::optional<uint32_t> tracer_pid;        // Linux: TracerPid of /proc/PID/status
};

// One entry of the system handle list that refers to some process object.
struct SystemHandle {
    uint32_t holder_pid = 0;
    uint64_t handle_value = 0;
    uint64_t object = 0;  // kernel object address (0 when the system hides it)
    uint32_t granted_access = 0;
    uint16_t object_type_index = 0;  // the kind of object (process, thread, file, ...)
};

struct HandleQuery {
    bool ok = false;
    uint32_t status = 0;  // last NTSTATUS of the query
    std::vector<SystemHandle> handles;
};

// Token user and integrity level of a process.
struct TokenIdentity {
    std::string account;                  // "DOMAIN\user", empty when unread
    std::optional<uint32_t> integrity_rid;  // last sub-authority of the label SID
};

// A signer certificate as the trust provider gives it.
struct SignerCertificate {
    bool present = false;        // provider data, signer and certificate were all found
    std::u16string subject;      // CertGetNameStringW simple display, empty when unread
    std::u16string issuer;
    std::vector<uint8_t> sha1;   // CERT_HASH_PROP_ID bytes, empty when unread
};

struct EmbeddedTrust {
    int32_t result = 0;  // WinVerifyTrust result (0 = verified)
    SignerCertificate signer;
};

struct CatalogTrust {
    bool verified = false;
    SignerCertificate signer;  // of the catalog that verified
};

// ---------------------------------------------------------------- handles

// An open process handle (OpenProcess); closed by the destructor.
class ProcessHandle {
public:
    virtual ~ProcessHandle() = default;
    virtual uint64_t value() const = 0;                     // the handle value as the system lists it
    virtual std::optional<uint32_t> exit_code() = 0;        // GetExitCodeProcess
    // QueryFullProcessImageNameA: 1,040 characters first, more when the path is longer.
    virtual std::optional<std::string> image_path() = 0;
    // Where the image file's facts and bytes are read, as ModuleEntry::content_path.
    virtual std::string image_content_path() { return {}; }
    // VirtualQueryEx; nullopt when the call does not fill a whole structure.
    virtual std::optional<MemoryRegion> query_region(uint64_t address) = 0;
    virtual ReadResult read_memory(uint64_t address, void* buffer, size_t size) = 0;
};

// A file opened for reading with every sharing mode; closed by the destructor.
class FileReader {
public:
    virtual ~FileReader() = default;
    // Bytes read (0 at the end), nullopt on a read error.
    virtual std::optional<size_t> read(void* buffer, size_t size) = 0;
    virtual std::optional<uint64_t> size() = 0;    // GetFileSizeEx
    virtual bool seek(uint64_t offset) = 0;        // SetFilePointerEx from the start
};

// An MD5 computation (CryptoAPI context + hash); released by the destructor.
class Md5Hasher {
public:
    virtual ~Md5Hasher() = default;
    virtual bool update(const void* data, size_t size) = 0;          // CryptHashData
    virtual std::optional<std::array<uint8_t, 16>> finish() = 0;     // CryptGetHashParam(HP_HASHVAL)
};

// A top-level window during enumeration.
class WindowRef {
public:
    virtual ~WindowRef() = default;
    virtual uint32_t owner_pid() = 0;    // GetWindowThreadProcessId
    virtual bool visible() = 0;          // IsWindowVisible
    virtual std::string title() = 0;     // GetWindowTextA, 512-byte buffer, count 511
};

// ---------------------------------------------------------------- the port

class System {
public:
    virtual ~System() = default;

    // session
    virtual void enable_debug_privilege() = 0;
    virtual uint32_t current_pid() = 0;

    // processes and threads
    virtual std::unique_ptr<ProcessHandle> open_process(uint32_t pid, uint32_t access) = 0;
    virtual std::optional<std::vector<ProcessEntry>> process_snapshot() = 0;  // TH32CS_SNAPPROCESS
    virtual std::optional<std::vector<ThreadEntry>> thread_snapshot() = 0;    // TH32CS_SNAPTHREAD, pid 0
    // Threads the snapshot lists for one process, 0 when it cannot be taken.
    // By default a walk of thread_snapshot(); an adapter that can list one
    // process's threads directly answers the same count more cheaply.
    virtual int32_t thread_count(uint32_t pid);
    virtual std::optional<std::vector<ModuleEntry>> module_snapshot(uint32_t pid) = 0;  // 0x18
    // Win32 start address of a thread (NtQueryInformationThread 9); on Linux
    // the thread's current user-space instruction pointer.
    virtual std::optional<uint64_t> thread_start_address(uint32_t pid, uint32_t tid) = 0;
    virtual DebugSignals debug_signals(uint32_t pid) = 0;
    virtual DebugSignals host_debug_signals() = 0;
    virtual std::optional<UtcTime> process_start_time(uint32_t pid) = 0;  // GetProcessTimes + FileTimeToSystemTime
    virtual TokenIdentity token_identity(uint32_t pid) = 0;
    // EnumWindows; the callback returns false to stop.
    virtual void enum_windows(const std::function<bool(WindowRef&)>& callback) = 0;

    // system handle list
    virtual bool ntdll_loaded() = 0;                  // GetModuleHandleA("ntdll.dll")
    virtual bool handle_query_available() = 0;        // GetProcAddress(NtQuerySystemInformation)
    virtual HandleQuery query_system_handles() = 0;   // SystemExtendedHandleInformation (64)
    // Whether entry `handle_value` of `holder` (opened with PROCESS_DUP_HANDLE)
    // refers to the same process as `own`, our handle to `target_pid`:
    // DuplicateHandle into this process, then CompareObjectHandles, or where
    // that is missing the duplicate's process id. False when it cannot be
    // duplicated. The duplicate is closed before returning.
    virtual bool handle_refers_to(ProcessHandle& holder, uint64_t handle_value, const ProcessHandle& own,
                                  uint32_t target_pid) = 0;
    // A process's image path without opening it (SystemProcessIdInformation,
    // class 88), in Win32 form and the ANSI code page; nullopt when unknown.
    virtual std::optional<std::string> image_path_unopened(uint32_t pid) = 0;

    // files
    virtual FileFacts file_facts(std::string_view path) = 0;
    virtual std::unique_ptr<FileReader> open_file(std::string_view path) = 0;
    virtual std::unique_ptr<Md5Hasher> md5() = 0;
    // GetSystemDirectoryA / GetWindowsDirectoryA raw text (260-byte buffer, length 1..259).
    virtual std::optional<std::string> system_directory_raw() = 0;
    virtual std::optional<std::string> windows_directory_raw() = 0;
    virtual std::string version_string(std::string_view path, std::string_view name) = 0;

    // text conversion (MultiByteToWideChar CP_ACP / WideCharToMultiByte 65001),
    // each with its length query first; nullopt when a step reports no output.
    virtual std::optional<std::u16string> ansi_to_wide(std::string_view text) = 0;
    virtual std::optional<std::string> wide_to_utf8(std::u16string_view text) = 0;

    // signatures (wintrust / crypt32); false where the system has no trust
    // provider at all, so that nothing can be verified
    virtual bool trust_provider_available() = 0;
    virtual EmbeddedTrust trust_embedded(const std::u16string& path) = 0;
    // Newer catalog interface; algorithm empty = the interface's default.
    virtual CatalogTrust trust_catalog(const std::u16string& path, const std::u16string* algorithm) = 0;
    virtual CatalogTrust trust_catalog_legacy(const std::u16string& path) = 0;

    // machine
    virtual std::optional<uint32_t> volume_serial_c() = 0;      // GetVolumeInformationA("C:\\")
    virtual std::optional<std::string> computer_name() = 0;     // GetComputerNameA, 16 bytes
    virtual std::array<uint32_t, 4> cpuid0() = 0;               // EAX, EBX, ECX, EDX of leaf 0
    virtual std::optional<std::string> display_adapter() = 0;   // EnumDisplayDevicesA #0 DeviceString
    virtual std::optional<DisplayMode> display_mode() = 0;      // EnumDisplaySettingsA current
    virtual std::optional<uint8_t> ac_line_status() = 0;        // GetSystemPowerStatus
};

// The process-wide port: the build's adapter unless a test installed a fake.
System& sys();

// The build's adapter (defined by win32/ or linux/).
System& native_system();

class ScopedSystemOverride {
public:
    explicit ScopedSystemOverride(System& replacement);
    ~ScopedSystemOverride();
    ScopedSystemOverride(const ScopedSystemOverride&) = delete;
    ScopedSystemOverride& operator=(const ScopedSystemOverride&) = delete;

private:
    System* previous_;
};

}  // namespace ac
