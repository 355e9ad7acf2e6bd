// Starts a thread of the game on a few bytes of code in a small private
// execute-read region (the code only sleeps).
#include "remote.hpp"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const DWORD pid = attack::parse_pid(argv[1]);
    HANDLE game = attack::open_game(pid, PROCESS_CREATE_THREAD | PROCESS_QUERY_INFORMATION | PROCESS_VM_OPERATION |
                                             PROCESS_VM_WRITE | PROCESS_VM_READ);
    const auto code = attack::sleeping_code();
    const uint64_t at = attack::plant(game, code.data(), code.size(), 4096, PAGE_EXECUTE_READ);
    HANDLE thread = CreateRemoteThread(game, nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(at), nullptr, 0,
                                       nullptr);
    if (!thread) attack::fail("CreateRemoteThread");
    CloseHandle(thread);
    CloseHandle(game);
    attack::ready_and_wait();
}
