#include "SimLine.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

namespace ixo::test {

using Clock = std::chrono::steady_clock;

SimLine::SimLine(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        ADD_FAILURE() << "cannot open " << path << ": " << std::strerror(errno);
        return;
    }
    termios settings{};
    EXPECT_EQ(tcgetattr(fd_, &settings), 0);
    cfmakeraw(&settings);
    EXPECT_EQ(tcsetattr(fd_, TCSANOW, &settings), 0);
}

SimLine::~SimLine() {
    if (fd_ >= 0) ::close(fd_);
}

void SimLine::Write(const Bytes& bytes) {
    std::size_t sent = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (sent < bytes.size() && Clock::now() < deadline) {
        const ssize_t n = ::write(fd_, bytes.data() + sent, bytes.size() - sent);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            break;
        } else {
            pollfd line{fd_, POLLOUT, 0};
            ::poll(&line, 1, 100);
        }
    }
    ASSERT_EQ(sent, bytes.size()) << std::strerror(errno);
}

Bytes SimLine::Read(std::size_t count, std::chrono::milliseconds limit) {
    Bytes got;
    const auto deadline = Clock::now() + limit;
    while (got.size() < count) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        pollfd line{fd_, POLLIN, 0};
        if (::poll(&line, 1, static_cast<int>(left.count()) + 1) <= 0) continue;
        std::uint8_t buffer[256];
        const std::size_t want = std::min(sizeof buffer, count - got.size());
        const ssize_t n = ::read(fd_, buffer, want);
        if (n > 0) {
            got.insert(got.end(), buffer, buffer + n);
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            break;  // hung up
        }
    }
    return got;
}

bool SimLine::WaitForHangUp(std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
        pollfd line{fd_, POLLIN, 0};
        if (::poll(&line, 1, 100) <= 0) continue;
        if ((line.revents & (POLLHUP | POLLERR)) != 0) return true;
        // Bytes still on their way are read away; a read that fails means the same.
        std::uint8_t buffer[256];
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return true;
    }
    return false;
}

}  // namespace ixo::test
