// Attaches to the game as its debugger and stays attached; the game keeps running.
#include "remote.hpp"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const pid_t pid = attack::parse_pid(argv[1]);
    if (ptrace(PTRACE_SEIZE, pid, nullptr, nullptr) != 0) attack::fail("ptrace seize");
    attack::ready_and_wait();
}
