#include "LinkFixture.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "LineSettings.h"

namespace ixo::test {

using Clock = std::chrono::steady_clock;

TtyWatch::TtyWatch(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) ADD_FAILURE() << "cannot open " << path << ": " << std::strerror(errno);
}

TtyWatch::~TtyWatch() {
    if (fd_ >= 0) ::close(fd_);
}

namespace {

bool WaitForEvent(int fd, short events, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
        pollfd line{fd, events, 0};
        if (::poll(&line, 1, 10) > 0 && (line.revents & (events | POLLHUP)) != 0) {
            return (line.revents & events) != 0;
        }
    }
    return false;
}

}  // namespace

bool TtyWatch::WaitReadable(std::chrono::milliseconds limit) const {
    return WaitForEvent(fd_, POLLIN, limit);
}

bool TtyWatch::WaitHangUp(std::chrono::milliseconds limit) const {
    return WaitForEvent(fd_, POLLHUP, limit);
}

unsigned TtyWatch::Speed() const {
    return LineSpeedOf(fd_);
}

}  // namespace ixo::test
