// The Linux stand-in for the Windows port: each operation answers from the
// live system where Linux has a counterpart, and fails the way the Windows
// call would where it has none (windows, version resources, trust providers).
#include <unistd.h>

#include "platform/linux/linux_adapter.hpp"
#include "platform/system.hpp"

namespace ac {
namespace {

class LinuxSystem final : public System {
public:
    void enable_debug_privilege() override {}  // root or ptrace rights are given, not enabled
    uint32_t current_pid() override { return static_cast<uint32_t>(::getpid()); }

    std::unique_ptr<ProcessHandle> open_process(uint32_t pid, uint32_t access) override {
        return lx::open_process(pid, access);
    }
    std::optional<std::vector<ProcessEntry>> process_snapshot() override { return lx::process_snapshot(); }
    std::optional<std::vector<ThreadEntry>> thread_snapshot() override { return lx::thread_snapshot(); }
    int32_t thread_count(uint32_t pid) override { return lx::thread_count(pid); }
    std::optional<std::vector<ModuleEntry>> module_snapshot(uint32_t pid) override {
        return lx::module_snapshot(pid);
    }
    std::optional<uint64_t> thread_start_address(uint32_t pid, uint32_t tid) override {
        return lx::thread_start_address(pid, tid);
    }
    DebugSignals debug_signals(uint32_t pid) override {
        if (pid == 0) return {};
        return lx::debug_signals_of(std::to_string(pid));
    }
    DebugSignals host_debug_signals() override { return lx::debug_signals_of("self"); }
    std::optional<UtcTime> process_start_time(uint32_t pid) override { return lx::process_start_time(pid); }
    TokenIdentity token_identity(uint32_t pid) override { return lx::token_identity(pid); }
    void enum_windows(const std::function<bool(WindowRef&)>&) override {}

    bool ntdll_loaded() override { return true; }
    bool handle_query_available() override { return true; }
    HandleQuery query_system_handles() override { return lx::query_system_handles(); }
    // Every entry names its target (the pid stands in for the object), so
    // nothing is ever identified by duplication here.
    bool handle_refers_to(ProcessHandle&, uint64_t, const ProcessHandle&, uint32_t) override { return false; }
    std::optional<std::string> image_path_unopened(uint32_t) override { return std::nullopt; }

    FileFacts file_facts(std::string_view path) override { return lx::file_facts(path); }
    std::unique_ptr<FileReader> open_file(std::string_view path) override { return lx::open_file(path); }
    std::unique_ptr<Md5Hasher> md5() override { return lx::md5(); }
    std::optional<std::string> system_directory_raw() override { return std::string("/usr/lib"); }
    std::optional<std::string> windows_directory_raw() override { return std::string("/usr"); }
    std::string version_string(std::string_view, std::string_view) override { return {}; }

    std::optional<std::u16string> ansi_to_wide(std::string_view text) override { return lx::ansi_to_wide(text); }
    std::optional<std::string> wide_to_utf8(std::u16string_view text) override { return lx::wide_to_utf8(text); }

    bool trust_provider_available() override { return false; }
    EmbeddedTrust trust_embedded(const std::u16string&) override { return {win::TRUST_E_PROVIDER_UNKNOWN, {}}; }
    CatalogTrust trust_catalog(const std::u16string&, const std::u16string*) override { return {}; }
    CatalogTrust trust_catalog_legacy(const std::u16string&) override { return {}; }

    std::optional<uint32_t> volume_serial_c() override { return lx::root_volume_serial(); }
    std::optional<std::string> computer_name() override { return lx::computer_name(); }
    std::array<uint32_t, 4> cpuid0() override { return lx::cpuid0(); }
    std::optional<std::string> display_adapter() override { return lx::display_adapter(); }
    std::optional<DisplayMode> display_mode() override { return lx::display_mode(); }
    std::optional<uint8_t> ac_line_status() override { return lx::ac_line_status(); }
};

}  // namespace

System& native_system() {
    static LinuxSystem instance;
    return instance;
}

}  // namespace ac
