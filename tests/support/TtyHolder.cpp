#include "TtyHolder.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

namespace ixo::test {

TtyHolder::TtyHolder(const std::string& tty, How how) {
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0) return;
    const pid_t child = ::fork();
    if (child == 0) {
        // Only async-signal-safe calls between fork and exec.
        const int fd = ::open(tty.c_str(), O_RDWR | O_NOCTTY);
        bool held = fd >= 0;
        if (how == How::Open) {
            held = held && ::dup2(fd, STDIN_FILENO) == STDIN_FILENO;
        } else {
            held = held && ::setsid() >= 0 && ::ioctl(fd, TIOCSCTTY, 0) == 0;
        }
        if (fd > STDIN_FILENO) ::close(fd);
        if (held) ::execlp("sleep", "sleep", "1000", static_cast<char*>(nullptr));
        // Says that it failed: the parent reads a byte, not the end of the pipe.
        [[maybe_unused]] const auto ignored = ::write(ready[1], "x", 1);
        ::_exit(127);
    }
    ::close(ready[1]);
    char failed = 0;
    // The write end closes when sleep runs (close on exec) or the child ends.
    const bool started = child > 0 && ::read(ready[0], &failed, 1) == 0;
    ::close(ready[0]);
    if (child > 0 && !started) ::waitpid(child, nullptr, 0);
    pid_ = started ? child : -1;
}

TtyHolder::~TtyHolder() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
}

}  // namespace ixo::test
