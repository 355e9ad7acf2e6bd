// A forked child for tests on real processes: it runs `body`, sends the answer
// back through a pipe and then sleeps until the destructor kills and reaps it,
// so no test leaves a stray process behind. A body may end the child itself
// (then no answer arrives).
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <functional>

namespace ac::test {

template <typename Answer = uint64_t>
class ForkedChild {
public:
    explicit ForkedChild(const std::function<Answer()>& body) {
        int p[2];
        if (::pipe2(p, O_CLOEXEC) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(p[0]);
            Answer answer = body();
            if (::write(p[1], &answer, sizeof answer) != sizeof answer) ::_exit(1);
            for (;;) ::pause();
        }
        ::close(p[1]);
        answered_ = pid_ > 0 && ::read(p[0], &answer_, sizeof answer_) == sizeof answer_;
        ::close(p[0]);
    }
    ~ForkedChild() { reap(); }
    ForkedChild(const ForkedChild&) = delete;
    ForkedChild& operator=(const ForkedChild&) = delete;

    uint32_t pid() const { return static_cast<uint32_t>(pid_); }
    bool answered() const { return answered_; }
    Answer answer() const { return answer_; }
    // Waits until the child has ended, leaving it a zombie.
    void wait_ended() {
        siginfo_t info{};
        ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT);
    }
    void reap() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    bool answered_ = false;
    Answer answer_{};
};

}  // namespace ac::test
