#include "sim/SimDevice.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "device/Protocol.h"
#include "link/PortNames.h"

namespace ixo::sim {

namespace {

using Clock = std::chrono::steady_clock;

// The address of the CW word, the last one the device keeps.
constexpr int CwAddress = DeviceWordCount - 1;

std::string SystemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

bool MakeRaw(int fd) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) return false;
    cfmakeraw(&settings);
    return tcsetattr(fd, TCSANOW, &settings) == 0;
}

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// Line time of one byte, 10 bits (start, 8 data, stop), at baud bit/s.
Clock::duration ByteTime(int baud) {
    return std::chrono::nanoseconds(10'000'000'000LL / baud);
}

// Paced bytes are timed in fractions of a millisecond; the default timer slack of
// a thread (50 us on Linux) would make each wait late by a sizeable part of a byte.
#ifdef __linux__
void TightenTimers() {
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
}
#else
void TightenTimers() {}
#endif

// A byte waiting to be sent, and the time it is due to arrive at the other end.
struct Outgoing {
    std::uint8_t Byte;
    Clock::time_point Due;
};

// A port map entry made by MapAsPort, and what the port was mapped to before.
struct MapEntry {
    int Port;
    std::string Path;
    std::string Previous;  // empty when the port had no entry
};

// Received bytes waiting in the line's input, seen there first at the same time.
struct Arrival {
    std::size_t Count;
    Clock::time_point SeenAt;
};

}  // namespace

struct SimDevice::Impl {
    // Opened by the constructor; the serving thread closes Master and Slave when it
    // hangs up, and only while it runs.
    int Master = -1;
    int Slave = -1;
    int WakeRead = -1;
    int WakeWrite = -1;
    std::string Path;
    std::string OpenFailure;
    std::vector<MapEntry> MapEntries;
    std::thread Server;
    std::function<void(TraceDirection, std::uint8_t)> Trace;  // set before Start

    // Shared with the serving thread.
    mutable std::mutex Mutex;
    mutable std::condition_variable ReceivedGrew;
    std::array<std::uint32_t, DeviceWordCount> Memory{};
    SimFaults Faults;
    long ReceivedSinceFaults = 0;
    std::vector<std::uint8_t> ReceivedBytes;
    bool Stopping = false;

    // The serving thread's own.
    int Command = -1;  // command byte of the frame being gathered, -1 when none
    std::vector<std::uint8_t> Nibbles;
    std::deque<Outgoing> Output;
    // Paced input: the bytes known to wait, when the next one is taken, and when the
    // one before it was.
    std::deque<Arrival> Waiting;
    std::optional<Clock::time_point> TakeAt;
    Clock::time_point LineFree{};

    void Wake();
    void DrainWake();
    void Serve();
    void WaitForWake();
    void HangUp();
    void LookForInput();
    void ScheduleTake(int baud);
    bool ReadChunk();
    bool TakePacedByte(const SimFaults& faults);
    bool Take(std::uint8_t byte, Clock::time_point at);
    void Parse(std::uint8_t byte, Clock::time_point at, const SimFaults& faults);
    void Answer(int address, Clock::time_point at, const SimFaults& faults);
    void Queue(const std::uint8_t* bytes, int count, Clock::time_point start, int baud);
    bool SendDue(Clock::time_point now);
};

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

void SimDevice::Impl::WaitForWake() {
    pollfd wake{WakeRead, POLLIN, 0};
    if (::poll(&wake, 1, -1) > 0) DrainWake();
}

void SimDevice::Impl::HangUp() {
    // Closing the master is what the other side sees as the line going away; the
    // slave must go too, or the tty would stay alive.
    CloseFd(Master);
    CloseFd(Slave);
    Output.clear();
    Waiting.clear();
    TakeAt.reset();
    Command = -1;
}

// Notes the bytes that have arrived since the last look, as seen now.
void SimDevice::Impl::LookForInput() {
    int available = 0;
    if (::ioctl(Master, FIONREAD, &available) != 0 || available < 0) available = 0;
    const auto have = static_cast<std::size_t>(available);
    std::size_t known = 0;
    for (const Arrival& arrival : Waiting) known += arrival.Count;
    if (have > known) {
        Waiting.push_back({have - known, Clock::now()});
    } else if (have < known) {
        // The other side purged what it had sent.
        Waiting.clear();
        if (have > 0) Waiting.push_back({have, Clock::now()});
    }
}

// A byte is taken one byte time after it arrived and after the byte before it was
// taken. Timing from the deadlines rather than from when the thread woke keeps
// pacing from drifting; timing from when a byte was first seen keeps it from ever
// being faster than the line.
void SimDevice::Impl::ScheduleTake(int baud) {
    if (baud <= 0 || Waiting.empty()) {
        TakeAt.reset();
        return;
    }
    TakeAt = std::max(LineFree, Waiting.front().SeenAt) + ByteTime(baud);
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
            hangUp = faults.HangUpAfter >= 0 && ReceivedSinceFaults >= faults.HangUpAfter;
        }
        if (hangUp && Master >= 0) HangUp();
        if (Master < 0) {
            // Hung up: nothing left to serve until Stop.
            WaitForWake();
            continue;
        }

        const bool blocked = !SendDue(Clock::now());
        if (Master < 0) continue;

        std::optional<Clock::time_point> deadline = TakeAt;
        if (!blocked && !Output.empty()) {
            deadline = deadline ? std::min(*deadline, Output.front().Due) : Output.front().Due;
        }
        short lineEvents = 0;
        if (!TakeAt) lineEvents |= POLLIN;
        if (blocked) lineEvents |= POLLOUT;
        pollfd fds[2] = {{WakeRead, POLLIN, 0}, {Master, lineEvents, 0}};
        timespec timeout{};
        timespec* limit = nullptr;
        if (deadline) {
            const auto left = std::max(Clock::duration::zero(), *deadline - Clock::now());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            timeout.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
            timeout.tv_nsec = static_cast<long>(ns % 1'000'000'000);
            limit = &timeout;
        }
        if (::ppoll(fds, 2, limit, nullptr) < 0) {
            if (errno == EINTR) continue;
            HangUp();
            continue;
        }
        if ((fds[0].revents & POLLIN) != 0) DrainWake();

        bool lineUp = true;
        if (TakeAt) {
            if (Clock::now() >= *TakeAt) lineUp = TakePacedByte(faults);
        } else if ((fds[1].revents & POLLIN) != 0) {
            if (faults.PaceBaud > 0) {
                LookForInput();
                // Readable with nothing counted: take a byte all the same.
                if (Waiting.empty()) Waiting.push_back({1, Clock::now()});
                ScheduleTake(faults.PaceBaud);
            } else {
                lineUp = ReadChunk();
            }
        } else if ((fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            lineUp = false;
        }
        if (!lineUp) HangUp();
    }
}

bool SimDevice::Impl::ReadChunk() {
    Waiting.clear();
    std::array<std::uint8_t, 4096> chunk{};
    const ssize_t got = ::read(Master, chunk.data(), chunk.size());
    if (got < 0) return errno == EAGAIN || errno == EINTR;
    if (got == 0) return false;
    const auto now = Clock::now();
    for (ssize_t i = 0; i < got; ++i) {
        // The rest of the chunk is lost with the line.
        if (!Take(chunk[static_cast<std::size_t>(i)], now)) return false;
    }
    return true;
}

bool SimDevice::Impl::TakePacedByte(const SimFaults& faults) {
    const Clock::time_point at = *TakeAt;
    TakeAt.reset();
    std::uint8_t byte = 0;
    const ssize_t got = ::read(Master, &byte, 1);
    if (got < 0) {
        // Nothing there: the other side purged its output in the meantime.
        Waiting.clear();
        return errno == EAGAIN || errno == EINTR;
    }
    if (got == 0) return false;
    LineFree = at;
    if (!Waiting.empty() && --Waiting.front().Count == 0) Waiting.pop_front();
    if (!Take(byte, at)) return false;
    LookForInput();
    ScheduleTake(faults.PaceBaud);
    return true;
}

// Acts on one received byte, then records it, so that a byte shows in Received only
// once its effect has been made. False when the device must hang up now.
bool SimDevice::Impl::Take(std::uint8_t byte, Clock::time_point at) {
    SimFaults faults;
    bool hangUp = false;
    {
        std::lock_guard lock(Mutex);
        ++ReceivedSinceFaults;
        faults = Faults;
        hangUp = faults.HangUpAfter >= 0 && ReceivedSinceFaults >= faults.HangUpAfter;
    }
    if (!hangUp) Parse(byte, at, faults);
    {
        std::lock_guard lock(Mutex);
        ReceivedBytes.push_back(byte);
    }
    ReceivedGrew.notify_all();
    if (Trace) Trace(TraceDirection::Received, byte);
    return !hangUp;
}

void SimDevice::Impl::Parse(std::uint8_t byte, Clock::time_point at, const SimFaults& faults) {
    if ((byte & 0x80) != 0) {
        // A command byte starts a new frame; a frame it cuts short is dropped. The
        // one-byte commands (mode and program selection) need no answer.
        Nibbles.clear();
        Command = (byte == CmdWriteWord || byte == CmdFetchWord) ? byte : -1;
        return;
    }
    if (Command < 0) return;  // a nibble byte outside any frame
    Nibbles.push_back(byte);
    if (Command == CmdWriteWord && Nibbles.size() == WriteFrameLength - 1) {
        const std::span<const std::uint8_t> frame(Nibbles);
        const std::uint32_t word = DecodeReplyWord(frame.first<ReplyLength>());
        const int address = DecodeAddress(frame.subspan<ReplyLength, AddressLength>());
        // The CW word is the device's own; a write frame never changes it.
        if (address < CwAddress) {
            std::lock_guard lock(Mutex);
            Memory[static_cast<std::size_t>(address)] = word;
        }
        Command = -1;
    } else if (Command == CmdFetchWord && Nibbles.size() == FetchRequestLength - 1) {
        Answer(DecodeAddress(std::span<const std::uint8_t>(Nibbles).first<AddressLength>()), at,
               faults);
        Command = -1;
    }
}

void SimDevice::Impl::Answer(int address, Clock::time_point at, const SimFaults& faults) {
    if (faults.Silent || address > CwAddress) return;
    if (faults.AnswerBelow >= 0 && address >= faults.AnswerBelow) return;
    std::uint32_t word = 0;
    {
        std::lock_guard lock(Mutex);
        word = Memory[static_cast<std::size_t>(address)];
    }
    auto bytes = EncodeReplyWord(word);
    if (faults.HighNibbles) {
        for (auto& b : bytes) b = static_cast<std::uint8_t>(0x30 | b);
    }
    const int count = address == faults.ShortAddress ? std::clamp(faults.ShortCount, 0, ReplyLength)
                                                     : ReplyLength;
    Queue(bytes.data(), count, at, faults.PaceBaud);
    if (count < ReplyLength && faults.LateByteMs >= 0) {
        const Clock::time_point sentSoFar = Output.empty() ? at : std::max(at, Output.back().Due);
        Queue(bytes.data() + count, ReplyLength - count,
              sentSoFar + std::chrono::milliseconds(faults.LateByteMs), faults.PaceBaud);
    }
}

// Queues bytes to go out from start on, each one byte time after the one before
// when paced; never ahead of bytes already queued.
void SimDevice::Impl::Queue(const std::uint8_t* bytes, int count, Clock::time_point start,
                            int baud) {
    Clock::time_point due = Output.empty() ? start : std::max(start, Output.back().Due);
    for (int i = 0; i < count; ++i) {
        if (baud > 0) due += ByteTime(baud);
        Output.push_back({bytes[i], due});
    }
}

// Writes every queued byte that is due. False when the line cannot take them now.
bool SimDevice::Impl::SendDue(Clock::time_point now) {
    std::array<std::uint8_t, 4096> chunk{};
    std::size_t count = 0;
    while (count < Output.size() && count < chunk.size() && Output[count].Due <= now) {
        chunk[count] = Output[count].Byte;
        ++count;
    }
    if (count == 0) return true;
    const ssize_t sent = ::write(Master, chunk.data(), count);
    if (sent < 0) {
        if (errno == EAGAIN || errno == EINTR) return false;
        HangUp();
        return true;
    }
    for (ssize_t i = 0; i < sent; ++i) {
        if (Trace) Trace(TraceDirection::Sent, chunk[static_cast<std::size_t>(i)]);
        Output.pop_front();
    }
    return static_cast<std::size_t>(sent) == count;
}

SimDevice::SimDevice() : impl_(std::make_unique<Impl>()) {
    Impl& d = *impl_;
    d.Master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (d.Master < 0) {
        d.OpenFailure = SystemError("posix_openpt");
        return;
    }
    std::array<char, 128> name{};
    if (::grantpt(d.Master) != 0 || ::unlockpt(d.Master) != 0 ||
        ::ptsname_r(d.Master, name.data(), name.size()) != 0) {
        d.OpenFailure = SystemError("pseudo-terminal");
        CloseFd(d.Master);
        return;
    }
    d.Path = name.data();
    // Holding the slave keeps the line alive while the other side closes and reopens.
    d.Slave = ::open(d.Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    int wake[2] = {-1, -1};
    if (d.Slave < 0 || !MakeRaw(d.Slave) || !MakeRaw(d.Master) ||
        ::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        d.OpenFailure = SystemError(d.Path);
        CloseFd(d.Slave);
        CloseFd(d.Master);
        return;
    }
    d.WakeRead = wake[0];
    d.WakeWrite = wake[1];
}

SimDevice::~SimDevice() {
    Stop();
    Impl& d = *impl_;
    // Latest first, so that a port mapped more than once ends as it was at first.
    for (auto entry = d.MapEntries.rbegin(); entry != d.MapEntries.rend(); ++entry) {
        // Leave an entry that someone has pointed elsewhere in the meantime.
        std::error_code error;
        if (std::filesystem::read_symlink(entry->Path, error) != d.Path || error) continue;
        if (entry->Previous.empty()) {
            std::filesystem::remove(entry->Path, error);
        } else {
            MapPort(entry->Port, entry->Previous);
        }
    }
    CloseFd(d.Slave);
    CloseFd(d.Master);
    CloseFd(d.WakeRead);
    CloseFd(d.WakeWrite);
}

bool SimDevice::Start(std::string* why) {
    Impl& d = *impl_;
    if (d.Server.joinable()) return true;
    if (d.Master < 0 || d.WakeRead < 0) {
        if (why != nullptr) *why = d.OpenFailure.empty() ? "the device has hung up" : d.OpenFailure;
        return false;
    }
    d.Server = std::thread([&d] { d.Serve(); });
    return true;
}

void SimDevice::Stop() {
    Impl& d = *impl_;
    if (!d.Server.joinable()) return;
    {
        std::lock_guard lock(d.Mutex);
        d.Stopping = true;
    }
    d.Wake();
    d.Server.join();
    std::lock_guard lock(d.Mutex);
    d.Stopping = false;
}

std::string SimDevice::DevicePath() const {
    return impl_->Path;
}

bool SimDevice::MapAsPort(int n, std::string* why) {
    Impl& d = *impl_;
    if (d.Path.empty()) {
        if (why != nullptr) *why = d.OpenFailure;
        return false;
    }
    // An entry already there (a USB adapter, say) comes back when the device goes.
    std::error_code error;
    const std::filesystem::path old = std::filesystem::read_symlink(PortDevicePath(n), error);
    const std::string previous = error ? std::string() : old.string();
    if (!MapPort(n, d.Path, why)) return false;
    if (previous != d.Path) d.MapEntries.push_back({n, PortDevicePath(n), previous});
    return true;
}

void SimDevice::SetFaults(const SimFaults& faults) {
    {
        std::lock_guard lock(impl_->Mutex);
        impl_->Faults = faults;
        impl_->ReceivedSinceFaults = 0;
    }
    impl_->Wake();
}

void SimDevice::SetWord(int address, std::uint32_t word) {
    if (address < 0 || address > CwAddress) return;
    std::lock_guard lock(impl_->Mutex);
    impl_->Memory[static_cast<std::size_t>(address)] = word;
}

std::uint32_t SimDevice::Word(int address) const {
    if (address < 0 || address > CwAddress) return 0;
    std::lock_guard lock(impl_->Mutex);
    return impl_->Memory[static_cast<std::size_t>(address)];
}

std::vector<std::uint8_t> SimDevice::Received() const {
    std::lock_guard lock(impl_->Mutex);
    return impl_->ReceivedBytes;
}

void SimDevice::ClearReceived() {
    std::lock_guard lock(impl_->Mutex);
    impl_->ReceivedBytes.clear();
}

bool SimDevice::WaitForReceived(std::size_t count, std::chrono::milliseconds limit) const {
    std::unique_lock lock(impl_->Mutex);
    return impl_->ReceivedGrew.wait_for(lock, limit,
                                        [&] { return impl_->ReceivedBytes.size() >= count; });
}

void SimDevice::SetTrace(std::function<void(TraceDirection, std::uint8_t)> trace) {
    // Only read by the serving thread, which starts after this in Start.
    if (!impl_->Server.joinable()) impl_->Trace = std::move(trace);
}

}  // namespace ixo::sim
