#pragma once

#include <string>

namespace ixo::test {

// Another program that holds a tty, as a terminal program, a daemon or a shell does:
// a real process (sleep) that either has the tty open as its standard input, or has
// it as its controlling terminal (a session of its own, TIOCSCTTY) with no
// descriptor of it left open. It runs until the object goes.
class TtyHolder {
public:
    enum class How { Open, ControllingTerminal };
    TtyHolder(const std::string& tty, How how);  // returns once the process runs sleep
    ~TtyHolder();
    TtyHolder(const TtyHolder&) = delete;
    TtyHolder& operator=(const TtyHolder&) = delete;

    // Its process id; -1 when it could not be started.
    int Pid() const { return pid_; }

private:
    int pid_ = -1;
};

}  // namespace ixo::test
