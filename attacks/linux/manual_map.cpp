// Copies a PE image into private memory of the game, as a manual mapper does.
//   manual_map PID FILE            headers kept, the image read-execute
//   manual_map PID FILE --wipe     headers zeroed, inside one RWX region of 1 MiB or more
#include <cstring>

#include "../common/pe_image.hpp"
#include "remote.hpp"

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const pid_t pid = attack::parse_pid(argv[1]);
    const bool wipe = argc > 3 && std::strcmp(argv[3], "--wipe") == 0;
    std::vector<unsigned char> image = attack::map_image(attack::read_file(argv[2]));
    if (image.empty()) attack::fail("not a PE image");
    if (wipe) std::memset(image.data(), 0, std::min<size_t>(image.size(), 4096));
    const uint64_t size = wipe ? std::max<uint64_t>(image.size(), 1u << 20) : (image.size() + 4095) & ~4095ull;
    {
        attack::RemoteThread thread(pid);
        const int prot = PROT_READ | PROT_WRITE | (wipe ? PROT_EXEC : 0);
        const uint64_t base = thread.map_anonymous(size, prot);
        attack::write_memory(pid, base, image.data(), image.size());
        if (!wipe) thread.protect(base, size, PROT_READ | PROT_EXEC);
    }
    attack::ready_and_wait();
}
