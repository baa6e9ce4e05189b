#pragma once

#include <chrono>
#include <string>

namespace ixo::test {

// A second descriptor of a tty, to look at the line beside the link under test.
// Root opens a tty through another's exclusive mark, and nothing here takes the lock.
class TtyWatch {
public:
    explicit TtyWatch(const std::string& path);
    ~TtyWatch();
    TtyWatch(const TtyWatch&) = delete;
    TtyWatch& operator=(const TtyWatch&) = delete;

    int Fd() const { return fd_; }
    // True once received bytes wait to be read (without reading them); false after limit.
    bool WaitReadable(std::chrono::milliseconds limit = std::chrono::seconds(10)) const;
    // True once the other side has hung up; false after limit.
    bool WaitHangUp(std::chrono::milliseconds limit = std::chrono::seconds(10)) const;
    // The line's output rate in bit/s.
    unsigned Speed() const;

private:
    int fd_ = -1;
};

}  // namespace ixo::test
