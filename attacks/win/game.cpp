// The test game: loads the graphics and input modules it finds in its own
// folder by name (the search order takes them before the system's), starts
// two worker threads and sleeps. Prints "ready" once it is set up.
#include <windows.h>

#include <cstdio>
#include <string>

static DWORD WINAPI worker(void*) {
    for (;;) Sleep(INFINITE);
}

int main() {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string folder(self);
    folder.resize(folder.find_last_of('\\') + 1);
    for (const char* name : {"d3d9.dll", "dinput8.dll", "xinput1_3.dll"})
        if (GetFileAttributesA((folder + name).c_str()) != INVALID_FILE_ATTRIBUTES && !LoadLibraryA(name))
            std::fprintf(stderr, "game: %s: %lu\n", name, GetLastError());
    for (int i = 0; i < 2; ++i) CloseHandle(CreateThread(nullptr, 0, worker, nullptr, 0, nullptr));
    std::puts("ready");
    std::fflush(stdout);
    for (;;) Sleep(INFINITE);
}
