#include "LinkFixture.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "link/PortNames.h"

namespace ixo::test {

using Clock = std::chrono::steady_clock;

// In its own file: the line's rate needs the kernel's termios2, which cannot share
// a file with <termios.h>.
unsigned LineSpeedOf(int fd);

OwnPortMap::OwnPortMap() {
    ::setenv("XDG_CONFIG_HOME", folder_.Path().c_str(), 1);
    for (int n = 1; n <= HighestProbedPort; ++n) MapAbsent(n);
}

void OwnPortMap::MapAbsent(int n) {
    std::string why;
    ASSERT_TRUE(MapPort(n, folder_.File("absent-com" + std::to_string(n)), &why)) << why;
}

SimPort::SimPort(int port) {
    device_.SetTrace([this](sim::TraceDirection direction, std::uint8_t) {
        if (direction == sim::TraceDirection::Sent) ++sent_;
    });
    std::string why;
    EXPECT_TRUE(device_.Start(&why)) << why;
    EXPECT_TRUE(device_.MapAsPort(port, &why)) << why;
}

bool SimPort::WaitForSent(int count) const {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (sent_ < count) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

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
