// Loads a module into the game from outside: its path written into the game,
// then LoadLibraryA run there on a remote thread.
#include "remote.hpp"

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    HANDLE game = attack::open_game(attack::parse_pid(argv[1]), PROCESS_CREATE_THREAD | PROCESS_QUERY_INFORMATION |
                                                                    PROCESS_VM_OPERATION | PROCESS_VM_WRITE |
                                                                    PROCESS_VM_READ);
    const uint64_t path = attack::plant(game, argv[2], std::strlen(argv[2]) + 1, 4096, PAGE_READONLY);
    auto load = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "LoadLibraryA")));
    HANDLE thread = CreateRemoteThread(game, nullptr, 0, load, reinterpret_cast<void*>(path), 0, nullptr);
    if (!thread) attack::fail("CreateRemoteThread");
    WaitForSingleObject(thread, 30000);
    DWORD loaded = 0;
    GetExitCodeThread(thread, &loaded);
    if (loaded == 0) attack::fail("LoadLibraryA in the game");
    CloseHandle(thread);
    CloseHandle(game);
    attack::ready_and_wait();
}
