// The detection tables and rules: corpus rules against fingerprints built to
// match them and against real Windows DLLs, the digest set against the test
// files it ships for, wrapper trust, names and the heavy sweep exemption.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "checks/cheat_process_names.hpp"
#include "checks/fuzzy_corpus_check.hpp"
#include "checks/graphics_wrapper_check.hpp"
#include "checks/heavy_sweep_exemption.hpp"
#include "checks/known_cheat_digest_check.hpp"
#include "checks/tool_process_table.hpp"
#include "evidence/digest.hpp"
#include "evidence/pe_fingerprint.hpp"

namespace ac {
namespace {

namespace fs = std::filesystem;

PeFingerprint parsed(std::string layout, std::string import_md5 = "0123456789abcdef0123456789abcdef") {
    PeFingerprint fp = empty_pe_fingerprint();
    fp.parsed = true;
    fp.status = "parsed";
    fp.sectionLayout = std::move(layout);
    fp.importMd5 = std::move(import_md5);
    return fp;
}

struct RuleCase {
    const char* layout;
    bool imports;
    const char* rule, *family, *confidence, *features;
};

TEST(FuzzyCorpus, EachLayoutRuleFiresOnItsShapeAndIsNeverStrong) {
    const RuleCase cases[] = {
        {".text:4096:512:60000020;.vmp0:100:0:e0000020", false, "layout-vmp-unpacker", "vmprotect", "medium",
         "vmp_section,writable_code_section,no_import_table"},
        {".THEMIDA:4096:4096:e0000060", false, "layout-themida-unpacker", "themida", "medium",
         "themida_section,writable_code_section,no_import_table"},
        {".text:4096:512:e0000020", false, "layout-self-unpacking", "generic-unpacker", "medium",
         "writable_code_section,no_import_table"},
        {".text:4096:512:60000020;.vmp1:10:10:60000020", true, "layout-vmp", "vmprotect", "medium", "vmp_section"},
        {".winlice:10:10:40000040", true, "layout-themida", "themida", "medium", "themida_section"},
        {".enigma2:10:10:40000040", true, "layout-enigma", "enigma", "medium", "enigma_section"},
        {"UPX0:65536:0:e0000080;UPX1:4096:4096:e0000040", true, "layout-upx", "upx", "low", "upx_section"},
        {".aspack:10:10:c0000040", true, "layout-aspack", "aspack", "low", "aspack_section"},
        {".petite:10:10:c0000040", true, "layout-petite", "petite", "low", "petite_section"},
        {".MPRESS1:10:10:e0000020", true, "layout-mpress", "mpress", "low", "mpress_section"},
        {".nsp1:10:10:e0000020", true, "layout-nspack", "nspack", "low", "nspack_section"},
    };
    for (const RuleCase& c : cases) {
        SCOPED_TRACE(c.rule);
        FuzzyCorpusVerdict v = judge_fingerprint(parsed(c.layout, c.imports ? "0123456789abcdef0123456789abcdef" : ""));
        EXPECT_TRUE(v.matched);
        EXPECT_FALSE(v.strong);
        EXPECT_EQ(v.ruleId, c.rule);
        EXPECT_EQ(v.family, c.family);
        EXPECT_EQ(v.confidence, c.confidence);
        EXPECT_EQ(v.features, c.features);
    }
}

TEST(FuzzyCorpus, OrdinaryShapesAndUnparsedFilesDoNotMatch) {
    // Ordinary builds, writable code that imports normally, names that only resemble a packer's, bad layout text.
    for (const char* layout : {".text:4096:4096:60000020;.rdata:100:512:40000040;.data:10:512:c0000040",
                               ".text:4096:4096:60000020", ".text:4096:4096:e0000020", "", "garbage;;:::x",
                               ".vmp0x:10:10:60000020", "upx0:1:zz:60000020"}) {
        SCOPED_TRACE(layout);
        EXPECT_FALSE(judge_fingerprint(parsed(layout)).matched);
    }
    EXPECT_FALSE(judge_fingerprint(parsed(".text:4096:4096:60000020", "")).matched) << "no imports alone";

    // Nothing of a fingerprint that was not parsed is trusted, not even a known code digest.
    PeFingerprint fp = parsed(".vmp0:10:10:e0000020", "");
    fp.codeMd5 = "5a03e04fe50df04f05f1964e0b2a40db";
    fp.parsed = false;
    fp.status = "bad_section_table";
    FuzzyCorpusVerdict v = judge_fingerprint(fp);
    EXPECT_FALSE(v.matched);
    EXPECT_EQ(v.ruleId, "");
}

TEST(FuzzyCorpus, TestModuleIsTheKnownBuild) {
    std::string path = (fs::path(__FILE__).parent_path().parent_path().parent_path() / "testdata" /
                        "known-cheat-test-module.dll").string();
    PeFingerprint fp = read_pe_fingerprint(path, get_file_facts(path));
    ASSERT_TRUE(fp.parsed) << fp.status;
    FuzzyCorpusVerdict v = judge_fingerprint(fp);
    EXPECT_TRUE(v.strong);
    EXPECT_EQ(v.ruleId, "known-build-test-0001");
}

TEST(FuzzyCorpus, KnownBuildCodeIsStrong) {
    PeFingerprint fp = parsed(".text:512:512:60000020", "");
    fp.codeMd5 = "5a03e04fe50df04f05f1964e0b2a40db";
    FuzzyCorpusVerdict v = judge_fingerprint(fp);
    EXPECT_TRUE(v.matched);
    EXPECT_TRUE(v.strong);
    EXPECT_EQ(v.ruleId, "known-build-test-0001");
    EXPECT_EQ(v.family, "corpus-test-build");
    EXPECT_EQ(v.confidence, "high");
    EXPECT_EQ(v.features, "code_md5");

    fp.codeMd5 = "5a03e04fe50df04f05f1964e0b2a40dc";
    EXPECT_FALSE(judge_fingerprint(fp).matched);
}

// Every DLL that Wine and MinGW-w64 ship is an ordinary build: none may match.
TEST(FuzzyCorpus, RealWindowsDllsDoNotMatch) {
    std::vector<fs::path> dirs = {"/usr/lib/x86_64-linux-gnu/wine/x86_64-windows",
                                  "/usr/lib/x86_64-linux-gnu/wine/i386-windows", "/usr/lib/wine/x86_64-windows",
                                  "/usr/lib/wine/i386-windows", "/usr/x86_64-w64-mingw32/lib",
                                  "/usr/x86_64-w64-mingw32/bin"};
    std::error_code ec;
    for (const auto& gcc : fs::directory_iterator("/usr/lib/gcc/x86_64-w64-mingw32", ec))
        dirs.push_back(gcc.path());
    int read = 0, parsed_count = 0;
    for (const fs::path& dir : dirs) {
        for (const auto& entry : fs::directory_iterator(dir, ec)) {
            std::string ext = entry.path().extension().string();
            if (ext != ".dll" && ext != ".exe") continue;
            std::string path = entry.path().string();
            PeFingerprint fp = read_pe_fingerprint(path, get_file_facts(path));
            ++read;
            parsed_count += fp.parsed;
            FuzzyCorpusVerdict v = judge_fingerprint(fp);
            EXPECT_FALSE(v.matched) << path << " matched " << v.ruleId << " (" << fp.sectionLayout << ")";
        }
    }
    if (read == 0) GTEST_SKIP() << "no Wine or MinGW-w64 DLLs installed";
    EXPECT_GT(parsed_count, read / 2) << "the reader should parse most of them";
}

fs::path testdata() { return fs::path(__FILE__).parent_path().parent_path().parent_path() / "testdata"; }

TEST(KnownCheatDigests, ShipWithTheDigestsOfTheTestFiles) {
    for (const char* name : {"known-cheat-test-file.txt", "known-cheat-test-program", "known-cheat-test-module.dll"}) {
        std::ifstream in(testdata() / name, std::ios::binary);
        ASSERT_TRUE(in) << name;
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_TRUE(is_known_cheat_digest(buffer_md5(bytes.data(), bytes.size()))) << name;
    }
    EXPECT_FALSE(is_known_cheat_digest(""));
    EXPECT_FALSE(is_known_cheat_digest(buffer_md5("", 0)));
}

SignatureInfo signature(std::string status, std::string publisher, bool microsoft = false) {
    return {std::move(status), "embedded", std::move(publisher), "Some CA", "ab", microsoft};
}

TEST(GraphicsWrapper, OnlyAcceptedSignersClearASystemWrapper) {
    EXPECT_TRUE(is_graphics_wrapper("d3d9.dll"));
    EXPECT_FALSE(is_graphics_wrapper("D3D9.DLL")) << "callers lowercase";

    EXPECT_TRUE(wrapper_signature_accepted("d3d9.dll", signature("valid", "Microsoft Windows", true)));
    EXPECT_TRUE(wrapper_signature_accepted("vulkan-1.dll", signature("valid", "NVIDIA Corporation")));
    // A driver vendor vouches for the loader it ships, not for Direct3D, and only under its exact name.
    EXPECT_FALSE(wrapper_signature_accepted("d3d9.dll", signature("valid", "NVIDIA Corporation")));
    EXPECT_FALSE(wrapper_signature_accepted("vulkan-1.dll", signature("valid", "NVIDIA Corporation Tools Ltd")));
    EXPECT_FALSE(wrapper_signature_accepted("vulkan-1.dll", signature("invalid", "NVIDIA Corporation")));

    for (const char* status : {"unsigned", "invalid", "unavailable"})
        EXPECT_TRUE(wrapper_signature_distrusted("d3d9.dll", signature(status, ""))) << status;
    EXPECT_TRUE(wrapper_signature_distrusted("dxgi.dll", signature("valid", "Cheap Certs Ltd")));
    EXPECT_FALSE(wrapper_signature_distrusted("dxgi.dll", signature("valid", "Microsoft Windows", true)));
}

TEST(ProcessNames, InspectionListCoversTheQuickList) {
    EXPECT_TRUE(is_known_cheat_process("cheatengine-x86_64.exe"));
    EXPECT_FALSE(is_known_cheat_process("CheatEngine-x86_64.exe")) << "callers lowercase";
    EXPECT_TRUE(inspection_name_flagged("cheatengine-x86_64.exe"));
    EXPECT_TRUE(inspection_name_flagged("speedhack.exe"));
    EXPECT_FALSE(is_known_cheat_process("speedhack.exe"));
    EXPECT_EQ(tool_category("notepad.exe"), "");
}

TEST(HeavySweepExemption, OnlyPresentSystemFiles) {
    const FileFacts present{true, 100, 5};
    EXPECT_TRUE(heavy_sweep_exempt("system32", present));
    EXPECT_TRUE(heavy_sweep_exempt("windows", present));
    EXPECT_FALSE(heavy_sweep_exempt("system32", FileFacts{}));
    for (const char* origin : {"program_files", "other", "user_writable", "unknown"})
        EXPECT_FALSE(heavy_sweep_exempt(origin, present)) << origin;
}

}  // namespace
}  // namespace ac
