// PLACEHOLDER adapter: every operation fails until the real one lands.
#include "platform/system.hpp"
namespace ac {
namespace {
class NullSystem final : public System {
public:
    void enable_debug_privilege() override {}
    uint32_t current_pid() override { return 0; }
    std::unique_ptr<ProcessHandle> open_process(uint32_t, uint32_t) override { return nullptr; }
    std::optional<std::vector<ProcessEntry>> process_snapshot() override { return std::nullopt; }
    std::optional<std::vector<ThreadEntry>> thread_snapshot() override { return std::nullopt; }
    std::optional<std::vector<ModuleEntry>> module_snapshot(uint32_t) override { return std::nullopt; }
    std::optional<uint64_t> thread_start_address(uint32_t, uint32_t) override { return std::nullopt; }
    DebugSignals debug_signals(uint32_t) override { return {}; }
    DebugSignals host_debug_signals() override { return {}; }
    std::optional<UtcTime> process_start_time(uint32_t) override { return std::nullopt; }
    TokenIdentity token_identity(uint32_t) override { return {}; }
    void enum_windows(const std::function<bool(WindowRef&)>&) override {}
    bool ntdll_loaded() override { return false; }
    bool handle_query_available() override { return false; }
    HandleQuery query_system_handles() override { return {}; }
    FileFacts file_facts(std::string_view) override { return {}; }
    std::unique_ptr<FileReader> open_file(std::string_view) override { return nullptr; }
    std::unique_ptr<Md5Hasher> md5() override { return nullptr; }
    std::optional<std::string> system_directory_raw() override { return std::nullopt; }
    std::optional<std::string> windows_directory_raw() override { return std::nullopt; }
    std::string version_string(std::string_view, std::string_view) override { return {}; }
    std::optional<std::u16string> ansi_to_wide(std::string_view) override { return std::nullopt; }
    std::optional<std::string> wide_to_utf8(std::u16string_view) override { return std::nullopt; }
    EmbeddedTrust trust_embedded(const std::u16string&) override { return {-1, {}}; }
    CatalogTrust trust_catalog(const std::u16string&, const std::u16string*) override { return {}; }
    CatalogTrust trust_catalog_legacy(const std::u16string&) override { return {}; }
    std::optional<uint32_t> volume_serial_c() override { return std::nullopt; }
    std::optional<std::string> computer_name() override { return std::nullopt; }
    std::array<uint32_t, 4> cpuid0() override { return {}; }
    std::optional<std::string> display_adapter() override { return std::nullopt; }
    std::optional<DisplayMode> display_mode() override { return std::nullopt; }
    std::optional<uint8_t> ac_line_status() override { return std::nullopt; }
};
}  // namespace
System& native_system() {
    static NullSystem instance;
    return instance;
}
}  // namespace ac
