// The serial line on POSIX: a tty opened non-blocking, with every wait done by poll
// against a steady-clock deadline (VTIME counts tenths of a second, too coarse for
// the 5 ms allowed between two bytes at 38400 bit/s).

#include "link/SerialLine.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <utility>

#include "core/StopSignals.h"
#include "link/TtyControl.h"
#include "ports/PortAccess.h"
#include "ports/PortHolders.h"

namespace ixo {

namespace {

// While the transmitter drains, the queue is looked at this often.
constexpr int DrainPollMs = 1;

constexpr short HangUpEvents = POLLHUP | POLLERR | POLLNVAL;

// How a call that failed with error ended the transfer: the errors a tty gives once
// its device has gone (a pseudo-terminal whose other side closed, an unplugged
// adapter) are a hang-up.
LineResult FailureOf(int error) {
    return error == EIO || error == ENXIO || error == ENODEV ? LineResult::HungUp
                                                             : LineResult::Failed;
}

// Waits until fd reports one of events or a hang-up, or the deadline passes.
// The line is looked at at least once, even when the deadline has already passed.
// A stop signal ends the wait as a failure, so that the program lets go of the line.
LineResult WaitFor(int fd, short events, const Deadline& deadline, int longestMs = INT_MAX) {
    for (;;) {
        pollfd watched[2] = {{fd, events, 0}, {StopSignalFd(), POLLIN, 0}};
        const pollfd& line = watched[0];
        const int ready = ::poll(watched, 2, std::min(deadline.MillisecondsLeft(), longestMs));
        if (ready < 0) {
            if (errno == EINTR) continue;
            return LineResult::Failed;
        }
        if (watched[1].revents != 0) return LineResult::Stopped;
        if ((line.revents & events) != 0) return LineResult::Done;
        if ((line.revents & POLLHUP) != 0) return LineResult::HungUp;
        if ((line.revents & HangUpEvents) != 0) return LineResult::Failed;
        if (deadline.Passed() || longestMs != INT_MAX) return LineResult::TimedOut;
    }
}

// Modem-line requests that a device may not know (pseudo-terminals answer ENOTTY).
bool ModemLineRefused(int error) {
    return error == ENOTTY || error == EINVAL;
}

// Claims the open tty and sets its line; "device: reason" when that fails. Sets
// exclusive once the tty bars other users.
std::string TakeLine(int fd, const std::string& device, std::int32_t baudRate, bool& exclusive) {
    const auto failed = [&device](const std::string& reason) { return device + ": " + reason; };
    int locked = -1;
    do {
        // flock holds against every program that asks, root included.
        locked = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    // Someone holds the port: say so as the open of a busy device would.
    if (locked != 0 && errno != EWOULDBLOCK) return failed(std::strerror(errno));
    if (locked != 0 || tty::MarkedExclusive(fd)) return BusyReason(device);
    // The exclusive mark keeps out other users' programs that do not use flock.
    if (::ioctl(fd, TIOCEXCL) != 0) return failed(std::strerror(errno));
    exclusive = true;

    std::string reason;
    if (!tty::SetLine(fd, baudRate, &reason)) return failed(reason);
    const int lines = TIOCM_DTR | TIOCM_RTS;
    if (::ioctl(fd, TIOCMBIC, &lines) != 0 && !ModemLineRefused(errno)) {
        return failed(std::string("cannot hold DTR and RTS off: ") + std::strerror(errno));
    }
    return {};
}

}  // namespace

struct SerialLine::Device {
    int Fd = -1;
    bool Exclusive = false;  // this line has barred other users from the tty
};

SerialLine::SerialLine() = default;

SerialLine::~SerialLine() {
    Close();
}

bool SerialLine::Open(const std::string& device, std::int32_t baudRate, std::string* why) {
    Close();
    // Before anything looks for its holders: whoever holds /dev/null has no port.
    if (!tty::MayBeTty(device)) {
        if (why != nullptr) *why = device + ": not a serial port";
        return false;
    }
    // A program that keeps lock files holds the port while its process lives.
    if (const long holder = LockFileHolder(device)) {
        if (why != nullptr) {
            *why = device + ": " + std::strerror(EBUSY) + " (lock file of process " +
                   std::to_string(holder) + ")";
        }
        return false;
    }
    // A tty opens for anyone who may open it, so another program's port is looked for
    // before anything on it is changed.
    if (std::string holder = ProcessHolder(device); !holder.empty()) {
        if (why != nullptr) *why = std::move(holder);
        return false;
    }
    int fd = -1;
    do {
        fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (why != nullptr) {
            *why = errno == EBUSY ? BusyReason(device) : device + ": " + std::strerror(errno);
        }
        return false;
    }
    device_ = std::make_unique<Device>();
    device_->Fd = fd;
    const std::string failure = TakeLine(fd, device, baudRate, device_->Exclusive);
    if (!failure.empty()) {
        if (why != nullptr) *why = failure;
        Close();
        return false;
    }
    tty::AskLowLatency(fd);
    return true;
}

void SerialLine::Close() {
    if (device_ == nullptr) return;
    const Device closing = *device_;
    device_.reset();
    // The exclusive mark belongs to the tty, not to this descriptor: a tty that
    // outlives the close (a pseudo-terminal) would stay barred to other users.
    if (closing.Exclusive) ::ioctl(closing.Fd, TIOCNXCL);
    ::close(closing.Fd);
}

LineTransfer SerialLine::WriteSome(const std::uint8_t* data, std::size_t length,
                                   const Deadline& deadline) {
    if (device_ == nullptr) return {LineResult::Failed, 0};
    const int fd = device_->Fd;
    for (;;) {
        const ssize_t written = ::write(fd, data, length);
        if (written > 0) return {LineResult::Done, static_cast<std::size_t>(written)};
        if (written < 0 && errno != EAGAIN && errno != EINTR) return {FailureOf(errno), 0};
        if (written < 0 && errno == EINTR) continue;
        const LineResult ready = WaitFor(fd, POLLOUT, deadline);
        if (ready != LineResult::Done) return {ready, 0};
    }
}

LineTransfer SerialLine::ReadSome(std::uint8_t* data, std::size_t length,
                                  const Deadline& deadline) {
    if (device_ == nullptr) return {LineResult::Failed, 0};
    const int fd = device_->Fd;
    for (;;) {
        const LineResult ready = WaitFor(fd, POLLIN, deadline);
        if (ready != LineResult::Done) return {ready, 0};
        const ssize_t got = ::read(fd, data, length);
        if (got > 0) return {LineResult::Done, static_cast<std::size_t>(got)};
        // Readable but nothing to read: the line has hung up.
        if (got == 0) return {LineResult::HungUp, 0};
        if (errno != EAGAIN && errno != EINTR) return {FailureOf(errno), 0};
    }
}

LineResult SerialLine::WaitTransmitterEmpty(const Deadline& deadline) {
    if (device_ == nullptr) return LineResult::Failed;
    const int fd = device_->Fd;
    for (;;) {
        // Looked at before the queue: a thread held up between the two must not take
        // a queue that emptied in time for one that missed the limit.
        const bool late = deadline.Passed();
        int queued = 0;
        if (::ioctl(fd, TIOCOUTQ, &queued) != 0) return FailureOf(errno);
        if (queued == 0) {
            const tty::ShiftRegister shift = tty::ShiftRegisterState(fd);
            if (shift == tty::ShiftRegister::Empty) return LineResult::Done;
            if (shift == tty::ShiftRegister::Failed) return LineResult::Failed;
        }
        if (late) return LineResult::TimedOut;
        // Asks for no event: returns on a hang-up, else after the pause.
        const LineResult pause = WaitFor(fd, 0, deadline, DrainPollMs);
        if (pause != LineResult::TimedOut) return pause;
    }
}

LineResult SerialLine::Pause(const Deadline& deadline) {
    if (device_ == nullptr) return LineResult::Failed;
    // Asks for no event: only a hang-up or a stop signal ends the wait early.
    const LineResult ended = WaitFor(device_->Fd, 0, deadline);
    return ended == LineResult::TimedOut ? LineResult::Done : ended;
}

std::size_t SerialLine::Waiting() {
    int waiting = 0;
    if (device_ == nullptr || ::ioctl(device_->Fd, FIONREAD, &waiting) != 0 || waiting < 0) {
        return 0;
    }
    return static_cast<std::size_t>(waiting);
}

bool SerialLine::Discard(Buffers which) {
    if (device_ == nullptr) return false;
    const int queue = which == Buffers::Input    ? TCIFLUSH
                      : which == Buffers::Output ? TCOFLUSH
                                                 : TCIOFLUSH;
    // Asked through ioctl() rather than tcflush(), which the C library makes without
    // calling ioctl(): a faked tty that answers the driver's requests sees it too.
    return ::ioctl(device_->Fd, TCFLSH, queue) == 0;
}

}  // namespace ixo
