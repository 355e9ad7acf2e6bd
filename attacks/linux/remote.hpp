// System calls made inside another process through ptrace: the Linux
// counterparts of VirtualAllocEx, VirtualProtectEx and CreateRemoteThread.
// The tracer attaches to one thread that sleeps in a system call, borrows it
// for each call and hands it back with its registers restored.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/user.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace attack {

[[noreturn]] inline void fail(const char* what) {
    std::perror(what);
    std::exit(2);
}

// Tells the runner the technique is in place, then waits to be ended.
[[noreturn]] inline void ready_and_wait() {
    std::puts("ready");
    std::fflush(stdout);
    for (;;) pause();
}

inline pid_t parse_pid(const char* text) {
    long v = std::strtol(text, nullptr, 10);
    if (v <= 0) fail("pid");
    return static_cast<pid_t>(v);
}

// Code for injected threads: sleeps in pause() forever, so nothing runs but the
// sleep. Offset 0 holds a bare syscall for a remote clone(); the new thread
// resumes right after it, at the loop.
constexpr unsigned char kIdleLoop[] = {
    0x0F, 0x05,                    // syscall (clone, made by the borrowed thread)
    0xB8, 0x22, 0x00, 0x00, 0x00,  // loop: mov eax, 34 (pause)
    0x0F, 0x05,                    //       syscall
    0xEB, 0xF7,                    //       jmp loop
};
constexpr uint64_t kIdleLoopEntry = 2;

inline void write_memory(pid_t pid, uint64_t address, const void* data, size_t size) {
    int fd = ::open(("/proc/" + std::to_string(pid) + "/mem").c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) fail("open mem");
    if (::pwrite(fd, data, size, static_cast<off_t>(address)) != static_cast<ssize_t>(size)) fail("write mem");
    ::close(fd);
}

class RemoteThread {
public:
    explicit RemoteThread(pid_t tid) : tid_(tid) {
        if (ptrace(PTRACE_ATTACH, tid, nullptr, nullptr) != 0) fail("ptrace attach");
        int status = 0;
        if (waitpid(tid, &status, __WALL) != tid || !WIFSTOPPED(status)) fail("waitpid");
        if (ptrace(PTRACE_GETREGS, tid, nullptr, &saved_) != 0) fail("getregs");
        // A thread stopped inside a system call sits right after its syscall instruction.
        errno = 0;
        long word = ptrace(PTRACE_PEEKTEXT, tid, saved_.rip - 2, nullptr);
        if (errno != 0 || (word & 0xFFFF) != 0x050F) fail("no syscall instruction at the stopped thread");
        syscall_at_ = saved_.rip - 2;
    }
    RemoteThread(const RemoteThread&) = delete;
    RemoteThread& operator=(const RemoteThread&) = delete;

    ~RemoteThread() {
        if (!released_) ptrace(PTRACE_SETREGS, tid_, nullptr, &saved_);
        ptrace(PTRACE_DETACH, tid_, nullptr, nullptr);
    }

    // Runs one system call in the thread, with the instruction at `at` (0: the
    // thread's own), and returns its result.
    int64_t call(long nr, std::vector<uint64_t> args, uint64_t at = 0) {
        args.resize(6, 0);
        user_regs_struct r = saved_;
        r.rax = static_cast<uint64_t>(nr);
        r.rdi = args[0], r.rsi = args[1], r.rdx = args[2], r.r10 = args[3], r.r8 = args[4], r.r9 = args[5];
        r.rip = at ? at : syscall_at_;
        r.orig_rax = static_cast<uint64_t>(-1);  // no restart of the interrupted call
        if (ptrace(PTRACE_SETREGS, tid_, nullptr, &r) != 0) fail("setregs");
        for (int stop = 0; stop < 2; ++stop) {  // system call entry, then exit
            int status = 0;
            if (ptrace(PTRACE_SYSCALL, tid_, nullptr, nullptr) != 0) fail("ptrace syscall");
            if (waitpid(tid_, &status, __WALL) != tid_ || !WIFSTOPPED(status)) fail("waitpid syscall");
        }
        user_regs_struct out{};
        if (ptrace(PTRACE_GETREGS, tid_, nullptr, &out) != 0) fail("getregs");
        return static_cast<int64_t>(out.rax);
    }

    uint64_t map_anonymous(uint64_t size, int prot) {
        int64_t a = call(SYS_mmap, {0, size, static_cast<uint64_t>(prot), MAP_PRIVATE | MAP_ANONYMOUS,
                                    static_cast<uint64_t>(-1), 0});
        if (a < 0 && a > -4096) fail("remote mmap");
        return static_cast<uint64_t>(a);
    }

    void protect(uint64_t address, uint64_t size, int prot) {
        if (call(SYS_mprotect, {address, size, static_cast<uint64_t>(prot)}) != 0) fail("remote mprotect");
    }

    // Leaves the thread running at `rip` instead of where it was.
    void redirect(uint64_t rip) {
        user_regs_struct r = saved_;
        r.rip = rip;
        r.orig_rax = static_cast<uint64_t>(-1);
        if (ptrace(PTRACE_SETREGS, tid_, nullptr, &r) != 0) fail("setregs");
        released_ = true;
    }

private:
    pid_t tid_;
    user_regs_struct saved_{};
    uint64_t syscall_at_ = 0;
    bool released_ = false;
};

// A page of idle-loop code in the target, executable and not writable.
inline uint64_t plant_idle_loop(RemoteThread& thread, pid_t pid) {
    uint64_t page = thread.map_anonymous(4096, PROT_READ | PROT_WRITE);
    write_memory(pid, page, kIdleLoop, sizeof kIdleLoop);
    thread.protect(page, 4096, PROT_READ | PROT_EXEC);
    return page;
}

}  // namespace attack
