// The module loads wintrust, crypt32 and version from the system directory only: copies planted beside an
// executable that makes every evidence and trust call never load.
#include <gtest/gtest.h>

#include <filesystem>

#include "win_test_support.hpp"

namespace ac {
namespace {

std::vector<std::string> markers(const std::string& dir) {
    std::vector<std::string> found;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ignored))
        if (entry.path().extension() == ".loaded") found.push_back(entry.path().filename().string());
    return found;
}

// Under Wine the test environment sets WINEDLLOVERRIDES so that Wine, like Windows, prefers a copy of wintrust
// or crypt32 beside a program to its own; the version.dll copy then only shows that nothing asked for it by name.
TEST(DllLoading, SystemDllsPlantedBesideTheExecutableNeverLoad) {
    wintest::ScratchDir dir("scratch_planted");  // a fresh process in it, so nothing was loaded before
    const std::string probe = dir.file("planted_dll_probe.exe");
    ASSERT_TRUE(CopyFileA((wintest::exe_dir() + "planted_dll_probe.exe").c_str(), probe.c_str(), FALSE));
    for (const char* name : {"version.dll", "wintrust.dll", "crypt32.dll"})
        ASSERT_TRUE(CopyFileA(wintest::fixture_path(std::string("planted\\") + name).c_str(), dir.file(name).c_str(),
                              FALSE)) << name;

    wintest::Child bare(probe, "--bare");  // the way a plant gets in: a bare name finds the copy first
    ASSERT_TRUE(bare);
    bare.wait_exit();
    EXPECT_EQ(markers(dir.path), std::vector<std::string>{"crypt32.dll.loaded"});
    std::filesystem::remove(dir.file("crypt32.dll.loaded"));

    wintest::Child calls(probe, "");
    ASSERT_TRUE(calls);
    EXPECT_EQ(calls.wait_exit(), 0u) << "the evidence calls did not work beside the copies";
    EXPECT_EQ(markers(dir.path), std::vector<std::string>{});
}

}  // namespace
}  // namespace ac
