// A process for the write-handle tests. Without arguments it only waits (the
// inspected target); with "PID ACCESS" (ACCESS in hex) it opens PID with that
// access, keeps the handle and waits. The test ends it.
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
    if (argc == 3) {
        DWORD pid = std::strtoul(argv[1], nullptr, 10);
        DWORD access = std::strtoul(argv[2], nullptr, 16);
        if (!OpenProcess(access, FALSE, pid)) return 2;
    }
    Sleep(INFINITE);
    return 0;
}
