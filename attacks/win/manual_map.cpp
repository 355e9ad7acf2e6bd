// Copies a PE image into private memory of the game, as a manual mapper does.
//   manual_map PID FILE            headers kept, the image execute-read
//   manual_map PID FILE --wipe     headers zeroed, in one RWX allocation of 1 MiB or more
#include <algorithm>

#include "../common/pe_image.hpp"
#include "remote.hpp"

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const DWORD pid = attack::parse_pid(argv[1]);
    const bool wipe = argc > 3 && std::strcmp(argv[3], "--wipe") == 0;
    std::vector<unsigned char> image = attack::map_image(attack::read_file(argv[2]));
    if (image.empty()) attack::fail("reading the PE image");
    if (wipe) std::fill_n(image.begin(), std::min<size_t>(image.size(), 4096), 0);
    const size_t region = wipe ? std::max<size_t>(image.size(), 1u << 20) : image.size();
    HANDLE game = attack::open_game(pid, PROCESS_VM_OPERATION | PROCESS_VM_WRITE);
    attack::plant(game, image.data(), image.size(), region, wipe ? PAGE_EXECUTE_READWRITE : PAGE_EXECUTE_READ);
    CloseHandle(game);
    attack::ready_and_wait();
}
