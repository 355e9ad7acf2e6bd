// Starts a thread of the game on a few bytes of code in a small private
// executable region (the code only sleeps).
#include <sched.h>

#include "remote.hpp"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const pid_t pid = attack::parse_pid(argv[1]);
    {
        attack::RemoteThread thread(pid);
        const uint64_t code = attack::plant_idle_loop(thread, pid);
        const uint64_t stack = thread.map_anonymous(64 * 1024, PROT_READ | PROT_WRITE);
        const uint64_t flags = CLONE_VM | CLONE_FS | CLONE_FILES | CLONE_SIGHAND | CLONE_THREAD | CLONE_SYSVSEM;
        if (thread.call(SYS_clone, {flags, stack + 64 * 1024 - 64, 0, 0, 0}, code) <= 0) attack::fail("remote clone");
    }
    attack::ready_and_wait();
}
