// Helpers of the Windows tests: where the fixtures lie, scratch directories,
// the deterministic byte pattern of the digest tests, and the PE layout of a
// module as the loader mapped it.
#pragma once

// Portable headers before <windows.h>: the port spells Windows names itself.
#include "platform/system.hpp"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace ac::wintest {

inline std::string exe_path() {
    char buffer[MAX_PATH] = {};
    DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    return std::string(buffer, n);
}

inline std::string exe_dir() {
    std::string path = exe_path();
    return path.substr(0, path.find_last_of('\\') + 1);
}

inline std::string fixture_path(const std::string& name) { return exe_dir() + "fixtures\\" + name; }

inline std::u16string widen_ascii(const std::string& text) { return std::u16string(text.begin(), text.end()); }

inline bool running_under_wine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

// key=value lines written by the fixture signing step; empty when the host
// had no signing tools.
inline std::map<std::string, std::string> signing_facts() {
    std::map<std::string, std::string> facts;
    std::ifstream in(fixture_path("fixtures.txt"));
    std::string line;
    while (std::getline(in, line)) {
        auto eq = line.find('=');
        if (eq != std::string::npos) facts[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return facts;
}

// Byte i of the digest pattern: the top byte of i times 2654435761, in 32 bits.
inline std::vector<uint8_t> pattern_bytes(size_t count) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>((static_cast<uint32_t>(i) * 2654435761u) >> 24);
    return bytes;
}

inline void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A fresh directory next to the executable, removed with its files at the end.
class ScratchDir {
public:
    explicit ScratchDir(const std::string& name) : path_(exe_dir() + name + "\\") {
        clear();
        CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~ScratchDir() { clear(); }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + name; }

private:
    void clear() {
        WIN32_FIND_DATAA data;
        HANDLE find = FindFirstFileA((path_ + "*").c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileA((path_ + data.cFileName).c_str());
            } while (FindNextFileA(find, &data));
            FindClose(find);
        }
        RemoveDirectoryA(path_.c_str());
    }
    std::string path_;
};

// Section headers of a PE image, from a file's bytes or a mapped module.
inline const IMAGE_SECTION_HEADER* find_section(const uint8_t* image, const char* name) {
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(image + dos->e_lfanew);
    auto* sections = IMAGE_FIRST_SECTION(nt);
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
        char section_name[9] = {};
        std::memcpy(section_name, sections[i].Name, 8);
        if (std::string(section_name) == name) return &sections[i];
    }
    return nullptr;
}

}  // namespace ac::wintest
