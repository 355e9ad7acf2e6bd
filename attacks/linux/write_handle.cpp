// Holds the game's memory open for writing, and waits.
//   write_handle PID          /proc/PID/mem read-write (PROCESS_VM_WRITE | PROCESS_VM_OPERATION)
//   write_handle PID --all    a pidfd as well (PROCESS_ALL_ACCESS)
#include <cstring>

#include "remote.hpp"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const pid_t pid = attack::parse_pid(argv[1]);
    if (argc > 2 && std::strcmp(argv[2], "--all") == 0 && ::syscall(SYS_pidfd_open, pid, 0) < 0)
        attack::fail("pidfd_open");
    if (::open(("/proc/" + std::to_string(pid) + "/mem").c_str(), O_RDWR | O_CLOEXEC) < 0) attack::fail("open mem");
    attack::ready_and_wait();
}
