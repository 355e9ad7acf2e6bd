// The pieces of the Linux adapter, one group per source file; linux_system.cpp
// assembles them into the `System` that native_system() returns. The paths of
// sysfs are parameters so tests can point them at a crafted tree.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/system.hpp"

namespace ac::lx {

// process_handle.cpp: pidfd-backed process handles.
std::unique_ptr<ProcessHandle> open_process(uint32_t pid, uint32_t access);
// The image path a process handle reports for the target of /proc/PID/exe.
std::optional<std::string> image_path_from_link(std::optional<std::string> link);

// processes.cpp: snapshots and per-process facts from /proc.
std::optional<std::vector<ProcessEntry>> process_snapshot();
std::optional<std::vector<ThreadEntry>> thread_snapshot();
int32_t thread_count(uint32_t pid);
std::optional<std::vector<ModuleEntry>> module_snapshot(uint32_t pid);
std::optional<uint64_t> thread_start_address(uint32_t pid, uint32_t tid);
DebugSignals debug_signals_of(const std::string& proc_entry);  // "1234" or "self"
std::optional<UtcTime> process_start_time(uint32_t pid);
TokenIdentity token_identity(uint32_t pid);

// handle_list.cpp: the system handle list from /proc/*/fd.
HandleQuery query_system_handles();

// files.cpp: file facts, reading, MD5 and code page conversion.
uint64_t filetime_from_unix(int64_t seconds, int64_t nanoseconds);
FileFacts file_facts(std::string_view path);
std::unique_ptr<FileReader> open_file(std::string_view path);
std::unique_ptr<Md5Hasher> md5();
std::optional<std::u16string> ansi_to_wide(std::string_view text);
std::optional<std::string> wide_to_utf8(std::u16string_view text);

// machine.cpp: identity and telemetry sources.
std::optional<uint32_t> root_volume_serial();
std::optional<std::string> computer_name();
std::array<uint32_t, 4> cpuid0();
std::optional<std::string> display_adapter(const std::string& drm_root = "/sys/class/drm");
std::optional<DisplayMode> display_mode(const std::string& drm_root = "/sys/class/drm");
std::optional<uint8_t> ac_line_status(const std::string& power_root = "/sys/class/power_supply");

}  // namespace ac::lx
