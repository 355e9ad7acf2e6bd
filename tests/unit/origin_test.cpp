// FileOrigin words: the order of the tests and what each one compares.
#include <gtest/gtest.h>

#include "evidence/origin.hpp"
#include "fake_system.hpp"

namespace ac {
namespace {

struct OriginTest : ::testing::Test {
    test::FakeMachine machine;
    ScopedSystemOverride use{machine};
};

TEST_F(OriginTest, PrecedenceOfTheTests) {
    for (const auto& [word, paths] : std::vector<std::pair<std::string, std::vector<const char*>>>{
             {"unknown", {""}},  // the first matching test wins; unnormalised input matches nothing
             {"game_dir", {"c:\\games\\game\\temp\\x.dll", "c:\\games\\game2\\x.dll"}},  // a plain prefix, no boundary
             {"user_writable", {"c:\\windows\\temp\\x.dll", "c:\\program files\\app\\downloads\\a.dll"}},
             {"system32", {"c:\\windows\\system32\\kernel32.dll"}},
             {"windows", {"c:\\windows\\syswow64\\kernel32.dll", "c:\\windows\\system32"}},  // the folder lacks its '\'
             {"program_files", {"c:\\program files\\app\\a.dll", "e:\\program files (x86)\\app\\a.dll"}},
             {"other", {"c:\\games\\gam", "c:\\my program files\\a.dll", "C:\\Windows\\System32\\x.dll",
                        "c:/windows/system32/x.dll", "C:\\Temp\\x.dll", "c:\\Program Files\\x.dll"}}})
        for (const char* path : paths) EXPECT_EQ(classify_origin(path, "c:\\games\\game"), word) << path;
    EXPECT_EQ(classify_origin("c:\\games\\game\\x.dll", ""), "other");

    for (const char* path : {"\\tmp\\a", "c:\\temp\\a", "c:\\users\\bob\\downloads\\a", "c:\\users\\bob\\desktop\\a",
                             "c:\\users\\bob\\documents\\a", "c:\\users\\bob\\appdata\\local\\temp\\a"})
        EXPECT_TRUE(is_user_writable_path(path)) << path;  // whole folder names only
    for (const char* path : {"", "\\tmp", "c:\\temporary\\a", "c:\\mytemp\\a", "c:\\users\\bob\\appdata\\local\\a"})
        EXPECT_FALSE(is_user_writable_path(path)) << path;
}

TEST_F(OriginTest, DirectoriesAreNormalisedAndFailedQueriesSkipped) {
    machine.windows_dir = "D:/WinNT/";
    EXPECT_EQ(windows_directory(), "d:\\winnt\\");
    machine.system_dir.reset();
    EXPECT_EQ(classify_origin("d:\\winnt\\system32\\x.dll", ""), "windows");
    machine.windows_dir.reset();
    EXPECT_EQ(classify_origin("d:\\winnt\\system32\\x.dll", ""), "other");
    machine.system_dir = "";  // an empty answer is no prefix of everything
    EXPECT_EQ(classify_origin("c:\\x.dll", ""), "other");
}

}  // namespace
}  // namespace ac
