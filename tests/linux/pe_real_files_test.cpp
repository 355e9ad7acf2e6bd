// The PE reader on the real PE files this machine carries (Wine's built-in and MinGW's runtime DLLs).
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "evidence/digest.hpp"
#include "evidence/pe_fingerprint.hpp"
#include "evidence/text.hpp"
#include "../../fuzz/pe_reference.hpp"

namespace ac {
namespace {

namespace fs = std::filesystem;

// Every *.dll that really is a PE file (import libraries and scripts are skipped), sorted.
std::set<std::string> real_dlls() {
    std::set<std::string> out;
    for (std::error_code ec; const char* root :
         {"/usr/lib/x86_64-linux-gnu/wine", "/usr/x86_64-w64-mingw32/lib", "/usr/i686-w64-mingw32/lib", "/usr/lib/gcc"})
        for (const auto& file : fs::recursive_directory_iterator(root, ec))
            if (char mz[2] = {}; file.path().extension() == ".dll" &&
                std::ifstream(file.path(), std::ios::binary).read(mz, 2) && std::string_view(mz, 2) == "MZ")
                out.insert(file.path().string());
    return out;
}

// The canonical imports text from binutils' reading, with the reader's limits (128 DLLs, 512 names each).
std::string objdump_imports_text(const std::string& tool, const std::string& path) {
    const std::string command = tool + " -p '" + path + "' 2>/dev/null | sed -n '/^The Import Tables/,/^The [^I]/p'";
    FILE* pipe = popen(command.c_str(), "r");
    std::vector<std::pair<std::string, std::multiset<std::string>>> dlls;
    std::string text, value, hint, name;
    for (char buf[4096]; pipe && fgets(buf, sizeof buf, pipe);) {  // "\tDLL Name: X" or "\tvalue hint name"
        if (buf[0] != '\t' || !(std::istringstream(buf) >> value >> hint >> name) || value == "vma:") continue;
        if (value + hint == "DLLName:") dlls.push_back({to_lower(name) + ':', {}});
        else if (!dlls.empty() && dlls.back().second.size() < 512)
            dlls.back().second.insert(name == "<none>" ? '#' + std::to_string(std::stoull(value, nullptr, 16) & 0xFFFF)
                                                       : to_lower(name));
    }
    if (pipe) pclose(pipe);
    std::multiset<std::string> entries;  // "dll:name|name", joined in order with ';'
    for (size_t i = 0; i < dlls.size() && i < 128; entries.insert(dlls[i++].first))
        for (const auto& import_name : dlls[i].second)
            dlls[i].first += (dlls[i].first.back() == ':' ? "" : "|") + import_name;
    for (const auto& entry : entries) text += (text.empty() ? "" : ";") + entry;
    return text;
}

TEST(PeRealFiles, EveryInstalledDllParsesAndASampleReadsImportsAsBinutilsDoes) {
    const std::set<std::string> dlls = real_dlls();
    if (dlls.empty()) GTEST_SKIP() << "no PE DLLs installed";
    const std::string tool = "/usr/bin/x86_64-w64-mingw32-objdump";
    size_t compared = 0, i = 0;  // a blind import pass shows in the comparisons
    for (const std::string& path : dlls) {
        const FileFacts facts = get_file_facts(path); const PeFingerprint fp = read_pe_fingerprint(path, facts);
        EXPECT_EQ(fp.status + " " + std::to_string(fp.fileSize), "parsed " + std::to_string(facts.size)) << path;
        // The streamed reading equals the plain reading of the whole file held in memory.
        std::ifstream in(path, std::ios::binary);
        const std::vector<uint8_t> whole{std::istreambuf_iterator<char>(in), {}};
        const PeFingerprint ref = fuzz::reference_fingerprint(whole);
        EXPECT_EQ(fp.sectionLayout + fp.codeSectionName + fp.codeMd5 + fp.dataMd5 + fp.importMd5,
                  ref.sectionLayout + ref.codeSectionName + ref.codeMd5 + ref.dataMd5 + ref.importMd5) << path;
        if (!fs::exists(tool) || (i++ % 9 && !path.ends_with("32.dll"))) continue;  // a spread, and the system DLLs
        const std::string text = objdump_imports_text(tool, path);
        EXPECT_EQ(fp.importMd5, text.empty() ? "" : buffer_md5(text.data(), text.size())) << path << "\n" << text;
        compared += !text.empty();
    }
    EXPECT_TRUE(compared > 0 || !fs::exists(tool));
}

}  // namespace
}  // namespace ac
