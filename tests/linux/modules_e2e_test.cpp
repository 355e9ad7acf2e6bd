// Module inspection of a real child process that loaded libraries from a
// game directory, from a user-writable folder and under a name that is not
// UTF-8, and that mapped the harmless known-cheat test file.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "evidence/digest.hpp"
#include "evidence/origin.hpp"
#include "evidence/text.hpp"
#include "reports/fields.hpp"
#include "reports/module_report.hpp"
#include "reports/record.hpp"
#include "support/counting_system.hpp"

namespace ac {
namespace {

namespace fs = std::filesystem;

constexpr const char* kLibrary = "/usr/lib/x86_64-linux-gnu/libz.so.1";

std::string file_bytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string md5_of_file(const fs::path& p) {
    std::string bytes = file_bytes(p);
    return buffer_md5(bytes.data(), bytes.size());
}

// A forked child that loads the libraries, maps the data files executable
// (as an image would be) and waits until it is killed.
class LoaderChild {
public:
    LoaderChild(const std::vector<std::string>& libraries, const std::vector<std::string>& mapped) {
        int p[2];
        if (::pipe2(p, O_CLOEXEC) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            char ok = 1;
            for (const auto& lib : libraries)
                if (!::dlopen(lib.c_str(), RTLD_NOW | RTLD_LOCAL)) ok = 0;
            for (const auto& file : mapped) {
                int fd = ::open(file.c_str(), O_RDONLY);
                if (fd < 0 || ::mmap(nullptr, 4096, PROT_READ | PROT_EXEC, MAP_PRIVATE, fd, 0) == MAP_FAILED) ok = 0;
            }
            if (::write(p[1], &ok, 1) != 1) ::_exit(1);
            for (;;) ::pause();
        }
        ::close(p[1]);
        char ok = 0;
        ready_ = pid_ > 0 && ::read(p[0], &ok, 1) == 1 && ok == 1;
        ::close(p[0]);
    }
    ~LoaderChild() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    bool ready() const { return ready_; }
    int32_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    bool ready_ = false;
};

class ModulesE2E : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(kLibrary)) GTEST_SKIP() << kLibrary << " is missing";
        // The game directory must lie outside every user-writable folder (a
        // checkout under /tmp would not): beside the test binary, else in HOME.
        fs::path base = fs::canonical("/proc/self/exe").parent_path();
        if (is_user_writable_path(normalize_path(base.string() + "/"))) {
            const char* home = std::getenv("HOME");
            if (!home || is_user_writable_path(normalize_path(std::string(home) + "/")))
                GTEST_SKIP() << "no folder outside the user-writable ones to play the game directory";
            base = home;
        }
        game_ = base / ("e2e_game_" + std::to_string(::getpid()));
        downloads_ = fs::path("/tmp") / ("anticheat_e2e_" + std::to_string(::getpid()));
        fs::create_directories(game_);
        fs::create_directories(downloads_);
        fs::copy_file(kLibrary, game_ / "libgame.so");
        fs::copy_file(kLibrary, game_ / "caf\xe9.so");
        fs::copy_file(kLibrary, downloads_ / "libhelper.so");
        fs::path testdata = fs::path(__FILE__).parent_path().parent_path().parent_path() / "testdata";
        fs::copy_file(testdata / "known-cheat-test-file.txt", game_ / "known-cheat-test-file.txt");
    }
    void TearDown() override {
        std::error_code ec;
        if (!game_.empty()) fs::remove_all(game_, ec);
        if (!downloads_.empty()) fs::remove_all(downloads_, ec);
    }

    static const ReportRecord* find(const std::vector<ReportRecord>& records, std::string_view basename) {
        for (const auto& r : records)
            if (get_field(r, mod_key::basename) == basename) return &r;
        return nullptr;
    }

    fs::path game_, downloads_;
};

TEST_F(ModulesE2E, OriginsReasonsAndDigestsOfALiveProcess) {
    LoaderChild child({(game_ / "libgame.so").string(), (downloads_ / "libhelper.so").string(),
                       (game_ / "caf\xe9.so").string()},
                      {(game_ / "known-cheat-test-file.txt").string()});
    ASSERT_TRUE(child.ready());
    const std::string game_dir = game_.string();

    auto records = inspect_process_modules_records(child.pid(), game_dir.c_str(), "medium");
    ASSERT_GE(records.size(), 5u);
    EXPECT_EQ(get_field(records[0], mod_key::path), fs::canonical("/proc/self/exe").string())
        << "the main executable comes first";

    const ReportRecord* game = find(records, "libgame.so");
    ASSERT_NE(game, nullptr);
    EXPECT_EQ(get_field(*game, mod_key::origin), "game_dir");
    EXPECT_EQ(get_field(*game, mod_key::hashReason), "game_dir");
    EXPECT_EQ(get_field(*game, mod_key::suspiciousReasons), "");
    EXPECT_EQ(get_field(*game, mod_key::hashStatus), "hashed");
    EXPECT_EQ(get_field(*game, mod_key::md5), md5_of_file(kLibrary));
    EXPECT_EQ(get_field(*game, mod_key::size), std::to_string(fs::file_size(kLibrary)));
    EXPECT_EQ(get_field(*game, mod_key::peFingerprintStatus), "not_pe");
    EXPECT_EQ(get_field(*game, mod_key::textHashStatus), "not_checked_scan_level");

    const ReportRecord* helper = find(records, "libhelper.so");
    ASSERT_NE(helper, nullptr);
    EXPECT_EQ(get_field(*helper, mod_key::origin), "user_writable");
    EXPECT_EQ(get_field(*helper, mod_key::hashReason), "user_writable_path");
    EXPECT_EQ(get_field(*helper, mod_key::suspiciousReasons), "user_writable_path");
    EXPECT_EQ(get_field(*helper, mod_key::suspicious), "1");
    EXPECT_EQ(get_field(*helper, mod_key::md5), md5_of_file(kLibrary));

    // The system library directory stands in for the system directory.
    for (const auto& r : records) {
        if (get_field(r, mod_key::path).rfind("/usr/lib/", 0) != 0) continue;
        EXPECT_EQ(get_field(r, mod_key::origin), "system32") << get_field(r, mod_key::path);
        EXPECT_EQ(get_field(r, mod_key::hashStatus), "not_hashed_policy");
    }

    const ReportRecord* cheat = find(records, "known-cheat-test-file.txt");
    ASSERT_NE(cheat, nullptr);
    EXPECT_EQ(get_field(*cheat, mod_key::knownCheatHashMatch), "1");
    EXPECT_EQ(get_field(*cheat, mod_key::blockedHashMatch), "1");
    EXPECT_EQ(get_field(*cheat, mod_key::suspiciousReasons), "known_cheat_hash");
    EXPECT_EQ(get_field(*cheat, mod_key::reportOnlyReasons), "known_cheat_hash");

    // A name in the system code page comes back as UTF-8.
    const ReportRecord* cafe = find(records, "caf\xc3\xa9.so");
    ASSERT_NE(cafe, nullptr);
    EXPECT_EQ(get_field(*cafe, mod_key::path), game_dir + "/caf\xc3\xa9.so");
    EXPECT_EQ(get_field(*cafe, mod_key::md5), md5_of_file(kLibrary));

    // Again at medium: the same answers without opening a single file.
    test::CountingSystem counting;
    ScopedSystemOverride use(counting);
    auto again = inspect_process_modules_records(child.pid(), game_dir.c_str(), "medium");
    EXPECT_EQ(counting.file_opens, 0);
    EXPECT_EQ(again, records);

    // Heavy reads the code of game modules from memory; these are not PE images.
    auto heavy = inspect_process_modules_records(child.pid(), game_dir.c_str(), "heavy");
    const ReportRecord* game_heavy = find(heavy, "libgame.so");
    ASSERT_NE(game_heavy, nullptr);
    EXPECT_EQ(get_field(*game_heavy, mod_key::textHashStatus), "unavailable");
    EXPECT_EQ(get_field(*game_heavy, mod_key::textMd5), "");
}

TEST_F(ModulesE2E, EndedProcessGivesNothing) {
    pid_t pid = ::fork();
    if (pid == 0) ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    EXPECT_TRUE(inspect_process_modules_records(pid, game_.string().c_str(), "heavy").empty());
}

}  // namespace
}  // namespace ac
