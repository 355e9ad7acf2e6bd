// CryptoAPI digests of a deterministic pattern against digests computed on the
// host, and the machine identity and telemetry records under Wine.
#include <gtest/gtest.h>

#include <cpuid.h>

#include <regex>

#include "evidence/digest.hpp"
#include "machine/hwid.hpp"
#include "machine/system_info.hpp"
#include "reports/fields.hpp"
#include "win_test_support.hpp"

namespace ac {
namespace {

struct KnownDigest {
    size_t size;
    const char* md5;
};

// hashlib.md5 of the pattern (byte i = top byte of i * 2654435761 in 32 bits).
constexpr KnownDigest kPatternDigests[] = {
    {0, "d41d8cd98f00b204e9800998ecf8427e"},
    {1, "93b885adfe0da089cdf634904fd59f71"},
    {65536, "6ddae881989d556c679d301c2cfe4baf"},
    {65537, "c398b9a82043529c02272bcc51e1673c"},
    {3 * 1048576 + 7, "25b853deb8e83dd6350aae9b926a4c90"},
};

TEST(Digests, BufferAndFileMd5MatchHostDigests) {
    wintest::ScratchDir dir("scratch_digests");
    for (const KnownDigest& known : kPatternDigests) {
        SCOPED_TRACE(known.size);
        std::vector<uint8_t> bytes = wintest::pattern_bytes(known.size);
        EXPECT_EQ(buffer_md5(bytes.data(), bytes.size()), known.md5);

        // Chunk borders of the file reader fall at 64 KiB.
        std::string path = dir.file("pattern_" + std::to_string(known.size) + ".bin");
        wintest::write_file(path, bytes);
        EXPECT_EQ(file_md5(path, get_file_facts(path)), known.md5);
    }
    EXPECT_EQ(buffer_md5(nullptr, 0), kPatternDigests[0].md5);
    EXPECT_EQ(buffer_md5(nullptr, 1), "");
    EXPECT_EQ(file_md5(dir.file("missing.bin"), get_file_facts(dir.file("missing.bin"))), "");
}

bool is_plain_hex(const std::string& group) {
    return !group.empty() && group.size() <= 8 && (group == "0" || group[0] != '0') &&
           group.find_first_not_of("0123456789abcdef") == std::string::npos;
}

TEST(Machine, HardwareIdentifierInMainForm) {
    std::string id = get_hwid();
    std::smatch groups;
    ASSERT_TRUE(std::regex_match(id, groups, std::regex("([^-]+)-([^-]+)-([^-]+)-([^-]+)"))) << id;
    for (int i = 1; i <= 4; ++i) EXPECT_TRUE(is_plain_hex(groups[i].str())) << id;

    // The same sources read directly give the same numbers.
    DWORD serial = 0;
    ASSERT_TRUE(GetVolumeInformationA("C:\\", nullptr, 0, &serial, nullptr, nullptr, nullptr, 0));
    unsigned a, b, c, d;
    __cpuid_count(0, 0, a, b, c, d);
    auto hex = [](uint32_t v) {
        char text[9];
        std::snprintf(text, sizeof(text), "%x", v);
        return std::string(text);
    };
    EXPECT_EQ(id, hex(a ^ b ^ c ^ d ^ serial) + "-" + hex(serial) + "-" + hex(a) + "-" + hex(b));
    EXPECT_EQ(get_hwid(), id);
}

TEST(Machine, SystemInfoHoldsOnlyItsFourKeysWithUsableValues) {
    ReportRecord info = get_system_info();
    for (const auto& [key, value] : info) {
        EXPECT_TRUE(key == info_key::displayRefreshHz || key == info_key::displayResolution ||
                    key == info_key::gpuName || key == info_key::powerPlan)
            << key;
        EXPECT_FALSE(value.empty()) << key;
    }
    if (auto res = info.find(std::string(info_key::displayResolution)); res != info.end()) {
        EXPECT_TRUE(std::regex_match(res->second, std::regex("[1-9][0-9]*x[1-9][0-9]*"))) << res->second;
    }
    if (auto power = info.find(std::string(info_key::powerPlan)); power != info.end()) {
        EXPECT_TRUE(power->second == word::power_ac || power->second == word::power_battery);
    }
    // Wine reports its own adapter and mains power even without a display.
    if (wintest::running_under_wine()) {
        EXPECT_EQ(info[std::string(info_key::gpuName)], native_system().display_adapter().value_or(""));
        EXPECT_EQ(info[std::string(info_key::powerPlan)], word::power_ac);
    }
}

}  // namespace
}  // namespace ac
