// A scripted machine for unit tests. Tests fill the public fields, install it
// with `FakeMachine machine; ScopedSystemOverride use(machine);` and read the
// counters afterwards. MD5 and the ANSI conversions go to the build's real
// adapter so digests and repairs are the genuine ones.
#pragma once

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/system.hpp"

namespace ac::test {

// The per-file caches outlive a test; a fresh write time per file keeps one
// test's results out of the next.
inline uint64_t fresh_time() {
    static uint64_t t = 1'000'000;
    return ++t;
}

inline std::vector<uint8_t> bytes_of(std::string_view text) { return {text.begin(), text.end()}; }

struct FakeThread {
    uint32_t tid = 0;
    std::optional<uint64_t> start_address;
};

struct FakeProcess {
    uint32_t pid = 0, parent_pid = 0;
    std::string exe_name;
    std::optional<std::string> image_path;       // nullopt: the query fails
    bool snapshot_has_image_path = false;        // the process snapshot carries it (as the Linux adapter does)
    std::optional<std::string> listed_path;      // the system's record of it, read without opening
    std::string image_content_path;              // the adapter's way to the image's bytes, if any
    uint32_t denied_access = 0;                  // OpenProcess fails when any requested bit is here
    bool openable = true;                        // false: every OpenProcess fails
    std::optional<uint32_t> exit_code = win::STILL_ACTIVE;
    std::vector<FakeThread> threads;
    std::vector<MemoryRegion> regions;           // ascending, non-overlapping
    std::map<uint64_t, std::vector<uint8_t>> memory;  // readable blocks by start address
    std::set<uint64_t> unreadable;               // reads starting here fail
    bool region_query_fails = false;
    std::optional<std::vector<ModuleEntry>> modules = std::vector<ModuleEntry>{};
    DebugSignals debug;
    std::optional<UtcTime> start_time;
    TokenIdentity token;
};

struct FakeFile {
    std::vector<uint8_t> bytes;
    FileFacts facts{true, 0, 0};  // size is filled from bytes when left 0
    bool openable = true, read_error = false;  // read_error: every read fails
};

struct FakeWindow {
    uint32_t pid = 0;
    bool visible = false;
    std::string title;
};

class FakeMachine : public System {
public:
    // ---- script
    uint32_t self_pid = 4242;
    std::vector<FakeProcess> processes;  // snapshot order
    bool process_snapshot_fails = false, thread_snapshot_fails = false;
    std::map<std::string, FakeFile> files;  // exact path text
    bool md5_fails = false;
    std::optional<std::string> system_dir = std::string("C:\\Windows\\System32");
    std::optional<std::string> windows_dir = std::string("C:\\Windows");
    std::map<std::pair<std::string, std::string>, std::string> version_strings;
    std::vector<FakeWindow> windows;
    bool has_ntdll = true, has_handle_api = true;
    HandleQuery handle_query{true, 0, {}};
    std::map<std::pair<uint32_t, uint64_t>, uint32_t> handle_targets;  // (holder, value) -> process it refers to
    bool has_trust_provider = true;
    DebugSignals host_debug;
    std::function<EmbeddedTrust(const std::u16string&)> on_trust_embedded =
        [](const std::u16string&) { return EmbeddedTrust{win::TRUST_E_NOSIGNATURE, {}}; };
    std::function<CatalogTrust(const std::u16string&, const std::u16string*)> on_trust_catalog =
        [](const std::u16string&, const std::u16string*) { return CatalogTrust{}; };
    std::function<CatalogTrust(const std::u16string&)> on_trust_catalog_legacy =
        [](const std::u16string&) { return CatalogTrust{}; };
    std::optional<uint32_t> volume_serial;
    std::optional<std::string> name_of_computer = std::string("FAKEPC");
    std::array<uint32_t, 4> cpuid_regs{0x16, 0x756e6547, 0x6c65746e, 0x49656e69};
    std::optional<std::string> adapter;
    std::optional<DisplayMode> mode;
    std::optional<uint8_t> ac_line;

    // ---- observations
    int privilege_steps = 0, live_process_handles = 0, handle_queries = 0, windows_enumerations = 0;
    int duplications = 0;
    std::vector<std::pair<uint32_t, uint32_t>> opened;  // (pid, access) of successful opens
    std::map<std::string, int> file_opens;              // by exact path
    int process_snapshots = 0;                          // process_snapshot calls, failed ones included
    std::vector<std::string> trust_calls;  // "embedded", "catalog:SHA256", "catalog:SHA1", "catalog", "legacy"

    FakeProcess& add_process(uint32_t pid, std::string exe_name, std::optional<std::string> path = {}) {
        FakeProcess& p = processes.emplace_back();
        p.pid = pid, p.exe_name = std::move(exe_name), p.image_path = std::move(path);
        return p;
    }
    FakeFile& add_file(const std::string& path, std::vector<uint8_t> bytes, uint64_t time = 1) {
        FakeFile& f = files[path] = FakeFile{};
        f.facts = FileFacts{true, bytes.size(), time}, f.bytes = std::move(bytes);
        return f;
    }
    FakeFile& add_file(const std::string& path, std::string_view text, uint64_t time = 1) {
        return add_file(path, std::vector<uint8_t>(text.begin(), text.end()), time);
    }
    FakeProcess* find(uint32_t pid) {
        for (auto& p : processes)
            if (p.pid == pid) return &p;
        return nullptr;
    }
    int opens(const std::string& path) const {
        auto it = file_opens.find(path);
        return it == file_opens.end() ? 0 : it->second;
    }
    int total_file_opens() const {
        int n = 0;
        for (auto& [_, c] : file_opens) n += c;
        return n;
    }

    // ---- System
    void enable_debug_privilege() override { ++privilege_steps; }
    uint32_t current_pid() override { return self_pid; }

    std::unique_ptr<ProcessHandle> open_process(uint32_t pid, uint32_t access) override {
        FakeProcess* p = find(pid);
        if (!p || !p->openable || (access & p->denied_access)) return nullptr;
        opened.emplace_back(pid, access);
        return std::make_unique<Handle>(*this, pid, access, next_handle_ += 4);
    }

    std::optional<std::vector<ProcessEntry>> process_snapshot() override {
        ++process_snapshots;
        if (process_snapshot_fails) return std::nullopt;
        std::vector<ProcessEntry> out;
        for (auto& p : processes)
            out.push_back({p.pid, p.parent_pid, static_cast<uint32_t>(p.threads.size()), p.exe_name,
                           p.snapshot_has_image_path ? std::optional(p.image_path.value_or("")) : std::nullopt,
                           p.snapshot_has_image_path ? p.image_content_path : std::string()});
        return out;
    }

    std::optional<std::vector<ThreadEntry>> thread_snapshot() override {
        if (thread_snapshot_fails) return std::nullopt;
        std::vector<ThreadEntry> out;
        for (auto& p : processes)
            for (auto& t : p.threads) out.push_back({t.tid, p.pid});
        return out;
    }

    std::optional<std::vector<ModuleEntry>> module_snapshot(uint32_t pid) override {
        FakeProcess* p = find(pid);
        return p ? p->modules : std::nullopt;
    }

    std::optional<uint64_t> thread_start_address(uint32_t pid, uint32_t tid) override {
        FakeProcess* p = find(pid);
        if (!p) return std::nullopt;
        for (auto& t : p->threads)
            if (t.tid == tid) return t.start_address;
        return std::nullopt;
    }

    DebugSignals debug_signals(uint32_t pid) override {
        FakeProcess* p = find(pid);
        return p ? p->debug : DebugSignals{};
    }
    DebugSignals host_debug_signals() override { return host_debug; }

    std::optional<UtcTime> process_start_time(uint32_t pid) override {
        FakeProcess* p = find(pid);
        return p ? p->start_time : std::nullopt;
    }
    TokenIdentity token_identity(uint32_t pid) override {
        FakeProcess* p = find(pid);
        return p ? p->token : TokenIdentity{};
    }

    void enum_windows(const std::function<bool(WindowRef&)>& callback) override {
        ++windows_enumerations;
        for (auto& w : windows) {
            Window ref(w);
            if (!callback(ref)) break;
        }
    }

    bool ntdll_loaded() override { return has_ntdll; }
    bool handle_query_available() override { return has_handle_api; }
    HandleQuery query_system_handles() override { return ++handle_queries, handle_query; }
    bool handle_refers_to(ProcessHandle& holder, uint64_t value, const ProcessHandle&, uint32_t target) override {
        ++duplications;
        auto& h = dynamic_cast<Handle&>(holder);
        auto it = handle_targets.find({h.pid(), value});
        return (h.access() & win::PROCESS_DUP_HANDLE) && it != handle_targets.end() && it->second == target;
    }
    std::optional<std::string> image_path_unopened(uint32_t pid) override {
        FakeProcess* p = find(pid);
        return p ? p->listed_path : std::nullopt;
    }

    FileFacts file_facts(std::string_view path) override {
        auto it = files.find(std::string(path));
        if (it == files.end()) return {};
        FileFacts f = it->second.facts;
        if (f.found && f.size == 0) f.size = it->second.bytes.size();
        return f;
    }

    std::unique_ptr<FileReader> open_file(std::string_view path) override {
        auto it = files.find(std::string(path));
        if (it == files.end() || !it->second.openable) return nullptr;
        ++file_opens[std::string(path)];
        return std::make_unique<Reader>(it->second);
    }

    std::unique_ptr<Md5Hasher> md5() override { return md5_fails ? nullptr : native_system().md5(); }

    std::optional<std::string> system_directory_raw() override { return system_dir; }
    std::optional<std::string> windows_directory_raw() override { return windows_dir; }
    std::string version_string(std::string_view path, std::string_view name) override {
        auto it = version_strings.find({std::string(path), std::string(name)});
        return it == version_strings.end() ? std::string() : it->second;
    }

    std::optional<std::u16string> ansi_to_wide(std::string_view text) override {
        return native_system().ansi_to_wide(text);
    }
    std::optional<std::string> wide_to_utf8(std::u16string_view text) override {
        return native_system().wide_to_utf8(text);
    }

    bool trust_provider_available() override { return has_trust_provider; }
    EmbeddedTrust trust_embedded(const std::u16string& path) override {
        trust_calls.push_back("embedded");
        return on_trust_embedded(path);
    }
    CatalogTrust trust_catalog(const std::u16string& path, const std::u16string* algorithm) override {
        trust_calls.push_back(algorithm ? "catalog:" + std::string(algorithm->begin(), algorithm->end())
                                        : std::string("catalog"));
        return on_trust_catalog(path, algorithm);
    }
    CatalogTrust trust_catalog_legacy(const std::u16string& path) override {
        trust_calls.push_back("legacy");
        return on_trust_catalog_legacy(path);
    }

    std::optional<uint32_t> volume_serial_c() override { return volume_serial; }
    std::optional<std::string> computer_name() override { return name_of_computer; }
    std::array<uint32_t, 4> cpuid0() override { return cpuid_regs; }
    std::optional<std::string> display_adapter() override { return adapter; }
    std::optional<DisplayMode> display_mode() override { return mode; }
    std::optional<uint8_t> ac_line_status() override { return ac_line; }

private:
    uint64_t next_handle_ = 0x100;

    class Handle : public ProcessHandle {
    public:
        Handle(FakeMachine& m, uint32_t pid, uint32_t access, uint64_t value)
            : m_(m), pid_(pid), access_(access), value_(value) {
            ++m_.live_process_handles;
        }
        ~Handle() override { --m_.live_process_handles; }
        uint64_t value() const override { return value_; }
        uint32_t pid() const { return pid_; }
        uint32_t access() const { return access_; }
        std::optional<uint32_t> exit_code() override {
            FakeProcess* p = m_.find(pid_);
            return p ? p->exit_code : std::nullopt;
        }
        std::optional<std::string> image_path() override {
            FakeProcess* p = m_.find(pid_);
            return p ? p->image_path : std::nullopt;
        }
        std::string image_content_path() override {
            FakeProcess* p = m_.find(pid_);
            return p ? p->image_content_path : std::string();
        }
        std::optional<MemoryRegion> query_region(uint64_t address) override {
            FakeProcess* p = m_.find(pid_);
            if (!p || p->region_query_fails) return std::nullopt;
            uint64_t gap_start = 0;
            for (auto& r : p->regions) {
                if (address >= r.base && address - r.base < r.size) return r;
                if (address < r.base) {  // a gap: the free space up to the next region
                    uint64_t base = std::max(gap_start, address);
                    return MemoryRegion{.base = base, .size = r.base - base, .state = win::MEM_FREE,
                                        .protect = win::PAGE_NOACCESS};
                }
                gap_start = r.base + r.size;
            }
            return std::nullopt;
        }
        ReadResult read_memory(uint64_t address, void* buffer, size_t size) override {
            FakeProcess* p = m_.find(pid_);
            if (!p || p->unreadable.count(address)) return {};
            for (auto& [start, bytes] : p->memory) {
                if (address >= start && address - start < bytes.size()) {
                    size_t n = std::min<uint64_t>(size, bytes.size() - (address - start));
                    std::memcpy(buffer, bytes.data() + (address - start), n);
                    return {n == size, n};
                }
            }
            return {};
        }

    private:
        FakeMachine& m_;
        uint32_t pid_;
        uint32_t access_;
        uint64_t value_;
    };

    class Reader : public FileReader {
    public:
        explicit Reader(const FakeFile& f) : f_(f) {}
        std::optional<size_t> read(void* buffer, size_t size) override {
            if (f_.read_error) return std::nullopt;
            size_t n = std::min<uint64_t>(size, f_.bytes.size() - std::min<uint64_t>(pos_, f_.bytes.size()));
            if (n) std::memcpy(buffer, f_.bytes.data() + pos_, n);
            pos_ += n;
            return n;
        }
        std::optional<uint64_t> size() override { return f_.bytes.size(); }
        bool seek(uint64_t offset) override {
            pos_ = offset;
            return true;
        }

    private:
        const FakeFile& f_;
        uint64_t pos_ = 0;
    };

    class Window : public WindowRef {
    public:
        explicit Window(const FakeWindow& w) : w_(w) {}
        uint32_t owner_pid() override { return w_.pid; }
        bool visible() override { return w_.visible; }
        std::string title() override { return w_.title; }

    private:
        const FakeWindow& w_;
    };
};

}  // namespace ac::test
