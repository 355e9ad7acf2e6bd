// CryptoAPI digests of a deterministic pattern against host-computed digests, and the machine records.
#include <gtest/gtest.h>

#include <cpuid.h>

#include "evidence/digest.hpp"
#include "machine/hwid.hpp"
#include "machine/system_info.hpp"
#include "reports/fields.hpp"
#include "win_test_support.hpp"

namespace ac {

TEST(Digests, BufferAndFileMd5MatchHostDigests) {
    wintest::ScratchDir dir("scratch_digests");
    // hashlib.md5 of the pattern; the file reader's chunk borders fall at 64 KiB.
    for (auto [size, md5] : {std::pair<size_t, const char*>{0, "d41d8cd98f00b204e9800998ecf8427e"},
                             {65536, "6ddae881989d556c679d301c2cfe4baf"}, {65537, "c398b9a82043529c02272bcc51e1673c"},
                             {3 * 1048576 + 7, "25b853deb8e83dd6350aae9b926a4c90"}}) {
        std::vector<uint8_t> bytes = wintest::pattern_bytes(size);
        std::string path = dir.file("pattern_" + std::to_string(size) + ".bin");
        wintest::write_file(path, bytes);
        EXPECT_EQ(buffer_md5(bytes.data(), bytes.size()), md5) << size;
        EXPECT_EQ(file_md5(path, get_file_facts(path)), md5) << size;
    }
    EXPECT_EQ(buffer_md5(nullptr, 1), "");
    EXPECT_EQ(file_md5(dir.file("missing.bin"), get_file_facts(dir.file("missing.bin"))), "");
}

TEST(Machine, HardwareIdInMainFormAndSystemInfoKeys) {
    DWORD serial = 0;
    ASSERT_TRUE(GetVolumeInformationA("C:\\", nullptr, 0, &serial, nullptr, nullptr, nullptr, 0));
    unsigned a, b, c, d;
    __cpuid_count(0, 0, a, b, c, d);
    char expected[40];
    std::snprintf(expected, sizeof(expected), "%x-%x-%x-%x", a ^ b ^ c ^ d ^ static_cast<unsigned>(serial),
                  static_cast<unsigned>(serial), a, b);
    EXPECT_EQ(get_hwid(), expected);  // the same sources read directly, in plain lowercase hex

    ReportRecord info = get_system_info();
    for (const auto& [key, value] : info)
        EXPECT_TRUE(!value.empty() && (key == info_key::displayRefreshHz || key == info_key::displayResolution ||
                                       key == info_key::gpuName || key == info_key::powerPlan)) << key;
    if (wintest::running_under_wine()) {  // Wine reports its own adapter and mains power even without a display
        EXPECT_EQ(std::pair(info[std::string(info_key::gpuName)], info[std::string(info_key::powerPlan)]),
                  std::pair(native_system().display_adapter().value_or(""), std::string(word::power_ac)));
    }
}

}  // namespace ac
