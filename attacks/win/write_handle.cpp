// Opens the game for writing its memory and keeps the handle.
//   write_handle PID          PROCESS_VM_WRITE | PROCESS_VM_OPERATION
//   write_handle PID --all    PROCESS_ALL_ACCESS
#include "remote.hpp"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const bool all = argc > 2 && std::strcmp(argv[2], "--all") == 0;
    attack::open_game(attack::parse_pid(argv[1]), all ? PROCESS_ALL_ACCESS : PROCESS_VM_WRITE | PROCESS_VM_OPERATION);
    attack::ready_and_wait();
}
