// Module inspection of a live child that loaded libraries from a game directory,
// from a user-writable folder and under a name that is not UTF-8.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "evidence/digest.hpp"
#include "evidence/origin.hpp"
#include "evidence/text.hpp"
#include "reports/module_report.hpp"
#include "reports/record.hpp"
#include "support/counting_system.hpp"
#include "support/forked_child.hpp"

namespace ac {
namespace {

namespace fs = std::filesystem;

constexpr const char* kLibrary = "/usr/lib/x86_64-linux-gnu/libz.so.1";

TEST(ModulesE2E, OriginsReasonsAndDigestsOfALiveProcess) {
    if (!fs::exists(kLibrary)) GTEST_SKIP() << kLibrary << " is missing";
    // The game directory must lie outside every user-writable folder (a checkout under /tmp would not).
    fs::path base = fs::canonical("/proc/self/exe").parent_path();
    if (is_user_writable_path(normalize_path(base.string() + "/"))) {
        const char* home = std::getenv("HOME");
        if (!home || is_user_writable_path(normalize_path(std::string(home) + "/")))
            GTEST_SKIP() << "no folder outside the user-writable ones to play the game directory";
        base = home;
    }
    const fs::path game = base / ("e2e_game_" + std::to_string(::getpid())),
                   downloads = fs::path("/tmp") / ("anticheat_e2e_" + std::to_string(::getpid()));
    struct Cleanup {  // declared before the child, so it runs after the child is ended
        fs::path game, downloads;
        ~Cleanup() { std::error_code ec; fs::remove_all(game, ec), fs::remove_all(downloads, ec); }
    } cleanup{game, downloads};
    for (const auto& dir : {game, downloads}) fs::create_directories(dir);
    const std::vector<fs::path> libraries = {game / "libgame.so", downloads / "libhelper.so", game / "caf\xe9.so"};
    for (const auto& lib : libraries) fs::copy_file(kLibrary, lib);
    test::ForkedChild<int> child([&] {
        int ok = 1;
        for (const auto& lib : libraries) ok &= ::dlopen(lib.c_str(), RTLD_NOW | RTLD_LOCAL) != nullptr;
        return ok;
    });
    ASSERT_TRUE(child.answered() && child.answer() == 1);

    const std::string game_dir = game.string(), md5 = file_md5(kLibrary, get_file_facts(kLibrary));
    auto records = inspect_process_modules_records(child.pid(), game_dir.c_str(), "medium");
    auto fields = [&records](std::string_view basename) {  // origin, reasons, hash status, md5, path
        std::string out = "missing";
        for (const auto& r : records)
            if (get_field(r, mod_key::basename) == basename)
                for (out.clear(); auto key : {mod_key::origin, mod_key::hashReason, mod_key::suspiciousReasons,
                                              mod_key::hashStatus, mod_key::md5, mod_key::path})
                    out.append(get_field(r, key)).append(" ");
        return out;
    };
    EXPECT_EQ(fields("libgame.so"), "game_dir game_dir  hashed " + md5 + " " + game_dir + "/libgame.so ");
    EXPECT_EQ(fields("libhelper.so"), "user_writable user_writable_path user_writable_path hashed " + md5 + " " +
                                          downloads.string() + "/libhelper.so ");
    // A name in the system code page comes back as UTF-8.
    EXPECT_EQ(fields("caf\xc3\xa9.so"), "game_dir game_dir  hashed " + md5 + " " + game_dir + "/caf\xc3\xa9.so ");

    // Again at medium: the same answers without opening a single file.
    test::CountingSystem counting;
    ScopedSystemOverride use(counting);
    EXPECT_EQ(inspect_process_modules_records(child.pid(), game_dir.c_str(), "medium"), records);
    EXPECT_EQ(counting.file_opens, 0);
}

}  // namespace
}  // namespace ac
