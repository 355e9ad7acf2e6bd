// Redirects a running worker thread of the game into a small private
// executable region (the code there only sleeps): the SetThreadContext move.
#include <dirent.h>

#include "remote.hpp"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const pid_t pid = attack::parse_pid(argv[1]);
    pid_t worker = 0;
    if (DIR* tasks = ::opendir(("/proc/" + std::to_string(pid) + "/task").c_str())) {
        while (dirent* e = ::readdir(tasks)) {
            pid_t tid = static_cast<pid_t>(std::atol(e->d_name));
            if (tid > 0 && tid != pid) worker = tid;
        }
        ::closedir(tasks);
    }
    if (worker == 0) attack::fail("no worker thread");
    uint64_t code;
    {
        attack::RemoteThread main_thread(pid);
        code = attack::plant_idle_loop(main_thread, pid);
    }
    {
        attack::RemoteThread victim(worker);
        victim.redirect(code + attack::kIdleLoopEntry);
    }
    attack::ready_and_wait();
}
