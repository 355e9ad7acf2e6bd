// Hijacks a worker thread of the game: suspends it, points its instruction
// pointer at a few bytes of code in private memory (they only sleep) and
// resumes it.
#include <windows.h>
// after windows.h, which it needs
#include <tlhelp32.h>

#include "remote.hpp"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const DWORD pid = attack::parse_pid(argv[1]);
    DWORD victim = 0, seen = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == pid && seen++ > 0) victim = entry.th32ThreadID;  // not the main thread
    CloseHandle(snapshot);
    if (victim == 0) attack::fail("finding a worker thread");

    HANDLE game = attack::open_game(pid, PROCESS_VM_OPERATION | PROCESS_VM_WRITE);
    const auto code = attack::sleeping_code();
    const uint64_t at = attack::plant(game, code.data(), code.size(), 4096, PAGE_EXECUTE_READ);
    CloseHandle(game);

    HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | THREAD_SET_CONTEXT, FALSE, victim);
    if (!thread || SuspendThread(thread) == static_cast<DWORD>(-1)) attack::fail("SuspendThread");
    CONTEXT context{};
    context.ContextFlags = CONTEXT_FULL;
    if (!GetThreadContext(thread, &context)) attack::fail("GetThreadContext");
    context.Rip = at;
    context.Rsp = ((context.Rsp - 0x1000) & ~uint64_t{15}) - 8;  // as if just called
    if (!SetThreadContext(thread, &context)) attack::fail("SetThreadContext");
    ResumeThread(thread);
    CloseHandle(thread);
    attack::ready_and_wait();
}
