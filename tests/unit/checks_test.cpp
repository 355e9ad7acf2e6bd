// Corpus rules against fingerprints built to match them and real DLLs; the digest set; wrapper trust.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>

#include "checks/fuzzy_corpus_check.hpp"
#include "checks/graphics_wrapper_check.hpp"
#include "checks/known_cheat_digest_check.hpp"
#include "evidence/digest.hpp"
#include "evidence/pe_fingerprint.hpp"

namespace ac {
namespace {

namespace fs = std::filesystem;

constexpr const char* kKnownCode = "5a03e04fe50df04f05f1964e0b2a40db";

// "matched strong rule|family|confidence|features" for a fingerprint.
std::string judge(std::string layout, std::string imports = "0123456789abcdef0123456789abcdef", std::string code = "",
                  bool parsed = true) {
    PeFingerprint fp = empty_pe_fingerprint();
    std::tie(fp.parsed, fp.status, fp.sectionLayout, fp.importMd5, fp.codeMd5) =
        std::tuple(parsed, parsed ? "parsed" : "bad_section_table", layout, imports, code);
    FuzzyCorpusVerdict v = judge_fingerprint(fp);
    return std::to_string(v.matched) + std::to_string(v.strong) + " " + v.ruleId + "|" + v.family + "|" +
           v.confidence + "|" + v.features;
}

TEST(FuzzyCorpus, EachRuleFiresOnItsShapeOnly) {
    const std::string unpacking = "writable_code_section,no_import_table";  // and no imports
    EXPECT_EQ(judge(".text:4096:512:60000020;.vmp0:100:0:e0000020", ""),
              "10 layout-vmp-unpacker|vmprotect|medium|vmp_section," + unpacking);
    EXPECT_EQ(judge(".THEMIDA:4096:4096:e0000060", ""),
              "10 layout-themida-unpacker|themida|medium|themida_section," + unpacking);
    EXPECT_EQ(judge(".text:4096:512:e0000020", ""), "10 layout-self-unpacking|generic-unpacker|medium|" + unpacking);
    const std::array<std::string, 4> packers[] = {  // layout, rule and feature stem, family, confidence
        {".text:4096:512:60000020;.vmp1:10:10:60000020", "vmp", "vmprotect", "medium"},
        {".winlice:1:1:40000040", "themida", "themida", "medium"}, {".nsp1:1:1:e0000020", "nspack", "nspack", "low"},
        {".enigma2:1:1:40000040", "enigma", "enigma", "medium"}, {".aspack:1:1:c0000040", "aspack", "aspack", "low"},
        {"UPX0:65536:0:e0000080;UPX1:4096:4096:e0000040", "upx", "upx", "low"},
        {".petite:1:1:c0000040", "petite", "petite", "low"}, {".MPRESS1:1:1:e0000020", "mpress", "mpress", "low"}};
    for (auto& [layout, stem, family, confidence] : packers)
        EXPECT_EQ(judge(layout), "10 layout-" + stem + "|" + family + "|" + confidence + "|" + stem + "_section");
    EXPECT_EQ(judge(".text:512:512:60000020", "", kKnownCode),
              "11 known-build-test-0001|corpus-test-build|high|code_md5");

    // Ordinary builds, writable code that imports normally, look-alike names, bad layout text, no imports alone.
    for (const char* layout : {".text:4096:4096:60000020;.rdata:100:512:40000040;.data:10:512:c0000040",
                               ".text:4096:4096:e0000020", "", "garbage;;:::x", ".vmp0x:10:10:60000020",
                               "upx0:1:zz:60000020"})
        EXPECT_EQ(judge(layout), "00 |||") << layout;
    EXPECT_EQ(judge(".text:4096:4096:60000020", ""), "00 |||");
    EXPECT_EQ(judge(".text:512:512:60000020", "", "5a03e04fe50df04f05f1964e0b2a40dc"), "00 |||");
    // Nothing of a fingerprint that was not parsed is trusted, not even a known code digest.
    EXPECT_EQ(judge(".vmp0:10:10:e0000020", "", kKnownCode, false), "00 |||");
}

// Every DLL that Wine and MinGW-w64 ship is an ordinary build: none may match.
TEST(FuzzyCorpus, RealWindowsDllsDoNotMatch) {
    std::error_code ec;
    int read = 0, parsed = 0;
    for (const char* root : {"/usr/lib/x86_64-linux-gnu/wine", "/usr/lib/wine", "/usr/x86_64-w64-mingw32",
                             "/usr/lib/gcc/x86_64-w64-mingw32"})
        for (const auto& entry : fs::recursive_directory_iterator(root, ec)) {
            std::string path = entry.path().string(), ext = entry.path().extension().string();
            if (ext != ".dll" && ext != ".exe") continue;
            PeFingerprint fp = read_pe_fingerprint(path, get_file_facts(path));
            ++read;
            parsed += fp.parsed;
            EXPECT_FALSE(judge_fingerprint(fp).matched) << path << " (" << fp.sectionLayout << ")";
        }
    if (read == 0) GTEST_SKIP() << "no Wine or MinGW-w64 DLLs installed";
    EXPECT_GT(parsed, read / 2) << "the reader should parse most of them";
}

TEST(KnownCheatDigests, ShipWithTheDigestsOfTheTestFiles) {
    const fs::path testdata = fs::path(__FILE__).parent_path().parent_path().parent_path() / "testdata";
    for (const char* name : {"known-cheat-test-file.txt", "known-cheat-test-program", "known-cheat-test-module.dll"}) {
        const std::string path = (testdata / name).string();
        EXPECT_TRUE(is_known_cheat_digest(file_md5(path, get_file_facts(path)))) << name;
    }
    EXPECT_FALSE(is_known_cheat_digest("") || is_known_cheat_digest(buffer_md5("", 0)));
}

TEST(GraphicsWrapper, OnlyAcceptedSignersClearASystemWrapper) {
    auto sig = [](std::string status, std::string publisher, bool microsoft = false) {
        return SignatureInfo{std::move(status), "embedded", std::move(publisher), "Some CA", "ab", microsoft};
    };
    EXPECT_TRUE(wrapper_signature_accepted("d3d9.dll", sig("valid", "Microsoft Windows", true)));
    EXPECT_TRUE(wrapper_signature_accepted("vulkan-1.dll", sig("valid", "NVIDIA Corporation")));
    // A driver vendor vouches for the loader it ships, not for Direct3D, and only under its exact name.
    EXPECT_FALSE(wrapper_signature_accepted("d3d9.dll", sig("valid", "NVIDIA Corporation")));
    EXPECT_FALSE(wrapper_signature_accepted("vulkan-1.dll", sig("valid", "NVIDIA Corporation Tools Ltd")));
    EXPECT_FALSE(wrapper_signature_accepted("vulkan-1.dll", sig("invalid", "NVIDIA Corporation")));
    EXPECT_TRUE(wrapper_signature_distrusted("d3d9.dll", sig("unsigned", "")));
    EXPECT_TRUE(wrapper_signature_distrusted("dxgi.dll", sig("valid", "Cheap Certs Ltd")));
    EXPECT_FALSE(wrapper_signature_distrusted("dxgi.dll", sig("valid", "Microsoft Windows", true)));
}

}  // namespace
}  // namespace ac
