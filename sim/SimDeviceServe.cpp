#include <poll.h>
#include <sys/ioctl.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <span>

#include "sim/SimDeviceImpl.h"

// The serving thread goes round four steps: send the answer bytes that are due, wait
// for something to do, receive (take the bytes that have arrived, or at a paced rate
// the one whose time has come), and for each byte taken decide what it calls for
// (DeviceLogic) and pace the answer (OutputQueue) for a later send.

namespace ixo::sim {

namespace {

// Paced bytes are timed in fractions of a millisecond; the default timer slack of
// a thread (50 us on Linux) would make each wait late by a sizeable part of a byte.
#ifdef __linux__
void TightenTimers() {
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
}
#else
void TightenTimers() {}
#endif

// The most bytes one read or write moves.
constexpr std::size_t ChunkSize = 4096;

// While the tty has nobody on it (its own side too hung up from outside), the device
// looks this often whether someone has opened it.
// Well within the time a first answer byte is allowed.
constexpr int UnopenedLookMs = 10;

// Whether a failed read of the master leaves the line alive: nothing there yet, or
// nobody has the tty open (EIO), which the next opener ends.
bool Unread(int error) {
    return error == EAGAIN || error == EINTR || error == EIO;
}

}  // namespace

void SimDevice::Impl::Wake() {
    const char byte = 1;
    // A full pipe already holds a wake-up; nothing is lost.
    [[maybe_unused]] const auto ignored = ::write(WakeWrite, &byte, 1);
}

void SimDevice::Impl::DrainWake() {
    char bytes[64];
    while (::read(WakeRead, bytes, sizeof bytes) > 0) {
    }
}

void SimDevice::Impl::WaitForWake(int limitMs) {
    pollfd wake{WakeRead, POLLIN, 0};
    if (::poll(&wake, 1, limitMs) > 0) DrainWake();
}

bool SimDevice::Impl::HangUpDue() const {
    return Faults.HangUpAfter >= 0 && ReceivedSinceFaults >= Faults.HangUpAfter;
}

void SimDevice::Impl::Serve() {
    TightenTimers();
    for (;;) {
        SimFaults faults;
        bool hangUp = false;
        {
            std::lock_guard lock(Mutex);
            if (Stopping) return;
            faults = Faults;
            hangUp = HangUpDue();
        }
        if (hangUp && Master >= 0) HangUp();
        if (Master < 0) {
            // Hung up: nothing left to serve until Stop.
            WaitForWake();
            continue;
        }
        const bool sendBlocked = !Send(Clock::now());
        if (Master < 0) continue;
        const std::optional<short> lineEvents = WaitForWork(sendBlocked, faults.PaceBaud);
        if (!lineEvents || !Receive(*lineEvents, faults.PaceBaud)) HangUp();
    }
}

// Send: writes every queued byte that is due. False when the line cannot take them
// now.
bool SimDevice::Impl::Send(Clock::time_point now) {
    std::array<std::uint8_t, ChunkSize> chunk{};
    const std::size_t count = Output.CopyDue(now, chunk);
    if (count == 0) return true;
    const ssize_t sent = ::write(Master, chunk.data(), count);
    if (sent < 0) {
        if (errno == EAGAIN || errno == EINTR) return false;
        HangUp();
        return true;
    }
    const auto gone = static_cast<std::size_t>(sent);
    if (Trace) {
        for (const std::uint8_t byte : std::span(chunk).first(gone)) {
            Trace(TraceDirection::Sent, byte);
        }
    }
    Output.Drop(gone);
    return gone == count;
}

// Waits until there is something to do: a byte due to be taken or sent, input to
// look at, room in the line when a send was blocked, or a wake-up (new faults, Stop).
// Gives the line's events (none after an interruption); empty when the wait failed.
std::optional<short> SimDevice::Impl::WaitForWork(bool sendBlocked, int baud) {
    const std::optional<Clock::time_point> takeAt = Input.NextTake(baud);
    std::optional<Clock::time_point> deadline = takeAt;
    const std::optional<Clock::time_point> due = Output.NextDue();
    if (!sendBlocked && due) deadline = deadline ? std::min(*deadline, *due) : *due;
    short events = 0;
    // A byte already counted is taken at its time, however readable the line is.
    if (!takeAt) events |= POLLIN;
    if (sendBlocked) events |= POLLOUT;
    pollfd fds[3] = {{WakeRead, POLLIN, 0}, {Master, events, 0}, {Openings, POLLIN, 0}};
    timespec timeout{};
    timespec* limit = nullptr;
    if (deadline) {
        const auto left = std::max(Clock::duration::zero(), *deadline - Clock::now());
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        timeout.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
        timeout.tv_nsec = static_cast<long>(ns % 1'000'000'000);
        limit = &timeout;
    }
    if (::ppoll(fds, 3, limit, nullptr) < 0) {
        if (errno == EINTR) return 0;
        return std::nullopt;
    }
    if ((fds[0].revents & POLLIN) != 0) DrainWake();
    if ((fds[2].revents & POLLIN) != 0) CountOpeners();
    // The master hangs up while nobody has the tty open: nothing to do until someone
    // does, which the master does not tell. Look again a little later.
    if ((fds[1].revents & (POLLHUP | POLLIN)) == POLLHUP) {
        WaitForWake(UnopenedLookMs);
        return 0;
    }
    return fds[1].revents;
}

// Receive: paced at baud, takes the byte whose time has come, or counts the bytes
// that have arrived so that each gets its time; unpaced, takes every byte that has
// arrived. False when the line has gone.
bool SimDevice::Impl::Receive(short lineEvents, int baud) {
    if (const std::optional<Clock::time_point> takeAt = Input.NextTake(baud)) {
        return Clock::now() < *takeAt || TakePacedByte(*takeAt);
    }
    if ((lineEvents & POLLIN) != 0) {
        if (baud <= 0) return ReadChunk();
        // Readable with nothing counted: take a byte all the same.
        Input.Look(std::max<std::size_t>(Waiting(), 1), Clock::now());
        return true;
    }
    return (lineEvents & (POLLHUP | POLLERR | POLLNVAL)) == 0;
}

bool SimDevice::Impl::ReadChunk() {
    Input.Forget();
    std::array<std::uint8_t, ChunkSize> chunk{};
    const ssize_t got = ::read(Master, chunk.data(), chunk.size());
    if (got < 0) return Unread(errno);
    if (got == 0) return false;
    const auto now = Clock::now();
    for (const std::uint8_t byte : std::span(chunk).first(static_cast<std::size_t>(got))) {
        // The rest of the chunk is lost with the line.
        if (!Act(byte, now)) return false;
    }
    return true;
}

bool SimDevice::Impl::TakePacedByte(Clock::time_point at) {
    std::uint8_t byte = 0;
    const ssize_t got = ::read(Master, &byte, 1);
    if (got < 0) {
        // Nothing there: the other side purged its output or closed the port meanwhile.
        Input.Forget();
        return Unread(errno);
    }
    if (got == 0) return false;
    Input.Took(at);
    if (!Act(byte, at)) return false;
    Input.Look(Waiting(), Clock::now());
    return true;
}

// Decide and pace: acts on one received byte, taken at time at, and queues the answer
// it calls for. Then records the byte, so that a byte shows in Received only once its
// effect has been made. False when the device must hang up now.
bool SimDevice::Impl::Act(std::uint8_t byte, Clock::time_point at) {
    SimFaults faults;
    bool hangUp = false;
    bool newFaults = false;
    {
        std::lock_guard lock(Mutex);
        newFaults = ++ReceivedSinceFaults == 1;
        faults = Faults;
        hangUp = HangUpDue();
    }
    if (newFaults) Logic.CatchUp();
    if (!hangUp) {
        if (const std::optional<Answer> answer = Logic.Take(byte, faults)) {
            Output.Queue(*answer, at, faults.PaceBaud);
        }
    }
    {
        std::lock_guard lock(Mutex);
        if (KeepReceived) ReceivedBytes.push_back(byte);
    }
    ReceivedGrew.notify_all();
    if (Trace) Trace(TraceDirection::Received, byte);
    return !hangUp;
}

// The count of received bytes waiting in the line.
std::size_t SimDevice::Impl::Waiting() const {
    int available = 0;
    if (::ioctl(Master, FIONREAD, &available) != 0 || available < 0) return 0;
    return static_cast<std::size_t>(available);
}

}  // namespace ixo::sim
