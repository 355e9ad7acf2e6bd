// Helpers of the Windows tests: fixtures, scratch directories, the digest pattern, PE sections.
#pragma once

#include "platform/system.hpp"  // before <windows.h>: the port spells Windows names itself

#include <windows.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

namespace ac::wintest {

inline std::string exe_path() {
    char buffer[MAX_PATH] = {};
    return std::string(buffer, GetModuleFileNameA(nullptr, buffer, MAX_PATH));
}
inline std::string exe_dir() { return exe_path().substr(0, exe_path().find_last_of('\\') + 1); }
inline std::string fixture_path(const std::string& name) { return exe_dir() + "fixtures\\" + name; }
inline bool running_under_wine() { return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version"); }

// key=value lines written by the fixture signing step; empty when the host had no signing tools.
inline std::map<std::string, std::string> signing_facts() {
    std::map<std::string, std::string> facts;
    std::ifstream in(fixture_path("fixtures.txt"));
    for (std::string line; std::getline(in, line);)
        if (auto eq = line.find('='); eq != std::string::npos) facts[line.substr(0, eq)] = line.substr(eq + 1);
    return facts;
}

// Byte i of the digest pattern: the top byte of i times 2654435761, in 32 bits.
inline std::vector<uint8_t> pattern_bytes(size_t count) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>((static_cast<uint32_t>(i) * 2654435761u) >> 24);
    return bytes;
}
inline void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}
inline std::vector<uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A fresh directory next to the executable, removed with its files at the end.
struct ScratchDir {
    const std::string path;
    std::error_code ignored;
    explicit ScratchDir(const std::string& name) : path(exe_dir() + name + "\\") {
        std::filesystem::remove_all(path, ignored), std::filesystem::create_directory(path, ignored);
    }
    ~ScratchDir() { std::filesystem::remove_all(path, ignored); }
    std::string file(const std::string& name) const { return path + name; }
};

// A child process, ended and waited for when it goes out of scope.
struct Child {
    PROCESS_INFORMATION info = {};
    Child(const std::string& exe, const std::string& arguments, DWORD flags = 0) {
        std::string line = "\"" + exe + "\" " + arguments;
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        if (!CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr, &startup,
                            &info))
            info = {};
    }
    ~Child() {
        if (!info.hProcess) return;
        TerminateProcess(info.hProcess, 0), WaitForSingleObject(info.hProcess, 10000);
        CloseHandle(info.hThread), CloseHandle(info.hProcess);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    explicit operator bool() const { return info.hProcess != nullptr; }
    uint32_t pid() const { return info.dwProcessId; }
    DWORD wait_exit(DWORD ms = 60000) const {  // the exit code, or STILL_ACTIVE on time-out
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(info.hProcess, ms) == WAIT_OBJECT_0) GetExitCodeProcess(info.hProcess, &code);
        return code;
    }
};

inline const IMAGE_SECTION_HEADER* find_section(const uint8_t* image, const char* name) {
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(image + dos->e_lfanew);
    for (auto* s = IMAGE_FIRST_SECTION(nt); s < IMAGE_FIRST_SECTION(nt) + nt->FileHeader.NumberOfSections; ++s)
        if (std::strncmp(reinterpret_cast<const char*>(s->Name), name, 8) == 0) return s;
    return nullptr;
}

}  // namespace ac::wintest
