// The process inspection end to end on real child processes: injected-looking
// memory, a foreign writer holding /proc/PID/mem, a vanished process and a
// path that is not UTF-8. Every child is killed and reaped by its owner.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "evidence/text.hpp"
#include "reports/fields.hpp"
#include "reports/process_report.hpp"
#include "reports/record.hpp"
#include "support/forked_child.hpp"

namespace ac {
namespace {

using Child = test::ForkedChild<int64_t>;

Child plain_child() {
    return Child([] { return int64_t{0}; });
}

std::string field(const ReportRecord& r, std::string_view key) { return std::string(get_field(r, key)); }

bool decimal(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

std::string own_executable() { return std::filesystem::read_symlink("/proc/self/exe").string(); }

// `suspicious` may only come from the process-wide cheat scan here, which
// looks at every process of the machine, not at the ones this test made.
void expect_suspicious_only_from_cheat_scan(const ReportRecord& r) {
    if (field(r, proc_key::suspicious) == "1") {
        EXPECT_TRUE(field(r, proc_key::knownCheatProcessHashMatch) == "1" ||
                    field(r, proc_key::fuzzyCheatProcessMatch) == "1");
    }
}

TEST(InspectionEndToEnd, PeImageInAnonymousExecutableMemoryIsReported) {
    Child child([] {
        void* block = ::mmap(nullptr, 2 * 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        auto* bytes = static_cast<uint8_t*>(block);
        bytes[0] = 'M';
        bytes[1] = 'Z';
        uint32_t e_lfanew = 0x80;
        std::memcpy(bytes + 60, &e_lfanew, 4);
        std::memcpy(bytes + 0x80, "PE\0\0", 4);
        ::mprotect(block, 2 * 4096, PROT_READ | PROT_EXEC);
        return static_cast<int64_t>(reinterpret_cast<uintptr_t>(block));
    });
    ASSERT_TRUE(child.answered());
    ReportRecord r = inspect_process_record(child.pid(), nullptr, "heavy");

    EXPECT_EQ(field(r, proc_key::processFound), "1");
    EXPECT_EQ(field(r, proc_key::threadCount), "1");
    EXPECT_EQ(field(r, proc_key::executablePath), own_executable());
    EXPECT_EQ(field(r, proc_key::memoryScanStatus), "ok");
    EXPECT_EQ(field(r, proc_key::manualMapSuspected), "1");
    EXPECT_EQ(field(r, proc_key::manualMapReportOnly), "1");
    EXPECT_TRUE(decimal(field(r, proc_key::privateExecutableRegionCount)));
    const std::string json = field(r, proc_key::privateExecutableRegionsJson);
    const std::string entry = "{\"baseAddress\":\"" + address_text(static_cast<uint64_t>(child.answer())) +
                              "\",\"protect\":\"EXECUTE_READ\",\"protectRaw\":\"32\",\"sampleBytes\":\"8192\","
                              "\"sampleHex\":\"4d5a";
    EXPECT_NE(json.find(entry), std::string::npos) << json.substr(0, 400);
    expect_suspicious_only_from_cheat_scan(r);
}

TEST(InspectionEndToEnd, PlainProcessHasNoManualMapFinding) {
    Child child = plain_child();
    ASSERT_TRUE(child.answered());
    ReportRecord r = inspect_process_record(child.pid(), "/nonexistent", "heavy");
    EXPECT_EQ(field(r, proc_key::memoryScanStatus), "ok");
    EXPECT_EQ(field(r, proc_key::manualMapSuspected), "0");
    EXPECT_EQ(field(r, proc_key::manualMapReportOnly), "0");
    EXPECT_TRUE(decimal(field(r, proc_key::privateExecutableRegionCount)));
    EXPECT_EQ(r.count(std::string(proc_key::privateExecutableRegionsJson)), 0u);
    EXPECT_EQ(field(r, proc_key::externalWriteHandleStatus), "ok");
    EXPECT_EQ(field(r, proc_key::externalWriteHandleCount), "0");
    EXPECT_EQ(field(r, proc_key::debuggerPresent), "0");
    EXPECT_EQ(field(r, proc_key::threadCountSuspicious), "0");
}

TEST(InspectionEndToEnd, VanishedProcessAtMedium) {
    pid_t gone = ::fork();
    if (gone == 0) ::_exit(0);
    ASSERT_GT(gone, 0);
    ::waitpid(gone, nullptr, 0);
    ReportRecord r = inspect_process_record(gone, nullptr, "medium");
    EXPECT_EQ(field(r, proc_key::processFound), "0");
    EXPECT_EQ(field(r, proc_key::threadCount), "0");
    EXPECT_EQ(field(r, proc_key::executablePath), "");
    EXPECT_EQ(field(r, proc_key::debuggerPresent), "0");
    EXPECT_EQ(field(r, proc_key::memoryScanStatus), "not_run_scan_level");
    EXPECT_EQ(field(r, proc_key::externalWriteHandleStatus), "not_run_scan_level");
}

TEST(InspectionEndToEnd, ForeignWriterOfTheGameMemoryIsDescribedButReportOnly) {
    Child target = plain_child();
    ASSERT_TRUE(target.answered());
    const std::string mem = "/proc/" + std::to_string(target.pid()) + "/mem";
    Child writer([&] { return static_cast<int64_t>(::open(mem.c_str(), O_RDWR)); });
    ASSERT_TRUE(writer.answered());
    ASSERT_GE(writer.answer(), 0) << "cannot open " << mem << " for writing here";

    ReportRecord r = inspect_process_record(target.pid(), nullptr, "heavy");
    EXPECT_EQ(field(r, proc_key::externalWriteHandleStatus), "ok");
    EXPECT_EQ(field(r, proc_key::externalWriteHandleCount), "1");
    EXPECT_EQ(field(r, proc_key::externalWriteHandleDetected), "1");
    EXPECT_EQ(field(r, proc_key::externalWriteHandleReportOnly), "1");
    EXPECT_EQ(field(r, proc_key::externalWriteHandleProcessPid), std::to_string(writer.pid()));
    EXPECT_EQ(field(r, proc_key::externalWriteHandleProcessPath), own_executable());
    EXPECT_EQ(field(r, proc_key::externalWriteHandleProcessName), base_name(own_executable()));
    // Read and write access on the descriptor, in the Windows vocabulary.
    EXPECT_EQ(field(r, proc_key::externalWriteHandleAccess), hex_u32(0x1038));
    EXPECT_EQ(field(r, proc_key::externalWriteHandleParentPid), std::to_string(::getpid()));
    EXPECT_EQ(field(r, proc_key::externalWriteHandleParentName), base_name(own_executable()));
    EXPECT_EQ(field(r, proc_key::externalWriteHandleProcessStartedAt).size(), 20u);
    EXPECT_NE(field(r, proc_key::externalWriteHandleProcessAccount).find('\\'), std::string::npos);
    EXPECT_EQ(field(r, proc_key::externalWriteHandleProcessIntegrity), ::geteuid() == 0 ? "system" : "medium");
    EXPECT_EQ(field(r, proc_key::externalWriteHandleWindowVisible), "0");
    EXPECT_EQ(field(r, proc_key::externalWriteHandleProcessSize),
              std::to_string(std::filesystem::file_size(own_executable())));
    EXPECT_EQ(field(r, proc_key::externalWriteHandleProcessMd5).size(), 32u);
    EXPECT_EQ(field(r, proc_key::externalWriteHandleSystemProcessCount), "0");
    expect_suspicious_only_from_cheat_scan(r);

    Child reader([&] { return static_cast<int64_t>(::open(mem.c_str(), O_RDONLY)); });
    ASSERT_GE(reader.answer(), 0);
    writer.reap();
    r = inspect_process_record(target.pid(), nullptr, "heavy");
    EXPECT_EQ(field(r, proc_key::externalWriteHandleStatus), "ok");
    EXPECT_EQ(field(r, proc_key::externalWriteHandleCount), "0");
    EXPECT_EQ(field(r, proc_key::externalWriteHandleReportOnly), "0");
    EXPECT_EQ(field(r, proc_key::externalWriteHandleProcessPid), "");
}

TEST(InspectionEndToEnd, ExecutablePathThatIsNotUtf8IsRepaired) {
    char dir_template[] = "/tmp/inspect_e2e_XXXXXX";
    ASSERT_NE(::mkdtemp(dir_template), nullptr);
    const std::string dir = dir_template;
    const std::string program = dir + "/sl\xE9" "ep";
    std::filesystem::copy_file("/bin/sleep", program);
    ::chmod(program.c_str(), 0755);

    int ready[2];
    ASSERT_EQ(::pipe2(ready, O_CLOEXEC), 0);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::execl(program.c_str(), "sleep", "60", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(ready[1]);
    char ignored;
    (void)!::read(ready[0], &ignored, 1);  // returns once exec has closed the pipe
    ::close(ready[0]);

    ReportRecord r = inspect_process_record(pid, nullptr, "cheap");
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    std::filesystem::remove_all(dir);

    const std::string path = field(r, proc_key::executablePath);
    EXPECT_TRUE(is_structural_utf8(path)) << path;
    EXPECT_EQ(path, dir + "/sl\xC3\xA9" "ep");  // 0xE9 read in the stand-in code page
    EXPECT_EQ(field(r, proc_key::processFound), "1");
}

}  // namespace
}  // namespace ac
