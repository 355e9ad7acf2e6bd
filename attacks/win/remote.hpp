// Shared by the Windows attack programs: the calls every one of them makes on
// the game process, and the way each tells the runner it is done.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace attack {

[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "%s failed: %lu\n", what, GetLastError());
    std::exit(2);
}

[[noreturn]] inline void ready_and_wait() {
    std::puts("ready");
    std::fflush(stdout);
    for (;;) Sleep(INFINITE);
}

inline DWORD parse_pid(const char* text) {
    unsigned long v = std::strtoul(text, nullptr, 10);
    if (v == 0) fail("pid");
    return static_cast<DWORD>(v);
}

inline HANDLE open_game(DWORD pid, DWORD access) {
    HANDLE h = OpenProcess(access, FALSE, pid);
    if (!h) fail("OpenProcess");
    return h;
}

// Private memory in the game holding `bytes`, left with protection `protect`.
inline uint64_t plant(HANDLE game, const void* bytes, size_t size, size_t region, DWORD protect) {
    const DWORD first = protect == PAGE_EXECUTE_READWRITE ? protect : PAGE_READWRITE;
    void* at = VirtualAllocEx(game, nullptr, region, MEM_COMMIT | MEM_RESERVE, first);
    if (!at) fail("VirtualAllocEx");
    SIZE_T written = 0;
    if (!WriteProcessMemory(game, at, bytes, size, &written) || written != size) fail("WriteProcessMemory");
    DWORD old = 0;
    if (first != protect && !VirtualProtectEx(game, at, region, protect, &old)) fail("VirtualProtectEx");
    return reinterpret_cast<uint64_t>(at);
}

// Code that only sleeps: Sleep(INFINITE) in a loop. kernel32 lies at the same
// address in every process of a session, so the attacker's own Sleep will do.
inline std::vector<unsigned char> sleeping_code() {
    const uint64_t sleep = reinterpret_cast<uint64_t>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "Sleep"));
    std::vector<unsigned char> code = {
        0x48, 0x83, 0xEC, 0x28,        // sub rsp, 40 (shadow space, alignment)
        0xB9, 0xFF, 0xFF, 0xFF, 0xFF,  // loop: mov ecx, INFINITE
        0x48, 0xB8, 0, 0, 0, 0, 0, 0, 0, 0,  // mov rax, Sleep
        0xFF, 0xD0,                    // call rax
        0xEB, 0xED,                    // jmp loop
    };
    std::memcpy(code.data() + 11, &sleep, sizeof sleep);
    return code;
}

}  // namespace attack
