// FileOrigin words: the order of the tests and what each one compares.
#include <gtest/gtest.h>

#include "evidence/origin.hpp"
#include "fake_system.hpp"

namespace ac {
namespace {

class OriginTest : public ::testing::Test {
protected:
    test::FakeMachine machine;
    ScopedSystemOverride use{machine};
};

TEST_F(OriginTest, DirectoriesAreNormalisedWithOneTrailingBackslash) {
    EXPECT_EQ(system_directory(), "c:\\windows\\system32\\");
    EXPECT_EQ(windows_directory(), "c:\\windows\\");
    machine.windows_dir = "D:/WinNT/";
    EXPECT_EQ(windows_directory(), "d:\\winnt\\");
    machine.system_dir.reset();
    EXPECT_EQ(system_directory(), "");
}

TEST_F(OriginTest, PrecedenceOfTheTests) {
    const std::string game = "c:\\games\\game";
    EXPECT_EQ(classify_origin("", ""), "unknown");
    EXPECT_EQ(classify_origin("", game), "unknown");
    EXPECT_EQ(classify_origin("c:\\games\\game\\temp\\x.dll", game), "game_dir");
    EXPECT_EQ(classify_origin("c:\\games\\game2\\x.dll", game), "game_dir");  // plain prefix, no boundary
    EXPECT_EQ(classify_origin("c:\\games\\gam", game), "other");             // shorter than the game dir
    EXPECT_EQ(classify_origin("c:\\games\\game\\x.dll", ""), "other");
    EXPECT_EQ(classify_origin("c:\\windows\\temp\\x.dll", game), "user_writable");
    EXPECT_EQ(classify_origin("c:\\windows\\system32\\kernel32.dll", game), "system32");
    EXPECT_EQ(classify_origin("c:\\windows\\syswow64\\kernel32.dll", game), "windows");
    EXPECT_EQ(classify_origin("c:\\windows\\system32", game), "windows");  // the folder itself lacks the backslash
    EXPECT_EQ(classify_origin("c:\\program files\\app\\a.dll", game), "program_files");
    EXPECT_EQ(classify_origin("e:\\program files (x86)\\app\\a.dll", game), "program_files");
    EXPECT_EQ(classify_origin("c:\\program files\\app\\downloads\\a.dll", game), "user_writable");
    EXPECT_EQ(classify_origin("c:\\my program files\\a.dll", game), "other");
    EXPECT_EQ(classify_origin("c:\\tools\\a.dll", game), "other");
}

TEST_F(OriginTest, UserWritableFragmentsMatchWholeFolderNames) {
    for (const char* path : {"\\tmp\\a", "c:\\temp\\a", "c:\\users\\bob\\downloads\\a", "c:\\users\\bob\\desktop\\a",
                             "c:\\users\\bob\\documents\\a", "c:\\users\\bob\\appdata\\local\\temp\\a"})
        EXPECT_TRUE(is_user_writable_path(path)) << path;
    for (const char* path : {"", "\\tmp", "c:\\temporary\\a", "c:\\mytemp\\a", "c:\\users\\bob\\appdata\\local\\a"})
        EXPECT_FALSE(is_user_writable_path(path)) << path;
}

TEST_F(OriginTest, UnnormalisedInputMatchesNothing) {
    EXPECT_EQ(classify_origin("C:\\Windows\\System32\\x.dll", ""), "other");
    EXPECT_EQ(classify_origin("c:/windows/system32/x.dll", ""), "other");
    EXPECT_EQ(classify_origin("C:\\Temp\\x.dll", ""), "other");
    EXPECT_EQ(classify_origin("c:\\Program Files\\x.dll", ""), "other");
}

TEST_F(OriginTest, FailedDirectoryQueriesAreSkipped) {
    machine.system_dir.reset();
    EXPECT_EQ(classify_origin("c:\\windows\\system32\\x.dll", ""), "windows");
    machine.windows_dir.reset();
    EXPECT_EQ(classify_origin("c:\\windows\\system32\\x.dll", ""), "other");
    machine.system_dir = "";
    EXPECT_EQ(classify_origin("c:\\x.dll", ""), "other");
}

}  // namespace
}  // namespace ac
