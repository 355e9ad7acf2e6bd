// Corpus rules against fingerprints built to match them and real DLLs; the digest set; wrapper trust.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>

#include "checks/cheat_process_names.hpp"
#include "checks/detection_tables.hpp"
#include "checks/fuzzy_corpus_check.hpp"
#include "checks/graphics_wrapper_check.hpp"
#include "checks/known_cheat_digest_check.hpp"
#include "checks/tool_process_table.hpp"
#include "evidence/digest.hpp"
#include "evidence/pe_fingerprint.hpp"

namespace ac {
namespace {

namespace fs = std::filesystem;

constexpr const char *kKnownCode = "5a03e04fe50df04f05f1964e0b2a40db", *kNearMiss = "5a03e04fe50df04f05f1964e0b2a40dc";

// "matched strong rule|family|confidence|features" for a fingerprint.
std::string judge(std::string layout, std::string imports = "0123", std::string code = "", bool parsed = true) {
    PeFingerprint fp = empty_pe_fingerprint();
    std::tie(fp.parsed, fp.status, fp.sectionLayout, fp.importMd5, fp.codeMd5) =
        std::tuple(parsed, parsed ? "parsed" : "bad_section_table", layout, imports, code);
    FuzzyCorpusVerdict v = judge_fingerprint(fp);
    return std::to_string(v.matched) + std::to_string(v.strong) + " " + v.ruleId + "|" + v.family + "|" +
           v.confidence + "|" + v.features;
}

TEST(FuzzyCorpus, EachRuleFiresOnItsShapeOnly) {
    const std::string u = ",writable_code_section,no_import_table", none = "00 |||";  // unpackers: and no imports
    const std::array<std::string, 3> cases[] = {  // layout, import digest, verdict
        {".text:4096:512:60000020;.vmp0:100:0:e0000020", "", "10 layout-vmp-unpacker|vmprotect|medium|vmp_section" + u},
        {".THEMIDA:4096:4096:e0000060", "", "10 layout-themida-unpacker|themida|medium|themida_section" + u},
        {".text:4096:512:e0000020", "", "10 layout-self-unpacking|generic-unpacker|medium|" + u.substr(1)},
        {".text:4096:512:60000020;.vmp1:10:10:60000020", "1", "10 layout-vmp|vmprotect|medium|vmp_section"},
        {"UPX0:65536:0:e0000080;UPX1:4096:4096:e0000040", "1", "10 layout-upx|upx|low|upx_section"},
        // Ordinary builds, writable code that imports normally, look-alike names, bad layout text, no imports alone.
        {".text:4096:4096:60000020;.rdata:100:512:40000040;.data:10:512:c0000040", "1", none},
        {".text:4096:4096:e0000020", "1", none}, {".vmp0x:10:10:60000020", "1", none}, {"", "1", none},
        {"upx0:1:zz:60000020", "1", none}, {"garbage;;:::x", "1", none}, {".text:4096:4096:60000020", "", none}};
    for (auto& [layout, imports, verdict] : cases) EXPECT_EQ(judge(layout, imports), verdict) << layout;
    // The known code digest is strong; a near miss is not, nor anything of a fingerprint that was not parsed.
    EXPECT_EQ(judge(".text:512:512:60000020", "", kKnownCode) + judge(".text:512:512:60000020", "", kNearMiss) +
                  judge(".vmp0:10:10:e0000020", "", kKnownCode, false),
              "11 known-build-test-0001|corpus-test-build|high|code_md5" + none + none);
}

TEST(FuzzyCorpus, RealWindowsDllsDoNotMatch) {  // Wine and MinGW-w64 ship ordinary builds only
    std::error_code ec;
    int read = 0, parsed = 0;
    for (const char* root : {"/usr/lib/x86_64-linux-gnu/wine", "/usr/lib/wine", "/usr/x86_64-w64-mingw32"})
        for (const auto& entry : fs::recursive_directory_iterator(root, ec)) {
            if (auto ext = entry.path().extension(); ext != ".dll" && ext != ".exe") continue;
            PeFingerprint fp = read_pe_fingerprint(entry.path().string(), get_file_facts(entry.path().string()));
            ++read, parsed += fp.parsed;
            EXPECT_FALSE(judge_fingerprint(fp).matched) << entry.path() << " (" << fp.sectionLayout << ")";
        }
    if (read == 0) GTEST_SKIP() << "no Wine or MinGW-w64 DLLs installed";
    EXPECT_GT(parsed, read / 2) << "the reader should parse most of them";
}

TEST(Checks, KnownCheatDigestsAndGraphicsWrapperSigners) {
    const std::string dir = (fs::path(__FILE__).parent_path().parent_path().parent_path() / "testdata/").string();
    for (const char* name : {"known-cheat-test-file.txt", "known-cheat-test-program", "known-cheat-test-module.dll"})
        EXPECT_TRUE(is_known_cheat_digest(file_md5(dir + name, get_file_facts(dir + name)))) << name;
    EXPECT_FALSE(is_known_cheat_digest("") || is_known_cheat_digest(buffer_md5("", 0)));

    auto sig = [](auto s, auto p, bool m = false) { return SignatureInfo{s, "embedded", p, "CA", "ab", m}; };
    EXPECT_TRUE(wrapper_signature_accepted("d3d9.dll", sig("valid", "Microsoft Windows", true)));
    EXPECT_TRUE(wrapper_signature_accepted("vulkan-1.dll", sig("valid", "NVIDIA Corporation")));
    EXPECT_FALSE(wrapper_signature_accepted("d3d9.dll", sig("valid", "NVIDIA Corporation")));  // its loader only
    EXPECT_FALSE(wrapper_signature_accepted("vulkan-1.dll", sig("valid", "NVIDIA Corporation Tools Ltd")));
    EXPECT_FALSE(wrapper_signature_accepted("vulkan-1.dll", sig("invalid", "NVIDIA Corporation")));
    EXPECT_TRUE(wrapper_signature_distrusted("d3d9.dll", sig("unsigned", "")));
    EXPECT_TRUE(wrapper_signature_distrusted("dxgi.dll", sig("valid", "Cheap Certs Ltd")));
    EXPECT_FALSE(wrapper_signature_distrusted("dxgi.dll", sig("valid", "Microsoft Windows", true)));
}

// The generated tables keep each list apart: the quick verdict sees only its
// own names, and a write-handle holder is judged by both digest tables.
TEST(Checks, NameListsAndHolderDigestsFromTheDataFiles) {
    EXPECT_TRUE(is_known_cheat_process("cheatengine.exe") && inspection_name_flagged("cheatengine.exe"));
    EXPECT_FALSE(is_known_cheat_process("trainer.exe"));
    EXPECT_TRUE(inspection_name_flagged("trainer.exe"));
    EXPECT_FALSE(is_known_cheat_process("CheatEngine.exe") || inspection_name_flagged("notepad.exe"));
    EXPECT_EQ(std::string(tool_category("x64dbg.exe")) + "," + std::string(tool_category("notepad.exe")), "debugger,");
    EXPECT_TRUE(is_graphics_wrapper("xinput1_3.dll"));
    for (const auto& row : tables::kKnownCheatDigests) EXPECT_TRUE(is_known_bad_holder_digest(row.md5)) << row.note;
    for (const auto& row : tables::kKnownBadHolderDigests) {
        EXPECT_TRUE(is_known_bad_holder_digest(row.md5)) << row.note;
        EXPECT_FALSE(is_known_cheat_digest(row.md5)) << row.note;  // a holder digest alone is no cheat
    }
    EXPECT_FALSE(is_known_bad_holder_digest(""));
}

}  // namespace
}  // namespace ac
