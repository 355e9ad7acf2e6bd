// Hardware identifier and support telemetry on a scripted machine.
#include <gtest/gtest.h>

#include "fake_system.hpp"
#include "machine/hwid.hpp"
#include "machine/system_info.hpp"

namespace ac {
namespace {

using test::FakeMachine;

TEST(Hwid, MainFormFromSerialAndCpuidLeafZero) {
    FakeMachine m;  // leaf 0 of the worked example: 16, GenuineIntel
    ScopedSystemOverride use(m);
    m.volume_serial = 0x1a2b3c4d;
    EXPECT_EQ(get_hwid(), "4a45431b-1a2b3c4d-16-756e6547");
    m.volume_serial = 0;  // zero is a successful read
    EXPECT_EQ(get_hwid(), "506e7f56-0-16-756e6547");
    m.volume_serial = 0x0000abcd;
    m.cpuid_regs = {0x0000000d, 0x00000001, 0, 0};
    EXPECT_EQ(get_hwid(), "abc1-abcd-d-1");
}

TEST(Hwid, FallbackFormWhenTheVolumeCannotBeRead) {
    FakeMachine m;
    ScopedSystemOverride use(m);
    m.self_pid = 1234;
    EXPECT_EQ(get_hwid(), "PC-FAKEPC-1234");
    m.name_of_computer.reset();
    EXPECT_EQ(get_hwid(), "PC-UNKNOWN-1234");
}

TEST(SystemInfo, LaptopOnBattery) {
    FakeMachine m;
    ScopedSystemOverride use(m);
    m.adapter = "Example Adapter";
    m.mode = DisplayMode{1920, 1080, 60};
    m.ac_line = 0;
    ReportRecord expected{{"displayRefreshHz", "60"},
                          {"displayResolution", "1920x1080"},
                          {"gpuName", "Example Adapter"},
                          {"powerPlan", "battery"}};
    EXPECT_EQ(get_system_info(), expected);
}

TEST(SystemInfo, EachKeyOnlyWhenItsSourceAnswersUsefully) {
    FakeMachine m;
    ScopedSystemOverride use(m);
    EXPECT_TRUE(get_system_info().empty());  // no adapter, no mode, unknown power

    m.mode = DisplayMode{1920, 1080, 1};  // 1 = hardware default, not a rate
    EXPECT_EQ(get_system_info(), (ReportRecord{{"displayResolution", "1920x1080"}}));
    m.mode = DisplayMode{0, 1080, 2};
    EXPECT_EQ(get_system_info(), (ReportRecord{{"displayRefreshHz", "2"}}));
    m.mode.reset();
    m.adapter = "";
    m.ac_line = 255;
    EXPECT_TRUE(get_system_info().empty());
    m.ac_line = 1;
    EXPECT_EQ(get_system_info(), (ReportRecord{{"powerPlan", "ac"}}));
}

}  // namespace
}  // namespace ac
