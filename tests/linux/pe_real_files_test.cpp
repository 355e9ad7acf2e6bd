// The PE reader on the real PE files this machine carries (Wine's built-in and MinGW's runtime DLLs).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "evidence/digest.hpp"
#include "evidence/pe_fingerprint.hpp"
#include "evidence/text.hpp"

namespace ac {
namespace {

namespace fs = std::filesystem;

// Every *.dll that really is a PE file (import libraries and scripts are skipped).
std::vector<std::string> real_dlls() {
    std::vector<std::string> dirs = {"/usr/lib/x86_64-linux-gnu/wine/x86_64-windows", "/usr/x86_64-w64-mingw32/lib",
                                     "/usr/lib/x86_64-linux-gnu/wine/i386-windows", "/usr/i686-w64-mingw32/lib"};
    std::error_code ec;
    for (const char* gcc : {"/usr/lib/gcc/x86_64-w64-mingw32", "/usr/lib/gcc/i686-w64-mingw32"})
        for (const auto& version : fs::directory_iterator(gcc, ec)) dirs.push_back(version.path().string());
    std::vector<std::string> out;
    for (const auto& dir : dirs)
        for (const auto& file : fs::directory_iterator(dir, ec))
            if (char mz[2] = {}; file.path().extension() == ".dll" &&
                std::ifstream(file.path(), std::ios::binary).read(mz, 2) && std::string_view(mz, 2) == "MZ")
                out.push_back(file.path().string());
    std::sort(out.begin(), out.end());
    return out;
}

// The canonical imports text from binutils' reading, with the reader's limits (128 DLLs, 512 names each).
std::string objdump_imports_text(const std::string& tool, const std::string& path) {
    std::string command = tool + " -p '" + path + "' 2>/dev/null | sed -n '/^The Import Tables/,/^The [^I]/p'";
    FILE* pipe = popen(command.c_str(), "r");
    std::vector<std::pair<std::string, std::multiset<std::string>>> dlls;
    for (char buf[4096]; pipe && fgets(buf, sizeof buf, pipe);) {  // "\tDLL Name: X" or "\tvalue hint name"
        std::string value, hint, name;
        if (buf[0] != '\t' || !(std::istringstream(buf) >> value >> hint >> name) || value == "vma:") continue;
        if (value + hint == "DLLName:") dlls.push_back({to_lower(name) + ':', {}});
        else if (!dlls.empty() && dlls.back().second.size() < 512)
            dlls.back().second.insert(name == "<none>" ? '#' + std::to_string(std::stoull(value, nullptr, 16) & 0xFFFF)
                                                       : to_lower(name));
    }
    if (pipe) pclose(pipe);
    std::multiset<std::string> entries;
    for (size_t i = 0; i < dlls.size() && i < 128; ++i) {
        for (const auto& name : dlls[i].second) dlls[i].first += (dlls[i].first.back() == ':' ? "" : "|") + name;
        entries.insert(dlls[i].first);
    }
    std::string text;
    for (const auto& entry : entries) text += (text.empty() ? "" : ";") + entry;
    return text;
}

TEST(PeRealFiles, EveryInstalledDllParsesAndASampleReadsImportsAsBinutilsDoes) {
    auto dlls = real_dlls();
    if (dlls.empty()) GTEST_SKIP() << "no PE DLLs installed";
    const std::string tool = "/usr/bin/x86_64-w64-mingw32-objdump";
    const bool have_tool = fs::exists(tool);
    size_t with_imports = 0, compared = 0;
    for (size_t i = 0; i < dlls.size(); ++i) {
        const std::string& path = dlls[i];
        FileFacts facts = get_file_facts(path);
        PeFingerprint fp = read_pe_fingerprint(path, facts);
        EXPECT_EQ(fp.status + " " + std::to_string(fp.fileSize), "parsed " + std::to_string(facts.size)) << path;
        with_imports += !fp.importMd5.empty();
        if (!have_tool || (i % 9 && !path.ends_with("32.dll"))) continue;  // a spread, and the system DLLs
        std::string text = objdump_imports_text(tool, path);
        EXPECT_EQ(fp.importMd5, text.empty() ? "" : buffer_md5(text.data(), text.size())) << path << "\n" << text;
        compared += !text.empty();
    }
    EXPECT_GT(with_imports * 10, dlls.size() * 9);  // nearly all import something: a blind import pass shows here
    EXPECT_TRUE(compared > 0 || !have_tool);
}

}  // namespace
}  // namespace ac
