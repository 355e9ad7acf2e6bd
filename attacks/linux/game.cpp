// The test game: loads the graphics and input modules a game asks for by name
// (taking a copy from its own folder first, as the Windows search order does),
// starts two worker threads and sleeps. Prints "ready" once it is set up.
#include <dlfcn.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <thread>

int main() {
    // Where Yama lets only ancestors trace, the attack programs (started by the
    // suite, not by the game) could not reach the game at all.
    ::prctl(PR_SET_PTRACER, PR_SET_PTRACER_ANY, 0, 0, 0);
    const auto folder = std::filesystem::canonical("/proc/self/exe").parent_path();
    for (const char* name : {"d3d9.dll", "dinput8.dll", "xinput1_3.dll"}) {
        const auto local = folder / name;
        if (std::filesystem::exists(local) && !::dlopen(local.c_str(), RTLD_NOW | RTLD_LOCAL))
            std::fprintf(stderr, "game: %s\n", ::dlerror());
    }
    for (int i = 0; i < 2; ++i)
        std::thread([] {
            for (;;) pause();
        }).detach();
    std::puts("ready");
    std::fflush(stdout);
    for (;;) pause();
}
