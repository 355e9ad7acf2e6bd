// Loads a module file into the game from outside: the remote open and mapping
// that a LoadLibrary injection ends in. The file is mapped, never run.
#include <sys/stat.h>

#include <cstring>

#include "remote.hpp"

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const pid_t pid = attack::parse_pid(argv[1]);
    struct stat st {};
    if (::stat(argv[2], &st) != 0 || st.st_size <= 0) attack::fail("module file");
    {
        attack::RemoteThread thread(pid);
        const uint64_t text = thread.map_anonymous(4096, PROT_READ | PROT_WRITE);
        attack::write_memory(pid, text, argv[2], std::strlen(argv[2]) + 1);
        const int64_t fd = thread.call(SYS_openat, {static_cast<uint64_t>(AT_FDCWD), text, O_RDONLY | O_CLOEXEC});
        if (fd < 0) attack::fail("remote open");
        const int64_t at = thread.call(SYS_mmap, {0, static_cast<uint64_t>(st.st_size), PROT_READ | PROT_EXEC,
                                                  MAP_PRIVATE, static_cast<uint64_t>(fd), 0});
        thread.call(SYS_close, {static_cast<uint64_t>(fd)});
        if (at < 0 && at > -4096) attack::fail("remote mmap");
    }
    attack::ready_and_wait();
}
