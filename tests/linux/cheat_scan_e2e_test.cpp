// The cheat-process scans on the live machine, over a process list narrowed to this test's own
// (other programs here may carry listed names too): a renamed program and the known-cheat test program.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "evidence/digest.hpp"
#include "reports/cheat_process_scan.hpp"
#include "reports/process_report.hpp"
#include "reports/record.hpp"
#include "support/counting_system.hpp"

namespace ac {
namespace {

namespace fs = std::filesystem;

struct NarrowedSystem : test::CountingSystem {
    std::set<uint32_t> keep{static_cast<uint32_t>(::getpid())};
    std::optional<std::vector<ProcessEntry>> process_snapshot() override {
        auto all = CountingSystem::process_snapshot();
        if (all) std::erase_if(*all, [this](const ProcessEntry& p) { return !keep.count(p.pid); });
        return all;
    }
};

// A copy of `source` started as `name` from a folder of its own; it runs until the test ends.
struct Program {
    fs::path dir, path;
    pid_t pid = -1;
    std::error_code ec;
    Program(const fs::path& source, const std::string& name)
        : dir(fs::path("/tmp") / ("anticheat_cheat_e2e_" + std::to_string(::getpid()) + name)), path(dir / name) {
        fs::create_directories(dir), fs::copy_file(source, path), fs::permissions(path, fs::perms::owner_all);
        if ((pid = ::fork()) == 0) ::execl(path.c_str(), name.c_str(), "600", nullptr), ::_exit(127);
        for (int i = 0; i < 200 && fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec) != path; ++i)
            ::usleep(10000);  // running once its image is the new file
    }
    ~Program() { ::kill(pid, SIGKILL), ::waitpid(pid, nullptr, 0), fs::remove_all(dir, ec); }
};

TEST(CheatScanE2E, NothingFlaggedThenRenamedProgramThenTestProgram) {
    NarrowedSystem narrowed; ScopedSystemOverride use(narrowed);
    EXPECT_FALSE(is_cheat_detected());
    EXPECT_EQ(detect_cheat_process_record(),
              (ReportRecord{{"detected", "0"}, {"md5", ""}, {"name", ""}, {"path", ""}}));

    Program cheat("/usr/bin/sleep", "CheatEngine-x86_64.exe");
    narrowed.keep.insert(cheat.pid);
    EXPECT_TRUE(is_cheat_detected());
    EXPECT_EQ(detect_cheat_process_record(),
              (ReportRecord{{"detected", "1"}, {"md5", file_md5("/usr/bin/sleep", get_file_facts("/usr/bin/sleep"))},
                            {"name", "CheatEngine-x86_64.exe"}, {"path", cheat.path.string()}}));

    Program program(fs::path(__FILE__).parent_path().parent_path().parent_path() / "testdata" /
                        "known-cheat-test-program", "known-cheat-test-program");
    narrowed.keep.insert(program.pid);
    const std::string md5 = "2f31174d476fd0c87532e56af5208a1a";
    ReportRecord r = inspect_process_record(::getpid(), "", "medium");
    using namespace proc_key;
    EXPECT_EQ(std::tuple(get_field(r, knownCheatProcessHashMatch), get_field(r, knownCheatProcessMd5),
                         get_field(r, blockedNameHashMatchName), get_field(r, blockedNameHashMatchHash),
                         get_field(r, suspicious)),
              std::tuple("1", md5, "known-cheat-test-program", md5, "1"));
}

}  // namespace
}  // namespace ac
