// The PE reader on the real PE files this machine carries (Wine's built-in
// DLLs, the MinGW runtime DLLs), the imports text cross-checked against
// binutils' own reading of the import tables, and the Linux answers of the
// origin and signature services.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "evidence/digest.hpp"
#include "evidence/origin.hpp"
#include "evidence/pe_fingerprint.hpp"
#include "evidence/signature.hpp"
#include "evidence/text.hpp"

namespace ac {
namespace {

namespace fs = std::filesystem;

struct PeDir {
    std::string path;
    uint32_t machine;
};

std::vector<PeDir> pe_dirs() {
    std::vector<PeDir> dirs = {{"/usr/lib/x86_64-linux-gnu/wine/x86_64-windows", 0x8664},
                               {"/usr/lib/x86_64-linux-gnu/wine/i386-windows", 0x14C},
                               {"/usr/x86_64-w64-mingw32/lib", 0x8664},
                               {"/usr/i686-w64-mingw32/lib", 0x14C}};
    std::error_code ec;
    for (const auto& gcc : {"/usr/lib/gcc/x86_64-w64-mingw32", "/usr/lib/gcc/i686-w64-mingw32"})
        for (const auto& version : fs::directory_iterator(gcc, ec))
            dirs.push_back({version.path().string(), std::string(gcc).find("x86_64") != std::string::npos ? 0x8664u : 0x14Cu});
    return dirs;
}

bool starts_with_mz(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    char magic[2] = {};
    return in.read(magic, 2) && magic[0] == 'M' && magic[1] == 'Z';
}

// Every *.dll that really is a PE file (import libraries and scripts are skipped).
std::vector<std::pair<std::string, uint32_t>> real_dlls() {
    std::vector<std::pair<std::string, uint32_t>> out;
    for (const auto& dir : pe_dirs()) {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(dir.path, ec))
            if (entry.path().extension() == ".dll" && entry.is_regular_file() && starts_with_mz(entry.path()))
                out.emplace_back(entry.path().string(), dir.machine);
    }
    std::sort(out.begin(), out.end());
    return out;
}

TEST(PeRealFiles, EveryInstalledDllParses) {
    auto dlls = real_dlls();
    if (dlls.empty()) GTEST_SKIP() << "no PE DLLs installed";
    size_t with_imports = 0;
    for (const auto& [path, machine] : dlls) {
        FileFacts facts = get_file_facts(path);
        ASSERT_TRUE(facts.found) << path;
        PeFingerprint fp = read_pe_fingerprint(path, facts);
        EXPECT_EQ(fp.status, "parsed") << path;
        EXPECT_EQ(fp.machine, machine) << path;
        EXPECT_FALSE(fp.sectionLayout.empty()) << path;
        EXPECT_EQ(fp.fileSize, facts.size) << path;
        EXPECT_EQ(std::count(fp.sectionLayout.begin(), fp.sectionLayout.end(), ';') + 1, fp.sectionCount) << path;
        if (!fp.importMd5.empty()) ++with_imports;
    }
    // Nearly every DLL imports something; an import pass that silently found
    // nothing would show here.
    EXPECT_GT(with_imports * 10, dlls.size() * 9) << with_imports << " of " << dlls.size();
}

// ---- binutils as an independent reader of the import tables

std::string run(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) return {};
    std::string out;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe.get())) > 0) out.append(buf, n);
    return out;
}

std::string objdump_tool() {
    for (const char* tool : {"/usr/bin/x86_64-w64-mingw32-objdump", "/usr/bin/objdump"})
        if (fs::exists(tool)) return tool;
    return {};
}

// The canonical imports text from `objdump -p`, with the reader's limits.
std::string objdump_imports_text(const std::string& tool, const std::string& path) {
    std::istringstream lines(run(tool + " -p '" + path + "' 2>/dev/null"));
    std::vector<std::pair<std::string, std::vector<std::string>>> dlls;
    bool in_imports = false;
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("The Import Tables", 0) == 0) {
            in_imports = true;
            continue;
        }
        if (in_imports && line.rfind("The ", 0) == 0) break;
        if (!in_imports) continue;
        if (auto at = line.find("DLL Name: "); at != std::string::npos) {
            dlls.emplace_back(to_lower(line.substr(at + 10)), std::vector<std::string>{});
            continue;
        }
        if (dlls.empty() || line.empty() || line[0] != '\t' || line.find("vma:") != std::string::npos) continue;
        std::istringstream row(line);
        std::string value, hint, name;
        if (!(row >> value >> hint >> name)) continue;
        auto& names = dlls.back().second;
        if (names.size() == 512) continue;
        if (name == "<none>")
            names.push_back('#' + std::to_string(std::stoull(value, nullptr, 16) & 0xFFFF));
        else
            names.push_back(to_lower(name));
    }
    if (dlls.size() > 128) dlls.resize(128);
    std::vector<std::string> entries;
    for (auto& [dll, names] : dlls) {
        std::sort(names.begin(), names.end());
        std::string entry = dll + ':';
        for (size_t i = 0; i < names.size(); ++i) entry += (i ? "|" : "") + names[i];
        entries.push_back(entry);
    }
    std::sort(entries.begin(), entries.end());
    std::string text;
    for (size_t i = 0; i < entries.size(); ++i) text += (i ? ";" : "") + entries[i];
    return text;
}

TEST(PeRealFiles, ImportsMatchWhatBinutilsReads) {
    std::string tool = objdump_tool();
    if (tool.empty()) GTEST_SKIP() << "no objdump";
    auto dlls = real_dlls();
    if (dlls.empty()) GTEST_SKIP() << "no PE DLLs installed";
    // A spread of files, plus ones with many imports and ordinal imports.
    std::vector<std::string> sample;
    for (size_t i = 0; i < dlls.size(); i += 9) sample.push_back(dlls[i].first);
    for (const char* name : {"/kernel32.dll", "/comdlg32.dll", "/shell32.dll"})
        for (const auto& [path, _] : dlls)
            if (path.size() > std::strlen(name) && path.ends_with(name)) sample.push_back(path);

    size_t compared = 0;
    for (const auto& path : sample) {
        std::string text = objdump_imports_text(tool, path);
        PeFingerprint fp = read_pe_fingerprint(path, get_file_facts(path));
        if (text.empty()) {
            EXPECT_EQ(fp.importMd5, "") << path;
            continue;
        }
        EXPECT_EQ(fp.importMd5, buffer_md5(text.data(), text.size())) << path << "\n" << text.substr(0, 400);
        ++compared;
    }
    EXPECT_GT(compared, 0u);
}

TEST(PeRealFiles, OriginsAndSignaturesOnLinux) {
    // The system library directory stands for the system directory, its parent for Windows.
    EXPECT_EQ(system_directory(), "\\usr\\lib\\");
    EXPECT_EQ(windows_directory(), "\\usr\\");
    EXPECT_EQ(classify_origin(normalize_path("/usr/lib/x86_64-linux-gnu/libc.so.6"), ""), "system32");
    EXPECT_EQ(classify_origin(normalize_path("/usr/bin/env"), ""), "windows");
    EXPECT_EQ(classify_origin(normalize_path("/tmp/x.so"), ""), "user_writable");
    EXPECT_EQ(classify_origin(normalize_path("/opt/Game/bin/x.so"), normalize_path("/opt/Game")), "game_dir");

    // No trust provider: nothing is verified and no verdict is invented.
    for (const auto& [path, _] : real_dlls()) {
        SignatureInfo info = signature_info(path, get_file_facts(path));
        EXPECT_EQ(info.status, "unavailable");
        EXPECT_EQ(info.source, "none");
        break;
    }
    EXPECT_EQ(verify_signature("/usr/bin/env").status, "unavailable");
}

}  // namespace
}  // namespace ac
