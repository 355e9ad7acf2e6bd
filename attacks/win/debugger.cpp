// Attaches to the game as its debugger and stays attached, passing every
// event on so that the game keeps running.
#include "remote.hpp"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    if (!DebugActiveProcess(attack::parse_pid(argv[1]))) attack::fail("DebugActiveProcess");
    DebugSetProcessKillOnExit(FALSE);  // ending this program leaves the game alone
    std::puts("ready");
    std::fflush(stdout);
    for (DEBUG_EVENT event{}; WaitForDebugEvent(&event, INFINITE);) {
        DWORD how = DBG_CONTINUE;
        if (event.dwDebugEventCode == EXCEPTION_DEBUG_EVENT &&
            event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
            how = DBG_EXCEPTION_NOT_HANDLED;
        if (event.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT && event.u.LoadDll.hFile)
            CloseHandle(event.u.LoadDll.hFile);
        if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT && event.u.CreateProcessInfo.hFile)
            CloseHandle(event.u.CreateProcessInfo.hFile);
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, how);
    }
    for (;;) Sleep(INFINITE);
}
