// A System that forwards every call to the build's adapter and counts the
// file opens, so tests and benchmarks on the live machine can show that a
// cached path reads no file.
#pragma once

#include "platform/system.hpp"

namespace ac::test {

class CountingSystem : public System {
public:
    explicit CountingSystem(System& inner = native_system()) : inner_(inner) {}
    int file_opens = 0;

    void enable_debug_privilege() override { inner_.enable_debug_privilege(); }
    uint32_t current_pid() override { return inner_.current_pid(); }
    std::unique_ptr<ProcessHandle> open_process(uint32_t pid, uint32_t access) override { return inner_.open_process(pid, access); }
    std::optional<std::vector<ProcessEntry>> process_snapshot() override { return inner_.process_snapshot(); }
    std::optional<std::vector<ThreadEntry>> thread_snapshot() override { return inner_.thread_snapshot(); }
    int32_t thread_count(uint32_t pid) override { return inner_.thread_count(pid); }
    std::optional<std::vector<ModuleEntry>> module_snapshot(uint32_t pid) override { return inner_.module_snapshot(pid); }
    std::optional<uint64_t> thread_start_address(uint32_t pid, uint32_t tid) override { return inner_.thread_start_address(pid, tid); }
    DebugSignals debug_signals(uint32_t pid) override { return inner_.debug_signals(pid); }
    DebugSignals host_debug_signals() override { return inner_.host_debug_signals(); }
    std::optional<UtcTime> process_start_time(uint32_t pid) override { return inner_.process_start_time(pid); }
    TokenIdentity token_identity(uint32_t pid) override { return inner_.token_identity(pid); }
    void enum_windows(const std::function<bool(WindowRef&)>& callback) override { inner_.enum_windows(callback); }
    bool ntdll_loaded() override { return inner_.ntdll_loaded(); }
    bool handle_query_available() override { return inner_.handle_query_available(); }
    HandleQuery query_system_handles() override { return inner_.query_system_handles(); }
    bool handle_refers_to(ProcessHandle& holder, uint64_t value, const ProcessHandle& own, uint32_t target) override {
        return inner_.handle_refers_to(holder, value, own, target);
    }
    std::optional<std::string> image_path_unopened(uint32_t pid) override { return inner_.image_path_unopened(pid); }
    FileFacts file_facts(std::string_view path) override { return inner_.file_facts(path); }
    std::unique_ptr<FileReader> open_file(std::string_view path) override {
        ++file_opens;
        return inner_.open_file(path);
    }
    std::unique_ptr<Md5Hasher> md5() override { return inner_.md5(); }
    std::optional<std::string> system_directory_raw() override { return inner_.system_directory_raw(); }
    std::optional<std::string> windows_directory_raw() override { return inner_.windows_directory_raw(); }
    std::string version_string(std::string_view path, std::string_view name) override { return inner_.version_string(path, name); }
    std::optional<std::u16string> ansi_to_wide(std::string_view text) override { return inner_.ansi_to_wide(text); }
    std::optional<std::string> wide_to_utf8(std::u16string_view text) override { return inner_.wide_to_utf8(text); }
    bool trust_provider_available() override { return inner_.trust_provider_available(); }
    EmbeddedTrust trust_embedded(const std::u16string& path) override { return inner_.trust_embedded(path); }
    CatalogTrust trust_catalog(const std::u16string& path, const std::u16string* algorithm) override { return inner_.trust_catalog(path, algorithm); }
    CatalogTrust trust_catalog_legacy(const std::u16string& path) override { return inner_.trust_catalog_legacy(path); }
    std::optional<uint32_t> volume_serial_c() override { return inner_.volume_serial_c(); }
    std::optional<std::string> computer_name() override { return inner_.computer_name(); }
    std::array<uint32_t, 4> cpuid0() override { return inner_.cpuid0(); }
    std::optional<std::string> display_adapter() override { return inner_.display_adapter(); }
    std::optional<DisplayMode> display_mode() override { return inner_.display_mode(); }
    std::optional<uint8_t> ac_line_status() override { return inner_.ac_line_status(); }

private:
    System& inner_;
};

}  // namespace ac::test
