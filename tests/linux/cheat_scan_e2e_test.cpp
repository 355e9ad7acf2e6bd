// The cheat-process scans on the live machine: a harmless program started
// under a listed cheat name, and the harmless known-cheat test program.
//
// Other programs on this machine (other test runs among them) may carry
// listed names too, so the exact answers are taken over a process list
// narrowed to this test's own processes; everything else (image paths, file
// facts, digests) comes from the real system.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>

#include "evidence/digest.hpp"
#include "reports/cheat_process_scan.hpp"
#include "reports/fields.hpp"
#include "reports/process_report.hpp"
#include "reports/record.hpp"
#include "support/counting_system.hpp"

namespace ac {
namespace {

namespace fs = std::filesystem;

// The real system with its process list narrowed to the given processes.
class NarrowedSystem : public test::CountingSystem {
public:
    std::set<uint32_t> keep;
    std::optional<std::vector<ProcessEntry>> process_snapshot() override {
        auto all = CountingSystem::process_snapshot();
        if (!all) return all;
        std::vector<ProcessEntry> out;
        for (auto& p : *all)
            if (keep.count(p.pid)) out.push_back(p);
        return out;
    }
};

// A program started from `path` that runs until it is killed.
class Program {
public:
    explicit Program(const fs::path& path, std::vector<std::string> args = {}) : path_(path) {
        pid_ = ::fork();
        if (pid_ == 0) {
            std::vector<char*> argv;
            std::string name = path.filename().string();
            argv.push_back(name.data());
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(path.c_str(), argv.data());
            ::_exit(127);
        }
        // Running once its image is the new file.
        for (int i = 0; i < 200; ++i) {
            std::error_code ec;
            if (fs::read_symlink("/proc/" + std::to_string(pid_) + "/exe", ec) == path) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~Program() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    uint32_t pid() const { return static_cast<uint32_t>(pid_); }

private:
    fs::path path_;
    pid_t pid_ = -1;
};

std::string md5_of_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return buffer_md5(bytes.data(), bytes.size());
}

class CheatScanE2E : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::path("/tmp") / ("anticheat_cheat_e2e_" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        renamed_ = dir_ / "CheatEngine-x86_64.exe";
        fs::copy_file("/usr/bin/sleep", renamed_);
        test_program_ = dir_ / "known-cheat-test-program";
        fs::copy_file(fs::path(__FILE__).parent_path().parent_path().parent_path() / "testdata" /
                          "known-cheat-test-program",
                      test_program_);
        fs::permissions(test_program_, fs::perms::owner_all);
        narrowed_.keep.insert(static_cast<uint32_t>(::getpid()));
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    fs::path dir_, renamed_, test_program_;
    NarrowedSystem narrowed_;
};

TEST_F(CheatScanE2E, RenamedProgramIsDetectedAndDescribed) {
    Program cheat(renamed_, {"600"});
    EXPECT_TRUE(is_cheat_detected());  // on the whole machine

    narrowed_.keep.insert(cheat.pid());
    ScopedSystemOverride use(narrowed_);
    EXPECT_TRUE(is_cheat_detected());
    EXPECT_EQ(detect_cheat_process_record(), (ReportRecord{{"detected", "1"},
                                                          {"md5", md5_of_file("/usr/bin/sleep")},
                                                          {"name", "CheatEngine-x86_64.exe"},
                                                          {"path", renamed_.string()}}));

    // The process inspection at medium reports it by name only.
    ReportRecord r = inspect_process_record(::getpid(), "", "medium");
    EXPECT_EQ(get_field(r, proc_key::knownCheatProcessNameOnlyMatch), "1");
    EXPECT_EQ(get_field(r, proc_key::knownCheatProcessName), "CheatEngine-x86_64.exe");
    EXPECT_EQ(get_field(r, proc_key::knownCheatProcessPath), renamed_.string());
    EXPECT_EQ(get_field(r, proc_key::knownCheatProcessHashMatch), "0");
    EXPECT_EQ(get_field(r, proc_key::toolProcessCategory), "memory-editor");
    EXPECT_EQ(get_field(r, proc_key::toolProcessMatchStrength), "name");
    EXPECT_EQ(r.count(std::string(proc_key::blockedNameHashMatch)), 0u);
    EXPECT_EQ(get_field(r, proc_key::suspicious), "0") << "a name alone is not conclusive";
}

TEST_F(CheatScanE2E, NothingFlagged) {
    ScopedSystemOverride use(narrowed_);
    EXPECT_FALSE(is_cheat_detected());
    EXPECT_EQ(detect_cheat_process_record(),
              (ReportRecord{{"detected", "0"}, {"md5", ""}, {"name", ""}, {"path", ""}}));
}

TEST_F(CheatScanE2E, KnownCheatTestProgramMatchesByDigest) {
    Program program(test_program_);
    narrowed_.keep.insert(program.pid());
    ScopedSystemOverride use(narrowed_);
    const std::string md5 = md5_of_file(test_program_);

    ReportRecord r = inspect_process_record(::getpid(), "", "medium");
    EXPECT_EQ(get_field(r, proc_key::knownCheatProcessHashMatch), "1");
    EXPECT_EQ(get_field(r, proc_key::knownCheatProcessNameOnlyMatch), "0");
    EXPECT_EQ(get_field(r, proc_key::knownCheatProcessMd5), md5);
    EXPECT_EQ(get_field(r, proc_key::blockedNameHashMatch), "1");
    EXPECT_EQ(get_field(r, proc_key::blockedNameHashMatchName), "known-cheat-test-program");
    EXPECT_EQ(get_field(r, proc_key::blockedNameHashMatchHash), md5);
    EXPECT_EQ(get_field(r, proc_key::toolProcessMatchStrength), "hash");
    EXPECT_EQ(get_field(r, proc_key::suspicious), "1");
}

TEST_F(CheatScanE2E, HeavySweepFindsTheDigestUnderAnyName) {
    fs::path plain = dir_ / "notes";
    fs::copy_file(test_program_, plain);
    Program program(plain);
    narrowed_.keep.insert(program.pid());
    ScopedSystemOverride use(narrowed_);

    ReportRecord medium = inspect_process_record(::getpid(), "", "medium");
    EXPECT_EQ(get_field(medium, proc_key::knownCheatProcessHashMatch), "0") << "medium reads flagged names only";

    ReportRecord heavy = inspect_process_record(::getpid(), "", "heavy");
    EXPECT_EQ(get_field(heavy, proc_key::knownCheatProcessHashMatch), "1");
    EXPECT_EQ(get_field(heavy, proc_key::knownCheatProcessName), "notes");
    EXPECT_EQ(get_field(heavy, proc_key::knownCheatProcessPath), plain.string());
    EXPECT_EQ(get_field(heavy, proc_key::toolProcessCategory), "cheat-tool");
}

}  // namespace
}  // namespace ac
