// The process inspection end to end on real child processes, each killed and reaped by its owner.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstring>
#include <filesystem>

#include "evidence/text.hpp"
#include "reports/fields.hpp"
#include "reports/process_report.hpp"
#include "reports/record.hpp"
#include "support/forked_child.hpp"

namespace ac {
namespace {

using namespace proc_key;
using Child = test::ForkedChild<int64_t>;

auto at(const ReportRecord& r, auto... keys) { return std::tuple(std::string(get_field(r, keys))...); }
bool decimal(std::string_view text) { return !text.empty() && text.find_first_not_of("0123456789") == text.npos; }
const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();

// `suspicious` may only come from the machine-wide cheat-process scan, which sees more than our children.
void expect_suspicious_only_from_cheat_scan(const ReportRecord& r) {
    EXPECT_TRUE(get_field(r, suspicious) != "1" || get_field(r, knownCheatProcessHashMatch) == "1" ||
                get_field(r, fuzzyCheatProcessMatch) == "1");
}

TEST(InspectionEndToEnd, ManualMapPlainVanishedNonUtf8NamedAndForeignWriterProcesses) {
    Child child([] {
        auto* b = static_cast<char*>(::mmap(nullptr, 8192, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        std::memcpy(b, "MZ", 2), std::memcpy(b + 60, "\x80\0\0\0", 4), std::memcpy(b + 0x80, "PE\0\0", 4);
        return ::mprotect(b, 8192, PROT_READ | PROT_EXEC), static_cast<int64_t>(reinterpret_cast<uintptr_t>(b));
    });
    Child plain([] { return int64_t{0}; });
    ASSERT_TRUE(child.answered() && plain.answered());
    ReportRecord r = inspect_process_record(child.pid(), nullptr, "heavy");
    EXPECT_EQ(at(r, processFound, threadCount, executablePath, memoryScanStatus, manualMapSuspected,
                 manualMapReportOnly), std::tuple("1", "1", self, "ok", "1", "1"));
    const std::string entry = R"({"baseAddress":")" + address_text(static_cast<uint64_t>(child.answer())) +
                              R"(","protect":"EXECUTE_READ","protectRaw":"32","sampleBytes":"8192","sampleHex":"4d5a)";
    EXPECT_NE(get_field(r, privateExecutableRegionsJson).find(entry), std::string_view::npos);
    expect_suspicious_only_from_cheat_scan(r);

    r = inspect_process_record(plain.pid(), "/nonexistent", "heavy");
    EXPECT_EQ(at(r, memoryScanStatus, manualMapSuspected, manualMapReportOnly, externalWriteHandleStatus,
                 externalWriteHandleCount, debuggerPresent, threadCountSuspicious),
              std::tuple("ok", "0", "0", "ok", "0", "0", "0"));
    EXPECT_TRUE(decimal(get_field(r, privateExecutableRegionCount)));
    EXPECT_EQ(r.count(std::string(privateExecutableRegionsJson)), 0u);
    const int32_t gone = static_cast<int32_t>(plain.pid());
    plain.reap();
    EXPECT_EQ(at(inspect_process_record(gone, nullptr, "medium"), processFound, threadCount, executablePath,
                 debuggerPresent, memoryScanStatus, externalWriteHandleStatus),
              std::tuple("0", "0", "", "0", "not_run_scan_level", "not_run_scan_level"));

    char dir[] = "/tmp/inspect_e2e_XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string program = std::string(dir) + "/sl\xE9" "ep";
    std::filesystem::copy_file("/bin/sleep", program);
    // The exec closes the answer pipe, so no answer comes; 0xE9 is then read in the stand-in code page.
    Child sleeper([&]() -> int64_t { ::execl(program.c_str(), "sleep", "60", nullptr); ::_exit(127); });
    r = inspect_process_record(sleeper.pid(), nullptr, "cheap");
    std::filesystem::remove_all(dir);
    EXPECT_EQ(at(r, processFound, executablePath), std::tuple("1", std::string(dir) + "/sl\xC3\xA9" "ep"));

    Child target([] { return int64_t{0}; });
    const std::string mem = "/proc/" + std::to_string(target.pid()) + "/mem";
    Child writer([&] { return static_cast<int64_t>(::open(mem.c_str(), O_RDWR)); });
    ASSERT_TRUE(target.answered() && writer.answered() && writer.answer() >= 0) << "cannot open " << mem << " to write";
    r = inspect_process_record(target.pid(), nullptr, "heavy");
    EXPECT_EQ(at(r, externalWriteHandleStatus, externalWriteHandleCount, externalWriteHandleDetected,
                 externalWriteHandleReportOnly, externalWriteHandleProcessPid, externalWriteHandleProcessPath,
                 externalWriteHandleProcessName, externalWriteHandleAccess, externalWriteHandleParentPid,
                 externalWriteHandleParentName, externalWriteHandleProcessIntegrity, externalWriteHandleWindowVisible,
                 externalWriteHandleProcessSize, externalWriteHandleSystemProcessCount),
              std::tuple("ok", "1", "1", "1", std::to_string(writer.pid()), self, base_name(self),
                         hex_u32(0x1038) /* read and write, in the Windows vocabulary */, std::to_string(::getpid()),
                         base_name(self), ::geteuid() == 0 ? "system" : "medium", "0",
                         std::to_string(std::filesystem::file_size(self)), "0"));
    EXPECT_EQ(get_field(r, externalWriteHandleProcessStartedAt).size(), 20u);
    EXPECT_NE(get_field(r, externalWriteHandleProcessAccount).find('\\'), std::string::npos);
    EXPECT_EQ(get_field(r, externalWriteHandleProcessMd5).size(), 32u);
    expect_suspicious_only_from_cheat_scan(r);
}

}  // namespace
}  // namespace ac
